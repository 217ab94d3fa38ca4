#include "app/cli.h"
#include "midi/midi_file.h"
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

TEST_F(CliTest, WrongUsageExitsWithTwo) {
    EXPECT_EQ(run({}), 2);
    EXPECT_EQ(run({"info"}), 2);
    EXPECT_EQ(run({"frobnicate", "a"}), 2);
    EXPECT_EQ(run({"export-midi", "--fm", "a"}), 2);
    EXPECT_EQ(run({"export-musicxml", "a"}), 2);
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
