#include "model/pitch.h"

namespace pokopen {

namespace {
int floorDiv(int a, int b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
int floorMod(int a, int b) {
    return a - floorDiv(a, b) * b;
}
} // namespace

int naturalKey(int step) {
    return 100 - 12 * floorDiv(step, 7) - STEP_SEMITONES[static_cast<std::size_t>(floorMod(step, 7))];
}

int keyAlteration(int key, int v) {
    const int letter = floorMod(v, 7);
    if (key <= 13) {
        const int flats = 7 - key / 2;
        for (int j = 0; j < flats && j < 7; ++j)
            if (FLATS_ORDER[static_cast<std::size_t>(j)] % 7 == letter)
                return -1;
    } else if (key >= 16) {
        const int sharps = key / 2 - 7;
        for (int j = 0; j < sharps && j < 7; ++j)
            if (SHARPS_ORDER[static_cast<std::size_t>(j)] % 7 == letter)
                return +1;
    }
    return 0;
}

} // namespace pokopen
