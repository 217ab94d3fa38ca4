#include "app/song_folder.h"

#include "ui/app_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace pokopen {

namespace {
const QString KEY = QStringLiteral("FILES/SongFolder");
}

SongFolder::SongFolder(QString iniPath)
    : SongFolder(std::move(iniPath), {QCoreApplication::applicationDirPath(),
                                      QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                                      &AppPaths::folderAcceptsFiles}) {}

SongFolder::SongFolder(QString iniPath, Locations locations)
    : iniPath_(std::move(iniPath)), locations_(std::move(locations)) {}

QString SongFolder::startFolder() const {
    const QSettings ini(iniPath_, QSettings::IniFormat);
    const QString last = ini.value(KEY).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    if (locations_.isWritable(locations_.programFolder))
        return locations_.programFolder;
    if (!locations_.documentsFolder.isEmpty() && QDir().mkpath(locations_.documentsFolder))
        return locations_.documentsFolder;
    return locations_.programFolder;
}

void SongFolder::remember(const QString& songPath) const {
    QSettings ini(iniPath_, QSettings::IniFormat);
    ini.setValue(KEY, QFileInfo(songPath).absolutePath());
}

} // namespace pokopen
