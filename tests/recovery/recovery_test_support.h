#pragma once

#include "model/new_song.h"
#include "model/song.h"
#include "support/song_builders.h"

#include <QDateTime>
#include <QLockFile>
#include <QString>

#include <sys/wait.h>
#include <unistd.h>

namespace pokopen::testing {

inline QDateTime utc(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toUTC();
}

// A new song with `notes` quarter notes in part 1, so that songs of a test differ.
inline Song songWithNotes(int notes) {
    Song song = makeNewSong();
    for (int i = 0; i < notes; ++i)
        addNote(song, 0, 24 * i, 24, static_cast<std::uint8_t>(20 + i % 30));
    return song;
}

// Leaves `lockPath` locked by a process that is gone, as a program killed while it ran does.
inline void leaveLockOfDeadProcess(const QString& lockPath) {
    const pid_t child = fork();
    if (child == 0) {
        QLockFile lock(lockPath);
        _exit(lock.tryLock(0) ? 0 : 1); // no destructor runs: the lock file stays
    }
    int status = 0;
    waitpid(child, &status, 0);
}

} // namespace pokopen::testing
