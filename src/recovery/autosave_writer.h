#pragma once

#include "model/song.h"
#include "recovery/recovery_file.h"
#include "recovery/recovery_store.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace pokopen {

// Writes autosave files on a thread of its own: the song text is made and written there, so the
// window only hands over a snapshot of the song.
class AutosaveWriter {
public:
    struct Job {
        std::uint64_t revision = 0;   // the document's revision the song was taken at
        std::uint64_t generation = 0; // RecoveryStore::generation() when the song was taken
        RecoveryInfo info;
        Song song; // a snapshot: nothing else changes it
    };
    struct Outcome {
        std::uint64_t revision = 0;
        RecoveryStore::WriteResult result = RecoveryStore::WriteResult::Skipped;
        std::chrono::nanoseconds took{}; // making the text and writing the file
    };
    // Called on the writer thread after each job.
    using Done = std::function<void(const Outcome&)>;

    AutosaveWriter(RecoveryStore& store, Done done);
    // Finishes the job in hand, drops one still waiting, and ends the thread.
    ~AutosaveWriter();
    AutosaveWriter(const AutosaveWriter&) = delete;
    AutosaveWriter& operator=(const AutosaveWriter&) = delete;

    // Hands a job to the thread; it replaces a job that has not started yet.
    void post(Job job);
    // True from post() until the last job's Done has returned.
    bool busy() const;
    // Waits until idle; false when `timeout` passed first.
    bool waitIdle(std::chrono::milliseconds timeout) const;

private:
    void run();

    RecoveryStore& store_;
    Done done_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::optional<Job> pending_;
    bool working_ = false;
    bool stopping_ = false;
    std::thread thread_; // last: starts after everything above is set up
};

} // namespace pokopen
