#include "score/note_entry_controller.h"

#include "model/new_song.h"
#include "model/store_check.h"
#include "support/recording_midi_out.h"
#include "support/song_builders.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace pokopen {
namespace {

using Calls = std::vector<std::string>;

std::vector<Event> notesOf(const Song& song, int part = 0) {
    std::vector<Event> notes = song.row(part).events();
    std::erase_if(notes, [](const Event& e) { return e.kind != KIND_NOTE_ON && e.kind != KIND_NOTE_OFF; });
    return notes;
}

struct ControllerFixture : ::testing::Test {
    SongDocument session;
    testing::RecordingMidiOut out;
    NoteEntryController controller{session, out};
    int edits = 0; // steps the document recorded
    Subscription counting = session.subscribe([this](const SongChange& c) {
        if (c.cause == SongChange::Cause::Edit)
            ++edits;
    });
    int beeps = 0;

    ControllerFixture() {
        newSong(writableSong(session));
        controller.audition().setBeep([this] { ++beeps; });
    }

    // The events a widget delivers for a click and for a double click at one place.
    void click(int x, int y) {
        controller.imgScoreMouseMove(x, y);
        controller.imgScoreMouseDown(Qt::LeftButton, x, y);
        controller.imgScoreMouseUp(Qt::LeftButton, x, y);
    }
    void doubleClick(int x, int y) {
        click(x, y);
        controller.imgScoreDblClick(Qt::LeftButton, x, y);
        controller.imgScoreMouseUp(Qt::LeftButton, x, y);
    }
};

TEST_F(ControllerFixture, ClickEntersOneStep) {
    click(82 + 40, 150);
    EXPECT_EQ(notesOf(session.song()),
              (std::vector<Event>{{12, KIND_NOTE_ON, 23, 0}, {36, KIND_NOTE_OFF, 23, 0}}));
    EXPECT_EQ(checkStore(session.song()), "");
    EXPECT_EQ(edits, 1);
    click(82 + 40, 150); // refused: no step
    EXPECT_EQ(edits, 1);
    EXPECT_TRUE(out.calls().empty());
}

TEST_F(ControllerFixture, DoubleClickOnANoteDeletesItWithoutEnteringAgain) {
    testing::addNote(writableSong(session), 0, 12, 24, 23);
    doubleClick(82 + 3 * 24, 150);
    EXPECT_TRUE(notesOf(session.song()).empty());
    EXPECT_EQ(checkStore(session.song()), "");
    EXPECT_EQ(edits, 1);
}

TEST_F(ControllerFixture, DoubleClickOnFreeSpaceLeavesTheRowAsItWas) {
    doubleClick(82 + 3 * 60, 150);
    EXPECT_TRUE(notesOf(session.song()).empty());
    EXPECT_EQ(edits, 2); // entered by the click, deleted by the double click
}

TEST_F(ControllerFixture, ReleaseOutsideTheImageIsNoClick) {
    controller.imgScoreMouseDown(Qt::LeftButton, 120, 150);
    controller.imgScoreMouseUp(Qt::LeftButton, 600, 150);
    EXPECT_TRUE(notesOf(session.song()).empty());
    // A release without a press on the image is no click either.
    controller.imgScoreMouseUp(Qt::LeftButton, 120, 150);
    EXPECT_TRUE(notesOf(session.song()).empty());
}

TEST_F(ControllerFixture, RightButtonSoundsUntilAnyRelease) {
    session.setCurrentPart(PERCUSSION_PART);
    controller.imgScoreMouseDown(Qt::RightButton, 100, 0);
    EXPECT_EQ(out.calls(), (Calls{"open", "C9 00 00", "99 41 7F"}));
    controller.imgScoreMouseUp(Qt::LeftButton, 100, 0);
    EXPECT_EQ(out.calls(), (Calls{"open", "C9 00 00", "99 41 7F", "reset", "close"}));
    EXPECT_FALSE(out.isOpen());
    EXPECT_EQ(edits, 0);
}

TEST_F(ControllerFixture, RightButtonOverTheMarginOpensNothing) {
    controller.imgScoreMouseDown(Qt::RightButton, 81, 150);
    controller.imgScoreMouseUp(Qt::RightButton, 81, 150);
    controller.imgScoreMouseDown(Qt::MiddleButton, 120, 150);
    controller.imgScoreMouseUp(Qt::MiddleButton, 120, 150);
    EXPECT_TRUE(out.calls().empty());
    EXPECT_TRUE(notesOf(session.song()).empty());
}

TEST_F(ControllerFixture, FailedOpenBeepsAndTheReleaseTouchesNothing) {
    out.refuseOpen = true;
    controller.imgScoreMouseDown(Qt::RightButton, 120, 150);
    controller.imgScoreMouseUp(Qt::RightButton, 120, 150);
    EXPECT_EQ(out.calls(), (Calls{"open failed"}));
    EXPECT_EQ(beeps, 1);
}

} // namespace
} // namespace pokopen
