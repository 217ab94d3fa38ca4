// Timings of curve, signature and navigation operations on the stress song.
#include "curves/curve_edit.h"
#include "curves/curve_graph.h"
#include "model/timeline.h"
#include "navigation/navigation.h"
#include "signature/signature_edit.h"
#include "support/song_builders.h"

#ifdef POKOPEN_BENCH_UI
#include "curves/curve_painter.h"
#endif

#include <benchmark/benchmark.h>

namespace {

using namespace pokopen;

Song& curveStressSong() {
    static Song song = testing::makeStressSong();
    return song;
}

// One stroke step at measure 999 of part 1 (a row of about 66,000 events): the point and the
// merge pass over the whole row. Alternating values keep every step a real edit.
void BM_CurveEditAtLastMeasure(benchmark::State& state) {
    Song& song = curveStressSong();
    const std::int32_t tick = measureToTick(song.store, 999) + 24;
    std::uint8_t value = 10;
    for (auto _ : state) {
        value = value == 10 ? 20 : 10;
        benchmark::DoNotOptimize(editDynamicsPoint(song, 0, tick, value, CurveMode::Input));
    }
    editDynamicsPoint(song, 0, tick, 0, CurveMode::Delete);
}
BENCHMARK(BM_CurveEditAtLastMeasure)->Unit(benchmark::kMillisecond);

// The same step with "全パート": every part row in turn.
void BM_CurveEditAllPartsAtLastMeasure(benchmark::State& state) {
    Song& song = curveStressSong();
    const std::int32_t tick = measureToTick(song.store, 999) + 24;
    std::uint8_t value = 10;
    for (auto _ : state) {
        value = value == 10 ? 20 : 10;
        benchmark::DoNotOptimize(
            applyCurveStroke(song, 0, CurveKind::Pan, CurveMode::Input, true, {tick, value}));
    }
    for (int part = 0; part < PART_ROWS; ++part)
        editPanPoint(song, part, tick, 0, CurveMode::Delete);
}
BENCHMARK(BM_CurveEditAllPartsAtLastMeasure)->Unit(benchmark::kMillisecond);

// The graph of measure 999: what to draw, and (with the windows built) painting it.
void BM_CurveGraphAtLastMeasure(benchmark::State& state) {
    const Song& song = curveStressSong();
#ifdef POKOPEN_BENCH_UI
    QImage image(CURVE_IMAGE_WIDTH, 256, QImage::Format_RGB32);
#endif
    for (auto _ : state) {
        const CurveGraph g = buildCurveGraph(CurveKind::Dynamics, song.store, 0, 999);
#ifdef POKOPEN_BENCH_UI
        paintCurveGraph(image, CurveKind::Dynamics, g);
#endif
        benchmark::DoNotOptimize(g.points.size());
    }
}
BENCHMARK(BM_CurveGraphAtLastMeasure)->Unit(benchmark::kMillisecond);

// A meter change at measure 500 and its removal (the end-of-song guard looks at every row).
void BM_MeterChangeAndBack(benchmark::State& state) {
    Song& song = curveStressSong();
    for (auto _ : state) {
        benchmark::DoNotOptimize(changeMeter(song, 500, 0x52));
        benchmark::DoNotOptimize(deleteMeter(song, 500));
    }
}
BENCHMARK(BM_MeterChangeAndBack)->Unit(benchmark::kMicrosecond);

void BM_KeyChangeAndBack(benchmark::State& state) {
    Song& song = curveStressSong();
    for (auto _ : state) {
        benchmark::DoNotOptimize(changeKey(song, 500, 20));
        benchmark::DoNotOptimize(deleteKey(song, 500));
    }
}
BENCHMARK(BM_KeyChangeAndBack)->Unit(benchmark::kMicrosecond);

void BM_JumpToEnd(benchmark::State& state) {
    const Song& song = curveStressSong();
    LastJump last;
    for (auto _ : state)
        benchmark::DoNotOptimize(songEndTarget(song, last).measure);
}
BENCHMARK(BM_JumpToEnd)->Unit(benchmark::kMicrosecond);

} // namespace
