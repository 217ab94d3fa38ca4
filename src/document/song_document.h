#pragma once

#include "document/editing.h"
#include "document/palette_state.h"
#include "model/file_fingerprint.h"
#include "model/song.h"
#include "model/song_file.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
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

// What a change of the document touched, so that windows redraw what shows it.
struct SongChange {
    // Edit, Undo, Redo: a step of the song. Reset: a new or opened song (everything changed).
    // Editing: only the shared editing state (current part, measure, caret, ...).
    enum class Cause { Edit, Undo, Redo, Reset, Editing };
    Cause cause = Cause::Edit;
    std::uint32_t rows = 0;    // bit r: row r of the store changed
    bool settings = false;     // title, copyright, instruments, volumes or transpositions
    EditPlace place;           // for Edit, Undo and Redo
    std::uint32_t editing = 0; // bits of EditingField that changed

    bool touchesRow(int r) const { return (rows >> r) & 1U; }
    bool touches(EditingField f) const { return (editing & bit(f)) != 0; }
    bool songChanged() const { return rows != 0 || settings; }
};

class SongDocument;

// A listener's registration; it ends when this object goes (or `reset` is called), so a window
// that subscribes cannot be called after it is gone. It may outlive the document (a window
// destroyed after it): then there is nothing left to end.
class Subscription {
public:
    Subscription() = default;
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    Subscription(Subscription&& other) noexcept;
    Subscription& operator=(Subscription&& other) noexcept;
    ~Subscription() { reset(); }
    void reset();

private:
    friend class SongDocument;
    Subscription(SongDocument* doc, std::weak_ptr<int> alive, std::uint64_t id)
        : doc_(doc), alive_(std::move(alive)), id_(id) {}
    SongDocument* doc_ = nullptr;
    std::weak_ptr<int> alive_; // expires with the document
    std::uint64_t id_ = 0;
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

    PaletteState palette;

    // --- The shared editing state ---------------------------------------------------------------
    // Windows read it here and change it through the setters, which tell the subscribers what
    // changed (nothing when the value is the same). It is not part of the song or its history.
    const Editing& editing() const { return editing_; }
    void setCurrentPart(std::int32_t part);
    // Shows another measure; the caret goes to its start. A change of part clears the selection.
    void setCurrentMeasure(std::int32_t measure);
    void setScoreView(std::int32_t view);
    void setTripletMode(bool on);
    void setFmMode(bool on);
    void setCaret(std::int32_t tick);
    // The caret moved by the keyboard: when it leaves the shown measure (whose end still counts
    // as in it), the measure that holds it is shown, the caret staying where it is.
    void moveCaret(std::int32_t tick);
    void setSelection(std::vector<NoteRef> notes);

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
    // Misuse of the transactions is a programming error: in a debug build it stops the program
    // (assert); otherwise the request is refused (nothing changes, false where there is a result).
    // A misuse handler set here is called instead of the assert (tests count the refusals).
    // Misuse is: `changeInStep` with no step open, `change` or `beginStep` while a step is open,
    // and any change, step, undo or redo asked for while the document is telling its subscribers
    // of a change or is undoing or redoing.
    //
    using MisuseHandler = void (*)(const char* what);
    // Returns the handler it replaces (nullptr: the assert).
    static MisuseHandler setMisuseHandler(MisuseHandler handler);

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
    // True when the change was made (a step is open).
    bool changeInStep(const std::function<void(Song&)>& change);
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

    // --- Subscribers --------------------------------------------------------------------------
    // Told of every change of the song and of the editing state, in the order they subscribed.
    using Listener = std::function<void(const SongChange&)>;
    [[nodiscard]] Subscription subscribe(Listener listener);
    // Told when the modified state, the file identity or the history's captions may have changed.
    using StatusListener = std::function<void()>;
    [[nodiscard]] Subscription subscribeStatus(StatusListener listener);

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

    friend class Subscription;
    struct Subscriber {
        std::uint64_t id = 0;
        Listener listener;
        StatusListener statusListener;
    };
    // Refuses (and in a debug build stops at) a misuse of the transactions; true when `ok`.
    static bool expect(bool ok, const char* what);
    bool busy() const { return notifying_ > 0 || applying_; }
    void unsubscribe(std::uint64_t id);
    // Calls `tell` with each subscriber; those that leave meanwhile are dropped afterwards.
    template <class Tell> void tellSubscribers(Tell tell);
    void dropLeftSubscribers();
    void changeEditing(std::uint32_t fields, const std::function<void(Editing&)>& set);

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

    // The subscribers belong to the object they subscribed to: a document moved or assigned
    // from another keeps none of the other's.
    struct Subscribers {
        std::vector<Subscriber> list;
        std::shared_ptr<int> alive = std::make_shared<int>(0);
        std::uint64_t nextId = 1;
        Subscribers() = default;
        Subscribers(Subscribers&&) noexcept : Subscribers() {}
        Subscribers& operator=(Subscribers&&) noexcept { return *this; }
    };

    Editing editing_;
    Subscribers subscribers_;
    int notifying_ = 0;     // depth of notifications under way
    bool applying_ = false; // undo or redo under way
};

} // namespace pokopen
