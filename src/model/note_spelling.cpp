#include "model/note_spelling.h"

#include "model/pitch.h"

#include <algorithm>
#include <cstdlib>

namespace pokopen {

namespace {
int floorMod7(int v) {
    const int m = v % 7;
    return m < 0 ? m + 7 : m;
}
} // namespace

Spellings spellingsOf(int key, int keyByte) {
    const int sharps = keyByte / 2 - 7;
    const bool minor = keyByte % 2 == 1;
    // Letters counted as steps are (0 E, 1 D, 2 C, 3 B, 4 A, 5 G, 6 F); a letter up is one step less.
    const int majorTonic = floorMod7(2 - 4 * sharps);
    const int minorTonic = floorMod7(majorTonic + 2);
    const int sixth = floorMod7(minorTonic - 5);
    const int seventh = floorMod7(minorTonic - 6);
    Spellings s;
    const int pitchClass = key % 12;
    const bool white =
        pitchClass != 1 && pitchClass != 3 && pitchClass != 6 && pitchClass != 8 && pitchClass != 10;
    const int approx = (100 - key) * 7 / 12;
    for (int step = approx - 3; step <= approx + 3; ++step) {
        if (step < -124 || step > 127)
            continue;
        const int accidental = key - naturalKey(step);
        if (accidental < -2 || accidental > 2)
            continue;
        const int extra = accidental - keyAlteration(keyByte, step);
        const int letter = floorMod7(step);
        int rank;
        if (extra == 0)
            rank = 0; // a note of the scale
        else if (minor && extra == 1 && (letter == sixth || letter == seventh))
            rank = 0; // the raised sixth or seventh of a minor key
        else if (accidental == 0)
            rank = 1; // a white key outside the scale: a natural
        else if (!white && accidental == (sharps >= 0 ? 1 : -1))
            rank = 2; // a sharp in sharp keys and C major, a flat in flat keys
        else          // the rest, single accidentals first, a white key's enharmonics (B sharp for C) last
            rank =
                3 + 2 * std::abs(accidental) + ((accidental > 0) == (sharps >= 0) ? 0 : 1) + (white ? 2 : 0);
        s.items[static_cast<std::size_t>(s.count++)] = {valueOfStep(step), static_cast<std::int8_t>(extra),
                                                        rank};
    }
    std::stable_sort(s.items.begin(), s.items.begin() + s.count,
                     [](const Spelling& a, const Spelling& b) { return a.rank < b.rank; });
    return s;
}

bool spellNote(int key, int keyByte, int choice, std::uint8_t& value, std::int8_t& extra) {
    const Spellings s = spellingsOf(key, keyByte);
    if (choice < 0 || choice >= s.count)
        return false;
    value = s.items[static_cast<std::size_t>(choice)].value;
    extra = s.items[static_cast<std::size_t>(choice)].extra;
    return true;
}

} // namespace pokopen
