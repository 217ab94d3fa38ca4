#include "midi/midi_file.h"
#include "midi/play_follower.h"
#include "midi/player_window.h"
#include "midi/recording_midi_out.h"
#include "midi/scheduled_player.h"
#include "model/new_song.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

namespace pokopen {
namespace {

class FakeClock final : public PlayerClock {
public:
    std::int64_t nowUs() const override { return now; }
    std::int64_t now = 1'000'000;
};

// Test play of a song of eight 4/4 measures at 120 bpm (2 s a measure after the 250 ms lead-in),
// followed on one page 300 pixels wide whose ticks lie 3 pixels apart from x = 10.
class PlayFollowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        song = makeNewSong();
        for (int m = 0; m < 8; ++m)
            testing::addNote(song, 0, m * 96, 96, 23);
        path = dir.path() + "/knb.mid";
        ASSERT_TRUE(writeMidiFile(path.toStdString(), song, false));
        player = std::make_unique<ScheduledPlayer>(std::make_unique<RecordingMidiOut>(), clock,
                                                   ScheduledPlayer::Mode::Manual);
        window = std::make_unique<TfrmMPlay>(*player, path, QString(), QString(), nullptr,
                                             [](QWidget*, const QString&) {});
        view.resize(300, 100);
        follower.addPage(&view, [](std::int32_t t) { return 10 + 3 * t; });
        line = view.findChild<PlayPositionLine*>();
        ASSERT_NE(line, nullptr);
        follower.follow(*window, song);
    }
    void advance(std::int64_t ms) {
        clock.now += ms * 1000;
        player->pump();
        window->tmrSeekTimer();
    }

    QTemporaryDir dir;
    QString path;
    Song song;
    FakeClock clock;
    std::unique_ptr<ScheduledPlayer> player;
    std::unique_ptr<TfrmMPlay> window;
    QWidget view;
    std::int32_t shown = 0;
    std::vector<std::int32_t> turns;
    PlayFollower follower{{[this] { return shown; },
                           [this](std::int32_t m) {
                               shown = m;
                               turns.push_back(m);
                               follower.measureChanged(); // as the measure bar reports it
                           }}};
    PlayPositionLine* line = nullptr;
};

TEST_F(PlayFollowerTest, TurnsToTheMeasureHeardAndDrawsTheLineAtItsTick) {
    window->playFrom(PlayTimeline(song).measureStartMs(4));
    EXPECT_EQ(turns, std::vector<std::int32_t>{4});
    EXPECT_TRUE(line->isVisibleTo(&view));
    EXPECT_EQ(line->lineX(), 10);
    advance(500); // a quarter note: 24 ticks
    EXPECT_EQ(line->lineX(), 10 + 3 * 24);
    EXPECT_EQ(line->geometry(), QRect(10 + 3 * 24, 0, 1, 100));
    advance(510); // halfway through a tick is a pixel on
    EXPECT_EQ(line->lineX(), 10 + 3 * 48 + 1);
    advance(990);
    EXPECT_EQ(shown, 5);
    EXPECT_EQ(turns, (std::vector<std::int32_t>{4, 5}));
    EXPECT_EQ(line->lineX(), 10);
    // Stopping takes the line away and leaves the measure where it is.
    window->mplPlayerClick(TfrmMPlay::Button::Stop);
    EXPECT_FALSE(line->isVisibleTo(&view));
    advance(3000);
    EXPECT_EQ(shown, 5);
}

TEST_F(PlayFollowerTest, AMoveByHandStopsFollowingUntilTheNextPlay) {
    window->playFrom(0);
    advance(2300);
    EXPECT_EQ(shown, 1);
    shown = 6; // the user moves the measure bar
    follower.measureChanged();
    EXPECT_FALSE(follower.isFollowing());
    EXPECT_FALSE(line->isVisibleTo(&view));
    advance(2000);
    EXPECT_EQ(shown, 6);
    EXPECT_FALSE(line->isVisibleTo(&view));
    window->mplPlayerClick(TfrmMPlay::Button::Pause);
    window->mplPlayerClick(TfrmMPlay::Button::Pause); // playing again follows again
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(line->isVisibleTo(&view));
}

TEST_F(PlayFollowerTest, SwitchedOffNothingMovesAndTheSettingIsKept) {
    follower.setEnabled(false);
    window->playFrom(PlayTimeline(song).measureStartMs(3));
    advance(2500);
    EXPECT_TRUE(turns.empty());
    EXPECT_EQ(shown, 0);
    EXPECT_FALSE(line->isVisibleTo(&view));
    follower.setEnabled(true); // on again while playing: follows from the next report
    advance(10);
    EXPECT_EQ(shown, 4);

    QSettings ini(dir.path() + "/pokopen.ini", QSettings::IniFormat);
    EXPECT_TRUE(PlayFollower::readSetting(ini)); // on when never set
    PlayFollower::writeSetting(ini, false);
    EXPECT_EQ(ini.value("PLAY/Follow").toString(), QStringLiteral("0"));
    EXPECT_FALSE(PlayFollower::readSetting(ini));
    PlayFollower::writeSetting(ini, true);
    EXPECT_EQ(ini.value("PLAY/Follow").toInt(), 1);
}

} // namespace
} // namespace pokopen
