#pragma once

#include <string>
#include <vector>

// What an import adapted to fit a song: one line for each kind with its count, Japanese for the
// windows and English for the command-line tool. Empty when a file was taken over exactly.
namespace pokopen {

struct ReportLine {
    std::string japanese; // UTF-8
    std::string english;

    bool operator==(const ReportLine&) const = default;
};

using ImportReport = std::vector<ReportLine>;

inline std::vector<std::string> japaneseLines(const ImportReport& report) {
    std::vector<std::string> out;
    for (const ReportLine& line : report)
        out.push_back(line.japanese);
    return out;
}

inline std::vector<std::string> englishLines(const ImportReport& report) {
    std::vector<std::string> out;
    for (const ReportLine& line : report)
        out.push_back(line.english);
    return out;
}

} // namespace pokopen
