#include "model/new_song.h"
#include "model/store_check.h"
#include "model/timeline.h"
#include "signature/signature_edit.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

namespace pokopen {
namespace {

using testing::addNote;

class SignatureEditTest : public ::testing::Test {
protected:
    Song song = makeNewSong();
    void TearDown() override { EXPECT_EQ(checkStore(song), ""); }
};

TEST_F(SignatureEditTest, ChangingBackRestoresTheRow) {
    const EventRow before = song.row(SIGNATURE_ROW);
    ASSERT_TRUE(changeKey(song, 4, 16)); // G major at measure 5
    EXPECT_EQ(song.row(SIGNATURE_ROW).count(), 3);
    ASSERT_TRUE(changeKey(song, 4, 14)); // C major again
    EXPECT_EQ(song.row(SIGNATURE_ROW), before);
    // The key already in force changes nothing.
    EXPECT_FALSE(changeKey(song, 4, 14));
    EXPECT_FALSE(changeMeter(song, 4, 0x42) == MeterEdit::Changed);
}

TEST_F(SignatureEditTest, DeletingTheMiddleOfEqualKeysRemovesTheLast) {
    changeKey(song, 4, 16);
    changeKey(song, 8, 14);
    ASSERT_EQ(song.row(SIGNATURE_ROW).count(), 4);
    EXPECT_TRUE(deleteKey(song, 4));
    EXPECT_EQ(song.row(SIGNATURE_ROW).events(),
              (std::vector<Event>{{0, KIND_KEY, 14, 0}, {0, KIND_METER, 0x42, 0}}));
    // Measure 1 and measures without a change cannot be deleted.
    EXPECT_FALSE(deleteKey(song, 0));
    EXPECT_FALSE(deleteKey(song, 8));
    EXPECT_EQ(deleteMeter(song, 0), MeterEdit::Unchanged);
}

TEST_F(SignatureEditTest, MeterChangeDividesTheTicksAnew) {
    addNote(song, 0, 288, 24, 30); // first beat of measure 4 in 4/4
    ASSERT_EQ(changeMeter(song, 2, 0x32), MeterEdit::Changed);
    EXPECT_EQ(measureToTick(song.store, 3), 264);
    EXPECT_EQ(tickToMeasure(song.store, 288), 3);
    EXPECT_EQ(288 - measureToTick(song.store, 3), 24);
    EXPECT_EQ(song.row(0).pos.front(), 0); // nothing moved in the part row

    // A new meter at a measure that holds a key goes before the key.
    changeKey(song, 5, 20);
    ASSERT_EQ(changeMeter(song, 5, 0x63), MeterEdit::Changed);
    const EventRow& sig = song.row(SIGNATURE_ROW);
    EXPECT_EQ(sig.at(sig.count() - 2), (Event{5, KIND_METER, 0x63, 0}));
    EXPECT_EQ(sig.at(sig.count() - 1), (Event{5, KIND_KEY, 20, 0}));

    EXPECT_EQ(deleteMeter(song, 5), MeterEdit::Changed);
    EXPECT_EQ(deleteMeter(song, 2), MeterEdit::Changed);
    EXPECT_EQ(measureToTick(song.store, 3), 288);
}

TEST_F(SignatureEditTest, MeterThatWouldPushEventsPastTheEndIsRefused) {
    // A note in the last measure of 4/4: shorter measures would leave it past measure 1000.
    addNote(song, 1, 999 * 96, 96, 40);
    const EventRow before = song.row(SIGNATURE_ROW);
    EXPECT_EQ(changeMeter(song, 500, 0x32), MeterEdit::WouldCutSong);
    EXPECT_EQ(song.row(SIGNATURE_ROW), before);
    // Longer measures are fine, and so is taking them back.
    EXPECT_EQ(changeMeter(song, 500, 0x52), MeterEdit::Changed);
    EXPECT_EQ(deleteMeter(song, 500), MeterEdit::Changed);
}

TEST(SignatureTextTest, LabelsOfKeysAndMeters) {
    EXPECT_EQ(keySignatureText(8), "♭3つ");
    EXPECT_EQ(keySignatureText(0), "♭7つ");
    EXPECT_EQ(keySignatureText(15), "調号0");
    EXPECT_EQ(keySignatureText(29), "♯7つ");
    EXPECT_EQ(meterText(0x42), "4/4");
    EXPECT_EQ(meterText(0xC3), "12/8");
    for (int item = 0; item < static_cast<int>(METER_CHOICES.size()); ++item)
        EXPECT_EQ(meterChoiceItem(METER_CHOICES[static_cast<std::size_t>(item)]), item);
}

TEST(SignatureViewTest, NewSongAtMeasuresOneAndFive) {
    Song song = makeNewSong();
    const SignatureView first = signatureView(song.store, 0);
    EXPECT_TRUE(first.keyHere && first.meterHere);
    EXPECT_FALSE(first.keyDeletable || first.meterDeletable);
    const SignatureView fifth = signatureView(song.store, 4);
    EXPECT_FALSE(fifth.keyHere || fifth.meterHere || fifth.keyDeletable || fifth.meterDeletable);
    EXPECT_EQ(fifth.keyInForce, 14);
    changeKey(song, 4, 3);
    EXPECT_TRUE(signatureView(song.store, 4).keyDeletable);
}

TEST(KeyDialogRulesTest, GroupsAndListShowOneKey) {
    for (int key = 0; key < 30; ++key)
        EXPECT_EQ(keyOfChoice(keyChoiceOf(key)), key) << key;
    EXPECT_EQ(keyChoiceOf(8), (KeyChoice{0, 3, 0}));

    const KeyChoice cMajor = keyChoiceOf(14);
    EXPECT_EQ(keyOfChoice(chooseCount(cMajor, 3)), 20);          // A-dur
    EXPECT_EQ(keyOfChoice(chooseCount(keyChoiceOf(15), 3)), 21); // fis-moll
    EXPECT_EQ(keyOfChoice(chooseSigns(keyChoiceOf(8), 1)), 14);  // C-dur
    EXPECT_EQ(keyOfChoice(chooseSigns(keyChoiceOf(9), 1)), 15);  // a-moll
    EXPECT_EQ(keyOfChoice(chooseSigns(cMajor, 0)), 12);          // flats with no count: one flat
    EXPECT_EQ(keyOfChoice(chooseSigns(keyChoiceOf(8), 2)), 20);  // three flats become three sharps
    EXPECT_EQ(keyOfChoice(chooseCount(keyChoiceOf(8), 0)), 14);  // count none: no signature
}

} // namespace
} // namespace pokopen
