#pragma once

#include "model/song.h"
#include "model/song_file.h"
#include "recovery/recovery_file.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QLockFile;

namespace pokopen {

// The per-user folder of the autosave files: the application's local data folder, "recovery".
QString defaultRecoveryFolder();

// An autosave entry left by a program that is gone, found at start-up. This program holds the
// entry's lock from the moment it is found until it is restored, discarded or left for later, so
// that a second program starting meanwhile does not offer it too.
struct RecoveryCandidate {
    QString name; // the entry's name ("autosave-…"); its files are name + ".recovery"/".lock"
    QString recoveryPath;
    RecoveryInfo info; // for a damaged file only `time` is known: the file's modification time
    Song song;         // the song to restore; empty for a damaged file
    FileResult result; // the reader's verdict; not ok: the file is damaged and offers no song
    std::shared_ptr<QLockFile> lock;

    bool damaged() const { return !result.ok(); }
};

// The autosave entries in one folder. Each running program owns one entry, named when it first
// writes ("autosave-<UTC time>-<process id>", with "-2", "-3", … when that is taken) and locked
// with a QLockFile for as long as the program runs:
//
//   <name>.lock      the lock (process id, host); stale once its program is gone
//   <name>.recovery  the autosave file (recovery_file.h), replaced atomically at each autosave
//
// A lock counts as stale only when its process is gone (never by age), so two programs that run
// side by side never write, offer or delete each other's entries.
//
// The own entry's operations are thread-safe: the autosave thread writes while the window
// removes the entry after a save, and a removal never waits for a write under way.
class RecoveryStore {
public:
    using Clock = std::function<QDateTime()>;

    enum class WriteResult {
        Written,
        Skipped, // the entry was removed after the song was taken: nothing written
        Failed,  // folder or file could not be written; an earlier file is unchanged
    };

    // `clock` and `processId` default to the system's; tests inject both.
    explicit RecoveryStore(QString folder, Clock clock = {}, std::int64_t processId = 0);
    // Releases the own lock and leaves the own file: an entry that was not closed stays for the
    // next start, as after a crash.
    ~RecoveryStore();
    RecoveryStore(const RecoveryStore&) = delete;
    RecoveryStore& operator=(const RecoveryStore&) = delete;

    const QString& folder() const { return folder_; }
    QDateTime now() const;

    // --- The own entry ---
    // Counts removals: a write carries the value read when its song was taken and is dropped
    // when the entry was removed since, so a save is never followed by a late autosave file.
    std::uint64_t generation() const;
    // Writes the autosave file atomically (a file beside it, then a rename). Names and locks the
    // entry on first use. A removal while the bytes are written drops them (Skipped).
    WriteResult writeOwn(std::string_view bytes, std::uint64_t generation);
    // Deletes the own autosave file; the lock stays while the program runs.
    void removeOwn();
    // The normal end: the own file and lock go, and nothing is written after.
    void close();
    // The own autosave file's path; empty before the entry is named.
    QString ownRecoveryPath() const;

    // --- Entries of programs that are gone ---
    // Every entry whose lock is stale, read and locked for this program, newest first. Locks
    // left without an autosave file are cleared on the way.
    std::vector<RecoveryCandidate> takeOrphans();
    // Deletes the entry's files.
    static void discard(RecoveryCandidate& candidate);
    // Leaves the entry for the next start: the lock is released, the file stays.
    static void keep(RecoveryCandidate& candidate);
    // The restored entry becomes this program's own: later autosaves replace it and a save
    // removes it.
    void adopt(RecoveryCandidate& candidate);

    // The fault seam of the tests: replaces the write of the bytes into the file beside the
    // autosave file that then replaces it.
    using FileWriter = std::function<bool(const QString& path, std::string_view bytes)>;
    void setFileWriter(FileWriter writer) { writer_ = std::move(writer); }

private:
    bool claimLocked();
    QString entryPath(const QString& name, const char* suffix) const;

    QString folder_;
    Clock clock_;
    std::int64_t processId_;
    FileWriter writer_;

    std::mutex writeMutex_;    // one write at a time; held only by writeOwn
    mutable std::mutex mutex_; // guards everything below, never held during a file write
    QString ownName_;
    std::shared_ptr<QLockFile> ownLock_;
    std::uint64_t generation_ = 0;
    bool closed_ = false;
};

// Writes bytes to `path` through a temporary file and a rename; the old file stays as it was
// when anything fails.
bool writeRecoveryFileAtomically(const QString& path, std::string_view bytes);

} // namespace pokopen
