#include "midifile/midi_file.h"
#include "model/new_song.h"
#include "model/song_file.h"
#include "model/store_check.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace pokopen {
namespace {

std::vector<std::string> newSongLines() {
    const std::string text = serializeKn2(makeNewSong());
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string join(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines)
        s += l + "\r\n";
    return s;
}

// Line indexes (0-based) of a new song's file.
constexpr int PART1_INSTRUMENT = 3;
constexpr int PART1_TRANSPOSITION = 4;
constexpr int ROW0_COUNT = 51;
constexpr int ROW0_FIRST_KIND = 53;
constexpr int TEMPO_COUNT = 51 + 16 * 9;
constexpr int SIGNATURE_COUNT = TEMPO_COUNT + 5;

struct Malformed {
    const char* what;
    int line;         // 0-based line to change
    const char* text; // its new text
    int expectedLine; // 1-based line the error must name
};

TEST(MalformedKn2, EachRefusalNamesItsLineAndKeepsTheSong) {
    const std::vector<Malformed> cases = {
        {"not a number", PART1_INSTRUMENT, "abc", PART1_INSTRUMENT + 1},
        {"number with junk", ROW0_FIRST_KIND, "3x", ROW0_FIRST_KIND + 1},
        {"empty number", ROW0_FIRST_KIND, "", ROW0_FIRST_KIND + 1},
        {"number beyond 32 bits", ROW0_FIRST_KIND - 1, "99999999999", ROW0_FIRST_KIND},
        {"huge count", ROW0_COUNT, "2000000000", ROW0_COUNT + 1},
        {"negative count", ROW0_COUNT, "-1", ROW0_COUNT + 1},
        {"instrument out of range", PART1_INSTRUMENT, "128", PART1_INSTRUMENT + 1},
        {"transposition out of its table", PART1_TRANSPOSITION, "7", PART1_TRANSPOSITION + 1},
        {"kind 0", ROW0_FIRST_KIND, "0", ROW0_FIRST_KIND + 1},
        {"kind 8", ROW0_FIRST_KIND, "8", ROW0_FIRST_KIND + 1},
        {"tempo kind in a part row", ROW0_FIRST_KIND, "5", ROW0_FIRST_KIND + 1},
        {"negative position", ROW0_FIRST_KIND - 1, "-3", ROW0_FIRST_KIND},
        {"meter with numerator 0", SIGNATURE_COUNT + 7, "2", SIGNATURE_COUNT + 8},
        {"key byte 30", SIGNATURE_COUNT + 3, "30", SIGNATURE_COUNT + 4},
        {"signatures out of order", SIGNATURE_COUNT + 1, "4", SIGNATURE_COUNT + 6},
        {"signature beyond the song", SIGNATURE_COUNT + 5, "1000", SIGNATURE_COUNT + 6},
        {"tempo not at the start", TEMPO_COUNT + 1, "24", TEMPO_COUNT + 1},
    };
    for (const Malformed& c : cases) {
        auto lines = newSongLines();
        lines[static_cast<std::size_t>(c.line)] = c.text;
        Song song = makeNewSong();
        testing::addNote(song, 0, 0, 24, 23);
        const Song before = song;
        const FileResult r = parseKn2(join(lines), song);
        EXPECT_EQ(r.error, FileError::Malformed) << c.what;
        EXPECT_EQ(r.line, c.expectedLine) << c.what << ": " << r.message;
        EXPECT_FALSE(r.message.empty()) << c.what;
        EXPECT_EQ(song, before) << c.what;
    }
}

TEST(MalformedKn2, SignatureRowWithoutAKeyAtTheStartIsRefused) {
    auto lines = newSongLines();
    lines[SIGNATURE_COUNT] = "1";
    lines.erase(lines.begin() + SIGNATURE_COUNT + 1, lines.begin() + SIGNATURE_COUNT + 5);
    Song song;
    const FileResult r = parseKn2(join(lines), song);
    EXPECT_EQ(r.error, FileError::Malformed);
    EXPECT_EQ(r.line, SIGNATURE_COUNT + 1);
}

TEST(MalformedKn2, TruncatedFilesEndTooEarly) {
    const auto lines = newSongLines();
    for (std::size_t keep :
         {std::size_t{0}, std::size_t{1}, std::size_t{20}, std::size_t{ROW0_COUNT + 3}, lines.size() - 1}) {
        Song song;
        const FileResult r = parseKn2(
            join(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(keep))), song);
        EXPECT_EQ(r.error, FileError::Malformed) << keep;
        EXPECT_GE(r.line, 1);
    }
}

TEST(MalformedKn2, ToleratesSignsBlanksAndLowBytes) {
    auto lines = newSongLines();
    lines[PART1_INSTRUMENT] = " +5 ";
    lines[ROW0_FIRST_KIND + 1] = "356"; // value stored as its low byte: 100
    Song song;
    ASSERT_TRUE(parseKn2(join(lines), song).ok());
    EXPECT_EQ(song.partInstrument[0], 5);
    EXPECT_EQ(song.row(0).at(0).value, 100);
}

// Pasting measures over shorter ones can leave rows out of order or past the end of the song;
// such files load, put in order and clipped, instead of being refused.
TEST(RepairedKn2, UnsortedRowsArePutInOrder) {
    Song song = makeNewSong();
    song.row(0).assign({{0, KIND_DYNAMICS, 100, 0},
                        {0, KIND_PAN, 64, 0},
                        {96, KIND_NOTE_ON, 23, 0},
                        {120, KIND_NOTE_OFF, 23, 0},
                        {48, KIND_NOTE_ON, 21, 0},
                        {72, KIND_NOTE_OFF, 21, 0},
                        {72, KIND_NOTE_ON, 21, 0},
                        {96, KIND_NOTE_OFF, 21, 0}});
    Song back;
    const FileResult r = parseKn2(serializeKn2(song), back);
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.repaired);
    EXPECT_EQ(checkStore(back), "");
    EXPECT_EQ(back.row(0).pos, (std::vector<std::int32_t>{0, 0, 48, 72, 72, 96, 96, 120}));
    EXPECT_EQ(back.row(0).kind[5], KIND_NOTE_OFF);
}

TEST(RepairedKn2, EventsPastTheEndAreClipped) {
    Song song = makeNewSong();
    song.row(3).assign({{0, KIND_DYNAMICS, 100, 0},
                        {95990, KIND_NOTE_ON, 23, 0},
                        {96010, KIND_NOTE_OFF, 23, 0}, // runs past the end: stops there
                        {96000, KIND_NOTE_ON, 30, 0},  // starts at the end: goes whole
                        {96024, KIND_NOTE_OFF, 30, 0},
                        {96050, KIND_PAN, 3, 0}}); // past the end: goes
    Song back;
    const FileResult r = parseKn2(serializeKn2(song), back);
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.repaired);
    EXPECT_EQ(checkStore(back), "");
    ASSERT_EQ(back.row(3).count(), 3);
    EXPECT_EQ(back.row(3).at(2), (Event{96000, KIND_NOTE_OFF, 23, 0}));
}

TEST(MalformedKnb, TableIndexesAndKindsOutOfRangeAreRefused) {
    // title, copyright, key, meter, tempo, 4 ignored, then part 1's instrument, volume, transposition.
    std::vector<std::string> lines = {"t", "c", "0", "3", "15", "0", "0", "0", "0"};
    for (int p = 0; p < 16; ++p)
        lines.insert(lines.end(), {"0", "10", "1"});
    for (int p = 0; p < 16; ++p)
        lines.push_back(p == 0 ? "1" : "0");
    lines.insert(lines.begin() + 57 + 1, {"0", "1", "23", "3"});
    Song ok;
    ASSERT_TRUE(parseKnb(join(lines), ok).ok());

    const std::vector<Malformed> cases = {
        {"key index 30", 2, "30", 3},           {"meter index 6", 3, "6", 4},
        {"tempo index 31", 4, "31", 5},         {"volume index 14", 10, "14", 11},
        {"transposition index 7", 11, "7", 12}, {"kind 4", 59, "4", 60},
        {"accidental 4", 61, "4", 62},          {"dynamics index 26", 60, "26", 61},
        {"count past the end", 57, "5", 58},
    };
    for (const Malformed& c : cases) {
        auto changed = lines;
        changed[static_cast<std::size_t>(c.line)] = c.text;
        if (std::string(c.what) == "dynamics index 26")
            changed[59] = "3";
        Song song = makeNewSong();
        const FileResult r = parseKnb(join(changed), song);
        EXPECT_EQ(r.error, FileError::Malformed) << c.what;
        EXPECT_EQ(r.line, c.expectedLine) << c.what << ": " << r.message;
        EXPECT_EQ(song, makeNewSong()) << c.what;
    }
}

// Inputs the fuzzers once found troublesome are kept and replayed here.
TEST(FuzzRegressions, ReadersNeverCrashOnKeptInputs) {
    namespace fs = std::filesystem;
    const fs::path dir(POKOPEN_FUZZ_REGRESSIONS);
    ASSERT_TRUE(fs::is_directory(dir));
    int replayed = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream f(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        for (bool kn2 : {true, false}) {
            Song song;
            const FileResult r = kn2 ? parseKn2(bytes, song) : parseKnb(bytes, song);
            if (!r.ok())
                continue;
            // What loads must also write, and read back as itself.
            EXPECT_FALSE(buildMidiFile(song, false).empty()) << entry.path();
            Song back;
            EXPECT_TRUE(parseKn2(serializeKn2(song), back).ok()) << entry.path();
            EXPECT_EQ(back, song) << entry.path();
        }
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

} // namespace
} // namespace pokopen
