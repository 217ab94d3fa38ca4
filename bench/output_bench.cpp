// Reading the stress song's MIDI file back, as test play does before it plays on a port.
#include "midi/midi_file.h"
#include "midi/play_timeline.h"
#include "midi/smf_reader.h"
#include "support/song_builders.h"

#include <benchmark/benchmark.h>

#ifdef POKOPEN_BENCH_UI
#include "midi/recording_midi_out.h"
#include "midi/scheduled_player.h"
#endif

namespace {

using namespace pokopen;

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
#endif

} // namespace
