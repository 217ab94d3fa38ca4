// Opening the stress song's MIDI file as a song, beside midicsv merely listing the same file.
#include "app/any_song_file.h"
#include "midifile/midi_file.h"
#include "support/song_builders.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace pokopen;

// The stress song written by the program's MIDI writer (about 1 million note events, 4.2 MB).
const std::string& stressMidiFile() {
    static const std::string path = [] {
        const std::string p = (std::filesystem::temp_directory_path() / "pokopen-bench-stress.mid").string();
        writeMidiFile(p, testing::makeStressSong(), false);
        return p;
    }();
    return path;
}

void BM_ImportStressMidiFile(benchmark::State& state) {
    const std::string& path = stressMidiFile();
    for (auto _ : state) {
        Song song;
        const SongLoadResult r = loadAnySongFile(path, song);
        if (!r.ok() || !r.report.empty())
            state.SkipWithError("the import was not exact");
        benchmark::DoNotOptimize(song);
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_ImportStressMidiFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The yardstick: `midicsv FILE > /dev/null`, which only lists the events as text.
void BM_MidicsvListsTheSameFile(benchmark::State& state) {
    const std::string command = "midicsv '" + stressMidiFile() + "' > /dev/null 2>&1";
    if (std::system("command -v midicsv > /dev/null 2>&1") != 0) {
        state.SkipWithError("midicsv is not installed");
        return;
    }
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("midicsv failed");
}
BENCHMARK(BM_MidicsvListsTheSameFile)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
