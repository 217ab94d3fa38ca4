#include "notation/musicxml_rhythm.h"

#include <gtest/gtest.h>

#include <random>

namespace pokopen {
namespace {

std::string describe(const WrittenValue& v) {
    std::string s = std::to_string(v.start) + "+" + std::to_string(v.duration) + " " +
                    std::string(noteTypeName(v.type)) + (v.dotted ? "." : "");
    if (v.triplet)
        s += " 3:2";
    if (v.tupletStart)
        s += " [";
    if (v.tupletStop)
        s += " ]";
    return s;
}

std::vector<std::string> spell(std::int32_t ticks, std::vector<std::int32_t> bounds,
                               std::vector<bool> rests = {}) {
    std::vector<std::string> out;
    for (const WrittenValue& v : spellMeasure(ticks, bounds, rests))
        out.push_back(describe(v));
    return out;
}

TEST(MusicXmlRhythm, RestsGoBeatByBeatWithoutDots) {
    // A dotted quarter note after an eighth rest; the rest of the measure as quarter and half rests.
    EXPECT_EQ(spell(96, {0, 12, 48, 96}, {true, false, true}),
              (std::vector<std::string>{"0+12 eighth", "12+36 quarter.", "48+48 half"}));
    EXPECT_EQ(spell(96, {0, 12, 96}, {false, true}),
              (std::vector<std::string>{"0+12 eighth", "12+12 eighth", "24+24 quarter", "48+48 half"}));
    // A long note over the middle of the bar is tied rather than started off the beat.
    EXPECT_EQ(spell(96, {0, 12, 96}, {true, false}),
              (std::vector<std::string>{"0+12 eighth", "12+36 quarter.", "48+48 half"}));
}

TEST(MusicXmlRhythm, OffGridPositionsTakeTheCoarsestTriplet) {
    // Eighth-note triplets on the first beat.
    EXPECT_EQ(spell(96, {0, 8, 16, 24, 96}),
              (std::vector<std::string>{"0+8 eighth 3:2 [", "8+8 eighth 3:2", "16+8 eighth 3:2 ]",
                                        "24+24 quarter", "48+48 half"}));
    // A quarter-note triplet followed by two more: one group over the half bar; a half-note
    // triplet over the whole bar.
    EXPECT_EQ(spell(96, {0, 16, 48, 96}),
              (std::vector<std::string>{"0+16 quarter 3:2 [", "16+32 half 3:2 ]", "48+48 half"}));
    EXPECT_EQ(spell(96, {0, 32, 64, 96}),
              (std::vector<std::string>{"0+32 half 3:2 [", "32+32 half 3:2", "64+32 half 3:2 ]"}));
    // One grid step: a 64th-note triplet, then a 32nd-note triplet value finishing the group.
    EXPECT_EQ(spell(24, {0, 1, 24}), (std::vector<std::string>{"0+1 64th 3:2 [", "1+2 32nd 3:2 ]", "3+3 32nd",
                                                               "6+6 16th", "12+12 eighth"}));
}

// Plain length of a written value, to check that type, dot and triplet say its duration.
double valueTicks(const WrittenValue& v) {
    const double base[] = {96, 48, 24, 12, 6, 3, 1.5};
    double t = base[static_cast<int>(v.type)];
    if (v.dotted)
        t *= 1.5;
    if (v.triplet)
        t *= 2.0 / 3.0;
    return t;
}

TEST(MusicXmlRhythm, RandomVoicesFillTheirMeasureWithReadableValues) {
    std::mt19937 rng(20261208);
    const std::int32_t measureLengths[] = {96, 72, 48, 36, 24, 84, 144, 120, 60, 4, 7};
    for (int round = 0; round < 3000; ++round) {
        const std::int32_t ticks = measureLengths[rng() % std::size(measureLengths)];
        const std::int32_t grid = std::array<std::int32_t, 6>{1, 2, 3, 4, 6, 8}[rng() % 6];
        std::vector<std::int32_t> bounds{0, ticks};
        const int count = static_cast<int>(rng() % 8);
        for (int i = 0; i < count; ++i)
            bounds.push_back(static_cast<std::int32_t>(rng() % static_cast<unsigned>(ticks / grid + 1)) *
                             grid);
        std::sort(bounds.begin(), bounds.end());
        bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
        while (bounds.back() > ticks)
            bounds.pop_back();
        std::vector<bool> rests;
        for (std::size_t i = 0; i + 1 < bounds.size(); ++i)
            rests.push_back(rng() % 2 == 0);
        SCOPED_TRACE("round " + std::to_string(round) + ", measure " + std::to_string(ticks));

        const std::vector<WrittenValue> values = spellMeasure(ticks, bounds, rests);
        std::int32_t at = 0;
        std::int32_t groupStart = -1;
        for (const WrittenValue& v : values) {
            ASSERT_EQ(v.start, at);
            ASSERT_GT(v.duration, 0);
            // Inside one stretch between boundaries.
            const auto next = std::upper_bound(bounds.begin(), bounds.end(), v.start);
            ASSERT_TRUE(next != bounds.end());
            ASSERT_LE(v.start + v.duration, *next);
            EXPECT_DOUBLE_EQ(valueTicks(v), v.duration) << describe(v);
            // Plain values lie on the 32nd grid; no triplet value is a whole number of 32nds.
            EXPECT_EQ(v.triplet, v.duration % 3 != 0) << describe(v);
            EXPECT_EQ(v.triplet, groupStart >= 0 || v.tupletStart) << describe(v);
            if (v.tupletStart) {
                EXPECT_LT(groupStart, 0) << "nested group";
                groupStart = v.start;
            }
            if (v.tupletStop) {
                ASSERT_GE(groupStart, 0);
                // A whole group spans a plain value: 3, 6, ..., 96 ticks from an aligned start
                // (measures off the 32nd grid end in one shorter group).
                const std::int32_t span = v.start + v.duration - groupStart;
                if (ticks % 3 == 0) {
                    EXPECT_TRUE(span == 3 || span == 6 || span == 12 || span == 24 || span == 48 ||
                                span == 96)
                        << span;
                    EXPECT_EQ(groupStart % span, 0);
                }
                groupStart = -1;
            }
            at += v.duration;
        }
        EXPECT_EQ(at, ticks);
        EXPECT_LT(groupStart, 0) << "unfinished group";
    }
}

} // namespace
} // namespace pokopen
