#include "model/store_check.h"

#include "model/timeline.h"

#include <array>
#include <sstream>

namespace pokopen {

namespace {

std::string describe(int row, std::int32_t i, const std::string& what) {
    std::ostringstream s;
    s << "row " << row << ", event " << i << ": " << what;
    return s.str();
}

std::string checkPartRow(const EventRow& row, int r, std::int32_t endTick) {
    std::array<bool, 256> open{};
    for (std::int32_t i = 0; i < row.count(); ++i) {
        const Event e = row.at(i);
        if (e.kind < KIND_NOTE_ON || e.kind > KIND_PAN)
            return describe(r, i, "kind " + std::to_string(e.kind) + " in a part row");
        if (e.pos < 0 || e.pos > endTick)
            return describe(r, i, "position " + std::to_string(e.pos) + " outside the song");
        if (i > 0) {
            const Event p = row.at(i - 1);
            if (p.pos > e.pos)
                return describe(r, i, "not sorted");
            if (p.pos == e.pos && tieOrder(p.kind) > tieOrder(e.kind))
                return describe(r, i, "note-off, curve, note-on order broken at one tick");
        }
        if (e.kind != KIND_NOTE_ON && e.extra != 0)
            return describe(r, i, "extra on an event that is not a note-on");
        if (e.kind == KIND_NOTE_ON) {
            if (open[e.value])
                return describe(r, i, "note of value " + std::to_string(e.value) + " overlaps another");
            open[e.value] = true;
        } else if (e.kind == KIND_NOTE_OFF) {
            if (!open[e.value])
                return describe(r, i, "note-off of value " + std::to_string(e.value) + " without a note-on");
            open[e.value] = false;
        }
    }
    for (std::size_t v = 0; v < open.size(); ++v)
        if (open[v])
            return describe(r, row.count(), "note of value " + std::to_string(v) + " never ends");
    return {};
}

} // namespace

std::string checkStore(const Song& song) {
    const EventRow& sig = song.row(SIGNATURE_ROW);
    bool keyAtZero = false, meterAtZero = false;
    for (std::int32_t i = 0; i < sig.count(); ++i) {
        const Event e = sig.at(i);
        if (e.kind != KIND_KEY && e.kind != KIND_METER)
            return describe(SIGNATURE_ROW, i, "kind " + std::to_string(e.kind) + " in the signature row");
        if (e.pos < 0 || e.pos >= MAX_MEASURES)
            return describe(SIGNATURE_ROW, i, "measure " + std::to_string(e.pos) + " outside the song");
        if (e.kind == KIND_KEY && e.value > 29)
            return describe(SIGNATURE_ROW, i, "key byte " + std::to_string(e.value));
        if (e.kind == KIND_METER && ticksPerMeasure(e.value) <= 0)
            return describe(SIGNATURE_ROW, i, "meter byte " + std::to_string(e.value));
        if (e.extra != 0)
            return describe(SIGNATURE_ROW, i, "extra on a signature");
        for (std::int32_t j = i - 1; j >= 0 && sig.pos[static_cast<std::size_t>(j)] >= e.pos; --j) {
            if (sig.pos[static_cast<std::size_t>(j)] > e.pos)
                return describe(SIGNATURE_ROW, i, "not sorted");
            if (sig.kind[static_cast<std::size_t>(j)] == e.kind)
                return describe(SIGNATURE_ROW, i, "two signatures of one kind at one measure");
        }
        keyAtZero |= e.pos == 0 && e.kind == KIND_KEY;
        meterAtZero |= e.pos == 0 && e.kind == KIND_METER;
    }
    if (!keyAtZero || !meterAtZero)
        return "row 17: no key or no meter at the first measure";

    const std::int32_t endTick = songEndTick(song.store);
    const EventRow& tempo = song.row(TEMPO_ROW);
    if (tempo.empty() || tempo.pos[0] != 0)
        return "row 16: no tempo at tick 0";
    for (std::int32_t i = 0; i < tempo.count(); ++i) {
        const Event e = tempo.at(i);
        if (e.kind != KIND_TEMPO)
            return describe(TEMPO_ROW, i, "kind " + std::to_string(e.kind) + " in the tempo row");
        if (e.value == 0 || e.extra != 0)
            return describe(TEMPO_ROW, i, "bad tempo point");
        if (e.pos < 0 || e.pos > endTick)
            return describe(TEMPO_ROW, i, "position outside the song");
        if (i > 0 && tempo.pos[static_cast<std::size_t>(i - 1)] > e.pos)
            return describe(TEMPO_ROW, i, "not sorted");
    }

    for (int r = 0; r < PART_ROWS; ++r) {
        std::string fault = checkPartRow(song.row(r), r, endTick);
        if (!fault.empty())
            return fault;
    }
    return {};
}

} // namespace pokopen
