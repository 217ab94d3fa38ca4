// Timings of note entry on the stress song: one click on the staff must stay under 16 ms.
#include "document/song_document.h"
#include "score/note_entry.h"
#include "support/song_builders.h"

#include <benchmark/benchmark.h>

namespace {

using namespace pokopen;

SongDocument& stressSession() {
    static SongDocument session = [] {
        SongDocument s;
        writableSong(s) = testing::makeStressSong();
        return s;
    }();
    return session;
}

// Points at measure 1000, whose notes are all of one step: a click on another row is accepted.
ScorePointer pointAtLastMeasure(SongDocument& s, int part, int tick, int y) {
    s.setCurrentPart(part);
    s.setCurrentMeasure(999);
    s.setTripletMode(false);
    s.palette.noteLength = 24;
    return scorePointerAt(82 + 3 * tick, y);
}

// A click that enters a note at the end of a full part row, then the double click that takes it
// out again: both walk the whole row and shift its tail.
void BM_ClickEnterAndDeleteAtSongEnd(benchmark::State& state) {
    SongDocument& s = stressSession();
    for (auto _ : state) {
        const ScorePointer at = pointAtLastMeasure(s, 0, 48, 0);
        if (!enterNoteAtPointer(s, at) || !deleteNoteAtPointer(s, at))
            state.SkipWithError("entry or deletion refused");
    }
    state.counters["row_events"] = static_cast<double>(s.song().row(0).count());
}
BENCHMARK(BM_ClickEnterAndDeleteAtSongEnd)->Unit(benchmark::kMicrosecond);

// A note entered at the very start of a row moves every event of the row.
void BM_ClickEnterAndDeleteAtSongStart(benchmark::State& state) {
    SongDocument& s = stressSession();
    for (auto _ : state) {
        const ScorePointer at = pointAtLastMeasure(s, 3, 0, 0);
        s.setCurrentMeasure(0);
        if (!enterNoteAtPointer(s, at) || !deleteNoteAtPointer(s, at))
            state.SkipWithError("entry or deletion refused");
    }
}
BENCHMARK(BM_ClickEnterAndDeleteAtSongStart)->Unit(benchmark::kMicrosecond);

// A click refused by the overlap test at the end of the row (the whole row is scanned).
void BM_ClickRefusedAtSongEnd(benchmark::State& state) {
    SongDocument& s = stressSession();
    // The notes of measure 1000 in part 1 are of value 14 + 999 % 20 = 33: written row 33 - 7.
    for (auto _ : state) {
        if (enterNoteAtPointer(s, pointAtLastMeasure(s, 0, 48, (33 - 7) * 9)))
            state.SkipWithError("overlapping note accepted");
    }
}
BENCHMARK(BM_ClickRefusedAtSongEnd)->Unit(benchmark::kMicrosecond);

void BM_AuditionAtSongEnd(benchmark::State& state) {
    SongDocument& s = stressSession();
    pointAtLastMeasure(s, 0, 48, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(auditionAt(s, 82 + 3 * 48, 100));
}
BENCHMARK(BM_AuditionAtSongEnd)->Unit(benchmark::kMicrosecond);

} // namespace
