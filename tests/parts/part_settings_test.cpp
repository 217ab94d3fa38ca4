#include "parts/part_settings.h"

#include "model/new_song.h"
#include "model/store_check.h"

#include <gtest/gtest.h>

namespace pokopen {
namespace {

TEST(BulkPartSettings, AppliesCheckedItemsToCheckedPartsAndOnlyVolumeToDrums) {
    const struct {
        const char* name;
        std::vector<int> parts;
        bool inst, trans, vol;
        bool applied;
    } cases[] = {
        {"everything", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, true, true, true, true},
        {"drums, instrument and transposition", {9}, true, true, false, false},
        {"drums, volume", {9}, false, false, true, true},
        {"no part", {}, true, true, true, false},
        {"no item", {0, 5}, false, false, false, false},
        {"two parts, transposition", {0, 5}, false, true, false, true},
    };
    for (const auto& c : cases) {
        Song song = makeNewSong();
        const Song before = song;
        BulkPartSettings s;
        for (int p : c.parts)
            s.parts[static_cast<std::size_t>(p)] = true;
        s.applyInstrument = c.inst;
        s.applyTransposition = c.trans;
        s.applyVolume = c.vol;
        s.instrument = 40;
        s.transposition = 3;
        s.volume = 90;
        EXPECT_EQ(applyBulkPartSettings(song, s), c.applied) << c.name;
        EXPECT_EQ(song.store, before.store) << c.name;
        EXPECT_EQ(checkStore(song), "") << c.name;
        for (int p = 0; p < PART_ROWS; ++p) {
            const auto i = static_cast<std::size_t>(p);
            const bool chosen = s.parts[i];
            const bool melodic = chosen && p != PERCUSSION_PART;
            EXPECT_EQ(song.partInstrument[i], melodic && c.inst ? 40 : 0) << c.name << " part " << p;
            EXPECT_EQ(song.partTransposition[i], melodic && c.trans ? 3 : 2) << c.name << " part " << p;
            EXPECT_EQ(song.partVolume[i], chosen && c.vol ? 90 : 100) << c.name << " part " << p;
        }
    }
}

TEST(BulkPartSettings, ApplyingTheValuesAPartHasStillCounts) {
    Song song = makeNewSong();
    BulkPartSettings s;
    s.parts[0] = true;
    s.applyVolume = true; // 100, as the part already has
    EXPECT_TRUE(applyBulkPartSettings(song, s));
    EXPECT_EQ(song, makeNewSong());
}

} // namespace
} // namespace pokopen
