#include "recovery/recovery_offer.h"

#include <QFileInfo>

namespace pokopen {

std::optional<RecoveryCandidate> offerRecovery(std::vector<RecoveryCandidate> found,
                                               RecoveryQuestions& questions) {
    std::optional<RecoveryCandidate> chosen;
    for (RecoveryCandidate& candidate : found) {
        if (chosen) {
            RecoveryStore::keep(candidate);
            continue;
        }
        if (candidate.damaged()) {
            if (questions.askDeleteDamaged(candidate))
                RecoveryStore::discard(candidate);
            else
                RecoveryStore::keep(candidate);
            continue;
        }
        for (;;) {
            const RecoveryChoice choice = questions.askRestore(candidate);
            if (choice == RecoveryChoice::Restore) {
                chosen = std::move(candidate);
                break;
            }
            if (choice == RecoveryChoice::Later) {
                RecoveryStore::keep(candidate);
                break;
            }
            if (questions.confirmDiscard(candidate)) {
                RecoveryStore::discard(candidate);
                break;
            }
            // Not confirmed: the same autosave is offered again.
        }
    }
    return chosen;
}

QString recoverySongName(const RecoveryInfo& info) {
    if (info.filePath.empty())
        return QStringLiteral("Notitle");
    return QFileInfo(QString::fromStdString(info.filePath)).fileName();
}

} // namespace pokopen
