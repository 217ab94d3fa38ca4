#include "midifile/midi_file.h"
#include "midifile/smf_reader.h"
#include "model/new_song.h"
#include "playback/play_timeline.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace pokopen {
namespace {

const std::array<std::uint8_t, 8> METERS = {0x22, 0x32, 0x42, 0x62, 0x23, 0x53, 0x73, 0xC3};

// A song with tempo, meter, dynamics and pan changes (and notes) in its first 40 measures.
Song randomSong(std::mt19937& rng) {
    Song song = makeNewSong();
    for (int i = 0; i < 6; ++i)
        testing::setSignature(song, KIND_METER, static_cast<std::int32_t>(1 + rng() % 39),
                              METERS[rng() % METERS.size()]);
    const std::int32_t end = measureToTick(song.store, 40);
    for (int i = 0; i < 15; ++i)
        testing::addPoint(song, TEMPO_ROW, static_cast<std::int32_t>(rng() % static_cast<unsigned>(end)),
                          KIND_TEMPO,
                          static_cast<std::uint8_t>(rng() % 256)); // 0..3 are written as 4
    for (int c = 0; c < PART_ROWS; ++c) {
        const auto part = static_cast<std::size_t>(c);
        song.partInstrument[part] = static_cast<std::int32_t>(rng() % 128);
        song.partVolume[part] = static_cast<std::int32_t>(rng() % 128);
        for (int i = 0; i < 8; ++i) {
            const auto start = static_cast<std::int32_t>(rng() % static_cast<unsigned>(end));
            if (rng() % 3 == 0)
                testing::addNote(song, c, start, 3 + static_cast<std::int32_t>(rng() % 48),
                                 static_cast<std::uint8_t>(10 + rng() % 40));
            else
                testing::addPoint(song, c, start, rng() % 2 ? KIND_DYNAMICS : KIND_PAN,
                                  static_cast<std::uint8_t>(rng() % 128));
        }
    }
    return song;
}

TEST(PlayTimeline, MeasureStartsThroughTheLeadInTempoAndMeterChanges) {
    Song song = makeNewSong();                                        // 4/4 at 120 bpm: 2 s a measure
    testing::addPoint(song, TEMPO_ROW, 2 * 96, KIND_TEMPO, 60);       // 60 bpm from measure 3
    testing::setSignature(song, KIND_METER, 3, 0x32);                 // 3/4 from measure 4
    testing::addPoint(song, TEMPO_ROW, 2 * 96 + 48, KIND_TEMPO, 240); // mid-measure: 240 bpm from beat 3
    const PlayTimeline timeline(song);
    // The lead-in is a quarter note at 240 bpm.
    const struct {
        std::int32_t measure;
        std::int64_t ms;
    } cases[] = {{0, 250}, {1, 2250}, {2, 4250}, {3, 4250 + 2 * 1000 + 2 * 250}, {4, 6750 + 3 * 250}};
    for (const auto& c : cases) {
        EXPECT_EQ(timeline.measureStartMs(c.measure), c.ms) << "measure " << c.measure + 1;
        const PlayPoint at = timeline.pointAtMs(c.ms);
        EXPECT_EQ(at.measure, c.measure);
        EXPECT_EQ(at.tick, measureToTick(song.store, c.measure));
        // The millisecond before a measure starts still belongs to the one before it.
        if (c.measure > 0) {
            EXPECT_EQ(timeline.pointAtMs(c.ms - 1).measure, c.measure - 1);
        }
    }
    EXPECT_EQ(timeline.pointAtMs(0), (PlayPoint{0, 0})); // the lead-in shows the first measure
    // 1999.999 ms at 60 bpm: 959.99 file ticks, that is 47 ticks and 19 twentieths.
    EXPECT_EQ(timeline.pointAtMs(4250 + 1999), (PlayPoint{2, 2 * 96 + 47, 19}));
    // Past the song's end the last measure stays.
    EXPECT_EQ(timeline.pointAtMs(100'000'000).measure, MAX_MEASURES - 1);
}

TEST(PlayTimeline, AgreesWithThePlayersReadingOfTheWrittenFileAndInvertsAtEveryMeasure) {
    std::mt19937 rng(14);
    for (int trial = 0; trial < 10; ++trial) {
        const Song song = randomSong(rng);
        const PlayTimeline timeline(song);
        SmfSequence file;
        ASSERT_TRUE(parseSmf(buildMidiFile(song, false), file).ok);
        for (std::int32_t m = 0; m <= MAX_MEASURES; ++m) {
            const std::int32_t t = measureToTick(song.store, m);
            const std::int64_t us =
                file.tickToUs(LEAD_IN + FILE_TICKS_PER_TICK * static_cast<std::uint32_t>(t));
            ASSERT_EQ(timeline.tickToUs(t), us) << "trial " << trial << " measure " << m;
            ASSERT_EQ(timeline.measureStartMs(m), us / 1000);
            ASSERT_EQ(timeline.usToTick(us), t);
            if (m < MAX_MEASURES) {
                const PlayPoint at = timeline.pointAtMs(timeline.measureStartMs(m));
                ASSERT_EQ(at.measure, m) << "trial " << trial << " measure " << m;
                ASSERT_EQ(at.tick, t) << "trial " << trial << " measure " << m;
                ASSERT_EQ(timeline.measureStartTick(m), t);
                ASSERT_EQ(timeline.pointAtMs(timeline.measureStartMs(m + 1) - 1).measure, m);
            }
        }
    }
}

// The plain reading: every event of each row from the start, the last one at or before the
// measure's first tick winning.
PlayState walkedState(const Song& song, std::int32_t m, bool fmMode) {
    const std::int32_t start = measureToTick(song.store, m);
    PlayState s;
    s.usPerQuarter = 250000;
    for (const Event& e : song.row(TEMPO_ROW).events())
        if (e.pos <= start)
            s.usPerQuarter = microsecondsPerQuarter(e.value);
    for (int c = 0; c < PART_ROWS; ++c) {
        PartPlayState& p = s.parts[static_cast<std::size_t>(c)];
        p = {song.partInstrument[static_cast<std::size_t>(c)], song.partVolume[static_cast<std::size_t>(c)],
             64, 100};
        for (const Event& e : song.row(c).events()) {
            if (e.pos > start)
                break;
            if (e.kind == KIND_DYNAMICS)
                (fmMode ? p.volume : p.expression) = std::min<int>(e.value, 127);
            else if (e.kind == KIND_PAN)
                p.pan = std::min<int>(e.value, 127);
        }
    }
    return s;
}

// What a player that starts at the measure has sent: every message of the written file up to
// the measure's first tick but the notes, and the tempo of the file there.
PlayState chasedState(const SmfSequence& file, std::uint32_t fileTick) {
    PlayState s;
    for (const SmfEvent& e : file.events) {
        if (e.tick > fileTick)
            break;
        PartPlayState& p = s.parts[e.status & 0x0F];
        if ((e.status & 0xF0) == 0xC0)
            p.program = e.data1;
        else if ((e.status & 0xF0) == 0xB0 && e.data1 == 7)
            p.volume = e.data2;
        else if ((e.status & 0xF0) == 0xB0 && e.data1 == 10)
            p.pan = e.data2;
        else if ((e.status & 0xF0) == 0xB0 && e.data1 == 11)
            p.expression = e.data2;
    }
    for (const SmfTempo& t : file.tempo)
        if (t.tick <= fileTick)
            s.usPerQuarter = t.usPerQuarter;
    return s;
}

TEST(PlayTimeline, StateInForceAtAMeasureMatchesAWalkFromTheStartAndTheWrittenFile) {
    std::mt19937 rng(1408);
    for (int trial = 0; trial < 12; ++trial) {
        const Song song = randomSong(rng);
        const bool fmMode = trial % 3 == 2;
        SmfSequence file;
        ASSERT_TRUE(parseSmf(buildMidiFile(song, fmMode), file).ok);
        for (std::int32_t m : {0, 1, 2, 5, 9, 17, 23, 31, 39, 40, 999}) {
            const PlayState state = playStateAt(song, m, fmMode);
            EXPECT_EQ(state, walkedState(song, m, fmMode)) << "trial " << trial << " measure " << m;
            const auto fileTick =
                LEAD_IN + FILE_TICKS_PER_TICK * static_cast<std::uint32_t>(measureToTick(song.store, m));
            EXPECT_EQ(state, chasedState(file, fileTick)) << "trial " << trial << " measure " << m;
        }
    }
}

} // namespace
} // namespace pokopen
