// The miniature notes of the measure editor's cells.
#include "editor/mini_notes.h"
#include "model/new_song.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <vector>

namespace pokopen {
namespace {

using testing::addNote;

std::vector<MiniMark> marksOf(const Song& song, int part, const std::vector<MiniColumn>& columns) {
    std::vector<MiniMark> out;
    collectMiniNotes(song.row(part), columns, out);
    return out;
}

TEST(MiniNotes, QuarterNoteInATwoFourCell) {
    Song song = makeNewSong();
    addNote(song, 0, 96, 24, 23); // C4 = step 23, line 30
    const auto marks = marksOf(song, 0, {{96, 48, 18}});
    // One dot at the first pixel, then 23 pixels of line up to the note's end.
    EXPECT_EQ(marks, (std::vector<MiniMark>{{19, 0, 30, true}, {20, 43, 30, false}}));
}

TEST(MiniNotes, NotesRunAcrossColumnsAndFromBeforeThem) {
    Song song = makeNewSong();
    addNote(song, 0, 96 + 72, 48, 250); // step -2: line 5; from column 1 into column 2
    addNote(song, 0, 48, 96, 40);       // begun before the first column
    addNote(song, 0, 150, 12, 60);      // step 60: below the miniature, not drawn
    const std::vector<MiniColumn> columns = {{96, 96, 18}, {192, 96, 116}, {288, 96, 214}};
    const auto marks = marksOf(song, 0, columns);
    const std::vector<MiniMark> expected = {
        {91, 0, 5, true},     // dot at tick 168
        {92, 115, 5, false},  // to the end of column 1
        {117, 141, 5, false}, // on in column 2 to tick 216
        {19, 67, 47, false},  // the early note, from the cell's edge to its end at tick 144
    };
    EXPECT_EQ(marks, expected);
}

TEST(MiniNotes, DrumIndexesUseTheirOwnLines) {
    Song song = makeNewSong();
    addNote(song, PERCUSSION_PART, 0, 3, 46);
    const auto marks = marksOf(song, PERCUSSION_PART, {{0, 96, 18}});
    EXPECT_EQ(marks, (std::vector<MiniMark>{{19, 0, 53, true}, {20, 22, 53, false}}));
}

} // namespace
} // namespace pokopen
