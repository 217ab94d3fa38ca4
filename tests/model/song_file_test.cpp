#include "model/new_song.h"
#include "model/song_file.h"
#include "model/store_check.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace pokopen {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// A folder of its own for each test, removed afterwards.
class SongFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("pokopen-songfile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const {
        std::string bytes;
        readWholeFile(path(name), bytes);
        return bytes;
    }
    fs::path dir_;
};

TEST(Kn2Text, NewSongStartsWithTheKnownLines) {
    const std::string text = serializeKn2(makeNewSong());
    ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
    const auto lines = linesOf(text);
    ASSERT_EQ(lines.size(), 51u + 16u * 9u + 5u + 9u);
    EXPECT_EQ(lines[0], "MorvelKNBv200");
    EXPECT_EQ(lines[1], "\x96\xb3\x91\xe8");
    EXPECT_EQ(lines[2], "Copyright by ?");
    EXPECT_EQ((std::vector<std::string>(lines.begin() + 3, lines.begin() + 6)),
              (std::vector<std::string>{"0", "2", "100"}));
    EXPECT_EQ((std::vector<std::string>(lines.begin() + 51, lines.begin() + 60)),
              (std::vector<std::string>{"2", "0", "3", "100", "0", "0", "4", "64", "0"}));
    EXPECT_EQ(
        (std::vector<std::string>(lines.end() - 14, lines.end())),
        (std::vector<std::string>{"1", "0", "5", "120", "0", "2", "0", "6", "14", "0", "0", "7", "66", "0"}));
}

TEST(Kn2Text, RoundTripsByteForByteWithNegativeExtras) {
    Song song = makeNewSong();
    testing::addNote(song, 0, 0, 24, 6, -1); // F natural under a sharp key
    testing::addNote(song, 2, 48, 6, 251, 3);
    testing::setSignature(song, KIND_KEY, 3, 16);
    song.songTitle = "\x83\x65\x83\x58\x83\x67"; // "テスト"
    song.partTransposition[4] = 3;
    const std::string text = serializeKn2(song);
    EXPECT_NE(text.find("\r\n6\r\n-1\r\n"), std::string::npos);
    Song back;
    ASSERT_TRUE(parseKn2(text, back).ok());
    EXPECT_EQ(back, song);
    EXPECT_EQ(back.row(0).at(2).extra, -1);
    EXPECT_EQ(serializeKn2(back), text);
}

TEST(Kn2Text, ReadsLfAndCrLineBreaks) {
    const std::string crlf = serializeKn2(makeNewSong());
    std::string lf, cr;
    for (std::size_t i = 0; i < crlf.size(); ++i) {
        if (crlf[i] == '\r')
            continue;
        lf += crlf[i];
        cr += crlf[i] == '\n' ? '\r' : crlf[i];
    }
    lf.pop_back(); // and without a last line break
    for (const std::string& text : {lf, cr}) {
        Song song;
        ASSERT_TRUE(parseKn2(text, song).ok());
        EXPECT_EQ(song, makeNewSong());
    }
}

TEST_F(SongFileTest, SaveAndLoadByExtensionInAnyCase) {
    Song song = makeNewSong();
    testing::addNote(song, 0, 0, 24, 23);
    ASSERT_TRUE(saveSongFile(path("song.KN2"), song).ok());
    EXPECT_EQ(formatOfPath(path("song.KN2")), SongFormat::Kn2);
    EXPECT_EQ(formatOfPath("a.kn2/song"), SongFormat::Knb);
    EXPECT_EQ(formatOfPath("song.knb"), SongFormat::Knb);
    Song back;
    SongFormat format = SongFormat::Knb;
    ASSERT_TRUE(loadSongFile(path("song.KN2"), back, &format).ok());
    EXPECT_EQ(format, SongFormat::Kn2);
    EXPECT_EQ(back, song);
}

TEST_F(SongFileTest, MissingFileCannotBeOpenedAndLeavesTheSong) {
    Song song = makeNewSong();
    testing::addNote(song, 0, 0, 24, 23);
    const Song before = song;
    EXPECT_EQ(loadSongFile(path("none.kn2"), song).error, FileError::CannotOpen);
    EXPECT_EQ(song, before);
}

TEST_F(SongFileTest, FailedSaveLeavesThePreviousFileIntact) {
    Song song = makeNewSong();
    ASSERT_TRUE(saveSongFile(path("keep.kn2"), song).ok());
    const std::string before = read("keep.kn2");
    testing::addNote(song, 0, 0, 24, 23);
    if (::getuid() != 0) {
        fs::permissions(dir_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        EXPECT_EQ(saveSongFile(path("keep.kn2"), song).error, FileError::CannotCreate);
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        EXPECT_EQ(read("keep.kn2"), before);
    }
    // A path whose folder does not exist fails for every user.
    EXPECT_EQ(saveSongFile(path("no/such/dir/x.kn2"), song).error, FileError::CannotCreate);
    EXPECT_EQ(read("keep.kn2"), before);
    EXPECT_EQ(fs::directory_iterator(dir_)->path().filename(), "keep.kn2"); // no temporary left behind
}

// A legacy song: title, copyright, key, meter, tempo, four ignored lines, 16 x 3 settings, 16 blocks.
std::string knbText(int legacyKey, const std::vector<std::string>& partSettings,
                    const std::vector<std::vector<std::array<int, 4>>>& blocks) {
    std::ostringstream s;
    s << "Old song\r\n(c) me\r\n" << legacyKey << "\r\n3\r\n15\r\n0\r\n0\r\n0\r\n0\r\n";
    for (int p = 0; p < 16; ++p)
        s << (p < static_cast<int>(partSettings.size()) ? partSettings[static_cast<std::size_t>(p)]
                                                        : "0\r\n10\r\n1\r\n");
    for (int p = 0; p < 16; ++p) {
        const auto& events = p < static_cast<int>(blocks.size()) ? blocks[static_cast<std::size_t>(p)]
                                                                 : std::vector<std::array<int, 4>>{};
        s << events.size() << "\r\n";
        for (const auto& e : events)
            s << e[0] << "\r\n" << e[1] << "\r\n" << e[2] << "\r\n" << e[3] << "\r\n";
    }
    return s.str();
}

TEST(KnbConversion, BFlatPartInGMajorIsWrittenInAMajor) {
    // Legacy key 2 is G major; part 1 plays a B-flat instrument (legacy transposition 2), so its
    // written key is A major (F, C and G sharpened) and every stored step is the written one + 1.
    const std::string text = knbText(2, {"71\r\n13\r\n2\r\n"},
                                     {{{0, 1, 23, 3},
                                       {24, 2, 23, 3}, // C4, as the signature says
                                       {24, 1, 9, 0},
                                       {48, 2, 9, 0}, // C natural against C sharp
                                       {48, 1, 13, -1},
                                       {72, 2, 13, -1}, // F flat against F sharp
                                       {72, 1, 11, 0},
                                       {96, 2, 11, 0}}}); // A natural: A is not altered
    Song song;
    const FileResult r = parseKnb(text, song);
    ASSERT_TRUE(r.ok()) << r.line << " " << r.message;
    EXPECT_EQ(song.songTitle, "Old song");
    EXPECT_EQ(song.partInstrument[0], 71);
    EXPECT_EQ(song.partVolume[0], 127);
    EXPECT_EQ(song.partTransposition[0], 3);
    EXPECT_EQ(song.partTransposition[1], 2);
    EXPECT_EQ(song.partVolume[1], 100);
    EXPECT_EQ(song.row(TEMPO_ROW).at(0), (Event{0, KIND_TEMPO, 120, 0}));
    EXPECT_EQ(song.row(SIGNATURE_ROW).at(0), (Event{0, KIND_KEY, 16, 0}));
    EXPECT_EQ(song.row(SIGNATURE_ROW).at(1), (Event{0, KIND_METER, 66, 0}));
    const EventRow& row = song.row(0);
    ASSERT_EQ(row.count(), 10);
    EXPECT_EQ(row.at(0), (Event{0, KIND_DYNAMICS, 100, 0}));
    EXPECT_EQ(row.at(1), (Event{0, KIND_PAN, 64, 0}));
    EXPECT_EQ(row.at(2), (Event{0, KIND_NOTE_ON, 24, 0}));
    EXPECT_EQ(row.at(3), (Event{24, KIND_NOTE_OFF, 24, 0}));
    EXPECT_EQ(row.at(4), (Event{24, KIND_NOTE_ON, 10, -1}));
    EXPECT_EQ(row.at(5), (Event{48, KIND_NOTE_OFF, 10, 0}));
    EXPECT_EQ(row.at(6), (Event{48, KIND_NOTE_ON, 14, -2}));
    EXPECT_EQ(row.at(8), (Event{72, KIND_NOTE_ON, 12, 0}));
    EXPECT_EQ(checkStore(song), "");
}

TEST(KnbConversion, TickZeroDynamicsReplacesTheDefault) {
    const std::string text =
        knbText(0, {}, {{{0, 3, 5, 0}, {0, 1, 23, 3}, {24, 2, 23, 3}}, {{96, 3, 25, 0}}});
    Song song;
    ASSERT_TRUE(parseKnb(text, song).ok());
    EXPECT_EQ(song.row(0).at(0), (Event{0, KIND_PAN, 64, 0}));
    EXPECT_EQ(song.row(0).at(1), (Event{0, KIND_DYNAMICS, 30, 0}));
    EXPECT_EQ(song.row(0).count(), 4);
    // A later first level keeps the default one.
    EXPECT_EQ(song.row(1).at(0), (Event{0, KIND_DYNAMICS, 100, 0}));
    EXPECT_EQ(song.row(1).at(2), (Event{96, KIND_DYNAMICS, 127, 0}));
    EXPECT_EQ(checkStore(song), "");
}

TEST(KnbConversion, DrumPartStepsBecomePercussionIndexes) {
    std::vector<std::vector<std::array<int, 4>>> blocks(10);
    blocks[9] = {{0, 1, 23, 3}, {24, 2, 23, 3}};
    Song song;
    ASSERT_TRUE(parseKnb(knbText(0, {}, blocks), song).ok());
    // Step 23 (C4) is 12*3 + 4 - 19 = 21: percussion key 60.
    EXPECT_EQ(song.row(9).at(2), (Event{0, KIND_NOTE_ON, 21, 0}));
    EXPECT_EQ(song.row(9).at(3), (Event{24, KIND_NOTE_OFF, 21, 0}));
}

TEST_F(SongFileTest, SavingAConvertedSongLeavesTheLegacyFile) {
    const std::string legacy = knbText(0, {}, {{{0, 1, 23, 3}, {24, 2, 23, 3}}});
    write("old.knb", legacy);
    Song song;
    SongFormat format = SongFormat::Kn2;
    ASSERT_TRUE(loadSongFile(path("old.knb"), song, &format).ok());
    EXPECT_EQ(format, SongFormat::Knb);
    ASSERT_TRUE(saveSongFile(path("old.kn2"), song).ok());
    EXPECT_EQ(read("old.knb"), legacy);
    Song back;
    ASSERT_TRUE(loadSongFile(path("old.kn2"), back).ok());
    EXPECT_EQ(back, song);
}

} // namespace
} // namespace pokopen
