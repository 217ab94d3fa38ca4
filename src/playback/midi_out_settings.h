#pragma once

#include "playback/midi_file_player.h"
#include "playback/midi_out.h"

#include <memory>
#include <string>

class QSettings;

namespace pokopen {

// Where test notes and test play go: the built-in synthesizer (the default, so that every user
// hears them), an external port chosen by name, or nowhere.
enum class MidiOutKind { Synth, Port, None };

struct MidiOutSettings {
    MidiOutKind kind = MidiOutKind::Synth;
    std::string portName;
    std::string soundFont; // empty: the default SoundFont

    std::string soundFontOrDefault() const;
    friend bool operator==(const MidiOutSettings&, const MidiOutSettings&) = default;
};

// The INI section of the choice, with keys "Device" (synth, port or none), "Port" and "SoundFont".
inline constexpr const char* MIDIOUT_SECTION = "MIDIOUT";

MidiOutSettings readMidiOutSettings(QSettings& ini);
void writeMidiOutSettings(QSettings& ini, const MidiOutSettings& settings);

// The device and the player of a choice. Nothing is opened here.
std::unique_ptr<MidiOut> makeMidiOut(const MidiOutSettings& settings);
std::unique_ptr<MidiFilePlayer> makeMidiFilePlayer(const MidiOutSettings& settings);

} // namespace pokopen
