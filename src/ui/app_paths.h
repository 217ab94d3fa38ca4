#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace pokopen {

// Where the program keeps its files: the INI file (palette position and the program's own
// settings), the test-play file knb.mid and the HTML manual.
//
// A program unpacked into a folder of its own keeps everything beside the executable (portable
// use). An installed program cannot write there, so it keeps the INI file in the per-user config
// folder and knb.mid in the per-user cache folder instead. The manual is only read, so it is
// looked for beside the executable first and then in the installation's share folder.
class AppPaths {
public:
    // Answers whether new files can be created in a folder.
    using WritableCheck = std::function<bool(const QString& folder)>;

    struct Locations {
        QString executablePath; // absolute path of the program file
        QString userConfigDir;  // per-user folder for settings
        QString userCacheDir;   // per-user folder for files that can be made again
        WritableCheck isWritable;
    };

    // The running program: its own file, QStandardPaths' per-user folders and a real write probe.
    static AppPaths forRunningProgram();

    explicit AppPaths(Locations locations);

    // True when the files live beside the executable.
    bool portable() const { return portable_; }

    // The INI file: the executable's name with the extension ".ini".
    QString iniPath() const;
    // The test-play MIDI file. Creates its folder if that is missing, so it can be written at once.
    QString testPlayMidiPath() const;
    // The manual's index page, or an empty string when the manual is not installed.
    QString manualPath() const;
    // Where manualPath() looks, in order (for the message shown when the manual is missing).
    QStringList manualCandidates() const;

    // Probes a folder by creating and removing a temporary file in it; unlike a permission-bit
    // check this also sees read-only file systems and access-control lists.
    static bool folderAcceptsFiles(const QString& folder);

private:
    QString executableDir_;
    QString iniName_;
    Locations locations_;
    bool portable_ = false;
};

} // namespace pokopen
