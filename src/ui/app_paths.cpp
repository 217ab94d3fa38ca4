#include "ui/app_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace pokopen {

namespace {

const QString TEST_PLAY_FILE_NAME = QStringLiteral("knb.mid");
const QString MANUAL_BESIDE_EXECUTABLE = QStringLiteral("manual/index.html");
const QString MANUAL_IN_SHARE = QStringLiteral("../share/pokopen/manual/index.html");

} // namespace

AppPaths AppPaths::forRunningProgram() {
    Locations locations;
    locations.executablePath = QCoreApplication::applicationFilePath();
    locations.userConfigDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    locations.userCacheDir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    locations.isWritable = &AppPaths::folderAcceptsFiles;
    return AppPaths(std::move(locations));
}

AppPaths::AppPaths(Locations locations) : locations_(std::move(locations)) {
    const QFileInfo executable(locations_.executablePath);
    executableDir_ = executable.absolutePath();
    // completeBaseName keeps inner dots ("pokopen.app.exe" gives "pokopen.app.ini").
    iniName_ = executable.completeBaseName() + QStringLiteral(".ini");
    portable_ = locations_.isWritable && locations_.isWritable(executableDir_);
}

QString AppPaths::iniPath() const {
    const QString folder = portable_ ? executableDir_ : locations_.userConfigDir;
    return QDir(folder).filePath(iniName_);
}

QString AppPaths::testPlayMidiPath() const {
    const QString folder = portable_ ? executableDir_ : locations_.userCacheDir;
    QDir().mkpath(folder);
    return QDir(folder).filePath(TEST_PLAY_FILE_NAME);
}

QStringList AppPaths::manualCandidates() const {
    const QDir dir(executableDir_);
    return {QDir::cleanPath(dir.filePath(MANUAL_BESIDE_EXECUTABLE)),
            QDir::cleanPath(dir.filePath(MANUAL_IN_SHARE))};
}

QString AppPaths::manualPath() const {
    for (const QString& candidate : manualCandidates()) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

bool AppPaths::folderAcceptsFiles(const QString& folder) {
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".pokopen-write-probe-XXXXXX")));
    return probe.open(); // removed again when `probe` goes
}

} // namespace pokopen
