#include "midifile/midi_file.h"
#include "midifile/smf_reader.h"
#include "model/new_song.h"
#include "model/store_check.h"
#include "support/song_builders.h"

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <vector>

namespace pokopen {
namespace {

using testing::Bytes;
using testing::smf;

const SmfEvent* findEvent(const SmfSequence& s, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    for (const SmfEvent& e : s.events)
        if (e.status == status && e.data1 == data1 && e.data2 == data2)
            return &e;
    return nullptr;
}

TEST(SmfReader, ReadsTheWrittenSongThroughItsTempoMap) {
    // Given a song with middle C at the start, a change to 60 bpm at measure 2 and a note there
    Song song = makeNewSong();
    testing::addNote(song, 0, 0, 24, 23);
    song.row(TEMPO_ROW).insertAt(1, {96, KIND_TEMPO, 60, 0});
    testing::addNote(song, 0, 96, 24, 21);
    ASSERT_TRUE(checkStore(song).empty());

    SmfSequence s;
    ASSERT_TRUE(parseSmf(buildMidiFile(song, false), s).ok);

    // The lead-in is a quarter note at 240 bpm (0.25 s), then 120 bpm, then 60 bpm.
    EXPECT_EQ(s.division, 480);
    ASSERT_EQ(s.tempo.size(), 3u);
    EXPECT_EQ(s.tempo[1].tick, 480u);
    EXPECT_EQ(s.tempo[2].timeUs, 2'250'000);
    const SmfEvent* firstOn = findEvent(s, 0x90, 60, 0x7F);
    const SmfEvent* firstOff = findEvent(s, 0x90, 60, 0);
    const SmfEvent* secondOff = findEvent(s, 0x90, 64, 0);
    ASSERT_TRUE(firstOn && firstOff && secondOff);
    EXPECT_EQ(firstOn->timeUs, 250'000);
    EXPECT_EQ(firstOff->timeUs, 750'000);
    EXPECT_EQ(secondOff->timeUs, 3'250'000);
    EXPECT_EQ(s.lengthMs(), 3250);
    // The program change of the lead-in (file tick 420) and General MIDI System On at the start.
    const SmfEvent* program = findEvent(s, 0xC0, 0, 0);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->timeUs, 218'750);
    ASSERT_FALSE(s.events.empty());
    EXPECT_EQ(s.events[0].status, 0xF0);
    EXPECT_EQ(s.sysex[0], (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));

    // Events are in time order, and time and ticks convert both ways.
    for (std::size_t i = 1; i < s.events.size(); ++i)
        EXPECT_LE(s.events[i - 1].timeUs, s.events[i].timeUs);
    for (std::uint32_t tick : {0u, 479u, 480u, 2400u, 2880u})
        EXPECT_EQ(s.usToTick(s.tickToUs(tick)), tick) << tick;
    const std::size_t at = s.firstEventAt(250'000);
    EXPECT_EQ(s.events[at].timeUs, 250'000);
    EXPECT_LT(s.events[at - 1].timeUs, 250'000);
    EXPECT_EQ(s.events[s.firstEventAt(250'001)].timeUs, 750'000);
}

TEST(SmfReader, MergesTracksAndUnderstandsRunningStatusAndBothSysexForms) {
    const Bytes conductor{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, // 120 bpm
                          0x60, 0xFF, 0x2F, 0x00};                  // ends at tick 96
    const Bytes part{0x00, 0x91, 0x40, 0x70,                        // note on, channel 2
                     0x10, 0x42, 0x70,                              // running status
                     0x00, 0xFF, 0x01, 0x01, 'x',                   // a text in between keeps it
                     0x00, 0x44, 0x00,                              // still running status
                     0x00, 0xF7, 0x02, 0x12, 0x34,                  // escaped bytes, sent raw
                     0x00, 0xF0, 0x02, 0x43, 0xF7,                  // system exclusive
                     0x00, 0xC1, 0x05,                              // one data byte
                     0x00, 0xFF, 0x2F, 0x00};
    SmfSequence s;
    const SmfResult r = parseSmf(smf(1, 96, {conductor, part}), s);
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_EQ(s.events.size(), 6u);
    EXPECT_EQ(s.events[0].status, 0x91);
    EXPECT_EQ(s.events[1].status, 0x91);
    EXPECT_EQ(s.events[1].data1, 0x42);
    EXPECT_EQ(s.events[1].timeUs, 83'334); // 16 ticks of 500000/96 us, rounded up
    EXPECT_EQ(s.events[2].data1, 0x44);
    EXPECT_EQ(s.sysex[0], (Bytes{0x12, 0x34}));
    EXPECT_EQ(s.sysex[1], (Bytes{0xF0, 0x43, 0xF7}));
    EXPECT_EQ(s.events[5].status, 0xC1);
    EXPECT_EQ(s.events[5].data1, 5);
    EXPECT_EQ(s.lengthTicks, 96u);
    EXPECT_EQ(s.lengthUs, 500'000);
}

TEST(SmfReader, RefusesDamagedFilesWithAMessage) {
    const Bytes good{0x00, 0x90, 0x40, 0x70, 0x00, 0xFF, 0x2F, 0x00};
    Bytes shortHeader = smf(0, 96, {good});
    shortHeader.resize(12);
    Bytes longTrack = smf(0, 96, {good});
    longTrack[21] = 0x40; // the track claims more bytes than the file holds
    Bytes missingTrack = smf(1, 96, {good});
    missingTrack[11] = 2; // two tracks announced, one present
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"not a MIDI file", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}},
        {"header cut short", shortHeader},
        {"track longer than the file", longTrack},
        {"missing track", missingTrack},
        {"five-byte delta", smf(0, 96, {Bytes{0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 0x40, 0x70}})},
        {"data without status", smf(0, 96, {Bytes{0x00, 0x40, 0x70}})},
        {"event cut short", smf(0, 96, {Bytes{0x00, 0x90, 0x40}})},
        {"meta longer than the track", smf(0, 96, {Bytes{0x00, 0xFF, 0x01, 0x09, 'a'}})},
        {"sysex longer than the track", smf(0, 96, {Bytes{0x00, 0xF0, 0x09, 0x01}})},
        {"zero division", smf(0, 0, {good})},
        {"data byte above 127", smf(0, 96, {Bytes{0x00, 0x90, 0x40, 0x90, 0x40}})},
    };
    for (const auto& [name, bytes] : cases) {
        SmfSequence s;
        s.events.push_back({});
        const SmfResult r = parseSmf(bytes, s);
        EXPECT_FALSE(r.ok) << name;
        EXPECT_FALSE(r.message.empty()) << name;
    }
}

} // namespace
} // namespace pokopen
