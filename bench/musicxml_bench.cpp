// Exporting the stress song (16 parts x 1000 measures of 32nd notes) as MusicXML, streamed to disk.
#include "notation/musicxml_writer.h"
#include "support/song_builders.h"

#include <benchmark/benchmark.h>

#include <cstdio>
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

} // namespace
