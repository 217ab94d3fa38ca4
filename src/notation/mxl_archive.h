#pragma once

#include <cstddef>
#include <string>

// The compressed form of MusicXML: a zip archive whose META-INF/container.xml names the score.
namespace pokopen {

struct MxlResult {
    bool ok = false;
    std::string entry;    // the entry at fault, when one is
    std::string message;  // English
    std::string japanese; // the same in Japanese
};

// The score document of the archive at `path` into `document`, inflated to at most `limit`
// bytes: an archive that claims or inflates to more is refused, so is one whose container does
// not name a score it holds.
MxlResult readMxlScore(const std::string& path, std::string& document, std::size_t limit);

} // namespace pokopen
