#include "recovery/autosaver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSettings>

#include <cmath>

namespace pokopen {

int autosaveIntervalSeconds(const QSettings& ini) {
    bool ok = false;
    const double seconds = ini.value(QStringLiteral("AUTOSAVE/Interval")).toString().trimmed().toDouble(&ok);
    if (!ok || std::isnan(seconds))
        return DEFAULT_AUTOSAVE_INTERVAL;
    if (seconds == 0)
        return 0;
    if (seconds < 1)
        return 1;
    if (seconds >= MAX_AUTOSAVE_INTERVAL)
        return MAX_AUTOSAVE_INTERVAL;
    return static_cast<int>(seconds);
}

Autosaver::Autosaver(AutosaveSource& source, RecoveryStore& store, int intervalSeconds, QObject* parent)
    : QObject(parent), source_(source), store_(store), intervalSeconds_(intervalSeconds) {
    // The writer's results come back to this object's thread through its event queue.
    writer_ = std::make_unique<AutosaveWriter>(store_, [this](const AutosaveWriter::Outcome& outcome) {
        QMetaObject::invokeMethod(
            this, [this, outcome] { takeOutcome(outcome); }, Qt::QueuedConnection);
    });
    if (intervalSeconds_ > 0) {
        connect(&timer_, &QTimer::timeout, this, &Autosaver::autosaveNow);
        timer_.start(intervalSeconds_ * 1000);
    }
}

Autosaver::~Autosaver() {
    timer_.stop();
    writer_.reset(); // joins the thread before the members it reports to go
}

void Autosaver::autosaveNow() {
    if (!writer_)
        return;
    if (!source_.isModified()) {
        // Saved, or undone back to what is saved: there is nothing to recover. The entry goes
        // so that a crash now offers nothing.
        if (lastWritten_ || writer_->busy()) {
            store_.removeOwn();
            lastWritten_.reset();
        }
        return;
    }
    const std::uint64_t revision = source_.revision();
    if (lastWritten_ == revision || writer_->busy())
        return; // unchanged, or the next interval writes the newest song
    AutosaveWriter::Job job;
    job.revision = revision;
    job.generation = store_.generation();
    job.info = {source_.filePath(), source_.fileTitle(), store_.now(), source_.fileFingerprint()};
    job.song = source_.snapshot();
    ++outcomesPosted_;
    writer_->post(std::move(job));
}

void Autosaver::takeOutcome(const AutosaveWriter::Outcome& outcome) {
    ++outcomesTaken_;
    lastWriteTime_ = outcome.took;
    switch (outcome.result) {
    case RecoveryStore::WriteResult::Written:
        lastWritten_ = outcome.revision;
        break;
    case RecoveryStore::WriteResult::Skipped:
        break;
    case RecoveryStore::WriteResult::Failed:
        // Said once per run; the revision stays unwritten, so the next interval tries again.
        if (!failureReported_) {
            failureReported_ = true;
            if (onFailure_)
                onFailure_(store_.folder());
        }
        break;
    }
}

void Autosaver::removeEntry() {
    store_.removeOwn();
    lastWritten_.reset();
}

void Autosaver::restoredFromEntry() {
    lastWritten_ = source_.revision();
}

void Autosaver::finish() {
    timer_.stop();
    writer_.reset();
    outcomesPosted_ = outcomesTaken_; // a job dropped by the writer reports nothing
    store_.close();
}

bool Autosaver::waitForWriter(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    if (writer_ && !writer_->waitIdle(std::chrono::milliseconds(timeoutMs)))
        return false;
    while (outcomesTaken_ < outcomesPosted_) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace pokopen
