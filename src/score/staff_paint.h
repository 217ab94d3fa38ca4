#pragma once

#include "score/staff_layout.h"

#include <QColor>
#include <QImage>

namespace pokopen {

// Font families standing in for the system faces the staff names: a serif for the signatures,
// a proportional sans-serif for the drum names.
inline constexpr const char* SIGNATURE_FONT_FAMILY = "IPAMincho";
inline constexpr const char* DRUM_NAME_FONT_FAMILY = "IPAPGothic";

// Width of the drum names image, which covers the clefs and the staff image's left margin.
inline constexpr int DRUM_NAMES_WIDTH = 130;

QColor qColorOf(StaffColour c);

// Paints the staff tab's drawing surfaces: the staff image (514 x 288) and, in the drum view,
// the drum names image (130 x 288). Each image it paints is painted over completely.
void paintStaff(const StaffLayout& layout, QImage& score, QImage& drumNames);

// The staff image of the current part and measure, drawn whether or not any window shows it.
QImage renderStaff(const Song& song, const Editing& state);

} // namespace pokopen
