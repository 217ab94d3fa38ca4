#pragma once

#include <array>
#include <string>
#include <string_view>

namespace pokopen {

// General MIDI program names, indexed by program number 0..127.
inline constexpr std::array<std::string_view, 128> INSTRUMENT_NAMES = {
    "Piano1",         "Piano2",        "Piano3",        "Honkey-tonk",  "E.Piano1",     "E.Piano2",
    "Harpsichord",    "Clavi",         "Celesta",       "Glockenspiel", "Music Box",    "Vibraphone",
    "Marimba",        "Xylophone",     "Tubular Bells", "Santur",       "Organ1",       "Organ2",
    "Organ3",         "Church Organ",  "Reed Organ",    "Accordion",    "Harmonica",    "Tango Acc.",
    "Nylon Gt.",      "Steel Gt.",     "Jazz Gt.",      "Clean Gt.",    "Muted Gt.",    "Overdrive Gt.",
    "Distortion Gt.", "Gt.Harmonix",   "Acoustic Bs.",  "Fingered Bs.", "Picked Bs.",   "Fretless Bs.",
    "Slap Bass1",     "Slap Bass2",    "Syn.Bass1",     "Syn.Bass2",    "Violin",       "Viola",
    "Cello",          "Contrabass",    "Tremolo Str.",  "Pizzicato",    "Harp",         "Timpani",
    "Strings",        "Slow Str.",     "Syn.Strings1",  "Syn.Strings2", "Choir Aahs",   "Voice Oohs",
    "Syn.Vox",        "Orchestra Hit", "Trumpet",       "Trombone",     "Tuba",         "Muted Trp.",
    "French Horn",    "Brass",         "Syn.Brass1",    "Syn.Brass2",   "Soprano Sax",  "Alto Sax",
    "Tenor Sax",      "Baritone Sax",  "Oboe",          "English Horn", "Bassoon",      "Clarinet",
    "Piccolo",        "Flute",         "Recorder",      "Pan Flute",    "Blown Bottle", "Shakuhachi",
    "Whistle",        "Ocarina",       "Square Wav.",   "Saw Wav.",     "Syn.Calliope", "Chiffer Lead",
    "Charang",        "Solo Vox",      "5th Saw Wav.",  "Bass&Lead",    "Fantasia",     "Warm Pad",
    "Polysynth",      "Space Voice",   "Bowed Glass",   "Metal Pad",    "Halo Pad",     "Sweep Pad",
    "Ice Rain",       "Soundtrack",    "Crystal",       "Atmosphere",   "Brightness",   "Goblins",
    "Echo Drops",     "Star Theme",    "Sitar",         "Banjo",        "Shamisen",     "Koto",
    "Kalimba",        "Bagpipe",       "Fiddle",        "Shanai",       "Tinkle Bell",  "Agogo",
    "Steel Drums",    "Woodblock",     "Taiko",         "Melodic Tom",  "Syn.Drum",     "Reverse Cym.",
    "Gt.Fret Noise",  "Breath Noise",  "Seashore",      "Bird Tweet",   "Telephone",    "Helicopter",
    "Applause",       "Gunshot"};

// The instrument list entry of a program: its number in three digits, a point and its name
// ("001.Piano1").
std::string instrumentListEntry(int program);

} // namespace pokopen
