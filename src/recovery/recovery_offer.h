#pragma once

#include "recovery/recovery_store.h"

#include <QString>

#include <optional>
#include <vector>

namespace pokopen {

enum class RecoveryChoice { Restore, Discard, Later };

// The questions of the offer at start-up, answered by message boxes (or by a test's script).
class RecoveryQuestions {
public:
    virtual ~RecoveryQuestions() = default;
    // Restore, discard or keep for later the autosave of `candidate`.
    virtual RecoveryChoice askRestore(const RecoveryCandidate& candidate) = 0;
    // Asked once more before an autosave is deleted; true: delete it.
    virtual bool confirmDiscard(const RecoveryCandidate& candidate) = 0;
    // A damaged autosave file: report it (candidate.result) and ask whether to delete it.
    virtual bool askDeleteDamaged(const RecoveryCandidate& candidate) = 0;
};

// Offers the entries one after another, in the order given (newest first). Discarded and damaged
// entries that the user lets go are deleted; entries left for later keep their files and lose
// the lock. The first entry chosen for restoring ends the offer and is returned with its lock
// still held (for RecoveryStore::adopt); the entries not yet asked about stay for the next start,
// since the window holds one song.
std::optional<RecoveryCandidate> offerRecovery(std::vector<RecoveryCandidate> found,
                                               RecoveryQuestions& questions);

// How the question names the song: the file name of its path, or "Notitle" for a song never saved.
QString recoverySongName(const RecoveryInfo& info);

} // namespace pokopen
