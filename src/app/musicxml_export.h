#pragma once

#include "model/song.h"

#include <QString>

class QWidget;

namespace pokopen {

class Prompts;

// The MusicXML export command: asks for the file (proposing `fileTitle` + ".musicxml" in
// `folder`), writes the score behind the wait window and says so when it cannot.
void exportMusicXml(QWidget* owner, Prompts& prompts, const QString& folder, const QString& fileTitle,
                    const Song& song);

} // namespace pokopen
