// The edit history on the stress song: a snapshot of the whole song, the memory 200 note entries
// keep, and (with the windows) note entry, undo and redo at measure 1000 with the staff redrawn.
#include "document/song_document.h"
#include "score/note_entry.h"
#include "support/song_builders.h"

#ifdef POKOPEN_BENCH_WINDOWS
#include "app/main_window.h"
#include "bench_app.h"

#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#endif

#include <benchmark/benchmark.h>

namespace {

using namespace pokopen;

const Song& stressSong() {
    static const Song song = testing::makeStressSong();
    return song;
}

// Points at measure 1000 of `part`, at a tick and staff row where the stress song has no note.
ScorePointer pointAt(SongDocument& doc, int part, int tick, int row) {
    doc.setCurrentPart(part);
    doc.setCurrentMeasure(MAX_MEASURES - 1);
    doc.setTripletMode(false);
    doc.palette.noteLength = 12;
    return scorePointerAt(NOTE_ENTRY_FIRST_COLUMN_X + 3 * tick, 9 * row + 4);
}

void BM_SnapshotOfTheWholeSong(benchmark::State& state) {
    SongDocument doc;
    writableSong(doc) = stressSong();
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.snapshot());
}
BENCHMARK(BM_SnapshotOfTheWholeSong)->Unit(benchmark::kMicrosecond);

// 200 notes entered one by one across the parts: what the history holds afterwards.
void BM_HistoryOf200NoteEntries(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        SongDocument doc;
        writableSong(doc) = stressSong();
        state.ResumeTiming();
        int entered = 0;
        for (int n = 0; n < 200; ++n) {
            const ScorePointer at =
                pointAt(doc, n % PART_ROWS == PERCUSSION_PART ? 0 : n % PART_ROWS, 12 * (n % 8), n / 8);
            entered += enterNoteAtPointer(doc, at) ? 1 : 0;
        }
        if (entered != 200 || doc.stepCount() != 200)
            state.SkipWithError("a note was refused");
        state.counters["history_KB"] = static_cast<double>(doc.historyBytes()) / 1024.0;
        state.counters["steps"] = static_cast<double>(doc.stepCount());
    }
}
BENCHMARK(BM_HistoryOf200NoteEntries)->Unit(benchmark::kMillisecond)->Iterations(1);

#ifdef POKOPEN_BENCH_WINDOWS
// Arg 0: a note entered at measure 1000 and the staff redrawn; 1: its undo from the Edit menu,
// with every view on screen redrawn; 2: its redo.
void BM_NoteEntryUndoRedoWithStaff(benchmark::State& state) {
    bench::ensureApplication();
    QTemporaryDir dir;
    QSettings ini(dir.filePath("pokopen.ini"), QSettings::IniFormat);
    ini.setValue("MIDIOUT/Device", "none");
    ini.sync();
    TfrmMain w(
        QStringList{}, nullptr,
        TfrmMain::Files{dir.filePath("pokopen.ini"), dir.filePath("knb.mid"), dir.filePath("recovery")});
    writableSong(w.session()) = stressSong();
    w.show();
    w.barMeas->setValue(MAX_MEASURES);
    const auto which = state.range(0);
    for (auto _ : state) {
        if (which != 0)
            state.PauseTiming();
        if (!enterNoteAtPointer(w.session(), pointAt(w.session(), 0, 48, 2)))
            state.SkipWithError("the note was refused"); // the staff redraws from the document's change
        if (which == 0)
            state.PauseTiming();
        else if (which == 1)
            state.ResumeTiming();
        w.mnuUndoClick();
        if (which == 1)
            state.PauseTiming();
        else if (which == 2)
            state.ResumeTiming();
        w.mnuRedoClick();
        if (which == 2)
            state.PauseTiming();
        w.mnuUndoClick(); // ready for the next round
        state.ResumeTiming();
    }
}
BENCHMARK(BM_NoteEntryUndoRedoWithStaff)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
#endif

} // namespace
