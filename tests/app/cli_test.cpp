#include "app/cli.h"
#include "midifile/midi_file.h"
#include "model/new_song.h"
#include "model/song_file.h"
#include "notation/musicxml_writer.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace pokopen {
namespace {

namespace fs = std::filesystem;

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("pokopen-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    int run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return runCli(args, out_, err_);
    }
    fs::path dir_;
    std::ostringstream out_, err_;
};

TEST_F(CliTest, InfoShowsTitleCountsAndEnd) {
    ASSERT_TRUE(saveSongFile(path("new.kn2"), makeNewSong()).ok());
    EXPECT_EQ(run({"info", path("new.kn2")}), 0);
    EXPECT_NE(out_.str().find("title: 無題\n"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("rows: 2 2 2 2 2 2 2 2 2 2 2 2 2 2 2 2 1 2\n"), std::string::npos);
    EXPECT_NE(out_.str().find("end: measure 1\n"), std::string::npos);
}

TEST_F(CliTest, ANoteEndingWithTheLastMeasureEndsTheSongThere) {
    // Its note-off lies at the start of measure 1001, which does not exist; jump to end shows 1000.
    Song song = makeNewSong();
    testing::addNote(song, 0, 999 * 96, 96, 23);
    ASSERT_TRUE(saveSongFile(path("long.kn2"), song).ok());
    EXPECT_EQ(run({"info", path("long.kn2")}), 0);
    EXPECT_NE(out_.str().find("end: measure 1000\n"), std::string::npos) << out_.str();
}

TEST_F(CliTest, HelpAndVersionGoToStandardOutput) {
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_EQ(out_.str().rfind("usage: pokopen-cli info SONG\n", 0), 0u) << out_.str();
    EXPECT_NE(out_.str().find("--no-normalize"), std::string::npos);
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_EQ(out_.str(), std::string("pokopen-cli ") + POKOPEN_EXPECTED_VERSION + "\n");
    EXPECT_EQ(err_.str(), "");
    EXPECT_EQ(run({"--version", "x"}), 2);
}

TEST_F(CliTest, BytesOfADamagedFileAreNeverCopiedIntoAMessage) {
    std::ofstream(path("noise.kn2"), std::ios::binary)
        << std::string("x\r\nt\r\nc\r\n\x89PNG\x1a\x00\x01\xfe\x82\xa0\r\n", 21);
    EXPECT_EQ(run({"info", path("noise.kn2")}), 1);
    const std::string said = err_.str();
    EXPECT_TRUE(std::all_of(said.begin(), said.end(), [](char c) {
        return (c >= 0x20 && c < 0x7F) || c == '\n';
    })) << said;
    EXPECT_NE(said.find("\\x89PNG"), std::string::npos) << said;
}

TEST_F(CliTest, ConvertAndExportWriteWhatTheProgramWrites) {
    ASSERT_TRUE(saveSongFile(path("new.kn2"), makeNewSong()).ok());
    EXPECT_EQ(run({"convert", path("new.kn2"), path("copy.kn2")}), 0);
    std::string a, b;
    readWholeFile(path("new.kn2"), a);
    readWholeFile(path("copy.kn2"), b);
    EXPECT_EQ(a, b);

    EXPECT_EQ(run({"export-midi", "--fm", path("new.kn2"), path("new.mid")}), 0);
    std::string mid;
    readWholeFile(path("new.mid"), mid);
    const auto expected = buildMidiFile(makeNewSong(), true);
    EXPECT_EQ(mid, std::string(expected.begin(), expected.end()));

    EXPECT_EQ(run({"export-musicxml", path("new.kn2"), path("new.musicxml")}), 0);
    std::string xml;
    readWholeFile(path("new.musicxml"), xml);
    EXPECT_EQ(xml, buildMusicXml(makeNewSong()));
}

TEST_F(CliTest, FailuresNameTheFileAndLine) {
    std::ofstream(path("bad.kn2"), std::ios::binary) << "MorvelKNBv200\r\nt\r\nc\r\nx\r\n";
    EXPECT_EQ(run({"info", path("bad.kn2")}), 1);
    EXPECT_EQ(err_.str().rfind("pokopen-cli: " + path("bad.kn2") + ":4: ", 0), 0u) << err_.str();
    EXPECT_EQ(run({"export-midi", path("missing.kn2"), path("x.mid")}), 1);
    EXPECT_NE(err_.str().find("missing.kn2"), std::string::npos);
    EXPECT_FALSE(fs::exists(path("x.mid")));
    ASSERT_TRUE(saveSongFile(path("new.kn2"), makeNewSong()).ok());
    EXPECT_EQ(run({"export-midi", path("new.kn2"), path("no/dir/x.mid")}), 1);
    EXPECT_NE(err_.str().find("no/dir/x.mid"), std::string::npos);
    EXPECT_EQ(run({"export-musicxml", path("missing.kn2"), path("x.musicxml")}), 1);
    EXPECT_FALSE(fs::exists(path("x.musicxml")));
    EXPECT_EQ(run({"export-musicxml", path("new.kn2"), path("no/dir/x.musicxml")}), 1);
    EXPECT_NE(err_.str().find("no/dir/x.musicxml"), std::string::npos);
}

TEST_F(CliTest, MidiFilesConvertWithTheirReportOnStandardError) {
    Song song = makeNewSong();
    song.partVolume[4] = 77;
    const auto bytes = buildMidiFile(song, false);
    std::ofstream(path("song.MIDI"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(run({"convert", path("song.MIDI"), path("song.kn2")}), 0);
    EXPECT_EQ(err_.str(), "");
    Song back;
    ASSERT_TRUE(loadSongFile(path("song.kn2"), back).ok());
    EXPECT_EQ(back, song);
    EXPECT_EQ(run({"info", path("song.MIDI")}), 0);
    EXPECT_NE(out_.str().find("format: mid\n"), std::string::npos);

    // A pitch bend has no place in a song: converted anyway, and said so.
    const std::string bend("MThd\0\0\0\x06\0\0\0\x01\0\x18MTrk\0\0\0\x08\0\xE0\0\x40\0\xFF\x2F\0", 30);
    std::ofstream(path("bend.mid"), std::ios::binary) << bend;
    EXPECT_EQ(run({"convert", path("bend.mid"), path("bend.kn2")}), 0);
    EXPECT_EQ(err_.str(), "pokopen-cli: " + path("bend.mid") + ": pitch bends dropped: 1\n");

    std::ofstream(path("cut.mid"), std::ios::binary) << bend.substr(0, 26);
    EXPECT_EQ(run({"convert", path("cut.mid"), path("cut.kn2")}), 1);
    EXPECT_EQ(err_.str().rfind("pokopen-cli: " + path("cut.mid") + ": byte 18: ", 0), 0u) << err_.str();
    EXPECT_FALSE(fs::exists(path("cut.kn2")));
}

// Whatever the tool reports about a file, in success or failure, is English: nothing but the
// file's name (here plain ASCII) could hold other characters.
TEST_F(CliTest, MessagesAboutFilesAreEnglish) {
    // Every kind of adaptation the import reports (tempo 96.125 bpm, bend, pressure, controller,
    // second program, system exclusive, identical notes, an unknown drum, a meter it cannot hold,
    // a key it can, a meter inside a measure), and the refusals of each reader.
    const std::vector<int> events = {0,    0xFF, 0x51, 0x03, 0x09, 0x88, 0x3C, 0,    0xE0, 0,    0x40, 0,
                                     0xD0, 0x05, 0,    0xB0, 0x40, 0x7F, 0,    0xC0, 0x05, 0,    0xC0, 0x06,
                                     0,    0xF0, 0x01, 0xF7, 0,    0x90, 0x3C, 0x64, 0,    0x90, 0x3C, 0x50,
                                     0x05, 0x80, 0x3C, 0,    0,    0x99, 0x10, 0x64, 0,    0xFF, 0x58, 0x04,
                                     0x05, 0x07, 0x18, 0x08, 0,    0xFF, 0x59, 0x02, 0x09, 0x00, 0x01, 0xFF,
                                     0x58, 0x04, 0x03, 0x02, 0x18, 0x08, 0,    0xFF, 0x2F, 0};
    std::string adapted("MThd\0\0\0\x06\0\0\0\x01\0\x18MTrk\0\0\0", 21);
    adapted += static_cast<char>(events.size());
    for (const int b : events)
        adapted += static_cast<char>(b);
    std::ofstream(path("adapted.mid"), std::ios::binary) << adapted;
    std::ofstream(path("format2.mid"), std::ios::binary)
        << std::string("MThd\0\0\0\x06\0\x02\0\x01\0\x18", 14);
    std::ofstream(path("cut.mid"), std::ios::binary) << adapted.substr(0, 30);
    std::ofstream(path("bad.kn2"), std::ios::binary) << "MorvelKNBv200\r\nt\r\nc\r\nx\r\n";
    std::ofstream(path("score.txt"), std::ios::binary) << "0\n";
    for (const std::string file :
         {"adapted.mid", "format2.mid", "cut.mid", "bad.kn2", "score.txt", "gone.mid"}) {
        SCOPED_TRACE(file);
        run({"convert", "--grid", "96", path(file), path("out.kn2")});
        std::string said = err_.str();
        ASSERT_FALSE(said.empty());
        for (std::size_t at; (at = said.find(path(file))) != std::string::npos;)
            said.erase(at, path(file).size());
        EXPECT_TRUE(std::all_of(said.begin(), said.end(), [](char c) { return c > 0 && c < 0x7F; })) << said;
    }
    // The file with every adaptation reported each of them.
    run({"convert", "--grid", "96", path("adapted.mid"), path("out.kn2")});
    const std::string report = err_.str();
    EXPECT_GE(std::count(report.begin(), report.end(), '\n'), 10) << report;
}

TEST_F(CliTest, UnknownFileTypesAreRefusedNamingTheTypesRead) {
    std::ofstream(path("score.musicxm"), std::ios::binary) << "<score-partwise/>\n";
    EXPECT_EQ(run({"convert", path("score.musicxm"), path("out.kn2")}), 1);
    EXPECT_EQ(err_.str(),
              "pokopen-cli: " + path("score.musicxm") +
                  ": is of no type that can be read (.kn2, .knb, .mid, .midi, .musicxml, .xml, .mxl)\n");
    EXPECT_FALSE(fs::exists(path("out.kn2")));
}

TEST_F(CliTest, WrongUsageExitsWithTwo) {
    EXPECT_EQ(run({}), 2);
    EXPECT_EQ(run({"info"}), 2);
    EXPECT_EQ(run({"frobnicate", "a"}), 2);
    EXPECT_EQ(run({"export-midi", "--fm", "a"}), 2);
    EXPECT_EQ(run({"export-musicxml", "a"}), 2);
    EXPECT_EQ(run({"convert", "--grid", "64", "a.mid", "a.kn2"}), 2);
    EXPECT_NE(err_.str().find("usage:"), std::string::npos);
}

TEST_F(CliTest, RenderGoesToTheSynthesizerCommandWhenThereIsOne) {
    // Without the synthesizer (the model-only build) render is a failure, not a usage error.
    EXPECT_EQ(run({"render", "song.kn2", "out.wav"}), 1);
    EXPECT_NE(err_.str().find("render"), std::string::npos);

    std::vector<std::string> received;
    const CliCommand render = [&received](const std::vector<std::string>& args, std::ostream&,
                                          std::ostream&) {
        received = args;
        return args.size() == 2 ? 0 : -1;
    };
    err_.str("");
    EXPECT_EQ(runCli({"render", "--rate", "22050", "a.kn2", "b.wav"}, out_, err_, render), 2);
    EXPECT_EQ(received, (std::vector<std::string>{"--rate", "22050", "a.kn2", "b.wav"}));
    EXPECT_NE(err_.str().find("usage:"), std::string::npos); // -1: wrong usage, the usage is shown
    EXPECT_EQ(runCli({"render", "a.kn2", "b.wav"}, out_, err_, render), 0);
}

} // namespace
} // namespace pokopen
