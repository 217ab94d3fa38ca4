#include "playback/rtmidi_port_out.h"

#include <rtmidi/RtMidi.h>

#include <iostream>

namespace pokopen {

void RtMidiOutDeleter::operator()(RtMidiOut* p) const {
    if (p->isPortOpen())
        p->closePort();
    delete p;
}

namespace {

void keepRtMidiError(RtMidiError::Type type, const std::string& text, void* data) {
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING)
        return;
    if (data != nullptr)
        *static_cast<std::string*>(data) = text;
}

// The MIDI systems a port can be on, with the name the settings show for each.
struct MidiSystem {
    RtMidi::Api api;
    const char* name;
};
constexpr MidiSystem MIDI_SYSTEMS[] = {{RtMidi::LINUX_ALSA, "ALSA"}, {RtMidi::UNIX_JACK, "JACK"}};

// A client of one MIDI system, or nullptr (with `error` set) when it cannot be opened.
RtMidiOutPtr makeClient(RtMidi::Api api, std::string& error) {
    try {
        RtMidiOutPtr client(new RtMidiOut(api, "Pokopen Sequencer"));
        client->setErrorCallback(keepRtMidiError, &error);
        return client;
    } catch (const RtMidiError& e) {
        error = e.getMessage();
    } catch (const std::exception& e) {
        error = e.what();
    }
    return nullptr;
}

// The systems this build of RtMidi has, in the order above.
std::vector<MidiSystem> compiledSystems() {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    std::vector<MidiSystem> systems;
    for (const MidiSystem& system : MIDI_SYSTEMS)
        for (RtMidi::Api api : apis)
            if (api == system.api)
                systems.push_back(system);
    return systems;
}

// One open client per system that opens, with the shown names of its ports.
struct SystemPorts {
    RtMidiOutPtr client;
    std::vector<std::string> shown;
};

std::vector<SystemPorts> openSystems(std::string& errors) {
    std::vector<SystemPorts> result;
    for (const MidiSystem& system : compiledSystems()) {
        std::string error;
        RtMidiOutPtr client = makeClient(system.api, error);
        if (!client) {
            std::clog << "MIDI: " << system.name << ": " << error << '\n';
            errors += (errors.empty() ? "" : "; ") + std::string(system.name) + ": " + error;
            continue;
        }
        client->setErrorCallback(keepRtMidiError, nullptr); // `error` ends with this turn
        SystemPorts ports;
        const unsigned count = client->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            ports.shown.push_back(shownPortName(system.name, client->getPortName(i)));
        ports.client = std::move(client);
        result.push_back(std::move(ports));
    }
    return result;
}

} // namespace

std::string shownPortName(std::string_view system, std::string_view port) {
    std::string shown(system);
    shown += ": ";
    shown += port;
    return shown;
}

std::optional<std::size_t> findShownPort(const std::vector<std::string>& shown, std::string_view stored) {
    if (stored.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < shown.size(); ++i)
        if (shown[i] == stored)
            return i;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const std::size_t colon = shown[i].find(": ");
        if (colon != std::string::npos && std::string_view(shown[i]).substr(colon + 2) == stored)
            return i;
    }
    return std::nullopt;
}

std::vector<std::string> listMidiOutPorts() {
    std::string errors;
    std::vector<std::string> names;
    for (SystemPorts& system : openSystems(errors))
        for (std::string& name : system.shown)
            if (name.find(": ") + 2 < name.size()) // a port without a name cannot be chosen
                names.push_back(std::move(name));
    return names;
}

RtMidiPortOut::RtMidiPortOut(std::string portName) : portName_(std::move(portName)) {}

RtMidiPortOut::~RtMidiPortOut() = default;

bool RtMidiPortOut::open() {
    if (port_)
        return true;
    error_.clear();
    std::string errors;
    std::vector<SystemPorts> systems = openSystems(errors);
    if (systems.empty()) {
        error_ = "MIDIシステムを使えません。(" + errors + ")";
        return false;
    }
    std::vector<std::string> all;
    for (const SystemPorts& system : systems)
        all.insert(all.end(), system.shown.begin(), system.shown.end());
    const std::optional<std::size_t> found = findShownPort(all, portName_);
    if (!found) {
        error_ = "MIDI出力ポートが見つかりません: " + portName_;
        return false;
    }
    std::size_t index = *found;
    for (SystemPorts& system : systems) {
        if (index >= system.shown.size()) {
            index -= system.shown.size();
            continue;
        }
        std::string openError;
        system.client->setErrorCallback(keepRtMidiError, &openError);
        system.client->openPort(static_cast<unsigned>(index), "Pokopen Output");
        if (!system.client->isPortOpen()) {
            error_ = "MIDI出力ポートを開けません: " + portName_ + " (" + openError + ")";
            return false;
        }
        // The error callback points at a local; point it at ours for the life of the port.
        system.client->setErrorCallback(keepRtMidiError, &error_);
        port_ = std::move(system.client);
        return true;
    }
    return false; // not reached: the index is within the ports listed
}

void RtMidiPortOut::send(const unsigned char* bytes, std::size_t size) {
    if (port_)
        port_->sendMessage(bytes, size);
}

void RtMidiPortOut::shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const unsigned char message[3] = {status, data1, data2};
    const int high = status & 0xF0;
    send(message, (high == 0xC0 || high == 0xD0) ? 2 : 3);
}

void RtMidiPortOut::longMessage(const std::vector<std::uint8_t>& bytes) {
    if (!bytes.empty())
        send(bytes.data(), bytes.size());
}

void RtMidiPortOut::reset() {
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const auto status = static_cast<std::uint8_t>(0xB0 | channel);
        shortMessage(status, 64, 0);  // sustain off, or held notes would keep sounding
        shortMessage(status, 123, 0); // all notes off
        shortMessage(status, 120, 0); // all sound off
    }
}

void RtMidiPortOut::close() {
    port_.reset();
}

} // namespace pokopen
