// Timings of the measure editor on the stress song (16 parts x 1000 measures of 32nd notes).
#include "editor/measure_editor.h"
#include "editor/measure_ops.h"
#include "editor/mini_notes.h"
#include "model/timeline.h"
#include "support/song_builders.h"

#ifdef POKOPEN_BENCH_WINDOWS
#include "editor/editor_window.h"

#include "bench_app.h"
#endif

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace pokopen;

const Song& editorStressSong() {
    static const Song song = testing::makeStressSong();
    return song;
}

// A document holding the stress song.
std::unique_ptr<SongDocument> stressDocument() {
    auto doc = std::make_unique<SongDocument>();
    writableSong(*doc) = editorStressSong();
    return doc;
}

// Selects measures a..b of all parts with two header clicks.
void selectAllParts(MeasureEditor& ed, std::int32_t a, std::int32_t b) {
    ed.setMode(ClickMode::EndA);
    ed.clickMeasureHeader(a);
    ed.clickMeasureHeader(b);
}

// The miniature notes of the grid at measure 500, without painting.
void BM_EditorMiniNotes(benchmark::State& state) {
    const Song& song = editorStressSong();
    std::vector<MiniColumn> columns;
    for (int i = 0; i < 3; ++i)
        columns.push_back({measureToTick(song.store, 499 + i), 96, 18 + 98 * i});
    std::vector<MiniMark> marks;
    for (auto _ : state) {
        marks.clear();
        for (int part = 0; part < PART_ROWS; ++part)
            collectMiniNotes(song.row(part), columns, marks);
        benchmark::DoNotOptimize(marks.data());
    }
    state.counters["marks"] = static_cast<double>(marks.size());
}
BENCHMARK(BM_EditorMiniNotes)->Unit(benchmark::kMillisecond);

#ifdef POKOPEN_BENCH_WINDOWS
// The whole grid repainted at measure 500, as after every click.
void BM_EditorGridRepaint(benchmark::State& state) {
    bench::ensureApplication();
    SongDocument session;
    writableSong(session) = editorStressSong();
    session.setCurrentMeasure(500);
    TfrmEditor window(session);
    for (auto _ : state)
        window.drawEditorGrid();
}
BENCHMARK(BM_EditorGridRepaint)->Unit(benchmark::kMillisecond);
#endif

void BM_EditorCopyAllParts(benchmark::State& state) {
    const auto doc = stressDocument();
    MeasureEditor ed(*doc, 0, 0);
    selectAllParts(ed, 0, MAX_MEASURES - 1);
    for (auto _ : state)
        ed.copy();
}
BENCHMARK(BM_EditorCopyAllParts)->Unit(benchmark::kMillisecond);

void BM_EditorCutAllParts(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = stressDocument();
        MeasureEditor ed(*doc, 0, 0);
        selectAllParts(ed, 0, MAX_MEASURES - 1);
        state.ResumeTiming();
        ed.cut();
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_EditorCutAllParts)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_EditorPasteAllParts(benchmark::State& state) {
    const auto doc = stressDocument();
    MeasureEditor ed(*doc, 0, 0);
    selectAllParts(ed, 0, MAX_MEASURES - 1);
    ed.copy();
    ed.setMode(ClickMode::Pointer);
    ed.clickCell(0, 0);
    // Pasting the whole song over itself leaves it as it was, so it can be repeated.
    for (auto _ : state)
        ed.paste();
}
BENCHMARK(BM_EditorPasteAllParts)->Unit(benchmark::kMillisecond);

void BM_EditorOctaveOnePart(benchmark::State& state) {
    const auto doc = stressDocument();
    MeasureEditor ed(*doc, 0, 0);
    ed.clickPartHeader(0);
    bool up = true;
    for (auto _ : state) {
        ed.shiftOctaves(up ? OCTAVE_UP : OCTAVE_DOWN);
        up = !up;
    }
}
BENCHMARK(BM_EditorOctaveOnePart)->Unit(benchmark::kMillisecond);

// Taking back a paste of all parts over all 1000 measures (each part moved by one measure, so
// every row changed), without the redraw.
void BM_UndoAllPartsPaste(benchmark::State& state) {
    const auto doc = stressDocument();
    MeasureEditor ed(*doc, 0, 0);
    selectAllParts(ed, 0, MAX_MEASURES - 1);
    ed.copy();
    ed.setMode(ClickMode::Pointer);
    ed.clickCell(1, 0);
    if (ed.paste() != PasteOutcome::Pasted || !doc->canUndo())
        state.SkipWithError("the paste changed nothing");
    for (auto _ : state) {
        doc->undo();
        state.PauseTiming();
        doc->redo();
        state.ResumeTiming();
    }
    state.counters["history_MB"] = static_cast<double>(doc->historyBytes()) / (1 << 20);
}
BENCHMARK(BM_UndoAllPartsPaste)->Unit(benchmark::kMillisecond);

} // namespace
