// Runs the window tests inside one QApplication, on the offscreen platform unless told otherwise,
// with Qt's Japanese texts loaded as the program loads them at start.
#include "app/qt_translations.h"

#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Windows made without folders of their own (autosaves, settings) use Qt's test folders,
    // never the user's.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    pokopen::installQtTranslations(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
