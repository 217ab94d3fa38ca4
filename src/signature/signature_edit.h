#pragma once

#include "model/song.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Key and time signature changes: KIND_KEY and KIND_METER events of the signature row,
// positioned by 0-based measure. Each holds until the next event of its kind.
namespace pokopen {

// Marks removal in setKeyChange and setMeterChange.
inline constexpr std::uint8_t SIGNATURE_REMOVE = 255;

// Key byte 0..29 (even major, odd minor; k / 2 - 7 sharps) to its short name, "Ces-dur" .. "ais-moll".
inline constexpr std::array<std::string_view, 30> KEY_NAMES = {
    "Ces-dur", "as-moll",  "Ges-dur", "es-moll",  "Des-dur", "b-moll",   "As-dur", "f-moll",
    "Es-dur",  "c-moll",   "B-dur",   "g-moll",   "F-dur",   "d-moll",   "C-dur",  "a-moll",
    "G-dur",   "e-moll",   "D-dur",   "h-moll",   "A-dur",   "fis-moll", "E-dur",  "cis-moll",
    "H-dur",   "gis-moll", "Fis-dur", "dis-moll", "Cis-dur", "ais-moll"};

// The meters the meter dialog offers, in the order of its items.
inline constexpr std::array<std::uint8_t, 18> METER_CHOICES = {0x21, 0x31, 0x22, 0x32, 0x42, 0x52,
                                                               0x62, 0x23, 0x33, 0x43, 0x53, 0x63,
                                                               0x73, 0x83, 0x93, 0xA3, 0xB3, 0xC3};

// Item of METER_CHOICES to preselect for a meter byte: numerator - 2 for halves (and any
// denominator other than quarters and eighths), numerator for quarters, numerator + 5 for
// eighths. Meters the dialog does not offer give an item outside 0..17 (then nothing is chosen).
int meterChoiceItem(std::uint8_t meter);
// "4/4" for 0x42.
std::string meterText(std::uint8_t meter);
// "♭3つ", "調号0" or "♯2つ" (UTF-8) for a key byte.
std::string keySignatureText(std::uint8_t key);

// Key 0..29 inserts a KIND_KEY event at measure, before any event already there; 255 removes
// the first KIND_KEY event at measure (nothing when there is none). The caller removes an event
// of the kind at that measure before inserting.
void setKeyChange(Song& song, std::int32_t measure, std::uint8_t key);
// The same for KIND_METER.
void setMeterChange(Song& song, std::int32_t measure, std::uint8_t meter);
// Removes every event of `kind` in the signature row whose value repeats the previous kept one.
std::int32_t mergeSignatures(Song& song, std::uint8_t kind);

// The tab's commands. Each returns true when the song changed.
// Starts `key` at measure (replacing a change there); no change when it is the key in force.
bool changeKey(Song& song, std::int32_t measure, std::uint8_t key);
// Removes the key change that begins at measure (never at measure 0).
bool deleteKey(Song& song, std::int32_t measure);

enum class MeterEdit {
    Changed,
    Unchanged,
    // Refused: measures would get so short that events of the song would lie past the end of
    // the last measure, where saving and loading would drop them.
    WouldCutSong,
};
MeterEdit changeMeter(Song& song, std::int32_t measure, std::uint8_t meter);
MeterEdit deleteMeter(Song& song, std::int32_t measure);

// What the signature tab shows for one measure.
struct SignatureView {
    bool keyHere = false; // a key change begins at this measure
    std::uint8_t keyInForce = 14;
    bool keyDeletable = false;
    bool meterHere = false;
    std::uint8_t meterInForce = 0x42;
    bool meterDeletable = false;
};
SignatureView signatureView(const EventStore& store, std::int32_t measure);

// The key dialog's three radio groups for a key byte, and back.
struct KeyChoice {
    int signs; // rgrStlSF: 0 flats, 1 none, 2 sharps
    int count; // rgrStlNum: 0 none, 1..7
    int minor; // rgrStlDM: 0 major, 1 minor

    friend bool operator==(const KeyChoice&, const KeyChoice&) = default;
};
KeyChoice keyChoiceOf(int key);
// 14 + 2 x s x n + m with s = -1, 0, +1 for flats, none, sharps.
int keyOfChoice(const KeyChoice& choice);
// The rules that keep the groups consistent when one of them is clicked.
KeyChoice chooseSigns(KeyChoice current, int signs);
KeyChoice chooseCount(KeyChoice current, int count);

} // namespace pokopen
