#include "parts/part_settings.h"

#include <algorithm>

namespace pokopen {

namespace {
bool store(std::int32_t& slot, int value) {
    if (slot == value)
        return false;
    slot = value;
    return true;
}
std::size_t index(int part) {
    return static_cast<std::size_t>(part);
}
} // namespace

bool setPartInstrument(Song& song, int part, int program) {
    return store(song.partInstrument[index(part)], std::clamp(program, 0, 127));
}

bool setPartTransposition(Song& song, int part, int transposition) {
    return store(song.partTransposition[index(part)], std::clamp(transposition, 0, 6));
}

bool setPartVolume(Song& song, int part, int volume) {
    return store(song.partVolume[index(part)], std::clamp(volume, 0, 127));
}

bool applyBulkPartSettings(Song& song, const BulkPartSettings& s) {
    bool applied = false;
    for (int part = 0; part < PART_ROWS; ++part) {
        if (!s.parts[index(part)])
            continue;
        if (s.applyInstrument && part != PERCUSSION_PART) {
            setPartInstrument(song, part, s.instrument);
            applied = true;
        }
        if (s.applyTransposition && part != PERCUSSION_PART) {
            setPartTransposition(song, part, s.transposition);
            applied = true;
        }
        if (s.applyVolume) {
            setPartVolume(song, part, s.volume);
            applied = true;
        }
    }
    return applied;
}

} // namespace pokopen
