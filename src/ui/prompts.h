#pragma once

#include "ui/dialog_messages.h"

#include <QString>

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
    virtual QString saveFileName(QWidget* parent, const QString& folder, const QString& proposedName) = 0;
    virtual QString midiFileName(QWidget* parent, const QString& folder, const QString& proposedName) = 0;
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // A message with the information icon and OK.
    virtual void showInformation(QWidget* parent, const QString& text) = 0;
};

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
    QString saveFileName(QWidget* parent, const QString& folder, const QString& proposedName) override;
    QString midiFileName(QWidget* parent, const QString& folder, const QString& proposedName) override;
    void showError(QWidget* parent, const QString& text) override;
    void showInformation(QWidget* parent, const QString& text) override;

private:
    BoxDialogMessages boxes_;
};

} // namespace pokopen
