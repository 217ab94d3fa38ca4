#pragma once

#include "document/palette_state.h"

#include <QIcon>
#include <QImage>

#include <cstdint>

namespace pokopen {

// The palette's 24 tool-button icons, drawn by the program: black on transparent, 18 x 18
// device-independent pixels, each drawn afresh (not scaled) for every device pixel ratio.

inline constexpr int PALETTE_ICON_SIZE = 18;

enum class LengthSign { None, Plus, Minus };

// One icon at `scale` device pixels per icon pixel (1 or 2): an image of 18·scale square whose
// device pixel ratio is `scale`.
QImage drawNoteIcon(NoteValue value, LengthSign sign, int scale);
QImage drawAccidentalIcon(std::int8_t accidental, int scale); // -2..+2
QImage drawCancelIcon(int scale);

// The same as icons holding a 1x and a 2x picture.
QIcon noteIcon(NoteValue value, LengthSign sign);
QIcon accidentalIcon(std::int8_t accidental);
QIcon cancelIcon();

} // namespace pokopen
