#include "curves/curve_edit.h"

#include "model/pitch.h"
#include "model/timeline.h"

#include <algorithm>
#include <cstddef>

namespace pokopen {

namespace {

std::size_t idx(std::int32_t i) {
    return static_cast<std::size_t>(i);
}

// First element whose pos is not below `tick`.
std::int32_t firstAtOrAfter(const EventRow& row, std::int32_t tick) {
    return static_cast<std::int32_t>(std::lower_bound(row.pos.begin(), row.pos.end(), tick) -
                                     row.pos.begin());
}

// The merge pass as one compaction: keeps the relative order and removes exactly the points the
// element-by-element walk would remove. `watch` is an index whose fate the caller wants to know.
struct MergeResult {
    std::int32_t removed = 0;
    bool watchRemoved = false;
};

MergeResult mergePass(EventRow& row, std::uint8_t kind, std::int32_t watch) {
    MergeResult result;
    int remembered = -1; // no point of the kind seen yet
    std::int32_t w = 0;
    for (std::int32_t i = 0; i < row.count(); ++i) {
        if (row.kind[idx(i)] == kind) {
            if (row.value[idx(i)] == remembered) {
                ++result.removed;
                if (i == watch)
                    result.watchRemoved = true;
                continue;
            }
            remembered = row.value[idx(i)];
        }
        if (w != i)
            row.set(w, row.at(i));
        ++w;
    }
    while (row.count() > w)
        row.shrinkRow();
    return result;
}

} // namespace

CurveTraits curveTraits(CurveKind curve) {
    switch (curve) {
    case CurveKind::Dynamics:
        return {KIND_DYNAMICS, 256, 255, true};
    case CurveKind::Tempo:
        return {KIND_TEMPO, 210, 209, false};
    case CurveKind::Pan:
        return {KIND_PAN, 256, 255, true};
    }
    return {KIND_DYNAMICS, 256, 255, true};
}

std::uint8_t curveValueFromY(CurveKind curve, int y) {
    if (curve == CurveKind::Tempo)
        return static_cast<std::uint8_t>(239 - y);
    return static_cast<std::uint8_t>(127 - y / 2);
}

int curveLabelValue(CurveKind curve, std::uint8_t value) {
    return curve == CurveKind::Pan ? value - 64 : value;
}

int curveBarTop(CurveKind curve, int v) {
    return curve == CurveKind::Tempo ? 239 - v : 254 - 2 * v;
}

std::optional<CurvePointer> mapCurvePointer(CurveKind curve, const EventStore& store, std::int32_t measure,
                                            int x, int y) {
    std::uint8_t meter = METER_4_4;
    meterAt(store, measure, meter);
    const std::int32_t ticks = ticksPerMeasure(meter);
    if (x < 0 || x / 3 >= ticks || y < 0 || y > curveTraits(curve).maxPointerY)
        return std::nullopt;
    return CurvePointer{measureToTick(store, measure) + 3 * (x / CURVE_STEP_PIXELS),
                        curveValueFromY(curve, y)};
}

bool editCurvePoint(EventRow& row, std::uint8_t kind, std::int32_t tick, std::uint8_t value, CurveMode mode) {
    const std::int32_t start = firstAtOrAfter(row, tick);
    std::int32_t found = -1;
    for (std::int32_t i = start; i < row.count() && row.pos[idx(i)] == tick; ++i) {
        if (row.kind[idx(i)] == kind) {
            found = i;
            break;
        }
    }

    if (mode == CurveMode::Delete) {
        // The point at the start of the song carries the value every later one is heard against.
        if (tick == 0 || found < 0)
            return false;
        row.removeAt(found);
        mergePass(row, kind, -1);
        return true;
    }

    if (found >= 0) {
        if (row.value[idx(found)] == value)
            return false;
        row.removeAt(found);
    }
    // At one tick a curve point goes after the note-offs and before the note-ons.
    std::int32_t at = start;
    while (at < row.count() && row.pos[idx(at)] == tick && tieOrder(row.kind[idx(at)]) < tieOrder(kind))
        ++at;
    row.insertAt(at, {tick, kind, value, 0});
    const MergeResult merged = mergePass(row, kind, at);
    // Painting the value already in force where no point stood leaves the row as it was.
    return found >= 0 || !(merged.watchRemoved && merged.removed == 1);
}

bool editDynamicsPoint(Song& song, int part, std::int32_t tick, std::uint8_t value, CurveMode mode) {
    return editCurvePoint(song.row(part), KIND_DYNAMICS, tick, value, mode);
}

bool editPanPoint(Song& song, int part, std::int32_t tick, std::uint8_t value, CurveMode mode) {
    return editCurvePoint(song.row(part), KIND_PAN, tick, value, mode);
}

bool editTempoPoint(Song& song, std::int32_t tick, std::uint8_t value, CurveMode mode) {
    return editCurvePoint(song.row(TEMPO_ROW), KIND_TEMPO, tick, value, mode);
}

std::int32_t mergeCurvePoints(EventRow& row, std::uint8_t kind) {
    return mergePass(row, kind, -1).removed;
}

bool applyCurveStroke(Song& song, int part, CurveKind curve, CurveMode mode, bool allParts,
                      const CurvePointer& at) {
    switch (curve) {
    case CurveKind::Tempo:
        return editTempoPoint(song, at.tick, at.value, mode);
    case CurveKind::Dynamics:
    case CurveKind::Pan: {
        const auto edit = curve == CurveKind::Dynamics ? editDynamicsPoint : editPanPoint;
        if (!allParts)
            return edit(song, part, at.tick, at.value, mode);
        bool changed = false;
        for (int p = 0; p < PART_ROWS; ++p)
            changed = edit(song, p, at.tick, at.value, mode) || changed;
        return changed;
    }
    }
    return false;
}

} // namespace pokopen
