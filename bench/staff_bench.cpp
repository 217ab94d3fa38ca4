// Timings of the staff tab on the stress song: working out one measure's picture, and (when the
// windows are built) painting it, for the first, a middle and the last measure.
#include "score/staff_layout.h"
#include "support/song_builders.h"

#ifdef POKOPEN_BENCH_WINDOWS
#include "score/staff_paint.h"

#include "bench_app.h"
#include <QImage>
#endif

#include <benchmark/benchmark.h>

namespace {

using namespace pokopen;

const Song& staffStressSong() {
    static const Song song = testing::makeStressSong();
    return song;
}

Editing stateAt(int part, int measure) {
    Editing state;
    state.currentPart = part;
    state.currentMeasure = measure;
    return state;
}

void BM_StaffLayout(benchmark::State& bench) {
    const Song& song = staffStressSong();
    const Editing state = stateAt(static_cast<int>(bench.range(0)), static_cast<int>(bench.range(1)));
    std::size_t marks = 0;
    for (auto _ : bench) {
        const StaffLayout layout = layoutStaff(song, state);
        marks = layout.marks.size();
        benchmark::DoNotOptimize(marks);
    }
    bench.counters["marks"] = static_cast<double>(marks);
    bench.counters["rowEvents"] = static_cast<double>(song.row(state.currentPart).count());
}
BENCHMARK(BM_StaffLayout)->ArgsProduct({{0, PERCUSSION_PART}, {0, 500, 999}})->Unit(benchmark::kMicrosecond);

#ifdef POKOPEN_BENCH_WINDOWS
// The whole of drawStaff on one measure: the layout from the store and every pixel of the
// staff (and drum names) image.
void BM_StaffRepaint(benchmark::State& bench) {
    bench::ensureApplication();
    const Song& song = staffStressSong();
    const Editing state = stateAt(static_cast<int>(bench.range(0)), static_cast<int>(bench.range(1)));
    QImage score(STAFF_IMAGE_WIDTH, STAFF_IMAGE_HEIGHT, QImage::Format_RGB32);
    QImage names(DRUM_NAMES_WIDTH, STAFF_IMAGE_HEIGHT, QImage::Format_RGB32);
    for (auto _ : bench) {
        paintStaff(layoutStaff(song, state), score, names);
        benchmark::DoNotOptimize(score.constBits());
    }
}
BENCHMARK(BM_StaffRepaint)->ArgsProduct({{0, PERCUSSION_PART}, {0, 500, 999}})->Unit(benchmark::kMicrosecond);
#endif

} // namespace
