#include "midifile/midi_file.h"

#include "model/instruments.h"
#include "model/pitch.h"
#include "model/song_file.h"
#include "model/timeline.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace pokopen {

namespace {

std::uint8_t dataByte(int v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0, 127));
}

class TrackWriter {
public:
    explicit TrackWriter(std::vector<std::uint8_t>& out) : out_(out) {
        append("MTrk");
        lengthAt_ = out_.size();
        out_.insert(out_.end(), 4, 0);
    }
    ~TrackWriter() {
        const auto length = static_cast<std::uint32_t>(out_.size() - lengthAt_ - 4);
        for (int i = 0; i < 4; ++i)
            out_[lengthAt_ + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    }
    TrackWriter(const TrackWriter&) = delete;
    TrackWriter& operator=(const TrackWriter&) = delete;

    void delta(std::uint32_t d) {
        if (d >= (1u << 21))
            out_.push_back(static_cast<std::uint8_t>((d >> 21) | 0x80));
        if (d >= (1u << 14))
            out_.push_back(static_cast<std::uint8_t>(((d >> 14) & 0x7F) | 0x80));
        if (d >= (1u << 7))
            out_.push_back(static_cast<std::uint8_t>(((d >> 7) & 0x7F) | 0x80));
        out_.push_back(static_cast<std::uint8_t>(d & 0x7F));
    }
    void bytes(std::initializer_list<std::uint8_t> b) { out_.insert(out_.end(), b); }
    void append(std::string_view s) { out_.insert(out_.end(), s.begin(), s.end()); }
    // A meta event with a text, its length in one byte.
    void text(std::uint8_t type, std::string_view s) {
        const std::string cut = cutShiftJis(std::string(s), 255);
        bytes({0xFF, type, static_cast<std::uint8_t>(cut.size())});
        append(cut);
    }
    // The delta of a song event at store tick pos since the track's previous song event.
    void songDelta(std::int32_t pos) {
        delta(static_cast<std::uint32_t>(std::max(pos - previous_, 0)) * FILE_TICKS_PER_TICK);
        previous_ = pos;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::size_t lengthAt_;
    std::int32_t previous_ = 0;
};

struct ConductorEvent {
    std::int32_t tick;
    std::uint8_t kind;
    std::uint8_t value;
};

// Tempo points in their order, with keys and meters merged in after every tempo point of the
// same tick, in the order of the signature row.
std::vector<ConductorEvent> conductorList(const Song& song) {
    const EventRow& tempo = song.row(TEMPO_ROW);
    const EventRow& sig = song.row(SIGNATURE_ROW);
    const MeasureMap measures(song.store);
    std::vector<ConductorEvent> tempi, signatures, merged;
    tempi.reserve(static_cast<std::size_t>(tempo.count()));
    for (std::int32_t i = 0; i < tempo.count(); ++i)
        tempi.push_back({tempo.at(i).pos, tempo.at(i).kind, tempo.at(i).value});
    for (std::int32_t i = 0; i < sig.count(); ++i) {
        const Event e = sig.at(i);
        signatures.push_back({measures.measureToTick(std::clamp(e.pos, 0, MAX_MEASURES)), e.kind, e.value});
    }
    merged.reserve(tempi.size() + signatures.size());
    std::merge(tempi.begin(), tempi.end(), signatures.begin(), signatures.end(), std::back_inserter(merged),
               [](const ConductorEvent& a, const ConductorEvent& b) { return a.tick < b.tick; });
    return merged;
}

void writeHeader(std::vector<std::uint8_t>& out) {
    const std::string_view header("MThd\0\0\0\x06\0\x01\0\x12\x01\xE0", 14);
    out.insert(out.end(), header.begin(), header.end());
}

void writeConductorTrack(std::vector<std::uint8_t>& out, const Song& song) {
    TrackWriter t(out);
    t.delta(0);
    t.text(0x03, song.songTitle);
    t.delta(0);
    t.text(0x02, song.songCopyright);
    t.delta(0);
    t.text(0x03, "Conductor track");
    t.bytes({0x00, 0xFF, 0x59, 0x02, 0x00, 0x00});
    t.bytes({0x00, 0xFF, 0x58, 0x04, 0x01, 0x02, 0x18, 0x08});
    t.bytes({0x00, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90});
    t.delta(LEAD_IN);
    t.text(0x01, "Start");
    for (const ConductorEvent& e : conductorList(song)) {
        t.songDelta(e.tick);
        if (e.kind == KIND_TEMPO) {
            const std::uint32_t us = microsecondsPerQuarter(e.value);
            t.bytes({0xFF, 0x51, 0x03, static_cast<std::uint8_t>(us >> 16),
                     static_cast<std::uint8_t>(us >> 8), static_cast<std::uint8_t>(us)});
        } else if (e.kind == KIND_KEY) {
            const int k = std::min<int>(e.value, KEY_COUNT - 1);
            t.bytes({0xFF, 0x59, 0x02, static_cast<std::uint8_t>(static_cast<std::int8_t>(k / 2 - 7)),
                     static_cast<std::uint8_t>(k % 2)});
        } else {
            t.bytes({0xFF, 0x58, 0x04, static_cast<std::uint8_t>(e.value >> 4),
                     static_cast<std::uint8_t>(e.value & 0x0F), 0x18, 0x08});
        }
    }
    t.bytes({0x00, 0xFF, 0x2F, 0x00});
}

void writeSystemSetupTrack(std::vector<std::uint8_t>& out) {
    TrackWriter t(out);
    t.delta(0);
    t.text(0x03, "System Setup");
    t.bytes({0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    t.bytes({0x83, 0x60, 0xFF, 0x2F, 0x00});
}

void writePartTrack(std::vector<std::uint8_t>& out, const Song& song, int c, bool fmMode, const KeyMap& keys,
                    const MeasureMap& measures) {
    const auto part = static_cast<std::size_t>(c);
    const auto channel = static_cast<std::uint8_t>(c);
    const int program = std::clamp(song.partInstrument[part], 0, 127);
    TrackWriter t(out);
    t.delta(0);
    t.text(0x03, "CH #" + std::to_string(c + 1));
    t.delta(0);
    t.text(0x04, std::string_view(instrumentListEntry(program)).substr(4, 15));
    t.delta(240);
    t.bytes({static_cast<std::uint8_t>(0xB0 | channel), 0x07, dataByte(song.partVolume[part])});
    t.delta(60);
    t.bytes({static_cast<std::uint8_t>(0xB0 | channel), 0x0A, 0x40});
    t.delta(60);
    t.bytes({static_cast<std::uint8_t>(0xB0 | channel), 0x0B, 0x64});
    t.delta(60);
    t.bytes({static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(program)});
    t.delta(60);
    t.text(0x01, "Start");

    const std::uint8_t noteStatus = static_cast<std::uint8_t>(0x90 | channel);
    const std::uint8_t controlStatus = static_cast<std::uint8_t>(0xB0 | channel);
    const std::uint8_t dynamicsController = fmMode ? 0x07 : 0x0B;
    std::array<int, 256> alteration{}; // carries each note's alteration from its note-on to its note-off
    const EventRow& row = song.row(c);
    for (std::int32_t i = 0; i < row.count(); ++i) {
        const Event e = row.at(i);
        switch (e.kind) {
        case KIND_NOTE_ON:
        case KIND_NOTE_OFF: {
            int key;
            if (c == PERCUSSION_PART) {
                key = percussionKey(e.value);
            } else if (e.kind == KIND_NOTE_ON) {
                const std::uint8_t k = keys.keyOfMeasure(measures.tickToMeasure(e.pos));
                alteration[e.value] = keyAlteration(k, e.value) + e.extra;
                key = naturalKeyOfValue(e.value) + alteration[e.value];
            } else {
                key = naturalKeyOfValue(e.value) + alteration[e.value];
            }
            t.songDelta(e.pos);
            t.bytes(
                {noteStatus, dataByte(key), static_cast<std::uint8_t>(e.kind == KIND_NOTE_ON ? 0x7F : 0x00)});
            break;
        }
        case KIND_DYNAMICS:
            t.songDelta(e.pos);
            t.bytes({controlStatus, dynamicsController, dataByte(e.value)});
            break;
        case KIND_PAN:
            t.songDelta(e.pos);
            t.bytes({controlStatus, 0x0A, dataByte(e.value)});
            break;
        default:
            break; // no other kind belongs in a part row
        }
    }
    t.bytes({0x00, 0xFF, 0x2F, 0x00});
}

} // namespace

std::uint32_t microsecondsPerQuarter(int bpm) {
    return 60000000u / static_cast<std::uint32_t>(std::max(bpm, 4));
}

std::string cutShiftJis(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t width = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 2 : 1;
        if (i + width > maxBytes)
            break;
        i += width;
    }
    return text.substr(0, i);
}

std::vector<std::uint8_t> buildMidiFile(const Song& song, bool fmMode) {
    std::vector<std::uint8_t> out;
    std::size_t events = 0;
    for (const EventRow& row : song.store.rowList())
        events += static_cast<std::size_t>(row.count());
    out.reserve(2048 + events * 4);
    const KeyMap keys(song.store);
    const MeasureMap measures(song.store);
    writeHeader(out);
    writeConductorTrack(out, song);
    writeSystemSetupTrack(out);
    for (int c = 0; c < PART_ROWS; ++c)
        writePartTrack(out, song, c, fmMode, keys, measures);
    return out;
}

bool writeMidiFile(const std::string& path, const Song& song, bool fmMode) {
    const std::vector<std::uint8_t> bytes = buildMidiFile(song, fmMode);
    return writeFileAtomically(path,
                               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace pokopen
