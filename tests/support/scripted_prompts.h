#pragma once

#include "app/prompts.h"
#include "support/test_files.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <deque>

namespace pokopen::testing {

// Answers the main window's questions from a script and records what it was shown: the
// texts, the names proposed and the folders the file dialogs would start in.
class ScriptedPrompts : public Prompts {
public:
    struct Script {
        std::deque<Answer> answers;
        std::deque<QString> openNames;
        std::deque<QString> saveNames;
        std::deque<QString> midiNames;
        std::deque<QString> musicXmlNames;
        QStringList errors;
        QStringList proposedNames;
        int questions = 0;
        std::deque<Answer> warningAnswers;
        QStringList warnings;
        QStringList infos;
        int beeps = 0;
        std::deque<RecoveryChoice> recoveryChoices;
        QStringList recoveryQuestions; // "song name|time"
        QStringList autosaveFailures;
        std::deque<Answer> overwriteAnswers; // "the file changed meanwhile: overwrite?"
        int overwriteQuestions = 0;
        QStringList folders;
    };
    explicit ScriptedPrompts(Script& script) : s_(script) {}
    Answer askSaveChanges(QWidget*) override {
        ++s_.questions;
        return takeFront(s_.answers, Answer::Cancel);
    }
    QString openFileName(QWidget*, const QString& folder) override {
        s_.folders << folder;
        return takeFront(s_.openNames, QString());
    }
    QString saveFileName(QWidget*, const QString& folder, const QString& proposed) override {
        s_.folders << folder;
        s_.proposedNames << proposed;
        return takeFront(s_.saveNames, QString());
    }
    QString midiFileName(QWidget*, const QString& folder, const QString& proposed) override {
        s_.folders << folder;
        s_.proposedNames << proposed;
        return takeFront(s_.midiNames, QString());
    }
    QString musicXmlFileName(QWidget*, const QString& folder, const QString& proposed) override {
        s_.folders << folder;
        s_.proposedNames << proposed;
        return takeFront(s_.musicXmlNames, QString());
    }
    void showError(QWidget*, const QString& text) override { s_.errors << text; }
    void showInformation(QWidget*, const QString& text) override { s_.infos << text; }
    Answer askOverwriteChangedFile(QWidget*) override {
        ++s_.overwriteQuestions;
        return takeFront(s_.overwriteAnswers, Answer::No);
    }
    void beep() override { ++s_.beeps; }
    Answer askWarning(QWidget*, const QString& caption, const QString& text) override {
        s_.warnings << caption + "|" + text;
        return takeFront(s_.warningAnswers, Answer::Cancel);
    }
    void showWarning(QWidget*, const QString& caption, const QString& text) override {
        s_.warnings << caption + "|" + text;
    }
    RecoveryChoice askRecovery(QWidget*, const QString& songName, const QDateTime& time) override {
        s_.recoveryQuestions << songName + "|" + time.toString(Qt::ISODate);
        return takeFront(s_.recoveryChoices, RecoveryChoice::Later);
    }
    Answer askDiscardRecovery(QWidget*) override {
        s_.warnings << DISCARD_RECOVERY_TEXT;
        return takeFront(s_.warningAnswers, Answer::No);
    }
    Answer askDeleteDamagedRecovery(QWidget*, const QString& text) override {
        s_.errors << text;
        return takeFront(s_.warningAnswers, Answer::No);
    }
    void showAutosaveFailed(QWidget*, const QString& folder) override { s_.autosaveFailures << folder; }

private:
    Script& s_;
};

} // namespace pokopen::testing
