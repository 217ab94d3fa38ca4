// Reading the stress song's MIDI file back, as test play does before it plays on a port.
#include "midi/midi_file.h"
#include "midi/smf_reader.h"
#include "support/song_builders.h"

#include <benchmark/benchmark.h>

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

} // namespace
