#include "model/new_song.h"
#include "model/timeline.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <random>

namespace pokopen {
namespace {

TEST(Timeline, FourFourThroughout) {
    const Song song = makeNewSong();
    for (std::int32_t m : {0, 1, 7, 999})
        EXPECT_EQ(measureToTick(song.store, m), 96 * m);
    EXPECT_EQ(measureToTick(song.store, 1000), 96000);
    for (std::int32_t t : {0, 95, 96, 97, 95999})
        EXPECT_EQ(tickToMeasure(song.store, t), t / 96);
}

TEST(Timeline, MeterChangeMovesOnlyLaterMeasures) {
    Song song = makeNewSong();
    testing::setSignature(song, KIND_METER, 2, 0x32); // 3/4 from measure 2
    EXPECT_EQ(measureToTick(song.store, 2), 192);
    EXPECT_EQ(measureToTick(song.store, 3), 264);
    EXPECT_EQ(tickToMeasure(song.store, 263), 2);
    EXPECT_EQ(tickToMeasure(song.store, 264), 3);
    EXPECT_EQ(measureToTick(song.store, 1000), 192 + 72 * 998);
}

TEST(Timeline, TicksPerMeasureOfEveryOfferedMeter) {
    EXPECT_EQ(ticksPerMeasure(0x63), 72);
    EXPECT_EQ(ticksPerMeasure(0x32), 72);
    EXPECT_EQ(ticksPerMeasure(0x23), 24);
    EXPECT_EQ(ticksPerMeasure(0x31), 144);
    EXPECT_EQ(ticksPerMeasure(0xC3), 144);
    EXPECT_EQ(ticksPerMeasure(0x53), 60);
}

TEST(Timeline, MeasureAndTickRoundTripUnderRandomMeters) {
    const std::array<std::uint8_t, 18> meters = {33, 49, 34, 50,  66,  82,  98,  35,  51,
                                                 67, 83, 99, 115, 131, 147, 163, 179, 195};
    std::mt19937 rng(20261208);
    for (int trial = 0; trial < 20; ++trial) {
        Song song = makeNewSong();
        for (int i = 0; i < 12; ++i)
            testing::setSignature(song, KIND_METER, static_cast<std::int32_t>(rng() % 1000),
                                  meters[rng() % meters.size()]);
        const MeasureMap map(song.store);
        for (std::int32_t m = 0; m <= 1000; ++m) {
            const std::int32_t t = measureToTick(song.store, m);
            ASSERT_EQ(map.measureToTick(m), t) << "seed trial " << trial << " measure " << m;
            if (m < 1000) {
                ASSERT_EQ(tickToMeasure(song.store, t), m);
                ASSERT_EQ(tickToMeasure(song.store, t + 1), m);
                ASSERT_EQ(map.tickToMeasure(t), m);
                ASSERT_EQ(map.tickToMeasure(measureToTick(song.store, m + 1) - 1), m);
            }
        }
    }
}

TEST(Timeline, KeyAndMeterInForce) {
    Song song = makeNewSong();
    testing::setSignature(song, KIND_KEY, 5, 16);
    std::uint8_t key = 99;
    EXPECT_TRUE(keyAt(song.store, 5, key));
    EXPECT_EQ(key, 16);
    EXPECT_FALSE(keyAt(song.store, 4, key));
    EXPECT_EQ(key, 14);
    EXPECT_FALSE(keyAt(song.store, 700, key));
    EXPECT_EQ(key, 16);
    std::uint8_t meter = 0;
    EXPECT_TRUE(meterAt(song.store, 0, meter));
    EXPECT_EQ(meter, 66);
    EXPECT_FALSE(meterAt(song.store, 5, meter));

    const KeyMap keys(song.store);
    for (std::int32_t m = 0; m < 1000; m += 37) {
        keyAt(song.store, m, key);
        EXPECT_EQ(keys.keyOfMeasure(m), key);
    }
}

TEST(Timeline, WrittenKeyOfTransposingInstruments) {
    EXPECT_EQ(writtenKey(14, 3), (WrittenKey{18, 1}));  // C major, B-flat instrument: D major
    EXPECT_EQ(writtenKey(14, 5), (WrittenKey{16, 4}));  // F instrument: G major
    EXPECT_EQ(writtenKey(28, 1), (WrittenKey{10, -1})); // C-sharp major, E-flat instrument: B-flat major
    EXPECT_EQ(writtenKey(0, 4), (WrittenKey{18, 1}));   // C-flat major, A instrument: D major respelled
    EXPECT_EQ(writtenKey(20, 2), (WrittenKey{20, 0}));
}

} // namespace
} // namespace pokopen
