#include "curves/curve_graph.h"

#include "model/pitch.h"
#include "model/timeline.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace pokopen {

namespace {

constexpr std::array<int, 3> DYNAMICS_LINES = {254, 154, 54};
constexpr std::array<int, 7> TEMPO_LINES = {209, 179, 149, 119, 89, 59, 29};
constexpr std::array<int, 1> PAN_LINES = {126};

void addRect(std::vector<GraphRect>& out, GraphRect r) {
    // An empty or inverted rectangle paints nothing.
    if (r.x2 > r.x1 && r.y2 > r.y1)
        out.push_back(r);
}

bool multipleOf(int t, int step) {
    return step > 0 && t % step == 0;
}

} // namespace

std::span<const int> curveReferenceLines(CurveKind curve) {
    switch (curve) {
    case CurveKind::Dynamics:
        return DYNAMICS_LINES;
    case CurveKind::Tempo:
        return TEMPO_LINES;
    case CurveKind::Pan:
        return PAN_LINES;
    }
    return {};
}

CurveGraph buildCurveGraph(CurveKind curve, const EventStore& store, int part, std::int32_t measure) {
    const CurveTraits traits = curveTraits(curve);
    const EventRow& row = store[traits.perPart ? part : TEMPO_ROW];
    std::uint8_t meter = METER_4_4;
    meterAt(store, measure, meter);
    const std::int32_t ticks = ticksPerMeasure(meter);
    const int denominator = 1 << (meter % 16);
    const std::int32_t start = measureToTick(store, measure);
    const int bottom = traits.imageHeight;
    const auto x = [start](std::int32_t p) { return static_cast<int>(3 * (p - start)); };

    CurveGraph g;
    g.width = static_cast<int>(3 * ticks);
    g.height = bottom;

    // The point in force when the measure begins: the last one of the kind before it.
    const auto first =
        static_cast<std::int32_t>(std::lower_bound(row.pos.begin(), row.pos.end(), start) - row.pos.begin());
    std::int32_t prevPos = 0;
    int prevValue = 0;
    for (std::int32_t i = first - 1; i >= 0; --i) {
        if (row.kind[static_cast<std::size_t>(i)] == traits.eventKind) {
            prevPos = row.pos[static_cast<std::size_t>(i)];
            prevValue = row.value[static_cast<std::size_t>(i)];
            break;
        }
    }
    const auto heldFrom = [&] { return prevPos < start ? 0 : x(prevPos) + CURVE_STEP_PIXELS; };

    for (std::int32_t i = first; i < row.count(); ++i) {
        const Event e = row.at(i);
        if (e.pos >= start + ticks)
            break;
        if (e.kind != traits.eventKind)
            continue;
        addRect(g.points, {x(e.pos), curveBarTop(curve, e.value), x(e.pos) + CURVE_STEP_PIXELS, bottom});
        if (e.pos != 0)
            addRect(g.held, {heldFrom(), curveBarTop(curve, prevValue), x(e.pos), bottom});
        prevPos = e.pos;
        prevValue = e.value;
    }
    addRect(g.held, {heldFrom(), curveBarTop(curve, prevValue), g.width, bottom});

    for (int t = 0; t < ticks; t += 3) {
        const BeatLineColour colour = multipleOf(t, TICKS_PER_WHOLE / denominator) ? BeatLineColour::Beat
                                      : multipleOf(t, TICKS_PER_WHOLE / 2 / denominator)
                                          ? BeatLineColour::HalfBeat
                                          : BeatLineColour::Step;
        g.lines.push_back({3 * t, colour});
    }
    return g;
}

} // namespace pokopen
