// Autosave of the stress song: what the window's thread spends per autosave (the revision check,
// the snapshot, handing it over), and what the writer's thread spends making and writing the file.
#include "recovery/autosaver.h"
#include "support/song_builders.h"

#ifdef POKOPEN_BENCH_UI
#include "bench_app.h"
#endif

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using namespace pokopen;

void ensureEventLoop() {
#ifdef POKOPEN_BENCH_UI
    bench::ensureApplication(); // the window benchmarks need a QApplication, not just a core one
#else
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "pokopen_bench";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
#endif
}

const Song& stressSong() {
    static const Song song = testing::makeStressSong();
    return song;
}

class StressSource : public AutosaveSource {
public:
    std::uint64_t revision() const override { return rev; }
    bool isModified() const override { return true; }
    Song snapshot() const override { return song; }
    std::string filePath() const override { return "/songs/stress.kn2"; }
    std::string fileTitle() const override { return "stress"; }

    Song song = stressSong();
    std::uint64_t rev = 0;
};

void BM_AutosaveWindowThread(benchmark::State& state) {
    ensureEventLoop();
    QTemporaryDir dir;
    StressSource source;
    RecoveryStore store(dir.filePath("recovery"));
    Autosaver autosaver(source, store, 0);
    double writerSeconds = 0;
    for (auto _ : state) {
        ++source.rev; // an edit since the last autosave
        autosaver.autosaveNow();
        state.PauseTiming();
        if (!autosaver.waitForWriter(60000)) {
            state.SkipWithError("the writer did not finish");
            break;
        }
        writerSeconds += std::chrono::duration<double>(autosaver.lastWriteTime()).count();
        state.ResumeTiming();
    }
    state.counters["writer_ms"] =
        benchmark::Counter(writerSeconds * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_AutosaveWindowThread)->Unit(benchmark::kMicrosecond)->Iterations(5);

// The writer thread's work alone: the file's text and its atomic write.
void BM_AutosaveWriterThread(benchmark::State& state) {
    QTemporaryDir dir;
    const Song& song = stressSong();
    RecoveryStore store(dir.filePath("recovery"));
    const RecoveryInfo info{"/songs/stress.kn2", "stress", store.now()};
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = serializeRecovery(info, song);
        bytes = text.size();
        if (store.writeOwn(text, store.generation()) != RecoveryStore::WriteResult::Written) {
            state.SkipWithError("the autosave file could not be written");
            break;
        }
    }
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_AutosaveWriterThread)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
