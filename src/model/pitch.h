#pragma once

#include <array>
#include <cstdint>

// Pitch, key-signature and transposing-instrument tables shared by drawing, note entry,
// the song files and the MIDI writer.
namespace pokopen {

// Semitones below the E of each staff step class (E, D, C, B, A, G, F).
inline constexpr std::array<int, 7> STEP_SEMITONES = {0, 2, 4, 5, 7, 9, 11};
// Staff steps that a flat / sharp signature alters, in the order signatures add them.
inline constexpr std::array<int, 7> FLATS_ORDER = {10, 7, 11, 8, 12, 9, 13};
inline constexpr std::array<int, 7> SHARPS_ORDER = {6, 9, 5, 8, 11, 7, 10};

// Transposing instruments, indexed by partTransposition (0..6).
inline constexpr int TRANSPOSITION_COUNT = 7;
inline constexpr int C_INSTRUMENT = 2;
inline constexpr std::array<int, 7> TRANSPOSE_STEPS = {-7, -2, 0, 1, 2, 4, 7};
inline constexpr std::array<int, 7> TRANSPOSE_KEY_SHIFT = {0, 3, 0, 2, -3, 1, 0};
inline constexpr std::array<int, 7> TRANSPOSE_SEMITONES = {12, 3, 0, -2, -3, -7, -12};

// Key bytes 0..29: even major, odd minor; k / 2 - 7 sharps (negative: flats).
inline constexpr int KEY_COUNT = 30;
inline constexpr std::uint8_t KEY_C_MAJOR = 14;
inline constexpr std::uint8_t METER_4_4 = 0x42;

// A stored note value of 128 or more stands for a step above E7 (value - 252).
inline constexpr int stepOfValue(int value) {
    return value >= 128 ? value - 252 : value;
}
// The stored byte of a staff step (steps above E7 are negative).
inline constexpr std::uint8_t valueOfStep(int step) {
    return static_cast<std::uint8_t>(step < 0 ? step + 252 : step);
}

// MIDI key of a staff step with no alteration: step 0 is E7 (key 100).
int naturalKey(int step);
// MIDI key of a stored note value of an ordinary part, before any alteration.
inline int naturalKeyOfValue(int value) {
    return naturalKey(stepOfValue(value));
}
// MIDI key of a part-10 note value (a percussion index).
inline constexpr int percussionKey(int value) {
    return 81 - value;
}

// Alteration (-1, 0, +1) that key byte `key` gives the letter of staff step/value `v`.
int keyAlteration(int key, int v);

} // namespace pokopen
