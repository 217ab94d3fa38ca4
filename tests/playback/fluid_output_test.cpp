#include "midifile/midi_file.h"
#include "model/new_song.h"
#include "model/store_check.h"
#include "playback/fluid_engine.h"
#include "playback/fluid_file_player.h"
#include "playback/fluid_midi_out.h"
#include "playback/play_timeline.h"
#include "support/in_force_song.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <fluidsynth.h>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <future>
#include <random>
#include <thread>

namespace pokopen {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// An engine that plays in real time into a raw file instead of a sound card, so that the
// built-in synthesizer can be tested on a machine without one.
std::shared_ptr<FluidEngine> fileEngine(const QTemporaryDir& dir, std::string soundFont = DEFAULT_SOUNDFONT,
                                        int restAfterMs = 2000) {
    FluidEngine::Options options;
    options.soundFont = std::move(soundFont);
    options.restAfterMs = restAfterMs;
    options.audioDrivers = {"file"};
    options.fileName = (dir.path() + "/out.raw").toStdString();
    std::string error;
    auto engine = FluidEngine::create(options, error);
    EXPECT_TRUE(engine) << error;
    return engine;
}

bool hasSound(const QByteArray& raw) {
    const auto* s = reinterpret_cast<const std::int16_t*>(raw.constData());
    for (qsizetype i = 0; i < raw.size() / 2; ++i)
        if (std::abs(s[i]) > 200)
            return true;
    return false;
}

TEST(FluidEngine, WithoutASoundCardOpeningFailsQuicklyWithAText) {
    const auto start = Clock::now();
    std::string error;
    auto engine = FluidEngine::create(FluidEngine::Options{}, error);
    EXPECT_LT(Clock::now() - start, 5s);
    if (engine)
        GTEST_SKIP() << "this machine has a sound card";
    EXPECT_FALSE(error.empty());

    // Test notes then fail to open, so the caller beeps; sending to the closed device is harmless.
    FluidMidiOut out;
    EXPECT_FALSE(out.open());
    EXPECT_FALSE(out.isOpen());
    EXPECT_FALSE(out.errorText().empty());
    out.shortMessage(0x90, 60, 127);
    out.reset();
    out.close();

    FluidFilePlayer player;
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/knb.mid").toStdString();
    ASSERT_TRUE(writeMidiFile(path, makeNewSong(), false));
    EXPECT_FALSE(player.open(path));
    EXPECT_FALSE(player.errorText().empty());
    EXPECT_FALSE(player.isOpen());
}

TEST(FluidEngine, TestNotesSoundOnceTheSoundFontIsLoaded) {
    QTemporaryDir dir;
    auto engine = fileEngine(dir);
    ASSERT_TRUE(engine);
    FluidMidiOut out(engine);
    ASSERT_TRUE(out.open());
    engine->waitForSoundFont();
    ASSERT_TRUE(engine->soundFontReady());
    EXPECT_TRUE(engine->soundFontError().empty());
    out.shortMessage(0xC0, 0, 0);
    out.shortMessage(0x90, 60, 127);
    std::this_thread::sleep_for(150ms);
    out.reset();
    // After the reset the synthesizer goes quiet: the file's last tenth of a second is silent.
    std::this_thread::sleep_for(400ms);
    out.close();
    EXPECT_FALSE(out.isOpen());
    engine.reset();
    QFile raw(dir.path() + "/out.raw");
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray audio = raw.readAll();
    EXPECT_TRUE(hasSound(audio));
    const qsizetype tenthOfASecond = 44100 / 10 * 2 * 2; // frames x channels x bytes
    ASSERT_GT(audio.size(), tenthOfASecond);
    EXPECT_FALSE(hasSound(audio.right(tenthOfASecond)));
}

// Silent, the engine closes its audio driver; the next note opens it again before it sounds.
TEST(FluidEngine, RestsWhenSilentAndWakesAtOnceForTheNextNote) {
    QTemporaryDir dir;
    auto engine = fileEngine(dir, DEFAULT_SOUNDFONT, 300);
    ASSERT_TRUE(engine);
    engine->waitForSoundFont();
    const auto restsWithin = [&engine](std::chrono::milliseconds limit) {
        for (auto start = Clock::now(); Clock::now() - start < limit;)
            if (engine->resting())
                return true;
            else
                std::this_thread::sleep_for(10ms);
        return engine->resting();
    };
    EXPECT_TRUE(restsWithin(1500ms));
    FluidMidiOut out(engine);
    ASSERT_TRUE(out.open());
    const auto before = Clock::now();
    out.shortMessage(0x90, 60, 127);
    EXPECT_LT(Clock::now() - before, 30ms);
    EXPECT_FALSE(engine->resting());
    // A sounding note and a player holding the engine keep it awake past the rest time.
    std::this_thread::sleep_for(600ms);
    EXPECT_FALSE(engine->resting());
    engine->holdAwake();
    out.reset();
    std::this_thread::sleep_for(600ms);
    EXPECT_FALSE(engine->resting());
    engine->releaseAwake();
    EXPECT_TRUE(restsWithin(1500ms));
}

TEST(FluidEngine, ABadSoundFontIsReportedAndNotesStaySilent) {
    QTemporaryDir dir;
    auto engine = fileEngine(dir, "/nonexistent/none.sf2");
    ASSERT_TRUE(engine); // the output opens; only the instruments are missing
    FluidMidiOut out(engine);
    ASSERT_TRUE(out.open());
    out.shortMessage(0x90, 60, 127); // before or after the failed load: dropped, never blocks
    engine->waitForSoundFont();
    EXPECT_FALSE(engine->soundFontReady());
    EXPECT_NE(engine->soundFontError().find("/nonexistent/none.sf2"), std::string::npos);
    out.shortMessage(0x90, 62, 127);
    std::this_thread::sleep_for(200ms);
    out.reset();
    engine.reset(); // the file is complete once the engine has gone
    QFile raw(dir.path() + "/out.raw");
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray audio = raw.readAll();
    EXPECT_GT(audio.size(), 44100 / 10 * 2 * 2) << "the synthesizer played on";
    EXPECT_FALSE(hasSound(audio));
}

TEST(FluidEngine, CreatingDoesNotWaitForABigSoundFont) {
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/knb.mid").toStdString();
    ASSERT_TRUE(writeMidiFile(path, makeNewSong(), false));
    // The load is held back until the end of the test's first half, however long that takes.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    FluidEngine::Options options;
    options.audioDrivers = {"file"};
    options.fileName = (dir.path() + "/out.raw").toStdString();
    options.beforeLoading = [released] { released.wait_for(20s); };
    std::string error;
    auto engine = FluidEngine::create(options, error);
    ASSERT_TRUE(engine) << error;
    // Test notes and test play do not wait for the load: notes are dropped meanwhile, and play
    // starts the file once the SoundFont is there.
    FluidMidiOut out(engine);
    EXPECT_TRUE(out.open());
    out.shortMessage(0xC0, 0, 0);
    out.shortMessage(0x90, 60, 127);
    out.reset();
    FluidFilePlayer player(engine);
    ASSERT_TRUE(player.open(path));
    player.play();
    EXPECT_EQ(player.state(), MidiFilePlayer::State::Playing);
    EXPECT_EQ(player.positionMs(), 0);
    EXPECT_FALSE(engine->soundFontReady());
    release.set_value();
    engine->waitForSoundFont();
    EXPECT_TRUE(engine->soundFontReady());
    for (int i = 0; i < 200 && player.positionMs() == 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_GT(player.positionMs(), 0);
}

class FluidFilePlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = fileEngine(dir);
        ASSERT_TRUE(engine);
        engine->waitForSoundFont();
        Song song = makeNewSong();
        for (int beat = 0; beat < 4; ++beat)
            testing::addNote(song, 0, beat * 24, 24, 23);
        ASSERT_TRUE(checkStore(song).empty());
        path = (dir.path() + "/knb.mid").toStdString();
        ASSERT_TRUE(writeMidiFile(path, song, false));
    }
    QTemporaryDir dir;
    std::shared_ptr<FluidEngine> engine;
    std::string path;
};

TEST_F(FluidFilePlayerTest, PlaysPausesSeeksAndReportsTheEnd) {
    FluidFilePlayer player(engine);
    std::atomic<int> ends{0};
    player.setEndCallback([&ends] { ++ends; });
    ASSERT_TRUE(player.open(path)) << player.errorText();
    EXPECT_EQ(player.lengthMs(), 2250);
    EXPECT_EQ(player.positionMs(), 0);
    EXPECT_TRUE(player.capabilities().play && player.capabilities().seek);

    player.play();
    std::this_thread::sleep_for(300ms);
    const std::int64_t playing = player.positionMs();
    EXPECT_GT(playing, 150);
    EXPECT_LT(playing, 900);
    player.pause();
    EXPECT_EQ(player.state(), MidiFilePlayer::State::Paused);
    const std::int64_t paused = player.positionMs();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(player.positionMs(), paused);

    // Seek near the end and play: the end arrives, reads as the length, and is reported once.
    player.seek(2000);
    EXPECT_EQ(player.positionMs(), 2000);
    player.play();
    std::this_thread::sleep_for(100ms);
    EXPECT_GE(player.positionMs(), 2000); // never back to the start of the file
    for (int i = 0; i < 200 && ends == 0; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(player.state(), MidiFilePlayer::State::Stopped);
    EXPECT_EQ(player.positionMs(), player.lengthMs());

    // Play at the end starts again from the beginning.
    player.play();
    std::this_thread::sleep_for(50ms);
    EXPECT_LT(player.positionMs(), 1000);
    player.close();
    EXPECT_FALSE(player.isOpen());
    EXPECT_EQ(player.lengthMs(), 0);
}

// FluidSynth's seek sends every message before the starting tick but the notes: programs,
// controllers and tempo are as they would be had the song played through.
TEST_F(FluidFilePlayerTest, FromAMeasureTheSynthesizerHasWhatIsInForceThere) {
    std::mt19937 rng(1415);
    const std::int32_t m = 7;
    const Song song = testing::songWithChangesBefore(rng, m);
    ASSERT_TRUE(writeMidiFile(path, song, false));
    FluidFilePlayer player(engine);
    ASSERT_TRUE(player.open(path)) << player.errorText();
    const std::int64_t startMs = PlayTimeline(song).measureStartMs(m);
    player.seek(startMs);
    player.play();
    // Past the start, and well before the next changes two quarter notes later.
    for (int i = 0; i < 250 && player.positionMs() < startMs + 30; ++i)
        std::this_thread::sleep_for(2ms);
    ASSERT_GE(player.positionMs(), startMs + 30);
    const std::int64_t heard = player.heardPositionMs(); // a file has no output latency
    EXPECT_LE(player.positionMs() - heard, 5);
    const PlayState expected = playStateAt(song, m, false);
    for (int c = 0; c < PART_ROWS; ++c) {
        const PartPlayState& want = expected.parts[static_cast<std::size_t>(c)];
        int volume = -1, pan = -1, expression = -1, font = 0, bank = 0, program = -1;
        fluid_synth_get_cc(engine->synth(), c, 7, &volume);
        fluid_synth_get_cc(engine->synth(), c, 10, &pan);
        fluid_synth_get_cc(engine->synth(), c, 11, &expression);
        fluid_synth_get_program(engine->synth(), c, &font, &bank, &program);
        EXPECT_EQ((PartPlayState{program, volume, pan, expression}), want) << "channel " << c;
    }
    EXPECT_LT(player.positionMs(), startMs + 400);
}

TEST_F(FluidFilePlayerTest, PlaysAtTheTempoChosenAndAMutedPartStopsAtOnce) {
    FluidFilePlayer player(engine);
    PracticeSettings practice;
    practice.tempoPercent = 50;
    player.setPractice(practice);
    ASSERT_TRUE(player.open(path)) << player.errorText();
    player.play();
    // The first note, 250 ms into the file, sounds half a second in.
    const auto start = Clock::now();
    while (fluid_synth_get_active_voice_count(engine->synth()) == 0 && Clock::now() - start < 2s)
        std::this_thread::sleep_for(1ms);
    const auto firstNote =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_NEAR(static_cast<double>(firstNote), 500.0, 60.0);
    EXPECT_NEAR(static_cast<double>(player.positionMs()), 250.0, 30.0);
    practice.muted = 1;
    player.setPractice(practice);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(fluid_synth_get_active_voice_count(engine->synth()), 0);
    std::this_thread::sleep_for(1000ms); // past the next note
    EXPECT_EQ(fluid_synth_get_active_voice_count(engine->synth()), 0);
    EXPECT_NEAR(static_cast<double>(player.positionMs()), 775.0, 60.0);
}

TEST_F(FluidFilePlayerTest, RefusesAMissingOrDamagedFile) {
    FluidFilePlayer player(engine);
    EXPECT_FALSE(player.open((dir.path() + "/missing.mid").toStdString()));
    EXPECT_FALSE(player.errorText().empty());
    QFile bad(dir.path() + "/bad.mid");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("MThd garbage");
    bad.close();
    EXPECT_FALSE(player.open(bad.fileName().toStdString()));
    EXPECT_FALSE(player.errorText().empty());
    EXPECT_FALSE(player.isOpen());
}

} // namespace
} // namespace pokopen
