#pragma once

#include "app/prompts.h"

#include <QStringList>

namespace pokopen {

class TfrmMain;

// Hidden options for the program's end-to-end tests (the crash-recovery test starts the real
// program, edits, kills it and starts it again):
//   --test-answers A,B,…  the recovery questions and the unsaved-changes prompt are answered in
//                         order (restore, discard, later, yes, no, cancel) instead of shown; each
//                         recovery question is printed as "question: …"
//   --test-hooks S,T,…    steps run once the window is up: note (a click on the staff of an empty
//                         measure), wait-autosave (until this program's autosave file exists),
//                         report (prints asked, save, title, path and the rows' event counts),
//                         save (Ctrl+S), quit (closes the window)
struct TestHookOptions {
    QStringList answers;
    QStringList steps;
    bool any() const { return !answers.isEmpty() || !steps.isEmpty(); }
};

// Takes the hidden options out of the arguments.
TestHookOptions takeTestHookOptions(QStringList& arguments);

// The real boxes, except those answered from the list.
class AnsweringPrompts : public DialogPrompts {
public:
    explicit AnsweringPrompts(QStringList answers) : answers_(std::move(answers)) {}
    Answer askSaveChanges(QWidget* parent) override;
    RecoveryChoice askRecovery(QWidget* parent, const QString& songName, const QDateTime& time) override;
    Answer askDiscardRecovery(QWidget* parent) override;
    Answer askDeleteDamagedRecovery(QWidget* parent, const QString& text) override;
    void showAutosaveFailed(QWidget* parent, const QString& folder) override;
    void showError(QWidget* parent, const QString& text) override;

    int recoveryQuestions() const { return recoveryQuestions_; }

private:
    Answer nextAnswer(Answer otherwise);
    QStringList answers_;
    int recoveryQuestions_ = 0;
};

// Runs the steps one after another from the event loop.
void runTestHooks(TfrmMain& window, const QStringList& steps, const AnsweringPrompts& prompts);

} // namespace pokopen
