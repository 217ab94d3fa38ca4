#include "app/main_window.h"
#include "app/program.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pokopen"));
    pokopen::installFontSubstitutions();
    QStringList arguments = QApplication::arguments().mid(1);
    // A hidden option for the manual's pictures: --manual-view NAME SONG.
    QString manualView;
    if (arguments.size() >= 2 && arguments[0] == QLatin1String("--manual-view")) {
        manualView = arguments[1];
        arguments = arguments.mid(2);
    }
    pokopen::TfrmMain window(arguments);
    window.show();
    if (!manualView.isEmpty())
        QTimer::singleShot(300, &window, [&window, manualView] { window.showManualView(manualView); });
    return QApplication::exec();
}
