#pragma once

#include "curves/curve_edit.h"

#include <cstdint>
#include <span>
#include <vector>

// What the graph of one measure shows, in image pixels, computed from the store so that the
// window only paints it.
namespace pokopen {

struct GraphRect {
    int x1, y1, x2, y2; // filled x1..x2-1, y1..y2-1

    friend bool operator==(const GraphRect&, const GraphRect&) = default;
};

enum class BeatLineColour { Beat, HalfBeat, Step }; // white, red, blue

struct BeatLine {
    int x;
    BeatLineColour colour;

    friend bool operator==(const BeatLine&, const BeatLine&) = default;
};

struct CurveGraph {
    int width = 0;                 // 3 x ticks of the measure; the image right of it stays empty
    int height = 0;                // image height
    std::vector<GraphRect> points; // yellow boxes with a black outline
    std::vector<GraphRect> held;   // grey bars of a value held from an earlier point
    std::vector<BeatLine> lines;   // one per step, over the full height
};

// The graph of `measure` for the row that `curve` edits (`part` for dynamics and pan).
// Finds the measure by binary search and the value held into it by walking back to the
// previous point, so it costs the measure's events plus that walk.
CurveGraph buildCurveGraph(CurveKind curve, const EventStore& store, int part, std::int32_t measure);

// The white reference lines (y) of each editor, drawn across the measure.
std::span<const int> curveReferenceLines(CurveKind curve);

} // namespace pokopen
