#pragma once

#include "model/song.h"

#include <functional>
#include <string>
#include <string_view>

// The score as a MusicXML 4.0 score-partwise document (UTF-8, uncompressed), for notation
// programs: one part per part that holds notes, melodic parts on a grand staff in their written
// key and pitch with the transposition to concert pitch, the drum part on a percussion staff,
// key, time and tempo changes, and every voice of every measure filled to its time signature.
namespace pokopen {

// Receives the document piece by piece; returns false to stop the writing.
using MusicXmlSink = std::function<bool(std::string_view)>;

// Writes the document measure by measure into `sink`, never holding more than a small buffer.
// False when the sink refused a piece.
bool writeMusicXml(const Song& song, const MusicXmlSink& sink);

// The whole document as one string (for small songs and tests).
std::string buildMusicXml(const Song& song);

// Streams the document to `path` and replaces the file only when all of it was written;
// false when it cannot be created or written.
bool writeMusicXmlFile(const std::string& path, const Song& song);

// The 0-based measure the score ends with: the measure of the song's last event, a note
// counting in the measure of its last sounding tick.
std::int32_t musicXmlLastMeasure(const Song& song);

} // namespace pokopen
