#include "midifile/midi_file.h"
#include "model/new_song.h"
#include "model/store_check.h"
#include "playback/scheduled_player.h"
#include "player/player_window.h"
#include "support/fake_clock.h"
#include "support/recording_midi_out.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace pokopen {
namespace {

using testing::FakeClock;
using testing::RecordingMidiOut;

// A player whose state the test sets, and which remembers what it was asked to do.
class FakePlayer final : public MidiFilePlayer {
public:
    bool openSucceeds = true;
    std::int64_t length = 5000;
    std::int64_t position = 0;
    State current = State::Closed;
    std::vector<std::string> calls;
    PracticeSettings practice;

    bool open(const std::string& path) override {
        calls.push_back("open " + path);
        current = openSucceeds ? State::Stopped : State::Closed;
        return openSucceeds;
    }
    void close() override {
        calls.push_back("close");
        current = State::Closed;
    }
    bool isOpen() const override { return current != State::Closed; }
    std::string errorText() const override { return openSucceeds ? "" : "MIDIデバイスを開けません。"; }
    std::int64_t lengthMs() const override { return length; }
    std::int64_t positionMs() const override { return position; }
    State state() const override { return current; }
    Capabilities capabilities() const override {
        Capabilities c;
        c.play = c.pause = c.stop = c.seek = isOpen();
        return c;
    }
    void seek(std::int64_t ms) override {
        calls.push_back("seek " + std::to_string(ms));
        position = ms;
        current = State::Stopped;
    }
    void play() override {
        calls.push_back("play");
        current = State::Playing;
    }
    void pause() override {
        calls.push_back("pause");
        current = State::Paused;
    }
    void stop() override {
        calls.push_back("stop");
        current = State::Stopped;
    }
    void setPractice(const PracticeSettings& settings) override { practice = settings; }
    void setEndCallback(std::function<void()>) override {}
};

const QString TITLE = QStringLiteral("無題");
const QString COPYRIGHT = QStringLiteral("Copyright by ?");

struct Shown {
    QString text;
    int count = 0;
};

std::unique_ptr<TfrmMPlay> makeWindow(MidiFilePlayer& player, Shown& shown,
                                      const QString& path = "/tmp/knb.mid",
                                      const QString& copyright = COPYRIGHT) {
    return std::make_unique<TfrmMPlay>(player, path, TITLE, copyright, nullptr,
                                       [&shown](QWidget*, const QString& text) {
                                           shown.text = text;
                                           ++shown.count;
                                       });
}

template <typename T> T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

TEST(TfrmMPlay, OpensTheFileAndShowsTheTitleWithoutPlaying) {
    FakePlayer player;
    Shown shown;
    auto w = makeWindow(player, shown);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("ぽこぺんプレイヤー"));
    EXPECT_EQ(w->size(), QSize(554, 318));
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(player.calls, (std::vector<std::string>{"open /tmp/knb.mid"}));
    EXPECT_EQ(shown.count, 0);

    auto* lblTitle = child<QLabel>(*w, "lblTitle");
    auto* lblCopy = child<QLabel>(*w, "lblCopy");
    auto* pnlTitle = child<QFrame>(*w, "pnlTitle");
    EXPECT_EQ(lblTitle->text(), TITLE);
    EXPECT_EQ(lblCopy->text(), COPYRIGHT);
    EXPECT_TRUE(lblCopy->isHidden());
    // A 24-pixel cell; IPA P Gothic has none of exactly 24 (22 px gives 23, 23 px gives 25), so
    // the largest that does not exceed it.
    EXPECT_NEAR(QFontMetrics(lblTitle->font()).height(), 24, 1);
    EXPECT_LE(QFontMetrics(lblTitle->font()).height(), 24);
    EXPECT_EQ(pnlTitle->palette().color(QPalette::Window), QColor(0, 255, 255));
    EXPECT_EQ(lblTitle->palette().color(QPalette::WindowText), QColor(0, 128, 128));
    EXPECT_EQ(w->palette().color(QPalette::Window), QColor(192, 192, 192));

    auto* barSeek = child<QScrollBar>(*w, "barSeek");
    EXPECT_EQ(barSeek->minimum(), 0);
    EXPECT_EQ(barSeek->maximum(), 5000);
    EXPECT_EQ(barSeek->value(), 0);
    auto* tmrSeek = child<QTimer>(*w, "tmrSeek");
    EXPECT_TRUE(tmrSeek->isActive());
    EXPECT_EQ(tmrSeek->interval(), 10);
    auto* chkRepeat = child<QCheckBox>(*w, "chkRepeat");
    EXPECT_EQ(chkRepeat->text(), "Repeat");
    EXPECT_TRUE(chkRepeat->font().italic());
    EXPECT_FALSE(chkRepeat->isChecked());
    EXPECT_EQ(child<QPushButton>(*w, "btnClose")->text(), QStringLiteral("閉じる(&C)"));

    // The buttons a MIDI file player supports are enabled, the rest are not.
    for (const char* name : {"btnPlay", "btnPause", "btnStop", "btnNext", "btnPrev"})
        EXPECT_TRUE(child<QToolButton>(*w, name)->isEnabled()) << name;
    for (const char* name : {"btnStep", "btnBack", "btnRecord", "btnEject"})
        EXPECT_FALSE(child<QToolButton>(*w, name)->isEnabled()) << name;
}

TEST(TfrmMPlay, AFailedOpenShowsItsTextAndTheWindowOpensWithoutADevice) {
    FakePlayer player;
    player.openSucceeds = false;
    Shown shown;
    auto w = makeWindow(player, shown);
    EXPECT_EQ(shown.count, 1);
    EXPECT_EQ(shown.text, QStringLiteral("MIDIデバイスを開けません。"));
    auto* barSeek = child<QScrollBar>(*w, "barSeek");
    EXPECT_EQ(barSeek->maximum(), 100); // the design range
    EXPECT_FALSE(child<QTimer>(*w, "tmrSeek")->isActive());
    EXPECT_FALSE(child<QToolButton>(*w, "btnPlay")->isEnabled());
    // Releasing the bar has nothing to play; closing closes nothing.
    w->barSeekScroll(TfrmMPlay::ScrollCode::EndScroll);
    EXPECT_FALSE(child<QTimer>(*w, "tmrSeek")->isActive());
    w->reject();
    EXPECT_EQ(player.calls, (std::vector<std::string>{"open /tmp/knb.mid"}));
}

TEST(TfrmMPlay, TheTimerMovesTheBarAndRepeatPlaysAgainAtTheEnd) {
    FakePlayer player;
    Shown shown;
    auto w = makeWindow(player, shown);
    auto* barSeek = child<QScrollBar>(*w, "barSeek");
    player.position = 1234;
    w->tmrSeekTimer();
    EXPECT_EQ(barSeek->value(), 1234);

    // Unchecked, the end leaves the bar at its maximum and nothing plays.
    player.position = player.length;
    w->tmrSeekTimer();
    EXPECT_EQ(barSeek->value(), 5000);
    EXPECT_EQ(player.calls.size(), 1u);
    child<QCheckBox>(*w, "chkRepeat")->setChecked(true);
    w->tmrSeekTimer();
    EXPECT_EQ(player.calls.back(), "play");
    // Short of the end nothing happens.
    player.calls.clear();
    player.position = 4999;
    w->tmrSeekTimer();
    EXPECT_TRUE(player.calls.empty());
}

TEST(TfrmMPlay, HoldingTheBarStopsTheTimerAndReleasingItSeeksAndPlays) {
    FakePlayer player;
    Shown shown;
    auto w = makeWindow(player, shown);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    auto* barSeek = child<QScrollBar>(*w, "barSeek");
    auto* tmrSeek = child<QTimer>(*w, "tmrSeek");

    // A press in the trough right of the handle pages forward; the timer stops at once.
    const QPoint trough(barSeek->width() - 40, barSeek->height() / 2);
    QTest::mousePress(barSeek, Qt::LeftButton, {}, trough);
    EXPECT_FALSE(tmrSeek->isActive());
    EXPECT_GT(barSeek->value(), 0);
    player.position = 0;
    w->tmrSeekTimer(); // a tick that was already queued would not pull it back either
    const int chosen = barSeek->value();
    EXPECT_EQ(player.calls.size(), 1u); // no seek while held

    barSeek->setValue(chosen);
    QTest::mouseRelease(barSeek, Qt::LeftButton, {}, trough);
    EXPECT_EQ(player.calls,
              (std::vector<std::string>{"open /tmp/knb.mid", "seek " + std::to_string(chosen), "play"}));
    EXPECT_TRUE(tmrSeek->isActive());
    EXPECT_EQ(tmrSeek->interval(), 10);

    // Every scroll code but the end stops the timer.
    for (auto code :
         {TfrmMPlay::ScrollCode::LineUp, TfrmMPlay::ScrollCode::Track, TfrmMPlay::ScrollCode::Bottom}) {
        tmrSeek->start(10);
        w->barSeekScroll(code);
        EXPECT_FALSE(tmrSeek->isActive());
    }
}

TEST(TfrmMPlay, PressingTheTitleShowsTheCopyrightUntilRelease) {
    for (const QString& copyright : {COPYRIGHT, QString()}) {
        FakePlayer player;
        Shown shown;
        auto w = makeWindow(player, shown, "/tmp/knb.mid", copyright);
        w->show();
        auto* lblTitle = child<QLabel>(*w, "lblTitle");
        auto* pnlTitle = child<QFrame>(*w, "pnlTitle");
        QTest::mousePress(lblTitle, Qt::LeftButton);
        EXPECT_EQ(lblTitle->text(), copyright); // blank when there is no copyright
        QTest::mouseRelease(lblTitle, Qt::LeftButton);
        EXPECT_EQ(lblTitle->text(), TITLE);
        // The panel's edge, outside the label, does the same, with any button.
        QTest::mousePress(pnlTitle, Qt::RightButton, {}, QPoint(1, 1));
        EXPECT_EQ(lblTitle->text(), copyright);
        QTest::mouseRelease(pnlTitle, Qt::RightButton, {}, QPoint(1, 1));
        EXPECT_EQ(lblTitle->text(), TITLE);
    }
}

TEST(TfrmMPlay, TransportButtonsDriveThePlayer) {
    FakePlayer player;
    Shown shown;
    auto w = makeWindow(player, shown);
    w->show();
    player.calls.clear();
    QTest::mouseClick(child<QToolButton>(*w, "btnPlay"), Qt::LeftButton);
    QTest::mouseClick(child<QToolButton>(*w, "btnPause"), Qt::LeftButton);
    QTest::mouseClick(child<QToolButton>(*w, "btnPause"), Qt::LeftButton); // paused: goes on
    QTest::mouseClick(child<QToolButton>(*w, "btnStop"), Qt::LeftButton);
    QTest::mouseClick(child<QToolButton>(*w, "btnNext"), Qt::LeftButton);
    QTest::mouseClick(child<QToolButton>(*w, "btnPrev"), Qt::LeftButton);
    EXPECT_EQ(player.calls,
              (std::vector<std::string>{"play", "pause", "play", "stop", "seek 5000", "seek 0"}));
}

TEST(TfrmMPlay, CloseButtonAndEscStopAndCloseThePlayer) {
    for (bool byEsc : {false, true}) {
        FakePlayer player;
        Shown shown;
        auto w = makeWindow(player, shown);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        player.play();
        if (byEsc)
            QTest::keyClick(w.get(), Qt::Key_Escape);
        else
            QTest::mouseClick(child<QPushButton>(*w, "btnClose"), Qt::LeftButton);
        EXPECT_EQ(w->result(), QDialog::Rejected);
        EXPECT_FALSE(w->isVisible());
        EXPECT_FALSE(child<QTimer>(*w, "tmrSeek")->isActive());
        EXPECT_EQ(player.calls, (std::vector<std::string>{"open /tmp/knb.mid", "play", "stop", "close"}));
        w.reset(); // destroying the closed window closes nothing twice
        EXPECT_EQ(player.calls.size(), 4u);
    }
}

// The window over the real scheduled player, on a clock the test moves: what the user sees.
class PlayerWindowOnAClock : public ::testing::Test {
protected:
    void SetUp() override {
        song = makeNewSong();
        for (int beat = 0; beat < 4; ++beat)
            testing::addNote(song, 0, beat * 24, 24, 23);
        ASSERT_TRUE(checkStore(song).empty());
        path = dir.path() + "/knb.mid";
        ASSERT_TRUE(writeMidiFile(path.toStdString(), song, false));
        auto out = std::make_unique<RecordingMidiOut>();
        player = std::make_unique<ScheduledPlayer>(std::move(out), clock, ScheduledPlayer::Mode::Manual);
        window = makeWindow(*player, shown, path);
        ASSERT_EQ(shown.count, 0);
    }
    // One 10 ms period: the clock moves, the player sends, the timer fires.
    void tick(std::int64_t ms = 10) {
        clock.now += ms * 1000;
        player->pump();
        window->tmrSeekTimer();
    }

    Song song;
    QTemporaryDir dir;
    QString path;
    FakeClock clock;
    std::unique_ptr<ScheduledPlayer> player;
    Shown shown;
    std::unique_ptr<TfrmMPlay> window;
};

TEST_F(PlayerWindowOnAClock, RepeatStartsAgainWithinOneTimerPeriod) {
    child<QCheckBox>(*window, "chkRepeat")->setChecked(true);
    auto* barSeek = child<QScrollBar>(*window, "barSeek");
    EXPECT_EQ(barSeek->maximum(), 2250);
    player->play();
    tick(2245);
    EXPECT_EQ(barSeek->value(), 2245);
    tick(); // the end passes during this period; the timer starts the song again
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Playing);
    EXPECT_EQ(player->positionMs(), 0);
    tick();
    EXPECT_EQ(barSeek->value(), 10);
}

TEST_F(PlayerWindowOnAClock, WithoutRepeatTheBarStaysAtTheEnd) {
    player->play();
    tick(2245);
    for (int i = 0; i < 5; ++i)
        tick();
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Stopped);
    EXPECT_EQ(child<QScrollBar>(*window, "barSeek")->value(), 2250);
}

TEST_F(PlayerWindowOnAClock, ReleasingTheBarWhileStoppedPlaysFromThere) {
    auto* barSeek = child<QScrollBar>(*window, "barSeek");
    window->barSeekScroll(TfrmMPlay::ScrollCode::Track);
    barSeek->setValue(1000);
    window->barSeekScroll(TfrmMPlay::ScrollCode::EndScroll);
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Playing);
    tick(250);
    EXPECT_EQ(barSeek->value(), 1250);

    // Pause and resume through the buttons: the position holds, then moves on.
    window->mplPlayerClick(TfrmMPlay::Button::Pause);
    tick(500);
    EXPECT_EQ(barSeek->value(), 1250);
    window->mplPlayerClick(TfrmMPlay::Button::Pause);
    tick(100);
    EXPECT_EQ(barSeek->value(), 1350);
}

TEST_F(PlayerWindowOnAClock, ReportsTheHeardPositionWhilePlayingThroughTheEndAndRepeat) {
    QSignalSpy at(window.get(), &TfrmMPlay::playingAt);
    QSignalSpy stopped(window.get(), &TfrmMPlay::playingStopped);
    child<QCheckBox>(*window, "chkRepeat")->setChecked(true);
    window->playFrom(1000); // a measure's start: the bar shows it at once
    EXPECT_EQ(child<QScrollBar>(*window, "barSeek")->value(), 1000);
    ASSERT_EQ(at.size(), 1);
    EXPECT_EQ(at.takeFirst().at(0).toLongLong(), 1000);
    std::vector<qint64> seen;
    for (int i = 0; i < 130; ++i) {
        tick();
        for (const QList<QVariant>& args : at)
            seen.push_back(args.at(0).toLongLong());
        at.clear();
    }
    // Rising by the period to the end, then again from the start of the file.
    ASSERT_EQ(seen.size(), 131u); // the end, and the start again, in one period
    std::size_t wrap = 0;
    for (std::size_t i = 1; i < seen.size(); ++i) {
        if (seen[i] < seen[i - 1]) {
            EXPECT_EQ(wrap, 0u) << "the position went back twice";
            wrap = i;
        } else {
            EXPECT_EQ(seen[i] - seen[i - 1], 10) << i;
        }
    }
    ASSERT_GT(wrap, 0u);
    EXPECT_EQ(seen[wrap - 1], 2250);
    EXPECT_EQ(seen[wrap], 0);
    EXPECT_EQ(stopped.size(), 0); // repeat goes on without a stop

    // Pausing stops the reports once; playing again resumes them; closing stops them once more.
    window->mplPlayerClick(TfrmMPlay::Button::Pause);
    tick();
    tick();
    EXPECT_EQ(stopped.size(), 1);
    EXPECT_EQ(at.size(), 0);
    window->mplPlayerClick(TfrmMPlay::Button::Pause);
    EXPECT_EQ(at.size(), 1);
    window->reject();
    EXPECT_EQ(stopped.size(), 2);
}

TEST_F(PlayerWindowOnAClock, PlayingFromPastTheEndWaitsThereRatherThanStartingOver) {
    QSignalSpy at(window.get(), &TfrmMPlay::playingAt);
    window->playFrom(4000);
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Stopped);
    EXPECT_EQ(child<QScrollBar>(*window, "barSeek")->value(), 2250);
    EXPECT_EQ(at.size(), 0);
    window->mplPlayerClick(TfrmMPlay::Button::Play); // play from there starts the song again
    EXPECT_EQ(player->positionMs(), 0);
}

// Measure 1 looped at half the tempo: the bar moves at half speed and goes back at the jump.
TEST_F(PlayerWindowOnAClock, ALoopedRangeAtHalfTempoMovesTheBarAndJumpsBack) {
    window->setTimeline(PlayTimeline(song));
    auto* chkLoop = child<QCheckBox>(*window, "chkLoop");
    ASSERT_TRUE(chkLoop->isEnabled());
    EXPECT_EQ(child<QSpinBox>(*window, "spnLoopFrom")->value(), 1);
    EXPECT_EQ(child<QSpinBox>(*window, "spnLoopTo")->maximum(), 1);
    chkLoop->setChecked(true);
    child<QSlider>(*window, "trkTempo")->setValue(50);
    EXPECT_EQ(child<QLabel>(*window, "lblTempoValue")->text(), QStringLiteral("50%"));
    auto* barSeek = child<QScrollBar>(*window, "barSeek");
    player->play();
    tick(1000);
    EXPECT_EQ(barSeek->value(), 500);
    // The measure ends 2250 ms into the file, 4.5 s in; it starts again 250 ms into the file.
    tick(3490);
    EXPECT_EQ(barSeek->value(), 2245);
    tick(20);
    EXPECT_EQ(barSeek->value(), 255);
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Playing);
}

TEST(TfrmMPlay, PracticeControlsAndKeysReachThePlayer) {
    FakePlayer player;
    Shown shown;
    auto w = makeWindow(player, shown);
    EXPECT_FALSE(child<QCheckBox>(*w, "chkLoop")->isEnabled()); // no measures known yet
    child<QToolButton>(*w, "btnMute3")->click();
    child<QToolButton>(*w, "btnSolo10")->click();
    child<QCheckBox>(*w, "chkCountIn")->setChecked(true);
    child<QCheckBox>(*w, "chkMetronome")->setChecked(true);
    child<QSlider>(*w, "trkTempo")->setValue(75);
    EXPECT_EQ(player.practice.muted, 0b100);
    EXPECT_EQ(player.practice.soloed, 1 << 9);
    EXPECT_TRUE(player.practice.countIn && player.practice.metronome);
    EXPECT_EQ(player.practice.tempoPercent, 75);
    EXPECT_EQ(w->practice(), player.practice);

    // An empty song at 120 bpm in 4/4: measure 2 starts 2.25 s into the file, the player's
    // 5 s reach into measure 3.
    w->setTimeline(PlayTimeline(makeNewSong()), 2250);
    auto* from = child<QSpinBox>(*w, "spnLoopFrom");
    auto* to = child<QSpinBox>(*w, "spnLoopTo");
    EXPECT_EQ(from->value(), 2);
    EXPECT_EQ(to->value(), 2);
    EXPECT_EQ(to->maximum(), 3);
    to->setValue(1); // the range never runs backwards
    EXPECT_EQ(from->value(), 1);
    from->setValue(2);
    to->setValue(3);
    child<QCheckBox>(*w, "chkLoop")->setChecked(true);
    EXPECT_TRUE(player.practice.loop);
    EXPECT_EQ(player.practice.loopFromUs, 2'250'000);
    EXPECT_EQ(player.practice.loopToUs, 6'250'000);

    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    player.calls.clear();
    QTest::keyClick(w.get(), Qt::Key_Space);
    QTest::keyClick(w.get(), Qt::Key_Space);
    QTest::keyClick(w.get(), Qt::Key_Home); // paused: goes back and waits there
    EXPECT_EQ(player.calls, (std::vector<std::string>{"play", "pause", "seek 2250"}));
    child<QCheckBox>(*w, "chkLoop")->setChecked(false);
    player.calls.clear();
    QTest::keyClick(w.get(), Qt::Key_Space);
    QTest::keyClick(w.get(), Qt::Key_Home); // playing: plays on from the song's start
    EXPECT_EQ(player.calls, (std::vector<std::string>{"play", "seek 0", "play"}));
}

TEST(TfrmMPlay, PlayingFromAPointWithoutADeviceDoesNothing) {
    FakePlayer failing;
    failing.openSucceeds = false;
    Shown failed;
    auto w = makeWindow(failing, failed);
    QSignalSpy at(w.get(), &TfrmMPlay::playingAt);
    w->playFrom(1000);
    EXPECT_EQ(failing.calls, (std::vector<std::string>{"open /tmp/knb.mid"}));
    EXPECT_EQ(at.size(), 0);
    EXPECT_EQ(child<QScrollBar>(*w, "barSeek")->value(), 0);
}

} // namespace
} // namespace pokopen
