#pragma once

#include <QApplication>
#include <QStandardPaths>

namespace pokopen::bench {

// Painting and windows need fonts and widgets, so one QApplication on the offscreen platform for
// the whole benchmark run, made on first use by whichever benchmark needs it first.
inline void ensureApplication() {
    if (QApplication::instance() != nullptr)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true); // never the user's autosaves or settings
    static int argc = 1;
    static char name[] = "pokopen_bench";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives until the process ends
}

} // namespace pokopen::bench
