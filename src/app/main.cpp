#include "app/main_window.h"
#include "app/program.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pokopen"));
    QApplication::setApplicationDisplayName(pokopen::PROGRAM_TITLE);
    pokopen::installFontSubstitutions();
    pokopen::TfrmMain window(QApplication::arguments().mid(1));
    window.show();
    return QApplication::exec();
}
