#pragma once

#include "document/song_document.h"
#include "model/song_file.h"
#include "recovery/autosaver.h"
#include "recovery/recovery_offer.h"
#include "recovery/recovery_store.h"

#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace pokopen {

class Prompts;

// The message for a song file that cannot be read, as every reader's failure shows it.
QString unreadableFileText(const QString& path, const FileResult& result);

// The document as the autosaver sees it.
class DocumentAutosaveSource : public AutosaveSource {
public:
    explicit DocumentAutosaveSource(const SongDocument& document) : document_(document) {}
    std::uint64_t revision() const override { return document_.revision(); }
    bool isModified() const override { return document_.isModified(); }
    Song snapshot() const override { return document_.snapshot(); }
    std::string filePath() const override {
        return document_.untitled() ? std::string() : document_.filePath();
    }
    std::string fileTitle() const override { return document_.fileTitle(); }
    std::optional<FileFingerprint> fileFingerprint() const override { return document_.fileFingerprint(); }

private:
    const SongDocument& document_;
};

// The main window's autosave and crash recovery: its entry in the recovery folder, the autosaver
// over the document, and the offer of autosaves left by programs that are gone.
class SessionRecovery : private RecoveryQuestions {
public:
    SessionRecovery(SongDocument& document, Prompts& prompts, QWidget* window, const QString& folder,
                    int intervalSeconds);
    ~SessionRecovery() override;

    // Asks about each autosave of a program that is gone, newest first. A song chosen for
    // restoring goes into the document with its file path and title, modified, and its entry
    // becomes this program's own (kept until the song is saved); true then.
    bool offerAtStartUp();
    // The song was saved, or the user let its changes go: its autosave goes.
    void songSavedOrDiscarded();
    // The normal end of the program: the autosave and its lock go.
    void programEnds();

    const RecoveryStore& store() const { return store_; }
    Autosaver& autosaver() { return *autosaver_; }

private:
    RecoveryChoice askRestore(const RecoveryCandidate& candidate) override;
    bool confirmDiscard(const RecoveryCandidate& candidate) override;
    bool askDeleteDamaged(const RecoveryCandidate& candidate) override;

    SongDocument& document_;
    DocumentAutosaveSource source_;
    Prompts& prompts_;
    QWidget* window_;
    RecoveryStore store_;
    std::unique_ptr<Autosaver> autosaver_;
};

} // namespace pokopen
