#include "app/session_recovery.h"

#include "app/prompts.h"

#include <QDir>

namespace pokopen {

QString unreadableFileText(const QString& path, const FileResult& result) {
    QString text = QStringLiteral("ﾌｧｲﾙ %1 は開けません").arg(QDir::toNativeSeparators(path));
    if (result.error == FileError::Malformed)
        text +=
            QStringLiteral("\n（%1行目: %2）").arg(result.line).arg(QString::fromStdString(result.japanese));
    return text;
}

SessionRecovery::SessionRecovery(SongDocument& document, Prompts& prompts, QWidget* window,
                                 const QString& folder, int intervalSeconds)
    : document_(document), source_(document), prompts_(prompts), window_(window), store_(folder),
      autosaver_(std::make_unique<Autosaver>(source_, store_, intervalSeconds)) {
    autosaver_->setFailureHandler(
        [this](const QString& where) { prompts_.showAutosaveFailed(window_, where); });
}

SessionRecovery::~SessionRecovery() = default;

bool SessionRecovery::offerAtStartUp() {
    std::optional<RecoveryCandidate> chosen = offerRecovery(store_.takeOrphans(), *this);
    if (!chosen)
        return false;
    store_.adopt(*chosen);
    const RecoveryInfo& info = chosen->info;
    document_.adopt(std::move(chosen->song), info.filePath,
                    info.fileTitle.empty() ? "Notitle" : info.fileTitle, info.fileFingerprint);
    autosaver_->restoredFromEntry(); // the entry holds this song already
    return true;
}

void SessionRecovery::songSavedOrDiscarded() {
    autosaver_->removeEntry();
}

void SessionRecovery::programEnds() {
    autosaver_->finish();
}

RecoveryChoice SessionRecovery::askRestore(const RecoveryCandidate& candidate) {
    return prompts_.askRecovery(window_, recoverySongName(candidate.info), candidate.info.time.toLocalTime());
}

bool SessionRecovery::confirmDiscard(const RecoveryCandidate&) {
    return prompts_.askDiscardRecovery(window_) == Prompts::Answer::Yes;
}

bool SessionRecovery::askDeleteDamaged(const RecoveryCandidate& candidate) {
    return prompts_.askDeleteDamagedRecovery(
               window_, unreadableFileText(candidate.recoveryPath, candidate.result)) == Prompts::Answer::Yes;
}

} // namespace pokopen
