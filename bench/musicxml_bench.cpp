// Exporting the stress song (16 parts x 1000 measures of 32nd notes) as MusicXML, streamed to disk.
#include "model/new_song.h"
#include "notation/musicxml_import.h"
#include "notation/musicxml_writer.h"
#include "support/song_builders.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace pokopen;

void BM_WriteMusicXmlFile(benchmark::State& state) {
    static const Song song = testing::makeStressSong();
    const std::string path = (std::filesystem::temp_directory_path() / "pokopen-bench.musicxml").string();
    for (auto _ : state) {
        if (!writeMusicXmlFile(path, song))
            state.SkipWithError("the file could not be written");
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::remove(path.c_str());
}
BENCHMARK(BM_WriteMusicXmlFile)->Unit(benchmark::kMillisecond);

// Importing that export (about 100 MB) as a new song. The file is kept in the temporary folder
// when POKOPEN_BENCH_MUSICXML is set, to time `xmllint --stream --noout` on the same bytes. The
// test suite's smoke run (POKOPEN_BENCH_SMOKE) imports a new song's export instead: it only
// checks that the benchmark runs, and the debug build takes two minutes over the stress song.
void BM_ImportMusicXmlFile(benchmark::State& state) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "pokopen-bench-import.musicxml").string();
    const Song exported = std::getenv("POKOPEN_BENCH_SMOKE") ? makeNewSong() : testing::makeStressSong();
    if (!writeMusicXmlFile(path, exported)) {
        state.SkipWithError("the file could not be written");
        return;
    }
    for (auto _ : state) {
        Song song;
        const MusicXmlImportResult r = importMusicXmlFile(path, song);
        if (!r.ok)
            state.SkipWithError(r.message.c_str());
        benchmark::DoNotOptimize(song);
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    if (!std::getenv("POKOPEN_BENCH_MUSICXML"))
        std::remove(path.c_str());
}
BENCHMARK(BM_ImportMusicXmlFile)->Unit(benchmark::kMillisecond);

} // namespace
