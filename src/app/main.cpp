#include "app/main_window.h"
#include "app/qt_translations.h"
#include "app/test_hooks.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QTimer>

#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pokopen"));
    pokopen::installFontSubstitutions();
    pokopen::installQtTranslations(app);
    QStringList arguments = QApplication::arguments().mid(1);
    // A hidden option for the manual's pictures: --manual-view NAME SONG.
    QString manualView;
    if (arguments.size() >= 2 && arguments[0] == QLatin1String("--manual-view")) {
        manualView = arguments[1];
        arguments = arguments.mid(2);
    }
    // Another, for the test of an installed program: --test-play-and-quit SONG opens the song,
    // test-plays it, closes the player (and any message box) and closes the program.
    bool testPlayAndQuit = false;
    if (!arguments.isEmpty() && arguments[0] == QLatin1String("--test-play-and-quit")) {
        testPlayAndQuit = true;
        arguments = arguments.mid(1);
    }
    // And those of the crash-recovery test: --test-answers LIST and --test-hooks STEPS
    // (test_hooks.h).
    const pokopen::TestHookOptions hooks = pokopen::takeTestHookOptions(arguments);
    auto answering = hooks.any() ? std::make_unique<pokopen::AnsweringPrompts>(hooks.answers) : nullptr;
    const pokopen::AnsweringPrompts* answers = answering.get();
    pokopen::TfrmMain window(arguments, std::move(answering));
    window.show();
    if (answers != nullptr)
        pokopen::runTestHooks(window, hooks.steps, *answers);
    if (!manualView.isEmpty())
        QTimer::singleShot(300, &window, [&window, manualView] { window.showManualView(manualView); });
    QTimer closer;
    if (testPlayAndQuit) {
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        QTimer::singleShot(300, &window, [&window, &closer] {
            closer.start(500);
            window.mnuMPlayClick();
            closer.stop();
            window.close();
        });
    }
    return QApplication::exec();
}
