#pragma once

#include "model/song.h"
#include "recovery/autosave_writer.h"
#include "recovery/recovery_store.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QSettings;

namespace pokopen {

// What the autosaver asks of the open song. `snapshot` must be cheap and give a song that no
// later edit changes, since another thread writes it.
class AutosaveSource {
public:
    virtual ~AutosaveSource() = default;
    // Changes whenever the song changes (edit, undo, redo, new, open).
    virtual std::uint64_t revision() const = 0;
    // The song differs from its file.
    virtual bool isModified() const = 0;
    virtual Song snapshot() const = 0;
    virtual std::string filePath() const = 0;
    virtual std::string fileTitle() const = 0;
    // The song's file as the program last read or wrote it, kept so that a restored song's save
    // still notices another program's change of the file.
    virtual std::optional<FileFingerprint> fileFingerprint() const { return std::nullopt; }
};

// The INI's [AUTOSAVE] Interval in seconds: 60 when missing or unreadable, 0 (off) as it is,
// any other value below 1 as 1, and at most a day.
int autosaveIntervalSeconds(const QSettings& ini);
inline constexpr int DEFAULT_AUTOSAVE_INTERVAL = 60;
inline constexpr int MAX_AUTOSAVE_INTERVAL = 24 * 60 * 60;

// Autosaves the song every interval while it differs both from its file and from what was last
// autosaved. The window's thread only takes the snapshot; the file is made and written on the
// writer's thread. A failed autosave is reported once per run and tried again at the next
// interval; editing never waits for it.
class Autosaver : public QObject {
public:
    using FailureHandler = std::function<void(const QString& folder)>;

    Autosaver(AutosaveSource& source, RecoveryStore& store, int intervalSeconds, QObject* parent = nullptr);
    ~Autosaver() override;

    int intervalSeconds() const { return intervalSeconds_; }
    // Told on the window's thread, the first time an autosave fails.
    void setFailureHandler(FailureHandler handler) { onFailure_ = std::move(handler); }

    // One autosave when one is due (what the timer runs).
    void autosaveNow();
    // The song was saved or given up (No at the unsaved-changes prompt): its entry goes, and a
    // write still on its way is dropped.
    void removeEntry();
    // The song just restored from the entry adopted by the store: that file holds it already.
    void restoredFromEntry();
    // The program ends normally: the writer finishes and the entry goes with its lock.
    void finish();

    // For tests and the benchmark: waits until the writer is idle and its result is taken in.
    bool waitForWriter(int timeoutMs);
    // The writer thread's time of the last autosave.
    std::chrono::nanoseconds lastWriteTime() const { return lastWriteTime_; }

private:
    void takeOutcome(const AutosaveWriter::Outcome& outcome);

    AutosaveSource& source_;
    RecoveryStore& store_;
    int intervalSeconds_;
    QTimer timer_;
    std::unique_ptr<AutosaveWriter> writer_;
    std::optional<std::uint64_t> lastWritten_;
    std::uint64_t outcomesPosted_ = 0; // counted on the writer's thread's behalf, read here
    std::uint64_t outcomesTaken_ = 0;
    bool failureReported_ = false;
    std::chrono::nanoseconds lastWriteTime_{};
    FailureHandler onFailure_;
};

} // namespace pokopen
