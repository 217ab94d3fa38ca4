#pragma once

#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// Reads back what the MusicXML writer wrote, as a notation program would: the sounding notes
// with ties joined, every measure's elements as short lines for hand-checked expectations,
// and any measure or tie that does not add up.
namespace pokopen::testing {

struct ReadNote {
    std::string part; // "P1".."P16"
    int start = 0;    // ticks (divisions) from the score's start
    int end = 0;
    int key = 0; // sounding MIDI key; for unpitched notes the instrument's MIDI key
    friend bool operator==(const ReadNote&, const ReadNote&) = default;
    friend auto operator<=>(const ReadNote&, const ReadNote&) = default;
};

inline void PrintTo(const ReadNote& n, std::ostream* os) {
    *os << n.part << "@" << n.start << "-" << n.end << ":" << n.key;
}

struct ReadScore {
    std::vector<std::string> partIds;
    std::map<std::string, std::string> partNames;
    std::vector<ReadNote> notes; // sorted
    // (part, 1-based measure) -> one line per element, e.g. "C#5 24 quarter v1 s1 acc=sharp".
    std::map<std::pair<std::string, int>, std::vector<std::string>> lines;
    std::vector<std::string> problems;
    std::string title;
    std::string rights;
    std::map<std::string, std::string> instrumentNames; // score-instrument id -> name

    const std::vector<std::string>& measure(const std::string& part, int number) const;
};

ReadScore readMusicXml(const std::string& document);

} // namespace pokopen::testing
