#include "midifile/midi_file.h"
#include "model/new_song.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pokopen {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view s) {
    return Bytes(s.begin(), s.end());
}
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The bodies (after the length field) of the file's track chunks, checking the chunk framing.
std::vector<Bytes> tracksOf(const Bytes& file) {
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 14),
              (Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 0x12, 0x01, 0xE0}));
    std::vector<Bytes> tracks;
    std::size_t at = 14;
    while (at < file.size()) {
        EXPECT_EQ(Bytes(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at) + 4),
                  bytesOf("MTrk"));
        const std::size_t length = (std::size_t{file[at + 4]} << 24) | (std::size_t{file[at + 5]} << 16) |
                                   (std::size_t{file[at + 6]} << 8) | file[at + 7];
        tracks.emplace_back(file.begin() + static_cast<long>(at) + 8,
                            file.begin() + static_cast<long>(at + 8 + length));
        at += 8 + length;
    }
    EXPECT_EQ(at, file.size());
    return tracks;
}

// The part of a part track after its lead-in's "Start" event, without the end of track.
Bytes songEventsOf(const Bytes& track) {
    const Bytes start = bytesOf("Start");
    const auto it = std::search(track.begin(), track.end(), start.begin(), start.end());
    return Bytes(it + 5, track.end() - 4);
}

const Bytes END_OF_TRACK = {0x00, 0xFF, 0x2F, 0x00};

TEST(MidiFile, NewSongGivesTheKnownFile) {
    const Bytes file = buildMidiFile(makeNewSong(), false);
    EXPECT_EQ(file.size(), 1191u);
    const auto tracks = tracksOf(file);
    ASSERT_EQ(tracks.size(), 18u);

    const Bytes conductor = cat({{0x00, 0xFF, 0x03, 0x04, 0x96, 0xB3, 0x91, 0xE8},
                                 {0x00, 0xFF, 0x02, 0x0E},
                                 bytesOf("Copyright by ?"),
                                 {0x00, 0xFF, 0x03, 0x0F},
                                 bytesOf("Conductor track"),
                                 {0x00, 0xFF, 0x59, 0x02, 0x00, 0x00},
                                 {0x00, 0xFF, 0x58, 0x04, 0x01, 0x02, 0x18, 0x08},
                                 {0x00, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90},
                                 {0x83, 0x60, 0xFF, 0x01, 0x05},
                                 bytesOf("Start"),
                                 {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},
                                 {0x00, 0xFF, 0x59, 0x02, 0x00, 0x00},
                                 {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08},
                                 END_OF_TRACK});
    EXPECT_EQ(tracks[0].size(), 101u);
    EXPECT_EQ(tracks[0], conductor);

    const Bytes setup = cat({{0x00, 0xFF, 0x03, 0x0C},
                             bytesOf("System Setup"),
                             {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x83, 0x60, 0xFF, 0x2F, 0x00}});
    EXPECT_EQ(tracks[1].size(), 29u);
    EXPECT_EQ(tracks[1], setup);

    const Bytes part1 = cat({{0x00, 0xFF, 0x03, 0x05},
                             bytesOf("CH #1"),
                             {0x00, 0xFF, 0x04, 0x06},
                             bytesOf("Piano1"),
                             {0x81, 0x70, 0xB0, 0x07, 0x64},
                             {0x3C, 0xB0, 0x0A, 0x40},
                             {0x3C, 0xB0, 0x0B, 0x64},
                             {0x3C, 0xC0, 0x00},
                             {0x3C, 0xFF, 0x01, 0x05},
                             bytesOf("Start"),
                             {0x00, 0xB0, 0x0B, 0x64},
                             {0x00, 0xB0, 0x0A, 0x40},
                             END_OF_TRACK});
    EXPECT_EQ(tracks[2].size(), 56u);
    EXPECT_EQ(tracks[2], part1);
}

TEST(MidiFile, PartTracksUseTheirChannelNameAndProgram) {
    Song song = makeNewSong();
    song.partInstrument[15] = 29; // "030.Overdrive Gt." loses its number
    song.partVolume[15] = 90;
    testing::addNote(song, 15, 0, 24, 23);
    const auto tracks = tracksOf(buildMidiFile(song, false));
    const Bytes& part16 = tracks[17];
    EXPECT_EQ(Bytes(part16.begin(), part16.begin() + 10), cat({{0x00, 0xFF, 0x03, 0x06}, bytesOf("CH #16")}));
    EXPECT_EQ(Bytes(part16.begin() + 10, part16.begin() + 27),
              cat({{0x00, 0xFF, 0x04, 0x0D}, bytesOf("Overdrive Gt.")}));
    EXPECT_EQ(Bytes(part16.begin() + 27, part16.begin() + 32), (Bytes{0x81, 0x70, 0xBF, 0x07, 90}));
    EXPECT_EQ(Bytes(part16.begin() + 40, part16.begin() + 43), (Bytes{0x3C, 0xCF, 29}));
    EXPECT_EQ(songEventsOf(part16), (Bytes{0x00, 0xBF, 0x0B, 0x64, 0x00, 0xBF, 0x0A, 0x40, 0x00, 0x9F, 0x3C,
                                           0x7F, 0x83, 0x60, 0x9F, 0x3C, 0x00}));
}

TEST(MidiFile, QuarterNoteOnMiddleCGrowsPartOneToSixtyFiveBytes) {
    Song song = makeNewSong();
    testing::addNote(song, 0, 0, 24, 23);
    const auto tracks = tracksOf(buildMidiFile(song, false));
    EXPECT_EQ(tracks[2].size(), 65u);
    EXPECT_EQ(songEventsOf(tracks[2]), (Bytes{0x00, 0xB0, 0x0B, 0x64, 0x00, 0xB0, 0x0A, 0x40, 0x00, 0x90,
                                              0x3C, 0x7F, 0x83, 0x60, 0x90, 0x3C, 0x00}));
}

TEST(MidiFile, ConductorMergesTempoBeforeSignaturesOfTheSameTick) {
    Song song = makeNewSong();
    song.row(TEMPO_ROW).insertAt(1, {192, KIND_TEMPO, 239, 0});
    testing::setSignature(song, KIND_KEY, 2, 13);     // D minor at measure 3: tick 192
    testing::setSignature(song, KIND_METER, 4, 0x63); // 6/8 at measure 5: tick 384
    const auto tracks = tracksOf(buildMidiFile(song, false));
    const Bytes& c = tracks[0];
    const Bytes tail(c.end() - 35, c.end());
    EXPECT_EQ(tail, (Bytes{0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,       // 4/4 at 0
                           0x9E, 0x00, 0xFF, 0x51, 0x03, 0x03, 0xD4, 0xA6,       // 3840 later: 239 bpm
                           0x00, 0xFF, 0x59, 0x02, 0xFF, 0x01,                   // then D minor
                           0x9E, 0x00, 0xFF, 0x58, 0x04, 0x06, 0x03, 0x18, 0x08, // 6/8 at tick 384
                           0x00, 0xFF, 0x2F, 0x00}));
}

TEST(MidiFile, TempoValuesAndClampedDamagedTempi) {
    EXPECT_EQ(microsecondsPerQuarter(120), 0x07A120u);
    EXPECT_EQ(microsecondsPerQuarter(239), 0x03D4A6u);
    EXPECT_EQ(microsecondsPerQuarter(30), 0x1E8480u);
    EXPECT_EQ(microsecondsPerQuarter(4), 15000000u);
    EXPECT_EQ(microsecondsPerQuarter(0), 15000000u);
    EXPECT_EQ(microsecondsPerQuarter(1), 15000000u);
}

TEST(MidiFile, NoteKeysFollowSignatureExtraAndDrumIndex) {
    Song song = makeNewSong();
    testing::setSignature(song, KIND_KEY, 0, 12); // F major: B flat
    testing::addNote(song, 0, 0, 24, 24);         // B3 (step 24): B flat, key 58
    testing::addNote(song, 0, 24, 24, 24, 1);     // extra +1: B natural, key 59
    testing::addNote(song, 9, 0, 24, 10);         // drum index 10: key 71
    testing::addNote(song, 1, 0, 24, 251);        // F7 above the staff: key 101
    const auto tracks = tracksOf(buildMidiFile(song, false));
    const Bytes part1 = songEventsOf(tracks[2]);
    EXPECT_EQ(Bytes(part1.begin() + 8, part1.end()),
              (Bytes{0x00, 0x90, 58, 0x7F, 0x83, 0x60, 0x90, 58, 0x00, 0x00, 0x90, 59, 0x7F, 0x83, 0x60, 0x90,
                     59, 0x00}));
    const Bytes part10 = songEventsOf(tracks[11]);
    EXPECT_EQ(Bytes(part10.begin() + 8, part10.begin() + 12), (Bytes{0x00, 0x99, 0x47, 0x7F}));
    const Bytes part2 = songEventsOf(tracks[3]);
    EXPECT_EQ(part2[10], 101);
}

TEST(MidiFile, NoteAcrossAKeyChangeEndsOnTheKeyItStartedWith) {
    Song song = makeNewSong();
    testing::setSignature(song, KIND_KEY, 1, 16); // G major from measure 2: F sharp
    testing::addNote(song, 0, 48, 96, 20);        // F4 (step 20) from C major into G major
    testing::addNote(song, 0, 144, 24, 20);       // the next F4 starts in G major
    const Bytes part1 = songEventsOf(tracksOf(buildMidiFile(song, false))[2]);
    EXPECT_EQ(Bytes(part1.begin() + 8, part1.end()),
              (Bytes{0x87, 0x40, 0x90, 65, 0x7F, // F natural at tick 48
                     0x8F, 0x00, 0x90, 65, 0x00, // switched off as F natural at 144
                     0x00, 0x90, 66, 0x7F,       // F sharp
                     0x83, 0x60, 0x90, 66, 0x00}));
}

TEST(MidiFile, FmModeWritesDynamicsAsVolume) {
    Song song = makeNewSong();
    song.row(2).insertAt(2, {96, KIND_DYNAMICS, 80, 0});
    const Bytes normal = songEventsOf(tracksOf(buildMidiFile(song, false))[4]);
    const Bytes fm = songEventsOf(tracksOf(buildMidiFile(song, true))[4]);
    EXPECT_EQ(Bytes(normal.end() - 3, normal.end()), (Bytes{0xB2, 0x0B, 0x50}));
    EXPECT_EQ(Bytes(fm.end() - 3, fm.end()), (Bytes{0xB2, 0x07, 0x50}));
    EXPECT_EQ(Bytes(fm.begin(), fm.begin() + 4), (Bytes{0x00, 0xB2, 0x07, 0x64}));
}

TEST(MidiFile, DamagedValuesNeverBecomeWrongBytes) {
    Song song = makeNewSong();
    std::string longTitle(300, 'a');
    longTitle[254] = '\x82'; // a two-byte character across the 255-byte limit
    longTitle[255] = '\xa0';
    song.songTitle = longTitle;
    song.row(0).value[0] = 200; // dynamics past 127
    song.row(TEMPO_ROW).value[0] = 0;
    const auto tracks = tracksOf(buildMidiFile(song, false));
    EXPECT_EQ(tracks[0][3], 254); // cut before the split character
    const Bytes part1 = songEventsOf(tracks[2]);
    EXPECT_EQ(part1[3], 127);
    const Bytes conductor = songEventsOf(tracks[0]);
    EXPECT_EQ(Bytes(conductor.begin(), conductor.begin() + 7),
              (Bytes{0x00, 0xFF, 0x51, 0x03, 0xE4, 0xE1, 0xC0}));
    EXPECT_EQ(cutShiftJis("ab\x82\xa0", 3), "ab");
    EXPECT_EQ(cutShiftJis("ab\x82\xa0", 4), "ab\x82\xa0");
}

TEST(MidiFile, VariableLengthDeltasOfLongGaps) {
    Song song = makeNewSong();
    testing::addNote(song, 0, 95997, 3, 23); // the last 32nd of measure 1000
    const Bytes part1 = songEventsOf(tracksOf(buildMidiFile(song, false))[2]);
    // 95997 * 20 = 1919940 file ticks: three bytes.
    EXPECT_EQ(Bytes(part1.begin() + 8, part1.begin() + 14), (Bytes{0xF5, 0x97, 0x44, 0x90, 0x3C, 0x7F}));
    EXPECT_EQ(Bytes(part1.begin() + 14, part1.end()), (Bytes{0x3C, 0x90, 0x3C, 0x00}));
}

} // namespace
} // namespace pokopen
