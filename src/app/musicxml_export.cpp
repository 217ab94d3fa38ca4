#include "app/musicxml_export.h"

#include "app/prompts.h"
#include "notation/musicxml_writer.h"
#include "ui/wait_window.h"

#include <QDir>

namespace pokopen {

void exportMusicXml(QWidget* owner, Prompts& prompts, const QString& folder, const QString& fileTitle,
                    const Song& song) {
    const QString path = prompts.musicXmlFileName(owner, folder, fileTitle + QStringLiteral(".musicxml"));
    if (path.isEmpty())
        return;
    bool written = false;
    {
        WaitScope wait(owner);
        written = writeMusicXmlFile(path.toStdString(), song);
    }
    // A file that could not be written is said so, never passed over as a success.
    if (!written)
        prompts.showError(owner,
                          QStringLiteral("ﾌｧｲﾙ %1 を作成できません").arg(QDir::toNativeSeparators(path)));
}

} // namespace pokopen
