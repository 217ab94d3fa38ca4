#include "playback/midi_out_settings.h"

#include "playback/fluid_engine.h"
#include "playback/fluid_file_player.h"
#include "playback/fluid_midi_out.h"
#include "playback/player_clock.h"
#include "playback/rtmidi_port_out.h"
#include "playback/scheduled_player.h"

#include <QSettings>

namespace pokopen {

namespace {

// The player of the "none" choice: nothing can be played.
class NullFilePlayer final : public MidiFilePlayer {
public:
    bool open(const std::string&) override { return false; }
    void close() override {}
    bool isOpen() const override { return false; }
    std::string errorText() const override { return NullMidiOut().errorText(); }
    std::int64_t lengthMs() const override { return 0; }
    std::int64_t positionMs() const override { return 0; }
    State state() const override { return State::Closed; }
    Capabilities capabilities() const override { return {}; }
    void seek(std::int64_t) override {}
    void play() override {}
    void pause() override {}
    void stop() override {}
    void setPractice(const PracticeSettings&) override {} // nothing ever plays
    void setEndCallback(std::function<void()>) override {}
};

const char* kindName(MidiOutKind kind) {
    switch (kind) {
    case MidiOutKind::Port:
        return "port";
    case MidiOutKind::None:
        return "none";
    case MidiOutKind::Synth:
        break;
    }
    return "synth";
}

QString key(const char* name) {
    return QString::fromLatin1(MIDIOUT_SECTION) + QLatin1Char('/') + QString::fromLatin1(name);
}

} // namespace

std::string MidiOutSettings::soundFontOrDefault() const {
    return soundFont.empty() ? std::string(DEFAULT_SOUNDFONT) : soundFont;
}

MidiOutSettings readMidiOutSettings(QSettings& ini) {
    MidiOutSettings s;
    const QString device = ini.value(key("Device")).toString();
    if (device == QLatin1String("port"))
        s.kind = MidiOutKind::Port;
    else if (device == QLatin1String("none"))
        s.kind = MidiOutKind::None;
    s.portName = ini.value(key("Port")).toString().toStdString();
    s.soundFont = ini.value(key("SoundFont")).toString().toStdString();
    // A port choice without a port cannot work; fall back to the synthesizer.
    if (s.kind == MidiOutKind::Port && s.portName.empty())
        s.kind = MidiOutKind::Synth;
    return s;
}

void writeMidiOutSettings(QSettings& ini, const MidiOutSettings& settings) {
    ini.setValue(key("Device"), QString::fromLatin1(kindName(settings.kind)));
    ini.setValue(key("Port"), QString::fromStdString(settings.portName));
    ini.setValue(key("SoundFont"), QString::fromStdString(settings.soundFont));
}

std::unique_ptr<MidiOut> makeMidiOut(const MidiOutSettings& settings) {
    switch (settings.kind) {
    case MidiOutKind::Synth:
        return std::make_unique<FluidMidiOut>(settings.soundFontOrDefault());
    case MidiOutKind::Port:
        return std::make_unique<RtMidiPortOut>(settings.portName);
    case MidiOutKind::None:
        break;
    }
    return std::make_unique<NullMidiOut>();
}

std::unique_ptr<MidiFilePlayer> makeMidiFilePlayer(const MidiOutSettings& settings) {
    static const SteadyPlayerClock clock;
    switch (settings.kind) {
    case MidiOutKind::Synth:
        return std::make_unique<FluidFilePlayer>(settings.soundFontOrDefault());
    case MidiOutKind::Port:
        return std::make_unique<ScheduledPlayer>(std::make_unique<RtMidiPortOut>(settings.portName), clock);
    case MidiOutKind::None:
        break;
    }
    return std::make_unique<NullFilePlayer>();
}

} // namespace pokopen
