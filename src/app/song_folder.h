#pragma once

#include <QString>

#include <functional>

namespace pokopen {

// Where the Open, Save As and MIDI export dialogs start: the folder of the song last opened or
// saved (remembered in the INI file), else the program's folder when songs can be written
// there (a program unpacked into a folder of its own), else the user's documents folder (an
// installed program, whose folder is not the user's), else the program's folder after all.
class SongFolder {
public:
    struct Locations {
        QString programFolder;
        QString documentsFolder;
        std::function<bool(const QString& folder)> isWritable;
    };

    // The running program: its own folder, QStandardPaths' documents folder, a real write probe.
    explicit SongFolder(QString iniPath);
    SongFolder(QString iniPath, Locations locations);

    QString startFolder() const;
    // Remembers the folder of a song just opened or saved.
    void remember(const QString& songPath) const;

private:
    QString iniPath_;
    Locations locations_;
};

} // namespace pokopen
