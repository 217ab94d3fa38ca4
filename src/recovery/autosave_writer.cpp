#include "recovery/autosave_writer.h"

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#endif

namespace pokopen {

AutosaveWriter::AutosaveWriter(RecoveryStore& store, Done done)
    : store_(store), done_(std::move(done)), thread_([this] { run(); }) {}

AutosaveWriter::~AutosaveWriter() {
    {
        const std::lock_guard guard(mutex_);
        stopping_ = true;
        pending_.reset();
    }
    changed_.notify_all();
    thread_.join();
}

void AutosaveWriter::post(Job job) {
    {
        const std::lock_guard guard(mutex_);
        pending_ = std::move(job);
    }
    changed_.notify_all();
}

bool AutosaveWriter::busy() const {
    const std::lock_guard guard(mutex_);
    return working_ || pending_.has_value();
}

bool AutosaveWriter::waitIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return !working_ && !pending_; });
}

void AutosaveWriter::run() {
#ifdef __linux__
    // A background writer: woken by the window's thread, it must not take the processor from it
    // (a batch thread does not preempt at wake-up), and it yields to the program's other work.
    sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
    setpriority(PRIO_PROCESS, 0, 10); // Linux: the calling thread's own nice value
#endif
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || pending_.has_value(); });
            if (stopping_)
                return;
            job = std::move(*pending_);
            pending_.reset();
            working_ = true;
        }
        const auto start = std::chrono::steady_clock::now();
        Outcome outcome;
        outcome.revision = job.revision;
        outcome.result = store_.writeOwn(serializeRecovery(job.info, job.song), job.generation);
        job.song = Song(); // the snapshot is let go here, not on the window's thread
        outcome.took = std::chrono::steady_clock::now() - start;
        if (done_)
            done_(outcome);
        {
            const std::lock_guard guard(mutex_);
            working_ = false;
        }
        changed_.notify_all();
    }
}

} // namespace pokopen
