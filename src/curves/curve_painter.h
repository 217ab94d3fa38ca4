#pragma once

#include "curves/curve_graph.h"

#include <QColor>
#include <QImage>

namespace pokopen {

// Background of each editor's image, panel and value label: maroon, green, navy.
QColor curveBackground(CurveKind curve);

// Paints one measure's graph over the whole image: background, yellow point boxes with a black
// outline, grey held bars, the step lines and the white reference lines.
void paintCurveGraph(QImage& image, CurveKind curve, const CurveGraph& graph);

} // namespace pokopen
