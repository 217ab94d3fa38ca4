#include "app/main_window.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    pokopen::TfrmMain window;
    window.show();
    return app.exec();
}
