// Timings of the staff tab on the stress song: working out one measure's picture, and (when the
// windows are built) painting it, for the first, a middle and the last measure.
#include "score/staff_layout.h"
#include "support/song_builders.h"

#ifdef POKOPEN_BENCH_WINDOWS
#include "model/timeline.h"
#include "score/key_entry.h"
#include "score/note_entry_controller.h"
#include "score/staff_paint.h"
#include "support/recording_midi_out.h"

#include "bench_app.h"
#include <QImage>
#endif

#include <benchmark/benchmark.h>

namespace {

using namespace pokopen;
using pokopen::testing::RecordingMidiOut;

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

// One key press at measure 1000 of the stress song as the window makes it: the entry (a letter,
// then Delete of that note with the caret put back, by turns), its step in the document, the
// caret and the staff's repaint.
void BM_KeyPressAtLastMeasure(benchmark::State& bench) {
    bench::ensureApplication();
    SongDocument doc;
    writableSong(doc) = staffStressSong();
    doc.setCurrentMeasure(999);
    QImage score(STAFF_IMAGE_WIDTH, STAFF_IMAGE_HEIGHT, QImage::Format_RGB32);
    QImage names(DRUM_NAMES_WIDTH, STAFF_IMAGE_HEIGHT, QImage::Format_RGB32);
    bool letter = true;
    for (auto _ : bench) {
        const Editing& e = doc.editing();
        const KeyEntryPlace place{e.currentPart, e.caret, e.selection, e.tripletMode};
        const KeyOutcome o =
            pressEntryKey(doc.song(), place, doc.palette, letter ? EntryKey::Letter : EntryKey::Delete, 'C');
        if (o.refused) {
            bench.SkipWithError("the key was refused");
            break;
        }
        applyKeyOutcome(doc, place.part, o);
        doc.setSelection(o.selection);
        doc.moveCaret(letter ? o.caret : measureToTick(doc.song().store, 999));
        paintStaff(layoutStaff(doc.song(), doc.editing()), score, names);
        benchmark::DoNotOptimize(score.constBits());
        letter = !letter;
    }
}
BENCHMARK(BM_KeyPressAtLastMeasure)->Unit(benchmark::kMicrosecond);

// One step of a note drag at measure 1000 of the stress song: the pointer moves a row, the note
// follows it in the open step, and the staff is repainted.
void BM_DragStepAtLastMeasure(benchmark::State& bench) {
    bench::ensureApplication();
    SongDocument doc;
    writableSong(doc) = staffStressSong();
    doc.setCurrentMeasure(999);
    RecordingMidiOut out;
    NoteEntryController controller(doc, out);
    QImage score(STAFF_IMAGE_WIDTH, STAFF_IMAGE_HEIGHT, QImage::Format_RGB32);
    QImage names(DRUM_NAMES_WIDTH, STAFF_IMAGE_HEIGHT, QImage::Format_RGB32);
    // The measure's first 32nd note (value 33, row 26 of the middle view), taken and dragged
    // between the two free rows below it.
    controller.imgScoreMouseDown(Qt::LeftButton, 83, 238);
    controller.imgScoreMouseMove(103, 247);
    int y = 256;
    for (auto _ : bench) {
        controller.imgScoreMouseMove(103, y);
        paintStaff(layoutStaff(doc.song(), doc.editing()), score, names);
        benchmark::DoNotOptimize(score.constBits());
        y = y == 256 ? 247 : 256;
    }
    if (!doc.inStep())
        bench.SkipWithError("no drag took place");
    controller.imgScoreMouseUp(Qt::LeftButton, 103, y);
}
BENCHMARK(BM_DragStepAtLastMeasure)->Unit(benchmark::kMicrosecond);
#endif

} // namespace
