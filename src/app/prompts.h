#pragma once

#include "midifile/smf_import.h"
#include "recovery/recovery_offer.h"
#include "ui/dialog_messages.h"

#include <QDateTime>
#include <QString>

#include <optional>

class QWidget;

namespace pokopen {

// The questions, file dialogs and error boxes of the main window's commands, behind one small
// interface so that tests answer them without a modal window. The message boxes of the small
// dialogs (DialogMessages) come with it.
class Prompts : public DialogMessages {
public:
    // Beeps, then asks whether to save the changed song.
    virtual Answer askSaveChanges(QWidget* parent) = 0;
    // An empty string when the dialog is cancelled.
    virtual QString openFileName(QWidget* parent, const QString& folder) = 0;
    // "MIDIファイルの読み込み設定", asked when a MIDI file is opened; nothing when cancelled.
    // Unless a test says otherwise, the defaults.
    virtual std::optional<MidiImportOptions> askMidiImportOptions(QWidget*) { return MidiImportOptions{}; }
    virtual QString saveFileName(QWidget* parent, const QString& folder, const QString& proposedName) = 0;
    virtual QString midiFileName(QWidget* parent, const QString& folder, const QString& proposedName) = 0;
    virtual QString musicXmlFileName(QWidget* parent, const QString& folder, const QString& proposedName) = 0;
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // A message with the information icon and OK.
    virtual void showInformation(QWidget* parent, const QString& text) = 0;
    // Save found the song's file changed by another program since it was opened or saved:
    // はい overwrites it, いいえ (the default, and closing the box) keeps it.
    virtual Answer askOverwriteChangedFile(QWidget* parent) = 0;

    // The autosave of a program that is gone, offered at start-up ("自動保存からの復元"):
    // 復元する (the default), 破棄する or 後で. `time` is the autosave's, in local time.
    // The recovery questions' defaults decide nothing (後で, No), so a script that does not
    // expect them keeps every autosave.
    virtual RecoveryChoice askRecovery(QWidget*, const QString& /*songName*/, const QDateTime& /*time*/) {
        return RecoveryChoice::Later;
    }
    // 破棄する asks once more before the autosave is deleted: Yes or No.
    virtual Answer askDiscardRecovery(QWidget*) { return Answer::No; }
    // A damaged autosave file, reported with the reader's message (`text`): delete it (Yes) or not.
    virtual Answer askDeleteDamagedRecovery(QWidget*, const QString& /*text*/) { return Answer::No; }
    // An autosave could not be written into `folder`; said once per run.
    virtual void showAutosaveFailed(QWidget*, const QString& /*folder*/) {}
};

// The recovery question's text and the autosave messages, shared by the boxes and the tests.
inline const QString RECOVERY_CAPTION = QStringLiteral("自動保存からの復元");
QString recoveryQuestionText(const QString& songName, const QDateTime& time);
inline const QString CHANGED_FILE_TEXT =
    QStringLiteral("このファイルは、開いた後にほかのプログラムによって変更されています。上書きしますか？");
inline const QString DISCARD_RECOVERY_TEXT =
    QStringLiteral("自動保存された内容を削除します。よろしいですか？");
QString autosaveFailedText(const QString& folder);

// The real dialogs and message boxes.
class DialogPrompts : public Prompts {
public:
    void beep() override { boxes_.beep(); }
    Answer askWarning(QWidget* parent, const QString& caption, const QString& text) override {
        return boxes_.askWarning(parent, caption, text);
    }
    void showWarning(QWidget* parent, const QString& caption, const QString& text) override {
        boxes_.showWarning(parent, caption, text);
    }
    Answer askSaveChanges(QWidget* parent) override;
    QString openFileName(QWidget* parent, const QString& folder) override;
    std::optional<MidiImportOptions> askMidiImportOptions(QWidget* parent) override;
    QString saveFileName(QWidget* parent, const QString& folder, const QString& proposedName) override;
    QString midiFileName(QWidget* parent, const QString& folder, const QString& proposedName) override;
    QString musicXmlFileName(QWidget* parent, const QString& folder, const QString& proposedName) override;
    void showError(QWidget* parent, const QString& text) override;
    void showInformation(QWidget* parent, const QString& text) override;
    Answer askOverwriteChangedFile(QWidget* parent) override;
    RecoveryChoice askRecovery(QWidget* parent, const QString& songName, const QDateTime& time) override;
    Answer askDiscardRecovery(QWidget* parent) override;
    Answer askDeleteDamagedRecovery(QWidget* parent, const QString& text) override;
    void showAutosaveFailed(QWidget* parent, const QString& folder) override;

private:
    BoxDialogMessages boxes_;
};

} // namespace pokopen
