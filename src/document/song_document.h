#pragma once

#include "document/palette_state.h"
#include "model/edit_state.h"
#include "model/file_fingerprint.h"
#include "model/song.h"
#include "model/song_file.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace pokopen {

// The page an edit was made on; undo and redo turn to it again.
enum class EditPage { Score, Dynamics, Tempo, Pan, Signature, Part };

// Where an edit happened: undo and redo make this part, measure and page current, as a jump does.
struct EditPlace {
    std::int32_t part = 0;
    std::int32_t measure = 0;
    EditPage page = EditPage::Score;

    friend bool operator==(const EditPlace&, const EditPlace&) = default;
};

// What a change of the song touched, so that windows redraw what shows it.
struct SongChange {
    enum class Cause { Edit, Undo, Redo, Reset };
    Cause cause = Cause::Edit;
    std::uint32_t rows = 0; // bit r: row r of the store changed
    bool settings = false;  // title, copyright, instruments, volumes or transpositions
    EditPlace place;        // for Edit, Undo and Redo

    bool touchesRow(int r) const { return (rows >> r) & 1U; }
};

// How a song file was read, for the document's open command.
struct LoadedSong {
    FileResult result;
    bool differsFromFile = false; // converted, repaired or imported: Save is enabled at once
    bool noFileToSaveTo = false;  // imported from another format: Save asks for a name
};
using SongLoader = std::function<LoadedSong(const std::string& path, Song& out)>;
// The song files the program reads: .kn2, and .knb converted.
LoadedSong loadSongOfItsFormat(const std::string& path, Song& out);

// The user's answer to "save the changes?"
enum class SaveAnswer { Yes, No, Cancel };
// How the unsaved-changes question ended.
enum class DiscardOutcome {
    Unmodified, // nothing to save: go on
    Saved,      // Yes, and the save succeeded: go on
    Discarded,  // No: go on, the changes are thrown away
    Stopped,    // Cancel, or Yes with a cancelled or failed save: the command stops
};
inline bool proceeds(DiscardOutcome o) {
    return o != DiscardOutcome::Stopped;
}

// The one song the program edits, with everything that belongs to it: the editing state shared by
// the windows, the palette's choices, the file it belongs to and the edit history.
//
// It is the only code that writes the song. A window asks for a change as a transaction: a name
// (shown in the Edit menu), the place it is made, and a function that makes it. A transaction
// that changes nothing records no step. Windows learn what changed through the listeners.
class SongDocument {
public:
    SongDocument();

    EditState state;
    PaletteState palette;

    const Song& song() const { return song_; }
    // The song as it is now; copying costs a few pointers, and the copy never changes.
    // Safe to read on another thread: the document never writes a row a snapshot holds.
    Song snapshot() const {
        song_.store.freezeRows();
        return song_;
    }
    // Changes whenever the song does: an edit, undo, redo, new, open.
    std::uint64_t revision() const { return revision_; }

    // --- Transactions -------------------------------------------------------------------------
    // One step: `change` is called once with the song to change. True when the song changed.
    bool change(const std::string& name, const EditPlace& where, const std::function<void(Song&)>& change);
    // As `change`, for a function that says what it did: its result is passed back.
    template <class F> auto changeReturning(const std::string& name, const EditPlace& where, F&& f) {
        std::invoke_result_t<F, Song&> result{};
        change(name, where, [&](Song& song) { result = f(song); });
        return result;
    }
    // A step made of several changes, e.g. a curve stroke from press to release.
    void beginStep(const std::string& name, const EditPlace& where);
    void changeInStep(const std::function<void(Song&)>& change);
    // Ends the step: records it when the song differs from its start. True when it was recorded.
    bool endStep();
    bool inStep() const { return pending_.has_value(); }

    // --- History ------------------------------------------------------------------------------
    bool canUndo() const { return cursor_ > 0; }
    bool canRedo() const { return cursor_ < steps_.size(); }
    // The name of the step undo would take back (redo would make again); empty when none.
    std::string undoName() const;
    std::string redoName() const;
    // Take back / make again one step; the place it was made, or nothing when there is none.
    std::optional<EditPlace> undo();
    std::optional<EditPlace> redo();
    std::size_t stepCount() const { return steps_.size(); }
    // Memory the steps hold, in bytes.
    std::size_t historyBytes() const { return historyBytes_; }
    // Oldest steps are dropped once the history holds more than this (the newest step always stays).
    static constexpr std::size_t DEFAULT_HISTORY_LIMIT = std::size_t{256} << 20;
    void setHistoryLimit(std::size_t bytes);

    // --- The file ------------------------------------------------------------------------------
    const std::string& fileTitle() const { return fileTitle_; }
    const std::string& filePath() const { return filePath_; }
    // No file to save to yet: a new or imported song.
    bool untitled() const { return untitled_; }
    // The song differs from its file (for a song never saved: from the new song).
    bool isModified() const;

    // New song: no file, empty history, unmodified.
    void newSong();
    // Reads the file; on success the song, its file and an empty history replace the old ones.
    // On failure nothing changes.
    FileResult open(const std::string& path, const SongLoader& loader = loadSongOfItsFormat);
    // Puts `song` in place as read from somewhere other than its file (recovery): with the given
    // file path (empty: untitled) and title, an empty history, and modified. `fingerprint` is
    // the file as the song's program last read or wrote it, when known.
    void adopt(Song song, const std::string& path, const std::string& title,
               std::optional<FileFingerprint> fingerprint = std::nullopt);
    // The file Save writes: the song's file, except that a song read from .knb (in any letter
    // case) goes to the .kn2 beside it.
    std::string savePath() const;
    // The song's file as this program last read or wrote it; nothing for a new or imported song,
    // a .knb song (Save writes another file) and a recovered song whose autosave did not know it.
    const std::optional<FileFingerprint>& fileFingerprint() const { return fingerprint_; }
    // Another program changed the file Save would write since this program read or wrote it.
    bool fileChangedElsewhere() const;
    // Saves to savePath(). On failure the file identity and the history stay as they were.
    FileResult save();
    // Saves to `path`, which becomes the song's file on success.
    FileResult saveAs(const std::string& path);
    // The unsaved-changes question of New, Open, a drop and closing. `ask` asks it; `saveAs`
    // runs the Save As dialog and the save, true when the song was written.
    DiscardOutcome confirmDiscard(const std::function<SaveAnswer()>& ask,
                                  const std::function<bool()>& saveAs);

    // --- Listeners ----------------------------------------------------------------------------
    using Listener = std::function<void(const SongChange&)>;
    void addListener(Listener listener) { listeners_.push_back(std::move(listener)); }
    // Called when the modified state, the file identity or the history's captions may have changed.
    using StatusListener = std::function<void()>;
    void addStatusListener(StatusListener listener) { statusListeners_.push_back(std::move(listener)); }

    // The settings a step can change, kept apart from the rows.
    struct Settings {
        std::string songTitle;
        std::string songCopyright;
        std::array<std::int32_t, PART_ROWS> partInstrument{};
        std::array<std::int32_t, PART_ROWS> partVolume{};
        std::array<std::int32_t, PART_ROWS> partTransposition{};
        friend bool operator==(const Settings&, const Settings&) = default;
    };

    // Test set-up only (defined by the tests' support library, never by the program): the song
    // to fill before the first step is made. Writing through it once steps exist would leave the
    // history describing another song.
    friend Song& writableSong(SongDocument& doc);

private:
    // What one step changed in one row: the rows agree before `prefix` and in the last `suffix`
    // events; in between, `before` was replaced by `after`.
    struct RowDiff {
        int row = 0;
        std::int32_t prefix = 0;
        std::int32_t suffix = 0;
        EventRow before;
        EventRow after;
    };
    struct Step {
        std::string name;
        EditPlace place;
        std::vector<RowDiff> rows;
        std::optional<Settings> settingsBefore;
        std::optional<Settings> settingsAfter;
        std::size_t bytes = 0;
    };
    struct Pending {
        std::string name;
        EditPlace place;
        Song before;
    };

    void record(Step step);
    void applyStep(const Step& step, bool forward);
    void resetHistory(bool modified);
    void notify(const SongChange& change);
    void notifyStatus();
    // Writes the song to `path`; on success the file's fingerprint is kept.
    FileResult writeTo(const std::string& path);
    std::uint64_t position() const { return dropped_ + cursor_; }

    Song song_;
    std::uint64_t revision_ = 0;
    std::optional<Pending> pending_;
    std::deque<Step> steps_;
    std::size_t cursor_ = 0;    // steps_[0..cursor_) are done
    std::uint64_t dropped_ = 0; // steps dropped from the front
    std::size_t historyBytes_ = 0;
    std::size_t historyLimit_ = DEFAULT_HISTORY_LIMIT;
    std::optional<std::uint64_t> savedAt_; // the history position that equals the file, if any

    std::string fileTitle_ = "Notitle";
    std::string filePath_;
    bool untitled_ = true;
    std::optional<FileFingerprint> fingerprint_;

    std::vector<Listener> listeners_;
    std::vector<StatusListener> statusListeners_;
};

} // namespace pokopen
