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

#include <ctime>
#include <future>
#include <map>
#include <random>
#include <thread>

namespace pokopen {
namespace {

using testing::FakeClock;
using testing::RecordingMidiOut;

using Message = std::vector<std::uint8_t>;

struct Sent {
    std::int64_t ms; // on the fake clock, from the start of play
    Message m;
};

bool isNoteOn(const Message& m) {
    return (m[0] & 0xF0) == 0x90 && m[2] > 0;
}
bool isNoteOff(const Message& m) {
    return (m[0] & 0xF0) == 0x80 || ((m[0] & 0xF0) == 0x90 && m[2] == 0);
}

// A scheduled player in manual mode on a fake clock, with every short message it sends stamped
// with the clock's time.
class Rig {
public:
    explicit Rig(const Song& song) {
        auto out = std::make_unique<RecordingMidiOut>();
        recorder = out.get();
        player = std::make_unique<ScheduledPlayer>(std::move(out), clock, ScheduledPlayer::Mode::Manual);
        SmfSequence file;
        EXPECT_TRUE(parseSmf(buildMidiFile(song, false), file).ok);
        EXPECT_TRUE(player->openSequence(std::move(file)));
        start = clock.now;
    }
    void play() {
        start = clock.now;
        player->play();
        collect();
    }
    void practice(const PracticeSettings& s) {
        player->setPractice(s);
        collect();
    }
    // Moves the clock on in steps of `step` ms up to `untilMs` after the start of play.
    void runTo(std::int64_t untilMs, std::int64_t step = 1) {
        while ((clock.now - start) / 1000 < untilMs) {
            clock.now += step * 1000;
            player->pump();
            collect();
        }
    }
    std::vector<Sent> noteOns(int channel = -1) const {
        std::vector<Sent> out;
        for (const Sent& s : sent)
            if (isNoteOn(s.m) && (channel < 0 || (s.m[0] & 0x0F) == channel))
                out.push_back(s);
        return out;
    }

    FakeClock clock{3'000'000};
    RecordingMidiOut* recorder = nullptr;
    std::unique_ptr<ScheduledPlayer> player;
    std::int64_t start = 0;
    std::vector<Sent> sent;

private:
    void collect() {
        for (const Message& m : recorder->shortMessages())
            sent.push_back({(clock.now - start) / 1000, m});
        recorder->clear();
    }
};

// Quarter notes at 120 bpm in parts 1 and 2 through measures 1 and 2, the second measure in
// 3/4: after the 250 ms lead-in the beats fall every 500 ms.
Song twoParts() {
    Song song = makeNewSong();
    testing::setSignature(song, KIND_METER, 1, 0x32);
    for (int beat = 0; beat < 7; ++beat) {
        testing::addNote(song, 0, beat * 24, 24, 35);
        testing::addNote(song, 1, beat * 24, 24, 37);
    }
    EXPECT_TRUE(checkStore(song).empty());
    return song;
}

TEST(PracticePlayer, ALoopedRangeRepeatsEveryNoteOnceWithWhatIsInForceAtItsStart) {
    std::mt19937 rng(2323);
    const std::int32_t m = 7;
    const Song song = testing::songWithChangesBefore(rng, m);
    const PlayTimeline timeline(song);
    PracticeSettings s;
    s.tempoPercent = 150;
    s.loop = true;
    s.loopFromUs = timeline.tickToUs(timeline.measureStartTick(m));
    s.loopToUs = timeline.tickToUs(timeline.measureStartTick(m + 1));
    // Each loop lasts the range at the tempo, rounded up to the microsecond as the player rounds.
    const std::int64_t loopUs = ((s.loopToUs - s.loopFromUs) * 100 + s.tempoPercent - 1) / s.tempoPercent;
    const std::int64_t loopMs = loopUs / 1000;
    Rig rig(song);
    rig.practice(s);
    rig.player->seek(timeline.measureStartMs(m));
    rig.play();
    rig.runTo(20 * loopMs - 5, 3);
    EXPECT_GE(rig.player->positionMs(), s.loopFromUs / 1000);
    EXPECT_LT(rig.player->positionMs(), s.loopToUs / 1000);

    const PlayState want = playStateAt(song, m, false);
    for (int c = 0; c < PART_ROWS; ++c) {
        // Every note of the first pass comes again once a loop, on time.
        const std::vector<Sent> onsets = rig.noteOns(c);
        std::vector<Sent> pattern;
        for (const Sent& n : onsets)
            if (n.ms < loopMs)
                pattern.push_back(n);
        ASSERT_FALSE(pattern.empty()) << "channel " << c;
        ASSERT_EQ(onsets.size(), 20 * pattern.size()) << "channel " << c;
        for (std::size_t i = 0; i < onsets.size(); ++i) {
            const Sent& first = pattern[i % pattern.size()];
            const auto k = static_cast<std::int64_t>(i / pattern.size());
            EXPECT_EQ(onsets[i].m, first.m) << "channel " << c << " loop " << k;
            EXPECT_NEAR(static_cast<double>(onsets[i].ms),
                        static_cast<double>(first.ms * 1000 + k * loopUs) / 1000, 4.0)
                << "channel " << c << " loop " << k;
        }
        const std::uint8_t key = pattern.front().m[1];
        // Never a note doubled or left hanging; at each note the state of the range's start,
        // although the range itself changes dynamics and pan after two quarter notes.
        std::map<int, int> sounding;
        PartPlayState now;
        for (const Sent& x : rig.sent) {
            if ((x.m[0] & 0x0F) != c)
                continue;
            const int kind = x.m[0] & 0xF0;
            if (isNoteOn(x.m)) {
                EXPECT_EQ(++sounding[x.m[1]], 1) << "channel " << c << " at " << x.ms;
                if (x.m[1] == key) {
                    EXPECT_EQ(now, want.parts[static_cast<std::size_t>(c)])
                        << "channel " << c << " at " << x.ms;
                }
            } else if (isNoteOff(x.m)) {
                EXPECT_EQ(--sounding[x.m[1]], 0) << "channel " << c << " at " << x.ms;
            } else if (kind == 0xC0) {
                now.program = x.m[1];
            } else if (kind == 0xB0 && x.m[1] == 7) {
                now.volume = x.m[2];
            } else if (kind == 0xB0 && x.m[1] == 10) {
                now.pan = x.m[2];
            } else if (kind == 0xB0 && x.m[1] == 11) {
                now.expression = x.m[2];
            }
        }
    }
}

TEST(PracticePlayer, TempoScalesTheTimesAndKeepsThePositionWhenItChanges) {
    Rig rig(twoParts());
    PracticeSettings s;
    s.tempoPercent = 50;
    rig.practice(s);
    rig.play();
    rig.runTo(1000);
    EXPECT_EQ(rig.player->positionMs(), 500);
    s.tempoPercent = 200; // from here on a quarter note lasts 125 ms
    rig.practice(s);
    EXPECT_EQ(rig.player->positionMs(), 500);
    rig.runTo(1200);
    EXPECT_EQ(rig.player->positionMs(), 900);
    std::vector<std::int64_t> onsets;
    for (const Sent& n : rig.noteOns(0))
        onsets.push_back(n.ms);
    EXPECT_EQ(onsets, (std::vector<std::int64_t>{500, 1125}));
}

TEST(PracticePlayer, MutedAndUnsoloedPartsFallSilentAtOnceAndStaySilent) {
    struct Case {
        std::uint16_t muted, soloed;
        bool part1, part2; // heard afterwards
    };
    for (const Case& k :
         {Case{0b01, 0, false, true}, Case{0, 0b10, false, true}, Case{0b10, 0b10, false, false},
          Case{0, 0b11, true, true}, Case{0, 0, true, true}}) {
        Rig rig(twoParts());
        rig.play();
        rig.runTo(300); // both parts' first notes sounding
        const std::size_t before = rig.sent.size();
        PracticeSettings s;
        s.muted = k.muted;
        s.soloed = k.soloed;
        rig.practice(s);
        const std::vector<Sent> atOnce(rig.sent.begin() + static_cast<std::ptrdiff_t>(before),
                                       rig.sent.end());
        rig.runTo(4000);
        for (int c = 0; c < 2; ++c) {
            const bool heard = c == 0 ? k.part1 : k.part2;
            const auto ch = static_cast<std::uint8_t>(c);
            const Message allSoundOff{static_cast<std::uint8_t>(0xB0 | ch), 120, 0};
            const bool cut =
                std::any_of(atOnce.begin(), atOnce.end(), [&](const Sent& x) { return x.m == allSoundOff; });
            const bool ended = std::any_of(atOnce.begin(), atOnce.end(), [&](const Sent& x) {
                return isNoteOff(x.m) && (x.m[0] & 0x0F) == c;
            });
            EXPECT_EQ(cut, !heard) << "muted " << k.muted << " soloed " << k.soloed << " part " << c + 1;
            EXPECT_EQ(ended, !heard) << "muted " << k.muted << " soloed " << k.soloed << " part " << c + 1;
            EXPECT_EQ(rig.noteOns(c).size(), heard ? 7u : 1u) << "muted " << k.muted << " part " << c + 1;
            // Every note that started ended exactly once.
            std::size_t offs = 0;
            for (const Sent& x : rig.sent)
                offs += isNoteOff(x.m) && (x.m[0] & 0x0F) == c ? 1 : 0;
            EXPECT_EQ(offs, rig.noteOns(c).size()) << "muted " << k.muted << " part " << c + 1;
        }
    }
}

TEST(PracticePlayer, CountInAndMetronomeClickOnTheBeatsOfTheMeter) {
    Rig rig(twoParts());
    PracticeSettings s;
    s.countIn = true;
    s.metronome = true;
    s.clicksFromTick = LEAD_IN;
    rig.practice(s);
    rig.play();
    rig.runTo(6000);
    std::vector<std::pair<std::int64_t, Message>> clicks;
    std::size_t clickOffs = 0;
    for (const Sent& x : rig.sent) {
        if (isNoteOn(x.m) && x.m[0] == 0x99)
            clicks.emplace_back(x.ms, x.m);
        clickOffs += isNoteOff(x.m) && (x.m[0] & 0x0F) == 9 ? 1 : 0;
    }
    // One measure of 4/4 in the tempo of the first measure, the first beat accented, ending on
    // the first note; then the metronome on every beat, the wood block on each first beat (the
    // second measure is in 3/4).
    const std::vector<std::pair<std::int64_t, Message>> want{
        {0, {0x99, 37, 127}},   {500, {0x99, 37, 90}},  {1000, {0x99, 37, 90}}, {1500, {0x99, 37, 90}},
        {2000, {0x99, 76, 90}}, {2500, {0x99, 37, 90}}, {3000, {0x99, 37, 90}}, {3500, {0x99, 37, 90}},
        {4000, {0x99, 76, 90}}, {4500, {0x99, 37, 90}}, {5000, {0x99, 37, 90}}};
    EXPECT_EQ(clicks, want);
    EXPECT_EQ(clickOffs, want.size());
    ASSERT_FALSE(rig.noteOns(0).empty());
    EXPECT_EQ(rig.noteOns(0).front().ms, 2000);
}

// A slow port blocks the sender, not the window's position poll.
TEST(PracticePlayer, ThePositionIsAnsweredWhileASlowPortHoldsTheSender) {
    SteadyPlayerClock clock;
    auto out = std::make_unique<RecordingMidiOut>();
    RecordingMidiOut* recorder = out.get();
    ScheduledPlayer player(std::move(out), clock);
    SmfSequence file;
    ASSERT_TRUE(parseSmf(buildMidiFile(twoParts(), false), file).ok);
    ASSERT_TRUE(player.openSequence(std::move(file)));
    recorder->holdSends(true);
    std::thread starter([&player] { player.play(); });
    ASSERT_TRUE(recorder->waitForBlockedSender(std::chrono::seconds(5)));
    auto poll = std::async(std::launch::async, [&player] { return player.positionMs(); });
    EXPECT_EQ(poll.wait_for(std::chrono::milliseconds(500)), std::future_status::ready);
    recorder->holdSends(false);
    starter.join();
    poll.wait();
    player.stop();
}

// The scheduler sleeps until each message is due instead of watching the clock: a message every
// 4 ms costs the process a small share of one core.
TEST(PracticePlayerTiming, WaitingForTheNextMessageTakesNoProcessorTime) {
    SmfSequence file;
    file.division = 480;
    file.tempo.push_back({0, 0, 500000});
    for (int i = 0; i < 200; ++i)
        file.events.push_back({i * 4000, static_cast<std::uint32_t>(i),
                               static_cast<std::uint8_t>(i % 2 ? 0x80 : 0x90), 60, 100, -1});
    file.lengthUs = 200 * 4000;
    SteadyPlayerClock clock;
    ScheduledPlayer player(std::make_unique<RecordingMidiOut>(), clock);
    ASSERT_TRUE(player.openSequence(std::move(file)));
    std::atomic<bool> ended{false};
    player.setEndCallback([&ended] { ended = true; });
    const auto cpuNs = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
    };
    const std::int64_t cpuBefore = cpuNs();
    const auto wallBefore = std::chrono::steady_clock::now();
    player.play();
    while (!ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const double wallNs = static_cast<double>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - wallBefore)
            .count());
    const double share = static_cast<double>(cpuNs() - cpuBefore) / wallNs;
    std::printf("scheduler processor share: %.1f %%\n", share * 100);
    EXPECT_LT(share, 0.06);
}

} // namespace
} // namespace pokopen
