// Reading the stress song's MIDI file back, as test play does before it plays on a port.
#include "midifile/midi_file.h"
#include "midifile/smf_reader.h"
#include "playback/play_timeline.h"
#include "support/song_builders.h"

#include <benchmark/benchmark.h>

#ifdef POKOPEN_BENCH_UI
#include "playback/fluid_engine.h"
#include "playback/fluid_midi_out.h"
#include "playback/scheduled_player.h"
#include "support/recording_midi_out.h"

#include <fluidsynth.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>
#endif

namespace {

using namespace pokopen;
using pokopen::testing::RecordingMidiOut;

void BM_ParseStressMidiFile(benchmark::State& state) {
    static const std::vector<std::uint8_t> file = buildMidiFile(testing::makeStressSong(), false);
    SmfSequence sequence;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseSmf(file, sequence).ok);
    }
    state.counters["events"] = static_cast<double>(sequence.events.size());
    state.counters["bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_ParseStressMidiFile)->Unit(benchmark::kMillisecond);

// What test play from a measure and following compute from the song: the time line (once per
// play) and the point heard (at every report).
void BM_PlayTimelineOfStressSong(benchmark::State& state) {
    static const Song song = testing::makeStressSong();
    std::int64_t ms = 0;
    for (auto _ : state) {
        const PlayTimeline timeline(song);
        benchmark::DoNotOptimize(timeline.pointAtMs(ms += 997));
    }
}
BENCHMARK(BM_PlayTimelineOfStressSong)->Unit(benchmark::kMicrosecond);

#ifdef POKOPEN_BENCH_UI
// Starting on a port at the stress song's last measure: catching up what is in force there.
void BM_PlayFromTheLastMeasureOnAPort(benchmark::State& state) {
    static const Song song = testing::makeStressSong();
    SmfSequence sequence;
    parseSmf(buildMidiFile(song, false), sequence);
    class StillClock final : public PlayerClock {
    public:
        std::int64_t nowUs() const override { return 0; }
    } clock;
    auto out = std::make_unique<RecordingMidiOut>();
    RecordingMidiOut* recorder = out.get();
    ScheduledPlayer player(std::move(out), clock, ScheduledPlayer::Mode::Manual);
    player.openSequence(std::move(sequence));
    const std::int64_t start = PlayTimeline(song).measureStartMs(MAX_MEASURES - 1);
    std::size_t sent = 0;
    for (auto _ : state) {
        recorder->clear();
        player.seek(start);
        player.play();
        sent = recorder->shortMessages().size();
        player.stop();
    }
    state.counters["messages"] = static_cast<double>(sent);
}
BENCHMARK(BM_PlayFromTheLastMeasureOnAPort)->Unit(benchmark::kMillisecond);

std::int64_t processCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// The built-in synthesizer open with nothing playing, rendering into nothing in real time as it
// would to a sound card: the process's processor time over POKOPEN_IDLE_SECONDS (10 s; the smoke
// run takes 1) after the first note has faded. Argument: the rest time in ms (0: never rests).
void BM_IdleSynthesizerCpu(benchmark::State& state) {
    const char* seconds = std::getenv("POKOPEN_IDLE_SECONDS");
    const std::chrono::seconds window(seconds ? std::max(1, std::atoi(seconds)) : 10);
    FluidEngine::Options options;
    options.audioDrivers = {"file"};
    options.fileName = "/dev/null";
    options.restAfterMs = static_cast<int>(state.range(0));
    std::string error;
    auto engine = FluidEngine::create(options, error);
    if (!engine) {
        state.SkipWithError(error.c_str());
        return;
    }
    engine->waitForSoundFont();
    FluidMidiOut out(engine);
    out.open();
    out.shortMessage(0x90, 60, 100);
    out.shortMessage(0x80, 60, 0);
    // Until the engine rests (or, when it never does, as long as it would take).
    for (int i = 0; i < 100 && (state.range(0) == 0 || !engine->resting()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    double share = 0;
    for (auto _ : state) {
        const std::int64_t before = processCpuNs();
        std::this_thread::sleep_for(window);
        share = static_cast<double>(processCpuNs() - before) /
                static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(window).count());
    }
    state.counters["cpu_percent"] = share * 100;
    state.counters["resting"] = engine->resting() ? 1 : 0;
}
BENCHMARK(BM_IdleSynthesizerCpu)->Arg(2000)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

// The first note after a rest: from the note-on until the synthesizer renders again (its
// sample clock, read through a sequencer it drives, moves on), plus the driver's buffer.
void BM_FirstNoteAfterRest(benchmark::State& state) {
    FluidEngine::Options options;
    options.audioDrivers = {"file"};
    options.fileName = "/dev/null";
    options.restAfterMs = 200;
    std::string error;
    auto engine = FluidEngine::create(options, error);
    if (!engine) {
        state.SkipWithError(error.c_str());
        return;
    }
    engine->waitForSoundFont();
    fluid_sequencer_t* clock = new_fluid_sequencer2(0);
    fluid_sequencer_register_fluidsynth(clock, engine->synth());
    FluidMidiOut out(engine);
    out.open();
    double worstMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        while (!engine->resting())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const unsigned int restedAt = fluid_sequencer_get_tick(clock);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        out.shortMessage(0x90, 60, 100);
        while (fluid_sequencer_get_tick(clock) == restedAt)
            std::this_thread::yield();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() +
            static_cast<double>(engine->outputLatencyUs()) / 1000;
        worstMs = std::max(worstMs, ms);
        out.shortMessage(0x80, 60, 0);
        out.reset();
    }
    state.counters["worst_ms"] = worstMs;
    delete_fluid_sequencer(clock);
}
BENCHMARK(BM_FirstNoteAfterRest)->Iterations(5)->Unit(benchmark::kMillisecond);
#endif

} // namespace
