#include "recovery/recovery_store.h"

#include "model/song_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace pokopen {

namespace {

const QString ENTRY_PREFIX = QStringLiteral("autosave-");
constexpr const char* RECOVERY_SUFFIX = ".recovery";
constexpr const char* LOCK_SUFFIX = ".lock";
// Appended to the autosave file's name while a write is under way.
constexpr const char* PART_SUFFIX = ".part";

// A lock that counts as stale only when its program is gone: a program that has run for a long
// time must not lose its entry to a newer one.
std::shared_ptr<QLockFile> makeLock(const QString& path) {
    auto lock = std::make_shared<QLockFile>(path);
    lock->setStaleLockTime(0);
    return lock;
}

} // namespace

QString defaultRecoveryFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .filePath(QStringLiteral("recovery"));
}

bool writeRecoveryFileAtomically(const QString& path, std::string_view bytes) {
    return writeFileAtomically(path.toStdString(), bytes);
}

RecoveryStore::RecoveryStore(QString folder, Clock clock, std::int64_t processId)
    : folder_(std::move(folder)), clock_(std::move(clock)),
      processId_(processId != 0 ? processId : QCoreApplication::applicationPid()),
      writer_(&writeRecoveryFileAtomically) {}

RecoveryStore::~RecoveryStore() {
    const std::lock_guard guard(mutex_);
    if (ownLock_)
        ownLock_->unlock();
}

QDateTime RecoveryStore::now() const {
    return clock_ ? clock_() : QDateTime::currentDateTimeUtc();
}

QString RecoveryStore::entryPath(const QString& name, const char* suffix) const {
    return QDir(folder_).filePath(name + QLatin1String(suffix));
}

std::uint64_t RecoveryStore::generation() const {
    const std::lock_guard guard(mutex_);
    return generation_;
}

bool RecoveryStore::claimLocked() {
    if (ownLock_)
        return true;
    if (!QDir().mkpath(folder_))
        return false;
    const QString base = ENTRY_PREFIX + now().toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                         QLatin1Char('-') + QString::number(processId_);
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        // A name whose files exist belongs to another entry, perhaps of a program that is gone:
        // taking its lock would take its autosave file with it.
        if (QFileInfo::exists(entryPath(name, RECOVERY_SUFFIX)) ||
            QFileInfo::exists(entryPath(name, LOCK_SUFFIX)))
            continue;
        auto lock = makeLock(entryPath(name, LOCK_SUFFIX));
        if (!lock->tryLock(0)) {
            if (lock->error() == QLockFile::LockFailedError)
                continue; // created by another program meanwhile
            return false;
        }
        ownName_ = name;
        ownLock_ = std::move(lock);
        return true;
    }
    return false;
}

RecoveryStore::WriteResult RecoveryStore::writeOwn(std::string_view bytes, std::uint64_t generation) {
    // One write at a time; the window's removals and the end never wait for it.
    const std::lock_guard writing(writeMutex_);
    QString target;
    {
        const std::lock_guard guard(mutex_);
        if (closed_ || generation != generation_)
            return WriteResult::Skipped;
        if (!claimLocked())
            return WriteResult::Failed;
        target = entryPath(ownName_, RECOVERY_SUFFIX);
    }
    // The long part, outside the lock: the bytes go to a file beside the autosave file (a name
    // that the start-up offer clears as a write cut off), which replaces it only if no removal
    // came meanwhile, so a save is never followed by a late autosave file.
    const QString part = target + QLatin1String(PART_SUFFIX);
    if (!writer_(part, bytes)) {
        QFile::remove(part);
        return WriteResult::Failed;
    }
    const std::lock_guard guard(mutex_);
    if (closed_ || generation != generation_) {
        QFile::remove(part);
        return WriteResult::Skipped;
    }
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(part.toStdString()),
                            std::filesystem::path(target.toStdString()), error);
    if (error) {
        QFile::remove(part);
        return WriteResult::Failed;
    }
    return WriteResult::Written;
}

void RecoveryStore::removeOwn() {
    const std::lock_guard guard(mutex_);
    ++generation_;
    if (ownLock_)
        QFile::remove(entryPath(ownName_, RECOVERY_SUFFIX));
}

void RecoveryStore::close() {
    const std::lock_guard guard(mutex_);
    ++generation_;
    closed_ = true;
    if (!ownLock_)
        return;
    // The file before the lock: an autosave file is never left without its lock while its
    // program still runs.
    QFile::remove(entryPath(ownName_, RECOVERY_SUFFIX));
    ownLock_->unlock();
    ownLock_.reset();
}

QString RecoveryStore::ownRecoveryPath() const {
    const std::lock_guard guard(mutex_);
    return ownLock_ ? entryPath(ownName_, RECOVERY_SUFFIX) : QString();
}

std::vector<RecoveryCandidate> RecoveryStore::takeOrphans() {
    QString own;
    {
        const std::lock_guard guard(mutex_);
        own = ownName_;
    }
    const QDir dir(folder_);
    QStringList names;
    for (const QString& file : dir.entryList({ENTRY_PREFIX + QLatin1Char('*')}, QDir::Files)) {
        for (const char* suffix : {RECOVERY_SUFFIX, LOCK_SUFFIX}) {
            if (file.endsWith(QLatin1String(suffix))) {
                const QString name =
                    file.chopped(static_cast<qsizetype>(std::char_traits<char>::length(suffix)));
                if (name != own && !names.contains(name))
                    names << name;
            }
        }
    }

    std::vector<RecoveryCandidate> found;
    for (const QString& name : names) {
        auto lock = makeLock(entryPath(name, LOCK_SUFFIX));
        // Succeeds when nobody holds the lock or its program is gone (the stale lock is replaced
        // by ours); fails while the entry's program runs.
        if (!lock->tryLock(0))
            continue;
        const QString path = entryPath(name, RECOVERY_SUFFIX);
        if (!QFileInfo::exists(path)) {
            lock->unlock(); // a lock left without a file: nothing to offer
            continue;
        }
        // A write cut off by the crash may have left its temporary file: never a whole song.
        for (const QString& partial : dir.entryList(
                 {name + QLatin1String(RECOVERY_SUFFIX) + QStringLiteral(".*")}, QDir::Files | QDir::Hidden))
            QFile::remove(dir.filePath(partial));
        RecoveryCandidate candidate;
        candidate.name = name;
        candidate.recoveryPath = path;
        candidate.lock = std::move(lock);
        std::string bytes;
        if (!readWholeFile(path.toStdString(), bytes))
            candidate.result = {FileError::CannotOpen, 0, "cannot be opened", false, "ファイルを開けません"};
        else
            candidate.result = parseRecovery(bytes, candidate.info, candidate.song);
        if (!candidate.result.ok())
            candidate.info.time = QFileInfo(path).lastModified().toUTC();
        found.push_back(std::move(candidate));
    }
    std::stable_sort(found.begin(), found.end(), [](const RecoveryCandidate& a, const RecoveryCandidate& b) {
        return a.info.time != b.info.time ? a.info.time > b.info.time : a.name > b.name;
    });
    return found;
}

void RecoveryStore::discard(RecoveryCandidate& candidate) {
    QFile::remove(candidate.recoveryPath);
    if (candidate.lock)
        candidate.lock->unlock();
    candidate.lock.reset();
}

void RecoveryStore::keep(RecoveryCandidate& candidate) {
    if (candidate.lock)
        candidate.lock->unlock();
    candidate.lock.reset();
}

void RecoveryStore::adopt(RecoveryCandidate& candidate) {
    const std::lock_guard guard(mutex_);
    if (closed_ || !candidate.lock)
        return;
    if (ownLock_) {
        QFile::remove(entryPath(ownName_, RECOVERY_SUFFIX));
        ownLock_->unlock();
    }
    ownName_ = candidate.name;
    ownLock_ = std::move(candidate.lock);
    ++generation_; // a write of the song before the restore must not replace the restored one
}

} // namespace pokopen
