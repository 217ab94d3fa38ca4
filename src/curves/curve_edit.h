#pragma once

#include "model/song.h"

#include <cstdint>
#include <optional>

// Editing the dynamics, tempo and pan curves: one point per 3-tick step of a measure, each an
// event of the part or tempo rows. The three editors share one pattern; `CurveKind` names the
// instance and `curveTraits` holds what differs between them.
namespace pokopen {

enum class CurveKind { Dynamics, Tempo, Pan };

// Radio-group item of an editor: 0 paints points, 1 removes them.
enum class CurveMode { Input = 0, Delete = 1 };

struct CurveTraits {
    std::uint8_t eventKind; // KIND_DYNAMICS, KIND_TEMPO or KIND_PAN
    int imageHeight;        // 256 or 210; the image is always 432 wide
    int maxPointerY;        // pointer y beyond this is outside the graph
    bool perPart;           // edits part rows (dynamics, pan) or the tempo row
};

CurveTraits curveTraits(CurveKind curve);

inline constexpr int CURVE_IMAGE_WIDTH = 432;
// Pixels per step on screen (one step = 3 ticks).
inline constexpr int CURVE_STEP_PIXELS = 9;

// Stored value for pointer y (y inside 0..maxPointerY).
std::uint8_t curveValueFromY(CurveKind curve, int y);
// The number the value label shows for a stored value (pan is shown around its centre 64).
int curveLabelValue(CurveKind curve, std::uint8_t value);
// Top y of the bar of value v; bars reach down to the image height.
int curveBarTop(CurveKind curve, int v);

struct CurvePointer {
    std::int32_t tick; // absolute tick of the step under the pointer
    std::uint8_t value;
};

// Maps a pointer position over the graph of `measure` to a step and a value; nothing when the
// pointer lies left of the graph, right of the measure's last step or outside the value range.
std::optional<CurvePointer> mapCurvePointer(CurveKind curve, const EventStore& store, std::int32_t measure,
                                            int x, int y);

// One edit of one row in the given mode, followed by the merge pass over the whole row.
// Returns false when nothing changed: input of the value already stored at the tick, delete
// where no point stands, delete at tick 0. Linear in the row's length.
bool editCurvePoint(EventRow& row, std::uint8_t kind, std::int32_t tick, std::uint8_t value, CurveMode mode);

bool editDynamicsPoint(Song& song, int part, std::int32_t tick, std::uint8_t value, CurveMode mode);
bool editPanPoint(Song& song, int part, std::int32_t tick, std::uint8_t value, CurveMode mode);
bool editTempoPoint(Song& song, std::int32_t tick, std::uint8_t value, CurveMode mode);

// Removes every point of `kind` whose value repeats the value of the previous kept point of that
// kind in the row (the first point of the kind always stays). One pass; returns the number removed.
std::int32_t mergeCurvePoints(EventRow& row, std::uint8_t kind);

// A pointer step with the button held: edits `part` (or every part in turn when `allParts` is
// set; ignored for tempo) at the pointer's tick and value. True when the song changed.
bool applyCurveStroke(Song& song, int part, CurveKind curve, CurveMode mode, bool allParts,
                      const CurvePointer& at);

} // namespace pokopen
