#include "midifile/midi_file.h"
#include "model/new_song.h"
#include "model/store_check.h"
#include "playback/play_timeline.h"
#include "playback/scheduled_player.h"
#include "support/fake_clock.h"
#include "support/in_force_song.h"
#include "support/recording_midi_out.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <thread>

namespace pokopen {
namespace {

using testing::FakeClock;
using testing::RecordingMidiOut;

using Message = std::vector<std::uint8_t>;
const Message MIDDLE_C_ON{0x90, 60, 0x7F};
const Message PROGRAM_PIANO{0xC0, 0, 0}; // a short message always carries three values

// Middle C on beats 1..4 of the first measure at 120 bpm: after the 0.25 s lead-in the notes
// start at 250, 750, 1250 and 1750 ms, and the file ends with the last at 2250 ms.
SmfSequence fourBeats() {
    Song song = makeNewSong();
    for (int beat = 0; beat < 4; ++beat) {
        testing::addNote(song, 0, beat * 24, 24, 23);
        EXPECT_TRUE(checkStore(song).empty());
    }
    SmfSequence s;
    EXPECT_TRUE(parseSmf(buildMidiFile(song, false), s).ok);
    return s;
}

std::size_t countOf(const std::vector<Message>& messages, const Message& m) {
    return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), m));
}

class ScheduledPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto out = std::make_unique<RecordingMidiOut>();
        recorder = out.get();
        player = std::make_unique<ScheduledPlayer>(std::move(out), clock, ScheduledPlayer::Mode::Manual);
        player->setEndCallback([this] { ++ends; });
        ASSERT_TRUE(player->openSequence(fourBeats()));
    }
    // Moves the clock on and lets the player send what is due, as its thread would.
    void advance(std::int64_t ms) {
        clock.advanceMs(ms);
        player->pump();
    }

    FakeClock clock{5'000'000};
    RecordingMidiOut* recorder = nullptr;
    std::unique_ptr<ScheduledPlayer> player;
    int ends = 0;
};

TEST_F(ScheduledPlayerTest, OpensStoppedAtTheStartWithTheFileLength) {
    EXPECT_TRUE(player->isOpen());
    EXPECT_TRUE(recorder->isOpen());
    EXPECT_EQ(player->lengthMs(), 2250);
    EXPECT_EQ(player->positionMs(), 0);
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Stopped);
    advance(1000);
    EXPECT_EQ(player->positionMs(), 0); // nothing moves before play
    EXPECT_TRUE(recorder->shortMessages().empty());
}

TEST_F(ScheduledPlayerTest, PlaysOnTheClockAndReportsTheEndOnce) {
    player->play();
    EXPECT_EQ(recorder->entries().size(), 2u); // open, then System On at 0 ms
    advance(249);
    EXPECT_EQ(countOf(recorder->shortMessages(), MIDDLE_C_ON), 0u);
    EXPECT_EQ(countOf(recorder->shortMessages(), PROGRAM_PIANO), 1u); // the lead-in's program
    advance(1);
    EXPECT_EQ(countOf(recorder->shortMessages(), MIDDLE_C_ON), 1u);
    EXPECT_EQ(player->positionMs(), 250);
    advance(1999);
    EXPECT_EQ(player->positionMs(), 2249);
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(countOf(recorder->shortMessages(), MIDDLE_C_ON), 4u);
    advance(5);
    // The end: exactly the length, stopped, notified once.
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Stopped);
    EXPECT_EQ(player->positionMs(), player->lengthMs());
    EXPECT_EQ(countOf(recorder->shortMessages(), Message{0x90, 60, 0}), 4u);
    advance(500);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(player->positionMs(), 2250);

    // Play at the end starts from the beginning.
    recorder->clear();
    player->play();
    EXPECT_EQ(player->positionMs(), 0);
    advance(250);
    EXPECT_EQ(countOf(recorder->shortMessages(), MIDDLE_C_ON), 1u);
}

TEST_F(ScheduledPlayerTest, PauseSilencesAndHoldsThePositionUntilPlayGoesOn) {
    player->play();
    advance(500);
    player->pause();
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Paused);
    EXPECT_EQ(recorder->entries().back().call, RecordingMidiOut::Call::Reset);
    advance(1000);
    EXPECT_EQ(player->positionMs(), 500);
    EXPECT_EQ(countOf(recorder->shortMessages(), MIDDLE_C_ON), 1u);
    player->play();
    advance(249);
    EXPECT_EQ(player->positionMs(), 749);
    EXPECT_EQ(countOf(recorder->shortMessages(), MIDDLE_C_ON), 1u);
    advance(1);
    EXPECT_EQ(countOf(recorder->shortMessages(), MIDDLE_C_ON), 2u);

    // Stop keeps the position too; play goes on from it.
    player->stop();
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Stopped);
    advance(300);
    EXPECT_EQ(player->positionMs(), 750);
}

TEST_F(ScheduledPlayerTest, SeekWhileStoppedStartsPlayingThereWithProgramsButNoEarlierNotes) {
    player->seek(1000);
    EXPECT_EQ(player->positionMs(), 1000);
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Stopped);
    EXPECT_TRUE(recorder->shortMessages().empty());
    player->play();
    // The lead-in's volume, pan, expression and program are caught up; the notes before are not.
    const std::vector<Message> caughtUp = recorder->shortMessages();
    EXPECT_EQ(countOf(caughtUp, PROGRAM_PIANO), 1u);
    // The song's pan point replaces the lead-in's: only the last is caught up.
    EXPECT_EQ(countOf(caughtUp, Message{0xB0, 0x0A, 0x40}), 1u);
    EXPECT_EQ(countOf(caughtUp, MIDDLE_C_ON), 0u);
    advance(249);
    EXPECT_EQ(countOf(recorder->shortMessages(), MIDDLE_C_ON), 0u);
    advance(1);
    EXPECT_EQ(countOf(recorder->shortMessages(), MIDDLE_C_ON), 1u);
    EXPECT_EQ(player->positionMs(), 1250);
}

TEST_F(ScheduledPlayerTest, SeekDuringPlaybackStopsAndSilencesAndClampsToTheFile) {
    player->play();
    advance(800);
    player->seek(100);
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Stopped);
    EXPECT_EQ(recorder->entries().back().call, RecordingMidiOut::Call::Reset);
    advance(100);
    EXPECT_EQ(player->positionMs(), 100);
    player->seek(-5);
    EXPECT_EQ(player->positionMs(), 0);
    player->seek(99'999);
    EXPECT_EQ(player->positionMs(), 2250);
    // Play from the end goes back to the start.
    player->play();
    EXPECT_EQ(player->positionMs(), 0);
}

TEST_F(ScheduledPlayerTest, CloseSilencesTheDeviceAndForgetsTheFile) {
    player->play();
    advance(300);
    player->close();
    const auto entries = recorder->entries();
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[entries.size() - 2].call, RecordingMidiOut::Call::Reset);
    EXPECT_EQ(entries.back().call, RecordingMidiOut::Call::Close);
    EXPECT_FALSE(player->isOpen());
    EXPECT_EQ(player->lengthMs(), 0);
    player->play(); // harmless when closed
    EXPECT_EQ(player->state(), MidiFilePlayer::State::Closed);
}

TEST(ScheduledPlayer, FromAMeasureEachPartHearsItsFirstNoteWithWhatIsInForceThere) {
    std::mt19937 rng(1414);
    for (int trial = 0; trial < 6; ++trial) {
        const std::int32_t m = 2 + trial * 5;
        const bool fmMode = trial % 2 == 1;
        const Song song = testing::songWithChangesBefore(rng, m);
        const PlayTimeline timeline(song);
        const PlayState expected = playStateAt(song, m, fmMode);
        SmfSequence file;
        ASSERT_TRUE(parseSmf(buildMidiFile(song, fmMode), file).ok);
        FakeClock clock{5'000'000};
        auto out = std::make_unique<RecordingMidiOut>();
        const RecordingMidiOut* recorder = out.get();
        ScheduledPlayer player(std::move(out), clock, ScheduledPlayer::Mode::Manual);
        ASSERT_TRUE(player.openSequence(file));
        const std::int64_t startMs = timeline.measureStartMs(m);
        player.seek(startMs);
        player.play();
        // Millisecond by millisecond until part 1's second note, a quarter note on, goes out.
        const auto noteOns = [recorder] {
            const auto messages = recorder->shortMessages();
            return std::count_if(messages.begin(), messages.end(),
                                 [](const Message& msg) { return (msg[0] & 0xF0) == 0x90 && msg[2] > 0; });
        };
        std::int64_t secondNoteMs = -1;
        for (std::int64_t ms = 1; ms <= 3000 && secondNoteMs < 0; ++ms) {
            clock.advanceMs(1);
            player.pump();
            if (noteOns() > PART_ROWS) // the first note of every part, then that one
                secondNoteMs = startMs + ms;
        }
        // Each channel's controllers and program when its first note goes out.
        std::map<int, PartPlayState> now, atFirstNote;
        for (const Message& msg : recorder->shortMessages()) {
            const int c = msg[0] & 0x0F;
            PartPlayState& p = now[c];
            if ((msg[0] & 0xF0) == 0xC0)
                p.program = msg[1];
            else if ((msg[0] & 0xF0) == 0xB0 && msg[1] == 7)
                p.volume = msg[2];
            else if ((msg[0] & 0xF0) == 0xB0 && msg[1] == 10)
                p.pan = msg[2];
            else if ((msg[0] & 0xF0) == 0xB0 && msg[1] == 11)
                p.expression = msg[2];
            else if ((msg[0] & 0xF0) == 0x90 && msg[2] > 0 && !atFirstNote.contains(c))
                atFirstNote[c] = p;
        }
        for (int c = 0; c < PART_ROWS; ++c) {
            ASSERT_TRUE(atFirstNote.contains(c)) << "trial " << trial << " channel " << c;
            EXPECT_EQ(atFirstNote[c], expected.parts[static_cast<std::size_t>(c)])
                << "trial " << trial << " channel " << c;
        }
        // The tempo in force times the quarter note to part 1's second note.
        EXPECT_NEAR(static_cast<double>(secondNoteMs - startMs), expected.usPerQuarter / 1000.0, 2.0)
            << "trial " << trial;
    }
}

TEST(ScheduledPlayer, FromLateInALongSongOnlyTheLastOfEachControllerIsCaughtUp) {
    Song song = makeNewSong();
    for (std::int32_t t = 0; t < 96 * 100; t += 24) { // 400 dynamics and pan points before measure 101
        testing::addPoint(song, 0, t, KIND_DYNAMICS, static_cast<std::uint8_t>(t % 127));
        testing::addPoint(song, 0, t + 12, KIND_PAN, static_cast<std::uint8_t>(t % 125));
    }
    testing::addNote(song, 0, 96 * 100, 24, 23);
    SmfSequence file;
    ASSERT_TRUE(parseSmf(buildMidiFile(song, false), file).ok);
    FakeClock clock{5'000'000};
    auto out = std::make_unique<RecordingMidiOut>();
    const RecordingMidiOut* recorder = out.get();
    ScheduledPlayer player(std::move(out), clock, ScheduledPlayer::Mode::Manual);
    ASSERT_TRUE(player.openSequence(file));
    player.seek(PlayTimeline(song).measureStartMs(100));
    player.play();
    std::vector<Message> channelOne;
    for (const Message& m : recorder->shortMessages())
        if (m[0] == 0xB0 || m[0] == 0xC0)
            channelOne.push_back(m);
    const PartPlayState want = playStateAt(song, 100, false).parts[0];
    EXPECT_EQ(channelOne, (std::vector<Message>{{0xB0, 0x07, static_cast<std::uint8_t>(want.volume)},
                                                {0xC0, static_cast<std::uint8_t>(want.program), 0},
                                                {0xB0, 0x0B, static_cast<std::uint8_t>(want.expression)},
                                                {0xB0, 0x0A, static_cast<std::uint8_t>(want.pan)}}));
    EXPECT_EQ(recorder->entries().at(1).call, RecordingMidiOut::Call::Long); // System On comes first
}

TEST(ScheduledPlayer, OpenFailsWithATextWhenThereIsNoDeviceOrNoFile) {
    FakeClock clock{5'000'000};
    ScheduledPlayer refused(std::make_unique<RecordingMidiOut>(false), clock, ScheduledPlayer::Mode::Manual);
    EXPECT_FALSE(refused.openSequence(fourBeats()));
    EXPECT_FALSE(refused.isOpen());
    EXPECT_FALSE(refused.errorText().empty());

    ScheduledPlayer missing(std::make_unique<RecordingMidiOut>(), clock, ScheduledPlayer::Mode::Manual);
    EXPECT_FALSE(missing.open("/nonexistent/knb.mid"));
    EXPECT_NE(missing.errorText().find("/nonexistent/knb.mid"), std::string::npos);
}

// The scheduler thread on the steady clock: every message is sent within 1 ms of its time.
TEST(ScheduledPlayerTiming, SendsEveryMessageWithinOneMillisecondOfItsTime) {
    // Sixteen 32nd notes in four parts at 239 bpm: 0.25 s of lead-in and half a second of notes.
    Song song = makeNewSong();
    song.row(TEMPO_ROW).value[0] = 239;
    for (int n = 0; n < 16; ++n)
        for (int part = 0; part < 4; ++part)
            testing::addNote(song, part, n * 3, 3, static_cast<std::uint8_t>(20 + part));
    ASSERT_TRUE(checkStore(song).empty());
    SmfSequence sequence;
    ASSERT_TRUE(parseSmf(buildMidiFile(song, false), sequence).ok);
    const std::vector<SmfEvent> events = sequence.events;

    // One play of the sequence; returns the worst lateness in microseconds (or -1 when the
    // messages sent do not match the file), failing on any message sent early.
    const auto playOnce = [&events, &sequence]() -> std::int64_t {
        SteadyPlayerClock clock;
        auto out = std::make_unique<RecordingMidiOut>();
        RecordingMidiOut* recorder = out.get();
        ScheduledPlayer player(std::move(out), clock);
        SmfSequence copy = sequence;
        EXPECT_TRUE(player.openSequence(std::move(copy)));
        std::atomic<bool> ended{false};
        player.setEndCallback([&ended] { ended = true; });
        player.play();
        const std::int64_t start = player.dueUs(0) - events[0].timeUs;
        for (int i = 0; i < 300 && !ended; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(ended);
        std::vector<RecordingMidiOut::Entry> sent;
        for (const auto& e : recorder->entries())
            if (e.call == RecordingMidiOut::Call::Short || e.call == RecordingMidiOut::Call::Long)
                sent.push_back(e);
        if (sent.size() != events.size())
            return -1;
        std::int64_t worst = 0;
        std::int64_t total = 0;
        for (std::size_t i = 0; i < events.size(); ++i) {
            const std::int64_t late = sent[i].steadyUs - (start + events[i].timeUs);
            EXPECT_GE(late, 0) << "message " << i << " sent early";
            worst = std::max(worst, late);
            total += late;
        }
        std::printf("scheduler lateness over %zu messages: worst %lld us, mean %lld us\n", events.size(),
                    static_cast<long long>(worst),
                    static_cast<long long>(total / static_cast<std::int64_t>(events.size())));
        return worst;
    };
    // A shared machine can stall any thread now and then; the scheduler must meet the limit in
    // at least one of three whole plays (a scheduler that is late by design fails all three).
    // Under ThreadSanitizer every memory access is slowed, the wake-up from the scheduler's
    // sleep among them, so there the limit only catches a scheduler that is late by design.
#if defined(__SANITIZE_THREAD__)
    constexpr std::int64_t LIMIT_US = 3000;
#else
    constexpr std::int64_t LIMIT_US = 1000;
#endif
    std::int64_t best = -1;
    for (int attempt = 0; attempt < 3 && (best < 0 || best > LIMIT_US); ++attempt) {
        const std::int64_t worst = playOnce();
        ASSERT_GE(worst, 0) << "the messages sent differ from the file's";
        best = best < 0 ? worst : std::min(best, worst);
    }
    EXPECT_LE(best, LIMIT_US) << "every play had a message later than the limit";
}

} // namespace
} // namespace pokopen
