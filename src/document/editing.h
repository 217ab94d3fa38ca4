#pragma once

#include <cstdint>
#include <vector>

namespace pokopen {

// A note of the current part, named by where its note-on stands: its tick and its stored staff
// value (two notes of one value never overlap, so the pair names one note).
struct NoteRef {
    std::int32_t pos = 0;
    std::uint8_t value = 0;

    friend bool operator==(const NoteRef&, const NoteRef&) = default;
};

// What the windows share about where the user is working. It is not part of the song: changing it
// never marks the song modified, and undo does not take it back.
struct Editing {
    std::int32_t currentPart = 0;    // 0..15
    std::int32_t currentMeasure = 0; // 0..999
    std::int32_t scoreView = 1;      // 0 high, 1 middle, 2 low
    bool tripletMode = false;
    bool fmMode = false;
    std::int32_t caret = 0;         // a tick of the song: where typed notes go
    std::vector<NoteRef> selection; // notes of the current part that keys act on

    friend bool operator==(const Editing&, const Editing&) = default;
};

// Which fields of `Editing` a change touched (bits of SongChange::editing).
enum class EditingField : std::uint32_t {
    Part = 1U << 0,
    Measure = 1U << 1,
    View = 1U << 2,
    Triplet = 1U << 3,
    Fm = 1U << 4,
    Caret = 1U << 5,
    Selection = 1U << 6,
};
inline constexpr std::uint32_t bit(EditingField f) {
    return static_cast<std::uint32_t>(f);
}
inline constexpr std::uint32_t ALL_EDITING_FIELDS = (1U << 7) - 1;

} // namespace pokopen
