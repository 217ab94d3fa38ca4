// Timings of the song model on the stress song (16 parts x 1000 measures of 32nd notes).
#include "midifile/midi_file.h"
#include "model/song_file.h"
#include "support/song_builders.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

namespace {

using namespace pokopen;

const Song& stressSong() {
    static const Song song = testing::makeStressSong();
    return song;
}

std::string benchPath(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

std::size_t storeBytes(const Song& song) {
    std::size_t bytes = 0;
    for (const EventRow& row : song.store.rowList())
        bytes += row.pos.capacity() * 4 + row.kind.capacity() + row.value.capacity() + row.extra.capacity();
    return bytes;
}

void BM_SaveSong(benchmark::State& state) {
    const Song& song = stressSong();
    const std::string path = benchPath("pokopen-bench-save.kn2");
    for (auto _ : state)
        benchmark::DoNotOptimize(saveSongFile(path, song).ok());
    std::remove(path.c_str());
}
BENCHMARK(BM_SaveSong)->Unit(benchmark::kMillisecond);

void BM_LoadSong(benchmark::State& state) {
    const std::string path = benchPath("pokopen-bench-load.kn2");
    saveSongFile(path, stressSong());
    Song song;
    for (auto _ : state) {
        if (!loadSongFile(path, song).ok())
            state.SkipWithError("load failed");
    }
    state.counters["store_MB"] = static_cast<double>(storeBytes(song)) / 1e6;
    std::remove(path.c_str());
}
BENCHMARK(BM_LoadSong)->Unit(benchmark::kMillisecond);

void BM_BuildMidiFile(benchmark::State& state) {
    const Song& song = stressSong();
    for (auto _ : state)
        benchmark::DoNotOptimize(buildMidiFile(song, false));
}
BENCHMARK(BM_BuildMidiFile)->Unit(benchmark::kMillisecond);

void BM_WriteMidiFile(benchmark::State& state) {
    const Song& song = stressSong();
    const std::string path = benchPath("pokopen-bench.mid");
    for (auto _ : state)
        benchmark::DoNotOptimize(writeMidiFile(path, song, false));
    std::remove(path.c_str());
}
BENCHMARK(BM_WriteMidiFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
