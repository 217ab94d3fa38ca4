// The measure editor's pointer, selection and button rules.
#include "editor/measure_editor.h"
#include "model/new_song.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

namespace pokopen {
namespace {

TEST(MeasureEditorOpening, CurrentMeasureStandsInTheMiddleWhereThereIsRoom) {
    struct Case {
        std::int32_t current;
        std::int32_t firstShown;
    };
    for (const Case c : {Case{0, 0}, Case{1, 0}, Case{11, 10}, Case{998, 997}, Case{999, 997}}) {
        SongDocument doc;
        Song& song = writableSong(doc);
        song = makeNewSong();
        MeasureEditor ed(doc, 7, c.current);
        EXPECT_EQ(ed.firstShownMeasure(), c.firstShown) << c.current;
        EXPECT_EQ(ed.pointerMeasure(), c.current);
        EXPECT_EQ(ed.pointerPart(), 7);
        EXPECT_FALSE(ed.hasSelection());
        EXPECT_EQ(ed.mode(), ClickMode::Pointer);
        EXPECT_FALSE(ed.cutEnabled() || ed.copyEnabled() || ed.pasteEnabled());
    }
}

TEST(MeasureEditorSelection, TwoClicksInOnePartMakeASelectionAndReturnToThePointer) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    MeasureEditor ed(doc, 0, 0);
    ed.setMode(ClickMode::EndA);
    ASSERT_TRUE(ed.clickCell(4, 2));
    EXPECT_EQ(ed.selectionA(), 4);
    EXPECT_EQ(ed.selectionB(), 4);
    EXPECT_EQ(ed.selectionPart(), 2);
    EXPECT_EQ(ed.mode(), ClickMode::EndB);
    EXPECT_TRUE(ed.cutEnabled() && ed.copyEnabled());

    EXPECT_FALSE(ed.clickCell(3, 2)) << "B before A";
    EXPECT_FALSE(ed.clickCell(6, 3)) << "another part";
    EXPECT_EQ(ed.mode(), ClickMode::EndB);
    ASSERT_TRUE(ed.clickCell(6, 2));
    EXPECT_EQ(ed.selectionA(), 4);
    EXPECT_EQ(ed.selectionB(), 6);
    EXPECT_EQ(ed.mode(), ClickMode::Pointer);
    EXPECT_TRUE(ed.selects(5, 2));
    EXPECT_FALSE(ed.selects(7, 2));
    EXPECT_FALSE(ed.selects(5, 3));
    EXPECT_EQ(ed.pointerMeasure(), 0) << "selection clicks leave the pointer";

    // Moving end A later than B, or into another part, is refused too.
    ed.setMode(ClickMode::EndA);
    EXPECT_FALSE(ed.clickCell(7, 2));
    EXPECT_FALSE(ed.clickCell(5, 4));
    ASSERT_TRUE(ed.clickCell(5, 2));
    EXPECT_EQ(ed.selectionA(), 5);
    EXPECT_EQ(ed.selectionB(), 6);
    EXPECT_EQ(ed.mode(), ClickMode::Pointer);
}

TEST(MeasureEditorSelection, StartingWithEndBWaitsForEndA) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    MeasureEditor ed(doc, 0, 0);
    ed.setMode(ClickMode::EndB);
    ASSERT_TRUE(ed.clickCell(9, 0));
    EXPECT_EQ(ed.mode(), ClickMode::EndA);
    EXPECT_FALSE(ed.clickCell(10, 0));
    ASSERT_TRUE(ed.clickCell(8, 0));
    EXPECT_EQ(ed.selectionA(), 8);
    EXPECT_EQ(ed.selectionB(), 9);
    EXPECT_EQ(ed.mode(), ClickMode::Pointer);
}

TEST(MeasureEditorSelection, HeaderRowSelectsAllPartsAndChangingScopeStartsAgain) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    MeasureEditor ed(doc, 0, 0);
    EXPECT_TRUE(ed.clickMeasureHeader(3)) << "pointer mode only redraws";
    EXPECT_FALSE(ed.hasSelection());

    ed.setMode(ClickMode::EndA);
    ASSERT_TRUE(ed.clickMeasureHeader(3));
    EXPECT_EQ(ed.selectionPart(), ALL_PARTS);
    EXPECT_EQ(ed.mode(), ClickMode::EndB);
    ASSERT_TRUE(ed.clickMeasureHeader(5));
    EXPECT_EQ(ed.mode(), ClickMode::Pointer);
    EXPECT_TRUE(ed.selects(4, 15));

    // A cell click turns the all-parts selection into a one-measure selection of that part.
    ed.setMode(ClickMode::EndB);
    ASSERT_TRUE(ed.clickCell(4, 6));
    EXPECT_EQ(ed.selectionPart(), 6);
    EXPECT_EQ(ed.selectionA(), 4);
    EXPECT_EQ(ed.selectionB(), 4);
    EXPECT_EQ(ed.mode(), ClickMode::EndA);

    // And a header click turns it back.
    ASSERT_TRUE(ed.clickMeasureHeader(2));
    EXPECT_EQ(ed.selectionPart(), ALL_PARTS);
    EXPECT_EQ(ed.selectionA(), 2);
    EXPECT_EQ(ed.selectionB(), 2);
    EXPECT_EQ(ed.mode(), ClickMode::EndB);
    EXPECT_FALSE(ed.clickMeasureHeader(1)) << "B before A";
}

TEST(MeasureEditorSelection, PartHeaderSelectsTheWholePartAndCancelClearsIt) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    MeasureEditor ed(doc, 0, 0);
    ed.setMode(ClickMode::EndB);
    ed.clickPartHeader(9);
    EXPECT_EQ(ed.selectionPart(), 9);
    EXPECT_EQ(ed.selectionA(), 0);
    EXPECT_EQ(ed.selectionB(), 999);
    EXPECT_EQ(ed.mode(), ClickMode::Pointer);
    ASSERT_TRUE(ed.copy());
    EXPECT_TRUE(ed.pasteEnabled());

    ed.setMode(ClickMode::EndA);
    ed.cancelSelection();
    EXPECT_FALSE(ed.hasSelection());
    EXPECT_EQ(ed.selectionA(), -1);
    EXPECT_EQ(ed.selectionB(), -1);
    EXPECT_EQ(ed.mode(), ClickMode::Pointer);
    EXPECT_FALSE(ed.cutEnabled() || ed.copyEnabled());
    EXPECT_TRUE(ed.pasteEnabled()) << "the clipboard outlives the selection";
}

TEST(MeasureEditorClosing, PointerBecomesTheCurrentPartAndMeasure) {
    SongDocument doc;
    Song& song = writableSong(doc);
    song = makeNewSong();
    MeasureEditor ed(doc, 0, 0);
    ASSERT_TRUE(ed.clickCell(12, 5));
    ed.applyPointer();
    EXPECT_EQ(doc.editing().currentPart, 5);
    EXPECT_EQ(doc.editing().currentMeasure, 12);
}

} // namespace
} // namespace pokopen
