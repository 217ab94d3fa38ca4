#include "playback/rtmidi_port_out.h"

#include <rtmidi/RtMidi.h>

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

// A client of the MIDI system, or nullptr (with `error` set) when there is none.
RtMidiOutPtr makeClient(std::string& error) {
    try {
        RtMidiOutPtr client(new RtMidiOut(RtMidi::UNSPECIFIED, "Pokopen Sequencer"));
        client->setErrorCallback(keepRtMidiError, &error);
        return client;
    } catch (const RtMidiError& e) {
        error = e.getMessage();
    } catch (const std::exception& e) {
        error = e.what();
    }
    return nullptr;
}

} // namespace

std::vector<std::string> listMidiOutPorts() {
    std::string error;
    RtMidiOutPtr client = makeClient(error);
    std::vector<std::string> names;
    if (!client)
        return names;
    const unsigned count = client->getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        std::string name = client->getPortName(i);
        if (!name.empty())
            names.push_back(std::move(name));
    }
    return names;
}

RtMidiPortOut::RtMidiPortOut(std::string portName) : portName_(std::move(portName)) {}

RtMidiPortOut::~RtMidiPortOut() = default;

bool RtMidiPortOut::open() {
    if (port_)
        return true;
    error_.clear();
    std::string clientError;
    RtMidiOutPtr client = makeClient(clientError);
    if (!client) {
        error_ = "MIDIシステムを使えません。(" + clientError + ")";
        return false;
    }
    const unsigned count = client->getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (client->getPortName(i) != portName_)
            continue;
        clientError.clear();
        client->openPort(i, "Pokopen Output");
        if (!client->isPortOpen()) {
            error_ = "MIDI出力ポートを開けません: " + portName_ + " (" + clientError + ")";
            return false;
        }
        // The error callback points at a local; point it at ours for the life of the port.
        client->setErrorCallback(keepRtMidiError, &error_);
        port_ = std::move(client);
        return true;
    }
    error_ = "MIDI出力ポートが見つかりません: " + portName_;
    return false;
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
