#include "model/new_song.h"
#include "model/timeline.h"
#include "navigation/navigation.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

namespace pokopen {
namespace {

using testing::addNote;
using testing::setSignature;

TEST(SearchTest, KeyFromCurrentMeasureThenNext) {
    Song song = makeNewSong();
    setSignature(song, KIND_KEY, 4, 16);
    const auto found = findFromDialog(song, 2, SearchKind::Key, SearchStart::CurrentMeasure);
    ASSERT_EQ(found, 4);
    // "現在の小節から" finds the current measure itself; "次を検索" moves past it.
    EXPECT_EQ(findFromDialog(song, *found, SearchKind::Key, SearchStart::CurrentMeasure), 4);
    EXPECT_EQ(findNext(song, *found, SearchKind::Key), std::nullopt);
}

TEST(SearchTest, FromTheStartAndAtTheEnd) {
    Song song = makeNewSong();
    EXPECT_EQ(findFromDialog(song, 50, SearchKind::Meter, SearchStart::FirstMeasure), 0);
    setSignature(song, KIND_METER, 999, 0x32);
    EXPECT_EQ(findNext(song, 998, SearchKind::Meter), 999);
    EXPECT_EQ(findNext(song, 998, SearchKind::Key), std::nullopt);
    EXPECT_EQ(findNext(song, 999, SearchKind::Meter), std::nullopt); // from measure 1000
}

struct JumpCase {
    const char* name;
    void (*build)(Song&);
    std::int32_t measure;
    std::optional<int> part;
    MainTab tab;
};

const JumpCase JUMP_CASES[] = {
    {"note-off at the first tick of measure 9", [](Song& s) { addNote(s, 1, 7 * 96 + 48, 48, 20); }, 8, 1,
     MainTab::Score},
    {"dynamics latest in part 3",
     [](Song& s) {
         addNote(s, 0, 0, 96, 20);
         s.row(2).insertAt(s.row(2).count(), {5 * 96 + 6, KIND_DYNAMICS, 30, 0});
     },
     5, 2, MainTab::Dynamics},
    {"pan latest in part 10",
     [](Song& s) {
         s.row(9).insertAt(s.row(9).count(), {300, KIND_PAN, 3, 0});
     },
     3, 9, MainTab::Pan},
    {"meter at measure 20 that no note reaches",
     [](Song& s) {
         addNote(s, 0, 0, 96, 20);
         setSignature(s, KIND_METER, 19, 0x32);
     },
     19, std::nullopt, MainTab::Signature},
    {"tie between a note-off in part 2 and a tempo point",
     [](Song& s) {
         addNote(s, 1, 96, 96, 20);
         s.row(TEMPO_ROW).insertAt(1, {192, KIND_TEMPO, 90, 0});
     },
     2, 1, MainTab::Score},
    {"tempo latest",
     [](Song& s) {
         s.row(TEMPO_ROW).insertAt(1, {400, KIND_TEMPO, 90, 0});
     },
     4, std::nullopt, MainTab::Tempo},
    {"note running to the very end of the song", [](Song& s) { addNote(s, 4, 999 * 96, 96, 20); }, 999, 4,
     MainTab::Score},
};

TEST(JumpTest, GoesToTheMeasurePartAndTabOfTheLatestEvent) {
    for (const JumpCase& c : JUMP_CASES) {
        Song song = makeNewSong();
        c.build(song);
        LastJump last;
        const JumpTarget t = songEndTarget(song, last);
        EXPECT_EQ(t.measure, c.measure) << c.name;
        EXPECT_EQ(t.part, c.part) << c.name;
        EXPECT_EQ(t.tab, c.tab) << c.name;
    }
}

TEST(JumpTest, NewSongReusesThePreviousJump) {
    Song song = makeNewSong();
    LastJump last;
    JumpTarget t = songEndTarget(song, last);
    EXPECT_EQ(t.measure, 0);
    EXPECT_EQ(t.part, 0);
    EXPECT_EQ(t.tab, MainTab::Score);

    Song other = makeNewSong();
    other.row(5).insertAt(other.row(5).count(), {96, KIND_PAN, 3, 0});
    songEndTarget(other, last);
    t = songEndTarget(song, last);
    EXPECT_EQ(t.measure, 0);
    EXPECT_EQ(t.part, 5);
    EXPECT_EQ(t.tab, MainTab::Pan);
}

} // namespace
} // namespace pokopen
