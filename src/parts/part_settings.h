#pragma once

#include "model/song.h"

#include <array>
#include <string_view>

// The per-part settings (instrument, transposing instrument, volume) as the part settings tab
// and the bulk dialog change them.
namespace pokopen {

// Captions of the transposing instruments, indexed by partTransposition (UTF-8).
inline constexpr std::array<std::string_view, 7> TRANSPOSITION_NAMES = {
    "オクターブ上（ピッコロなど）",     "Ｅ♭（Ｅｓ）楽器（クラリネットなど）",
    "C楽器（ピアノ・フルートなど）",    "Ｂ♭（Ｂ）楽器（クラリネット・金管など）",
    "Ａ楽器（クラリネットなど）",       "Ｆ楽器（ホルンなど）",
    "オクターブ下（コントラバスなど）",
};

// Each stores one setting of `part` and returns whether the stored value changed, which is
// when the song counts as modified.
bool setPartInstrument(Song& song, int part, int program);
bool setPartTransposition(Song& song, int part, int transposition);
bool setPartVolume(Song& song, int part, int volume);

// What the bulk dialog applies: the chosen values, the parts that receive them and which of
// the three items to apply. The drum part takes only the volume.
struct BulkPartSettings {
    std::array<bool, PART_ROWS> parts{};
    bool applyInstrument = false;
    bool applyTransposition = false;
    bool applyVolume = false;
    int instrument = 0;
    int transposition = 2;
    int volume = 100;
};

// Applies the settings; returns true when any item was applied to any part, even with the value
// the part already had (the song then counts as modified). Events are never touched.
bool applyBulkPartSettings(Song& song, const BulkPartSettings& settings);

} // namespace pokopen
