#include "app/test_hooks.h"

#include "app/main_window.h"
#include "score/score_page.h"
#include "ui/image_view.h"

#include <QApplication>
#include <QFileInfo>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

namespace pokopen {

namespace {

void print(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\n'), QStringLiteral(" / "));
}

// A press and a release of the left button at `at`, as the mouse delivers them.
void click(QWidget* widget, QPoint at) {
    const QPointF local(at);
    const QPointF global(widget->mapToGlobal(at));
    QMouseEvent move(QEvent::MouseMove, local, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void report(TfrmMain& window, const AnsweringPrompts& prompts) {
    const SongDocument& document = window.session();
    QStringList rows;
    for (int r = 0; r < ROW_COUNT; ++r)
        rows << QString::number(document.song().row(r).count());
    print(QStringLiteral("asked: %1").arg(prompts.recoveryQuestions()));
    print(QStringLiteral("save: %1").arg(window.tolSave->isEnabled() ? 1 : 0));
    print(QStringLiteral("title: ") + QString::fromStdString(document.fileTitle()));
    print(QStringLiteral("path: ") +
          (document.untitled() ? QString() : QString::fromStdString(document.filePath())));
    print(QStringLiteral("rows: ") + rows.join(QLatin1Char(' ')));
}

void runStep(TfrmMain* window, QStringList steps, const AnsweringPrompts* prompts) {
    if (steps.isEmpty())
        return;
    const QString step = steps.takeFirst();
    auto next = [window, steps, prompts] {
        QTimer::singleShot(0, window, [window, steps, prompts] { runStep(window, steps, prompts); });
    };
    if (step == QLatin1String("note")) {
        // Measure 20 of part 1 is empty in any short song; (120, 148) is C4 at tick 12.
        window->barMeas->setValue(20);
        click(window->scorePage()->imgScore(), QPoint(120, 148));
    } else if (step == QLatin1String("wait-autosave")) {
        const QString own = window->recovery().store().ownRecoveryPath();
        if (own.isEmpty() || !QFileInfo::exists(own)) {
            steps.prepend(step);
            QTimer::singleShot(50, window, [window, steps, prompts] { runStep(window, steps, prompts); });
            return;
        }
    } else if (step == QLatin1String("report")) {
        report(*window, *prompts);
    } else if (step == QLatin1String("save")) {
        window->mnuSaveClick();
    } else if (step == QLatin1String("quit")) {
        window->close();
    } else {
        print(QStringLiteral("unknown step: ") + step);
    }
    next();
}

} // namespace

TestHookOptions takeTestHookOptions(QStringList& arguments) {
    TestHookOptions options;
    for (;;) {
        if (arguments.size() >= 2 && arguments[0] == QLatin1String("--test-answers"))
            options.answers = arguments[1].split(QLatin1Char(','), Qt::SkipEmptyParts);
        else if (arguments.size() >= 2 && arguments[0] == QLatin1String("--test-hooks"))
            options.steps = arguments[1].split(QLatin1Char(','), Qt::SkipEmptyParts);
        else
            return options;
        arguments = arguments.mid(2);
    }
}

Prompts::Answer AnsweringPrompts::nextAnswer(Answer otherwise) {
    if (answers_.isEmpty())
        return otherwise;
    const QString answer = answers_.takeFirst();
    if (answer == QLatin1String("yes"))
        return Answer::Yes;
    if (answer == QLatin1String("no"))
        return Answer::No;
    return Answer::Cancel;
}

Prompts::Answer AnsweringPrompts::askSaveChanges(QWidget*) {
    print(QStringLiteral("prompt: save changes"));
    return nextAnswer(Answer::Cancel);
}

RecoveryChoice AnsweringPrompts::askRecovery(QWidget*, const QString& songName, const QDateTime& time) {
    ++recoveryQuestions_;
    print(QStringLiteral("question: ") + oneLine(recoveryQuestionText(songName, time)));
    const QString answer = answers_.isEmpty() ? QStringLiteral("later") : answers_.takeFirst();
    if (answer == QLatin1String("restore"))
        return RecoveryChoice::Restore;
    if (answer == QLatin1String("discard"))
        return RecoveryChoice::Discard;
    return RecoveryChoice::Later;
}

Prompts::Answer AnsweringPrompts::askDiscardRecovery(QWidget*) {
    print(QStringLiteral("prompt: ") + DISCARD_RECOVERY_TEXT);
    return nextAnswer(Answer::No);
}

Prompts::Answer AnsweringPrompts::askDeleteDamagedRecovery(QWidget*, const QString& text) {
    print(QStringLiteral("damaged: ") + oneLine(text));
    return nextAnswer(Answer::No);
}

void AnsweringPrompts::showAutosaveFailed(QWidget*, const QString& folder) {
    print(QStringLiteral("autosave failed: ") + folder);
}

void AnsweringPrompts::showError(QWidget*, const QString& text) {
    print(QStringLiteral("error: ") + oneLine(text));
}

void runTestHooks(TfrmMain& window, const QStringList& steps, const AnsweringPrompts& prompts) {
    QTimer::singleShot(300, &window, [&window, steps, &prompts] { runStep(&window, steps, &prompts); });
}

} // namespace pokopen
