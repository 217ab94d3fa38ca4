#include "notation/musicxml_writer.h"

#include "model/instruments.h"
#include "model/new_song.h"
#include "model/pitch.h"
#include "model/text_codec.h"
#include "model/timeline.h"
#include "notation/musicxml_reader.h"
#include "notation/musicxml_test_songs.h"
#include "support/song_builders.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>

namespace pokopen {
namespace {

using testing::ReadScore;
using Lines = std::vector<std::string>;

// Staff steps (0 = E7, counting down) of the notes these tests write.
constexpr std::uint8_t C5 = 16, D5 = 15, E5 = 14, F5 = 13, B4 = 17, A3 = 25;

// Exports songs, reads every document back and checks each against the schema.
class MusicXmlWriterTest : public ::testing::Test {
protected:
    ReadScore exportSong(const Song& song) {
        const std::string document = buildMusicXml(song);
        const std::string file = dir_.filePath("doc" + QString::number(++count_) + ".musicxml").toStdString();
        std::ofstream(file, std::ios::binary) << document;
        std::string skipped;
        EXPECT_EQ(testing::schemaErrors(file, skipped), "");
        if (!skipped.empty())
            skipped_ = skipped;
        ReadScore read = testing::readMusicXml(document);
        EXPECT_EQ(read.problems, Lines{});
        return read;
    }
    // The test's own checks ran, so it passes or fails on them; only the schema check was left
    // out, which the result records and the log says.
    void TearDown() override {
        if (skipped_.empty())
            return;
        RecordProperty("schema_check", "not run: " + skipped_);
        std::cerr << "note: " << skipped_ << '\n';
    }
    // The lines of one voice in a measure (" v1 " etc.), without attributes and directions.
    static Lines voice(const ReadScore& read, const std::string& part, int measure, int v) {
        Lines out;
        const std::string tag = " v" + std::to_string(v);
        for (const std::string& line : read.measure(part, measure))
            if (line.find(tag + " ") != std::string::npos || line.ends_with(tag))
                out.push_back(line);
        return out;
    }

    QTemporaryDir dir_;
    int count_ = 0;
    std::string skipped_;
};

TEST_F(MusicXmlWriterTest, WritesOneNoteOfEachLength) {
    struct Case {
        std::int32_t length;
        Lines voice1;
    };
    const Case cases[] = {
        {96, {"C5 96 whole v1 s1"}},
        {72, {"C5 72 half. v1 s1", "rest 24 quarter v1 s1"}},
        {48, {"C5 48 half v1 s1", "rest 48 half v1 s1"}},
        {36, {"C5 36 quarter. v1 s1", "rest 12 eighth v1 s1", "rest 48 half v1 s1"}},
        {24, {"C5 24 quarter v1 s1", "rest 24 quarter v1 s1", "rest 48 half v1 s1"}},
        {18, {"C5 18 eighth. v1 s1", "rest 6 16th v1 s1", "rest 24 quarter v1 s1", "rest 48 half v1 s1"}},
        {12, {"C5 12 eighth v1 s1", "rest 12 eighth v1 s1", "rest 24 quarter v1 s1", "rest 48 half v1 s1"}},
        {9,
         {"C5 9 16th. v1 s1", "rest 3 32nd v1 s1", "rest 12 eighth v1 s1", "rest 24 quarter v1 s1",
          "rest 48 half v1 s1"}},
        {6,
         {"C5 6 16th v1 s1", "rest 6 16th v1 s1", "rest 12 eighth v1 s1", "rest 24 quarter v1 s1",
          "rest 48 half v1 s1"}},
        {3,
         {"C5 3 32nd v1 s1", "rest 3 32nd v1 s1", "rest 6 16th v1 s1", "rest 12 eighth v1 s1",
          "rest 24 quarter v1 s1", "rest 48 half v1 s1"}},
        {8,
         {"C5 8 eighth 3:2 v1 s1 [3", "rest 16 quarter 3:2 v1 s1 3]", "rest 24 quarter v1 s1",
          "rest 48 half v1 s1"}},
        {1,
         {"C5 1 64th 3:2 v1 s1 [3", "rest 2 32nd 3:2 v1 s1 3]", "rest 3 32nd v1 s1", "rest 6 16th v1 s1",
          "rest 12 eighth v1 s1", "rest 24 quarter v1 s1", "rest 48 half v1 s1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        Song song = makeNewSong();
        testing::addNote(song, 0, 0, c.length, C5);
        const ReadScore read = exportSong(song);
        EXPECT_EQ(voice(read, "P1", 1, 1), c.voice1);
        EXPECT_EQ(voice(read, "P1", 1, 5), Lines{"rest 96 measure v5 s2"});
        EXPECT_EQ(read.notes, (std::vector<testing::ReadNote>{{"P1", 0, c.length, 72}}));
    }
}

TEST_F(MusicXmlWriterTest, FirstMeasureCarriesTheSettingsAndTheScoreItsTexts) {
    Song song = makeNewSong();
    song.songTitle = *encodeSongText(QStringLiteral("きらきら星 & <夜>"));
    song.songCopyright = *encodeSongText(QStringLiteral("作曲：山田 \"太郎\""));
    song.partInstrument[2] = 40;
    song.partVolume[2] = 127;
    testing::addNote(song, 2, 0, 96, A3);
    const std::string document = buildMusicXml(song);
    EXPECT_NE(document.find("<work-title>きらきら星 &amp; &lt;夜&gt;</work-title>"), std::string::npos);
    EXPECT_NE(document.find("<midi-channel>3</midi-channel>"), std::string::npos);
    EXPECT_NE(document.find("<midi-program>41</midi-program>"), std::string::npos);
    EXPECT_NE(document.find("<volume>100</volume>"), std::string::npos);
    const ReadScore read = exportSong(song);
    EXPECT_EQ(read.title, "きらきら星 & <夜>");
    EXPECT_EQ(read.rights, "作曲：山田 \"太郎\"");
    EXPECT_EQ(read.partIds, Lines{"P3"});
    EXPECT_EQ(read.partNames.at("P3"), "Violin");
    EXPECT_EQ(read.measure("P3", 1),
              (Lines{"divisions 24", "key 0 major", "time 4/4", "staves 2", "clef G2 1", "clef F4 2",
                     "tempo 120 sound 120 at 0", "rest 96 measure v1 s1", "backup 96", "A3 96 whole v5 s2",
                     "barline light-heavy"}));
}

TEST_F(MusicXmlWriterTest, TiesADottedNoteAcrossTheBarLine) {
    Song song = makeNewSong();
    testing::addNote(song, 0, 72, 36, C5);
    const ReadScore read = exportSong(song);
    EXPECT_EQ(voice(read, "P1", 1, 1),
              (Lines{"rest 48 half v1 s1", "rest 24 quarter v1 s1", "C5 24 quarter tie-start v1 s1"}));
    EXPECT_EQ(voice(read, "P1", 2, 1), (Lines{"C5 12 eighth tie-stop v1 s1", "rest 12 eighth v1 s1",
                                              "rest 24 quarter v1 s1", "rest 48 half v1 s1"}));
    EXPECT_EQ(read.notes, (std::vector<testing::ReadNote>{{"P1", 72, 108, 72}}));
}

TEST_F(MusicXmlWriterTest, WritesTripletsChordsAndOverlapsInVoices) {
    Song song = makeNewSong();
    // A beamed eighth-note triplet, then a chord of a quarter, in measure 1.
    testing::addNote(song, 0, 0, 8, C5);
    testing::addNote(song, 0, 8, 8, D5);
    testing::addNote(song, 0, 16, 8, E5);
    testing::addNote(song, 0, 24, 24, C5);
    testing::addNote(song, 0, 24, 24, E5);
    // Two overlapping notes in measure 2.
    testing::addNote(song, 0, 96, 48, C5);
    testing::addNote(song, 0, 120, 48, E5);
    const ReadScore read = exportSong(song);
    EXPECT_EQ(voice(read, "P1", 1, 1),
              (Lines{"C5 8 eighth 3:2 v1 s1 beam=begin [3", "D5 8 eighth 3:2 v1 s1 beam=continue",
                     "E5 8 eighth 3:2 v1 s1 beam=end 3]", "C5 24 quarter v1 s1", "+E5 24 quarter v1 s1",
                     "rest 48 half v1 s1"}));
    EXPECT_EQ(read.measure("P1", 2),
              (Lines{"C5 48 half v1 s1", "rest 48 half v1 s1", "backup 96", "rest 24 quarter v2 s1",
                     "E5 48 half v2 s1", "rest 24 quarter v2 s1", "backup 96", "rest 96 measure v5 s2",
                     "barline light-heavy"}));
}

TEST_F(MusicXmlWriterTest, WritesATransposingPartInItsWrittenKey) {
    Song song = makeNewSong();
    testing::setSignature(song, KIND_KEY, 0, 12); // concert F major
    song.partTransposition[0] = 3;                // B-flat instrument: written G major
    ASSERT_EQ(TRANSPOSE_SEMITONES[3], -2);
    // Stored steps are concert steps; the staff shows them one step higher.
    testing::addNote(song, 0, 0, 24, C5);      // concert C, written D
    testing::addNote(song, 0, 24, 24, B4, +1); // concert B natural, written C sharp
    testing::addNote(song, 0, 48, 24, B4);     // concert B flat, written C natural again
    const ReadScore read = exportSong(song);
    EXPECT_EQ(read.measure("P1", 1),
              (Lines{"divisions 24", "key 1 major", "time 4/4", "staves 2", "clef G2 1", "clef F4 2",
                     "transpose -1 -2 0", "tempo 120 sound 120 at 0", "D5 24 quarter v1 s1",
                     "C#5 24 quarter v1 s1 acc=sharp", "C5 24 quarter v1 s1 acc=natural",
                     "rest 24 quarter v1 s1", "backup 96", "rest 96 measure v5 s2", "barline light-heavy"}));
    EXPECT_EQ(read.notes,
              (std::vector<testing::ReadNote>{{"P1", 0, 24, 72}, {"P1", 24, 48, 71}, {"P1", 48, 72, 70}}));
}

TEST_F(MusicXmlWriterTest, WritesKeyTimeAndTempoChangesWhereTheSongHasThem) {
    Song song = makeNewSong();
    testing::setSignature(song, KIND_KEY, 1, 16);     // G major from measure 2
    testing::setSignature(song, KIND_METER, 1, 0x32); // 3/4 from measure 2
    testing::setSignature(song, KIND_KEY, 2, 5);      // B-flat minor from measure 3
    EventRow& tempo = song.row(TEMPO_ROW);
    tempo.insertAt(1, {96 + 24, KIND_TEMPO, 90, 0});
    tempo.insertAt(2, {96 + 48, KIND_TEMPO, 90, 0}); // no change, no mark
    testing::addNote(song, 0, 96, 24, F5);
    testing::addNote(song, 0, 96 + 72, 24, D5);
    const ReadScore read = exportSong(song);
    EXPECT_EQ(read.measure("P1", 2),
              (Lines{"key 1 major", "time 3/4", "forward 24", "tempo 90 sound 90 at 24", "forward 24",
                     "backup 48", "F#5 24 quarter v1 s1", "rest 24 quarter v1 s1", "rest 24 quarter v1 s1",
                     "backup 72", "rest 72 measure v5 s2"}));
    EXPECT_EQ(read.measure("P1", 3).front(), "key -5 minor");
    EXPECT_EQ(voice(read, "P1", 3, 1).front(), "Db5 24 quarter v1 s1");
}

TEST_F(MusicXmlWriterTest, WritesTheDrumPartOnAPercussionStaff) {
    Song song = makeNewSong();
    // Drum indexes: 43 snare 1 (key 38), 46 bass drum 1 (key 35), 39 closed hi-hat (key 42).
    testing::addNote(song, PERCUSSION_PART, 0, 24, 43);
    testing::addNote(song, PERCUSSION_PART, 0, 24, 46);
    testing::addNote(song, PERCUSSION_PART, 24, 12, 39);
    const ReadScore read = exportSong(song);
    EXPECT_EQ(read.partNames.at("P10"), "Drums");
    EXPECT_EQ(read.instrumentNames,
              (std::map<std::string, std::string>{
                  {"P10-I36", "バスドラム1"}, {"P10-I39", "スネア1"}, {"P10-I43", "閉ハイハット"}}));
    EXPECT_EQ(read.measure("P10", 1),
              (Lines{"divisions 24", "key 0 major", "time 4/4", "clef percussion ",
                     "tempo 120 sound 120 at 0", "X E4 P10-I36 24 quarter v1", "+X C5 P10-I39 24 quarter v1",
                     "X G5 P10-I43 12 eighth v1 head=x", "rest 12 eighth v1", "rest 48 half v1",
                     "barline light-heavy"}));
    EXPECT_EQ(read.notes, testing::soundingNotes(song));
}

TEST_F(MusicXmlWriterTest, ASongWithoutNotesShowsTheFirstPartsEmptyMeasures) {
    Song song = makeNewSong();
    testing::setSignature(song, KIND_KEY, 2, 16);
    const ReadScore read = exportSong(song);
    EXPECT_EQ(read.partIds, Lines{"P1"});
    EXPECT_EQ(read.lines.size(), 3u); // up to the key change in measure 3
    EXPECT_TRUE(read.notes.empty());
}

std::vector<std::string> startsAndKeys(const std::vector<testing::ReadNote>& notes) {
    std::vector<std::string> out;
    for (const testing::ReadNote& n : notes)
        out.push_back(n.part + "@" + std::to_string(n.start) + ":" + std::to_string(n.key));
    std::sort(out.begin(), out.end());
    return out;
}

std::map<std::string, int> lengthsByPart(const std::vector<testing::ReadNote>& notes) {
    std::map<std::string, int> out;
    for (const testing::ReadNote& n : notes)
        out[n.part] += n.end - n.start;
    return out;
}

TEST_F(MusicXmlWriterTest, RandomSongsAddUpInEveryVoiceAndSoundAsTheirMidiExport) {
    for (unsigned seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Song song = testing::randomScoreSong(seed);
        const ReadScore read = exportSong(song);
        // Two overlapping notes of one key (a sharp and the natural above it) pair up either way
        // in MIDI; starts and keys, and the total length of each part's notes, tell all the same.
        const std::vector<testing::ReadNote> expected = testing::soundingNotes(song);
        const std::vector<std::string> got = startsAndKeys(read.notes), want = startsAndKeys(expected);
        std::vector<std::string> extra, missing;
        std::set_difference(got.begin(), got.end(), want.begin(), want.end(), std::back_inserter(extra));
        std::set_difference(want.begin(), want.end(), got.begin(), got.end(), std::back_inserter(missing));
        EXPECT_EQ(extra, Lines{}) << "notes the document has that the song has not";
        EXPECT_EQ(missing, Lines{}) << "notes of the song the document has not";
        EXPECT_EQ(lengthsByPart(read.notes), lengthsByPart(expected));
        for (const std::string& id : read.partIds) {
            const int part = std::stoi(id.substr(1)) - 1;
            EXPECT_EQ(read.partNames.at(id),
                      part == PERCUSSION_PART ? std::string("Drums")
                                              : std::string(INSTRUMENT_NAMES[static_cast<std::size_t>(
                                                    song.partInstrument[static_cast<std::size_t>(part)])]));
        }
    }
}

TEST(MusicXmlSpelling, TheWrittenAlterationIsTheStaffsAccidental) {
    // The writer spells a note from the key it sounds (as the MIDI export plays it); in the
    // measure where it starts that must be the staff's written step and accidental, for every
    // key, transposing instrument, step and stored accidental the program can hold.
    for (int key = 0; key < KEY_COUNT; ++key)
        for (int t = 0; t < TRANSPOSITION_COUNT; ++t)
            for (int step = -8; step < 60; ++step)
                for (int extra = -2; extra <= 2; ++extra) {
                    const std::uint8_t value = valueOfStep(step);
                    const int sounding = naturalKeyOfValue(value) + keyAlteration(key, value) + extra;
                    const WrittenKey written = writtenKey(key, t);
                    const int writtenStep = step - written.shift;
                    const int staffAlter = keyAlteration(written.key, writtenStep) + extra;
                    ASSERT_EQ(sounding - TRANSPOSE_SEMITONES[static_cast<std::size_t>(t)] -
                                  naturalKey(writtenStep),
                              staffAlter)
                        << "key " << key << " transposition " << t << " step " << step << " extra " << extra;
                }
}

TEST(MusicXmlStreaming, WritesInPiecesAndStopsWhenTheSinkFails) {
    // One part of the stress song: 1000 measures of 32nd notes.
    const Song stress = testing::makeStressSong();
    Song song = makeNewSong();
    song.row(0) = stress.row(0);
    std::size_t pieces = 0, largest = 0, total = 0;
    ASSERT_TRUE(writeMusicXml(song, [&](std::string_view piece) {
        ++pieces;
        largest = std::max(largest, piece.size());
        total += piece.size();
        return true;
    }));
    EXPECT_GT(total, 5'000'000u);
    EXPECT_LT(largest, 2'000'000u); // never more than a buffer of about a megabyte
    EXPECT_GT(pieces, total / 2'000'000u);

    int calls = 0;
    EXPECT_FALSE(writeMusicXml(song, [&](std::string_view) { return ++calls < 3; }));
    EXPECT_EQ(calls, 3);
}

TEST(MusicXmlFile, IsWrittenWholeOrNotAtAll) {
    QTemporaryDir dir;
    Song song = makeNewSong();
    testing::addNote(song, 0, 0, 24, C5);
    const std::string path = dir.filePath("song.musicxml").toStdString();
    ASSERT_TRUE(writeMusicXmlFile(path, song));
    std::ifstream in(path, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, buildMusicXml(song));
    EXPECT_FALSE(writeMusicXmlFile(dir.filePath("missing/song.musicxml").toStdString(), song));
}

} // namespace
} // namespace pokopen
