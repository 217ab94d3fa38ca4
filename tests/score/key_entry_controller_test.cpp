#include "score/key_entry_controller.h"

#include "model/new_song.h"
#include "support/recording_midi_out.h"

#include <QTest>

#include <gtest/gtest.h>

namespace pokopen {
namespace {

using Calls = std::vector<std::string>;

TEST(KeyEntryController, EnteredNotesSoundBrieflyOnThePartsChannelAndRefusalsBeep) {
    SongDocument doc;
    newSong(writableSong(doc));
    writableSong(doc).partInstrument[3] = 40;
    doc.setCurrentPart(3);
    testing::RecordingMidiOut out;
    TestNotePlayer player(out);
    KeyEntryController keys(doc, player);
    int beeps = 0;
    keys.setBeep([&] { ++beeps; });

    EXPECT_TRUE(keys.keyPressed(Qt::Key_C, Qt::NoModifier));
    EXPECT_EQ(out.calls(), (Calls{"open", "C3 28 00", "93 3C 7F"})); // C4 = key 60, instrument 40
    // The next note cuts the first one short.
    EXPECT_TRUE(keys.keyPressed(Qt::Key_E, Qt::ShiftModifier));
    EXPECT_EQ(out.calls(),
              (Calls{"open", "C3 28 00", "93 3C 7F", "reset", "close", "open", "C3 28 00", "93 40 7F"}));
    QTest::qWait(KeyEntryController::AUDITION_MS + 150);
    EXPECT_EQ(out.calls().back(), "close");
    EXPECT_FALSE(player.sounding());

    EXPECT_EQ(beeps, 0);
    EXPECT_TRUE(keys.keyPressed(Qt::Key_Left, Qt::NoModifier)); // to the chord's start
    EXPECT_TRUE(keys.keyPressed(Qt::Key_Left, Qt::NoModifier)); // nothing before the song's start
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(keys.keyPressed(Qt::Key_C, Qt::ControlModifier)) << "not an entry key";
    EXPECT_EQ(doc.stepCount(), 2U);
    EXPECT_EQ(doc.undoName(), "音符の入力");
}

} // namespace
} // namespace pokopen
