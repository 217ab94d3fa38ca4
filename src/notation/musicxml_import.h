#pragma once

#include "model/import_report.h"
#include "model/song.h"
#include "notation/musicxml_parse.h"

#include <string>
#include <string_view>

// A MusicXML score as a song: parts in order to parts 1..16 (10 kept for the drums), notes on
// the staff steps and with the accidentals as written, transposing instruments as the part's
// setting where the program has it, signatures, tempi and the dynamics and pan of sound
// elements. What has no place in a song is dropped or rounded and counted in the report.
namespace pokopen {

struct MusicXmlImportResult {
    bool ok = false;
    int line = 0;         // a refused document: the line at fault
    std::string entry;    // a refused archive: the entry at fault, if any
    std::string message;  // English
    std::string japanese; // the same in Japanese
    ImportReport report;
};

// Fits a score read by readMusicXmlScore to a song.
Song songOfScore(const Score& score, ImportReport& report);

// Reads a MusicXML document (uncompressed). On failure `out` is left as it was.
MusicXmlImportResult importMusicXml(std::string_view document, Song& out);

// Reads `.musicxml` / `.xml` files and `.mxl` archives (by the extension, in any letter case).
MusicXmlImportResult importMusicXmlFile(const std::string& path, Song& out);

} // namespace pokopen
