// Long random sequences of measure-editor operations on random songs. After every step the
// store must keep its invariants, the tempo and signature rows must not change, and wherever the
// plain event-by-event procedure (kept here as a reference) leaves a sound store, the one-pass
// operations must give exactly its result.
#include "editor/measure_editor.h"
#include "editor/measure_ops.h"
#include "model/new_song.h"
#include "model/pitch.h"
#include "model/store_check.h"
#include "model/timeline.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace pokopen {
namespace {

// ---- The reference: one event at a time, partners searched for each event. ----

std::int32_t partnerOf(const EventRow& row, std::int32_t i) {
    const Event e = row.at(i);
    if (e.kind == KIND_NOTE_ON) {
        for (std::int32_t j = i + 1; j < row.count(); ++j)
            if (row.kind[static_cast<std::size_t>(j)] == KIND_NOTE_OFF &&
                row.value[static_cast<std::size_t>(j)] == e.value)
                return j;
    } else {
        for (std::int32_t j = i - 1; j >= 0; --j)
            if (row.kind[static_cast<std::size_t>(j)] == KIND_NOTE_ON &&
                row.value[static_cast<std::size_t>(j)] == e.value)
                return j;
    }
    return -1;
}

bool inRange(std::uint8_t kind, std::int32_t pos, std::int32_t s, std::int32_t e) {
    return kind == KIND_NOTE_OFF ? s < pos && pos <= e : s <= pos && pos < e;
}

void removeMarked(EventRow& row) {
    for (std::int32_t i = row.count() - 1; i >= 0; --i)
        if (row.pos[static_cast<std::size_t>(i)] == -1)
            row.removeAt(i);
}

struct Reference {
    int clipPart = -1;
    std::int32_t clipMeasures = 0;
    std::int32_t clipTicks[PART_ROWS] = {};
    std::vector<Event> clipRows[PART_ROWS];

    void copy(const Song& song, int part, std::int32_t a, std::int32_t b) {
        const EventRow& row = song.row(part);
        const std::int32_t s = measureToTick(song.store, a), e = measureToTick(song.store, b + 1);
        auto& clip = clipRows[part];
        clip.clear();
        for (std::int32_t i = 0; i < row.count(); ++i) {
            const Event ev = row.at(i);
            if (!inRange(ev.kind, ev.pos, s, e))
                continue;
            if (ev.kind == KIND_NOTE_ON && row.pos[static_cast<std::size_t>(partnerOf(row, i))] > e)
                continue;
            if (ev.kind == KIND_NOTE_OFF && row.pos[static_cast<std::size_t>(partnerOf(row, i))] < s)
                continue;
            clip.push_back({ev.pos - s, ev.kind, ev.value, ev.extra});
        }
        clipTicks[part] = e - s;
    }

    static void clear(Song& song, int part, std::int32_t a, std::int32_t b) {
        EventRow& row = song.row(part);
        const std::int32_t s = measureToTick(song.store, a), e = measureToTick(song.store, b + 1);
        std::vector<std::int32_t> marked;
        for (std::int32_t i = 0; i < row.count(); ++i) {
            const Event ev = row.at(i);
            if (!inRange(ev.kind, ev.pos, s, e))
                continue;
            marked.push_back(i);
            if (ev.kind == KIND_NOTE_ON && row.pos[static_cast<std::size_t>(partnerOf(row, i))] > e)
                marked.push_back(partnerOf(row, i));
            if (ev.kind == KIND_NOTE_OFF && row.pos[static_cast<std::size_t>(partnerOf(row, i))] < s)
                marked.push_back(partnerOf(row, i));
        }
        for (std::int32_t i : marked)
            row.pos[static_cast<std::size_t>(i)] = -1;
        removeMarked(row);
    }

    void paste(Song& song, int source, int target, std::int32_t measure) const {
        EventRow& row = song.row(target);
        const std::int32_t t = measureToTick(song.store, measure);
        std::int32_t index = 0;
        while (index < row.count() && row.pos[static_cast<std::size_t>(index)] <= t)
            ++index;
        std::int32_t j = 0;
        for (const Event& ev : clipRows[source])
            row.insertAt(index + j++, {t + ev.pos, ev.kind, ev.value, ev.extra});
    }

    static void octave(Song& song, int part, std::int32_t a, std::int32_t b, int steps) {
        if (part == PERCUSSION_PART)
            return;
        EventRow& row = song.row(part);
        const std::int32_t s = measureToTick(song.store, a), e = measureToTick(song.store, b + 1);
        std::vector<std::int32_t> marked;
        std::vector<std::pair<std::int32_t, std::uint8_t>> changes;
        for (std::int32_t i = 0; i < row.count(); ++i) {
            const Event ev = row.at(i);
            if ((ev.kind != KIND_NOTE_ON && ev.kind != KIND_NOTE_OFF) || !inRange(ev.kind, ev.pos, s, e))
                continue;
            const std::int32_t p = partnerOf(row, i);
            const std::int32_t other = row.pos[static_cast<std::size_t>(p)];
            if (ev.kind == KIND_NOTE_ON ? other > e : other < s) {
                marked.push_back(i);
                marked.push_back(p);
                continue;
            }
            const int step = stepOfValue(ev.value) + steps;
            if (step >= -7 && step <= 52)
                changes.push_back({i, valueOfStep(step)});
            else
                marked.push_back(i);
        }
        for (const auto& [i, v] : changes)
            row.value[static_cast<std::size_t>(i)] = v;
        for (std::int32_t i : marked)
            row.pos[static_cast<std::size_t>(i)] = -1;
        removeMarked(row);
    }
};

// ---- Random songs ----

void addPoint(Song& song, int part, std::int32_t tick, std::uint8_t kind, std::uint8_t value) {
    EventRow& row = song.row(part);
    std::int32_t i = 0;
    while (i < row.count() && (row.pos[static_cast<std::size_t>(i)] < tick ||
                               (row.pos[static_cast<std::size_t>(i)] == tick &&
                                row.kind[static_cast<std::size_t>(i)] == KIND_NOTE_OFF)))
        ++i;
    row.insertAt(i, {tick, kind, value, 0});
}

// Notes of a few steps in the first `measures` measures (and a few at the end of the song),
// never two of one step overlapping; dynamics and pan points; meters that change.
Song randomSong(std::mt19937& rng, std::int32_t measures) {
    Song song = makeNewSong();
    const std::uint8_t meters[] = {0x42, 0x32, 0x22, 0x63, 0x52};
    for (int k = 0; k < 3; ++k)
        testing::setSignature(song, KIND_METER, std::uniform_int_distribution<>(1, measures)(rng),
                              meters[std::uniform_int_distribution<>(0, 4)(rng)]);
    const std::int32_t end = measureToTick(song.store, measures);
    const std::int32_t songEnd = songEndTick(song.store);
    std::uniform_int_distribution<> valueDist(0, 12);
    for (int part = 0; part < PART_ROWS; ++part) {
        std::vector<std::pair<std::int32_t, std::int32_t>> taken[256];
        const int notes = std::uniform_int_distribution<>(0, 40)(rng);
        for (int n = 0; n < notes; ++n) {
            // Steps around the top and the bottom of the staff, so octaves leave the range.
            int v = valueDist(rng);
            const auto drum = static_cast<std::uint8_t>(v * 3);
            v = v < 4 ? v - 4 : v < 8 ? v : 45 + v - 8;
            const auto value = part == PERCUSSION_PART ? drum : valueOfStep(v);
            const bool atEnd = n % 10 == 9;
            const std::int32_t length = 3 * std::uniform_int_distribution<>(1, n % 5 == 0 ? 200 : 20)(rng);
            const std::int32_t from = atEnd ? songEnd - 400 : 0;
            const std::int32_t start =
                3 * std::uniform_int_distribution<>(from / 3, (atEnd ? songEnd : end) / 3)(rng);
            if (start + length > songEnd)
                continue;
            bool free = true;
            for (const auto& [a, e] : taken[value])
                free = free && (start >= e || start + length <= a);
            if (!free)
                continue;
            taken[value].push_back({start, start + length});
            testing::addNote(song, part, start, length, value,
                             static_cast<std::int8_t>(part == PERCUSSION_PART ? 0 : n % 3 - 1));
        }
        for (int k = 0; k < 5; ++k)
            addPoint(song, part, 3 * std::uniform_int_distribution<>(0, end / 3 - 1)(rng),
                     k % 2 ? KIND_PAN : KIND_DYNAMICS, static_cast<std::uint8_t>(k * 20));
    }
    return song;
}

// ---- The run ----

TEST(MeasureEditorRandom, LongSequencesKeepTheStoreSoundAndMatchTheReference) {
    // A fixed seed, so that a failure can be replayed; POKOPEN_SEED runs another one.
    const char* given = std::getenv("POKOPEN_SEED");
    const unsigned seed = given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : 20261208u;
    std::mt19937 rng(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    int compared = 0;
    for (int round = 0; round < 12; ++round) {
        constexpr std::int32_t MEASURES = 24;
        SongDocument doc;
        Song& song = writableSong(doc);
        song = randomSong(rng, MEASURES);
        ASSERT_EQ(checkStore(song), "") << "random song of round " << round;
        const EventRow tempo = song.row(TEMPO_ROW);
        const EventRow signatures = song.row(SIGNATURE_ROW);
        Song refSong = song;
        Reference ref;
        MeasureEditor ed(doc, 0, 0);

        auto measure = [&rng]() {
            // Mostly the filled measures, sometimes the end of the song.
            return std::uniform_int_distribution<>(0, 9)(rng) == 0
                       ? std::uniform_int_distribution<>(MAX_MEASURES - 4, MAX_MEASURES - 1)(rng)
                       : std::uniform_int_distribution<>(0, MEASURES + 2)(rng);
        };
        for (int step = 0; step < 60; ++step) {
            const int op = std::uniform_int_distribution<>(0, 5)(rng);
            std::string what;
            bool comparable = true;
            if (op <= 1 || !ed.hasSelection()) {
                // New selection of one part or all parts.
                const int part = std::uniform_int_distribution<>(0, PART_ROWS)(rng);
                std::int32_t a = measure(), b = measure();
                if (a > b)
                    std::swap(a, b);
                ed.cancelSelection();
                ed.setMode(ClickMode::EndA);
                if (part == ALL_PARTS) {
                    ASSERT_TRUE(ed.clickMeasureHeader(a));
                    ASSERT_TRUE(ed.clickMeasureHeader(b));
                } else {
                    ASSERT_TRUE(ed.clickCell(a, part));
                    ASSERT_TRUE(ed.clickCell(b, part));
                }
                const bool cut = op == 1;
                what = (cut ? "cut " : "copy ") + std::to_string(part) + " " + std::to_string(a) + ".." +
                       std::to_string(b);
                ASSERT_TRUE(cut ? ed.cut() : ed.copy());
                ref.clipPart = part;
                ref.clipMeasures = b - a;
                for (int p = 0; p < PART_ROWS; ++p) {
                    if (part != ALL_PARTS && part != p)
                        continue;
                    ref.copy(refSong, p, a, b);
                    if (cut)
                        Reference::clear(refSong, p, a, b);
                }
                for (int p = 0; p < PART_ROWS; ++p)
                    ASSERT_EQ(ed.clipboard().clipRows[static_cast<std::size_t>(p)], ref.clipRows[p]) << what;
            } else if (op <= 3 && ed.pasteEnabled()) {
                const int part = std::uniform_int_distribution<>(0, PART_ROWS - 1)(rng);
                const std::int32_t m = measure();
                ed.setMode(ClickMode::Pointer);
                ASSERT_TRUE(ed.clickCell(m, part));
                what = "paste at " + std::to_string(part) + " " + std::to_string(m);
                const PasteOutcome outcome = ed.paste();
                const bool single = ref.clipPart != ALL_PARTS;
                const bool refused = single && (ref.clipPart == PERCUSSION_PART) != (part == PERCUSSION_PART);
                ASSERT_EQ(outcome, refused ? PasteOutcome::RefusedDrumMixed : PasteOutcome::Pasted) << what;
                if (!refused) {
                    const std::int32_t last = m + ref.clipMeasures;
                    comparable = last < MAX_MEASURES;
                    for (int p = 0; p < PART_ROWS && comparable; ++p) {
                        if (single && p != ref.clipPart)
                            continue;
                        const int target = single ? part : p;
                        comparable =
                            measureToTick(refSong.store, last + 1) - measureToTick(refSong.store, m) >=
                            ref.clipTicks[p];
                        Reference::clear(refSong, target, m, last);
                        ref.paste(refSong, p, target, m);
                    }
                }
            } else {
                const int steps = op == 4 ? OCTAVE_UP : OCTAVE_DOWN;
                what = "octave " + std::to_string(steps);
                ASSERT_TRUE(ed.shiftOctaves(steps));
                for (int p = 0; p < PART_ROWS; ++p)
                    if (ed.selectionPart() == ALL_PARTS || ed.selectionPart() == p)
                        Reference::octave(refSong, p, ed.selectionA(), ed.selectionB(), steps);
            }
            ASSERT_EQ(checkStore(song), "") << what << " in round " << round << ", step " << step;
            ASSERT_EQ(song.row(TEMPO_ROW), tempo) << what;
            ASSERT_EQ(song.row(SIGNATURE_ROW), signatures) << what;
            // Where the plain procedure breaks the store (shorter target measures, the end of
            // the song, a note spanning the range), this program chose otherwise; carry on
            // from its result.
            if (comparable && checkStore(refSong).empty()) {
                ASSERT_EQ(song.store, refSong.store) << what << " in round " << round << ", step " << step;
                ++compared;
            }
            refSong = song;
        }
    }
    EXPECT_GT(compared, 300) << "too few steps where the reference applied";
}

} // namespace
} // namespace pokopen
