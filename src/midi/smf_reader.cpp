#include "midi/smf_reader.h"

#include <QFile>

#include <algorithm>
#include <limits>
#include <queue>

namespace pokopen {

namespace {

constexpr std::size_t MAX_TRACKS = 65535;

// A bounds-checked view of the bytes of one chunk.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool atEnd() const { return at_ >= size_; }
    std::size_t remaining() const { return size_ - at_; }
    bool byte(std::uint8_t& b) {
        if (at_ >= size_)
            return false;
        b = data_[at_++];
        return true;
    }
    bool peek(std::uint8_t& b) const {
        if (at_ >= size_)
            return false;
        b = data_[at_];
        return true;
    }
    bool varLen(std::uint32_t& v) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint8_t b = 0;
            if (!byte(b))
                return false;
            v = (v << 7) | (b & 0x7Fu);
            if ((b & 0x80) == 0)
                return true;
        }
        return false; // more than four bytes
    }
    bool skip(std::uint32_t n) {
        if (n > remaining())
            return false;
        at_ += n;
        return true;
    }
    const std::uint8_t* here() const { return data_ + at_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

int dataBytesOf(std::uint8_t status) {
    const int high = status & 0xF0;
    return (high == 0xC0 || high == 0xD0) ? 1 : 2;
}

struct TempoMark {
    std::uint32_t tick;
    std::uint32_t track;
    std::uint32_t order;
    std::uint32_t usPerQuarter;
};

SmfResult fail(std::string message) {
    return {false, std::move(message)};
}

} // namespace

std::int64_t SmfSequence::tickToUs(std::uint32_t tick) const {
    auto it = std::upper_bound(tempo.begin(), tempo.end(), tick,
                               [](std::uint32_t t, const SmfTempo& m) { return t < m.tick; });
    const SmfTempo& m = *(it - 1);
    // Rounded up, so that converting back gives the same tick.
    const std::int64_t scaled = static_cast<std::int64_t>(tick - m.tick) * m.usPerQuarter;
    return m.timeUs + (scaled + division - 1) / division;
}

std::uint32_t SmfSequence::usToTick(std::int64_t us) const {
    if (us <= 0)
        return 0;
    auto it = std::upper_bound(tempo.begin(), tempo.end(), us,
                               [](std::int64_t t, const SmfTempo& m) { return t < m.timeUs; });
    const SmfTempo& m = *(it - 1);
    const std::int64_t ticks = (us - m.timeUs) * division / m.usPerQuarter;
    return static_cast<std::uint32_t>(
        std::min<std::int64_t>(m.tick + ticks, std::numeric_limits<std::uint32_t>::max()));
}

std::size_t SmfSequence::firstEventAt(std::int64_t us) const {
    auto it = std::lower_bound(events.begin(), events.end(), us,
                               [](const SmfEvent& e, std::int64_t t) { return e.timeUs < t; });
    return static_cast<std::size_t>(it - events.begin());
}

SmfResult parseSmf(const std::vector<std::uint8_t>& bytes, SmfSequence& out) {
    out = SmfSequence{};
    if (bytes.size() < 14 || std::string(bytes.begin(), bytes.begin() + 4) != "MThd")
        return fail("MIDIファイルではありません。");
    const std::uint32_t headerLength = be32(&bytes[4]);
    if (headerLength < 6 || headerLength > bytes.size() - 8)
        return fail("MIDIファイルのヘッダが壊れています。");
    out.format = (bytes[8] << 8) | bytes[9];
    const std::size_t trackCount = static_cast<std::size_t>((bytes[10] << 8) | bytes[11]);
    const int division = (bytes[12] << 8) | bytes[13];
    std::uint32_t fixedUsPerQuarter = 0;
    if (division & 0x8000) {
        // SMPTE time: frames per second and ticks per frame; read as quarter notes of one second.
        const int fps = 256 - (division >> 8);
        const int perFrame = division & 0xFF;
        if (fps <= 0 || perFrame == 0)
            return fail("MIDIファイルの時間単位が正しくありません。");
        out.division = fps * perFrame;
        fixedUsPerQuarter = 1000000;
    } else {
        if (division == 0)
            return fail("MIDIファイルの時間単位が正しくありません。");
        out.division = division;
    }
    if (trackCount > MAX_TRACKS)
        return fail("MIDIファイルのトラック数が多すぎます。");

    std::vector<std::vector<SmfEvent>> tracks; // each in file order, so in tick order
    std::vector<TempoMark> tempos;
    std::size_t at = 8 + headerLength;
    std::uint32_t order = 0;
    for (std::uint32_t track = 0; track < trackCount; ++track) {
        if (bytes.size() - at < 8)
            return fail("MIDIファイルのトラックが足りません。");
        const std::uint32_t length = be32(&bytes[at + 4]);
        if (length > bytes.size() - at - 8)
            return fail("MIDIファイルのトラックが途中で切れています。");
        const bool isTrack = std::string(bytes.begin() + static_cast<long>(at),
                                         bytes.begin() + static_cast<long>(at) + 4) == "MTrk";
        Reader r(&bytes[at + 8], length);
        at += 8 + length;
        if (!isTrack) { // unknown chunks are skipped, as the format asks
            --track;
            continue;
        }
        tracks.emplace_back();
        std::uint64_t tick = 0;
        std::uint8_t running = 0;
        while (!r.atEnd()) {
            std::uint32_t delta = 0;
            if (!r.varLen(delta))
                return fail("MIDIファイルのデルタタイムが壊れています。");
            tick += delta;
            if (tick > std::numeric_limits<std::uint32_t>::max() / 2)
                return fail("MIDIファイルが長すぎます。");
            const auto t32 = static_cast<std::uint32_t>(tick);
            std::uint8_t first = 0;
            if (!r.peek(first))
                return fail("MIDIファイルのイベントが途中で切れています。");
            if (first == 0xFF) {
                std::uint8_t type = 0;
                std::uint32_t len = 0;
                r.byte(first);
                if (!r.byte(type) || !r.varLen(len) || len > r.remaining())
                    return fail("MIDIファイルのメタイベントが壊れています。");
                const std::uint8_t* d = r.here();
                if (type == 0x51 && len == 3 && fixedUsPerQuarter == 0) {
                    const std::uint32_t us = (std::uint32_t{d[0]} << 16) | (std::uint32_t{d[1]} << 8) | d[2];
                    if (us > 0)
                        tempos.push_back({t32, track, order++, us});
                }
                r.skip(len);
                out.lengthTicks = std::max(out.lengthTicks, t32);
                if (type == 0x2F)
                    break;
                continue;
            }
            if (first == 0xF0 || first == 0xF7) {
                std::uint32_t len = 0;
                r.byte(first);
                if (!r.varLen(len) || len > r.remaining())
                    return fail("MIDIファイルのシステムエクスクルーシブが壊れています。");
                std::vector<std::uint8_t> message;
                if (first == 0xF0)
                    message.push_back(0xF0);
                message.insert(message.end(), r.here(), r.here() + len);
                r.skip(len);
                running = 0; // system messages cancel running status
                SmfEvent e;
                e.tick = t32;
                e.status = 0xF0;
                e.sysex = static_cast<std::int32_t>(out.sysex.size());
                out.sysex.push_back(std::move(message));
                tracks.back().push_back(e);
                out.lengthTicks = std::max(out.lengthTicks, t32);
                continue;
            }
            std::uint8_t status = running;
            if (first & 0x80) {
                r.byte(status);
                if (status >= 0xF0)
                    return fail("MIDIファイルに不明なイベントがあります。");
                running = status;
            } else if (running == 0) {
                return fail("MIDIファイルのランニングステータスが正しくありません。");
            }
            SmfEvent e;
            e.tick = t32;
            e.status = status;
            if (!r.byte(e.data1) || (dataBytesOf(status) == 2 && !r.byte(e.data2)))
                return fail("MIDIファイルのイベントが途中で切れています。");
            if ((e.data1 | e.data2) & 0x80)
                return fail("MIDIファイルのデータバイトが正しくありません。");
            tracks.back().push_back(e);
            out.lengthTicks = std::max(out.lengthTicks, t32);
        }
    }

    std::sort(tempos.begin(), tempos.end(), [](const TempoMark& a, const TempoMark& b) {
        if (a.tick != b.tick)
            return a.tick < b.tick;
        if (a.track != b.track)
            return a.track < b.track;
        return a.order < b.order;
    });
    out.tempo.push_back({0, 0, fixedUsPerQuarter ? fixedUsPerQuarter : 500000});
    for (const TempoMark& m : tempos) {
        const std::int64_t us = out.tickToUs(m.tick);
        if (m.tick == out.tempo.back().tick)
            out.tempo.back().usPerQuarter = m.usPerQuarter; // the last one at a tick wins
        else
            out.tempo.push_back({m.tick, us, m.usPerQuarter});
    }
    // Merge the tracks: by tick, then by track, then in file order. Each track is in tick order
    // already, so a merge over the track heads is linear in the events (times the log of the
    // track count), where sorting all would not be.
    std::size_t total = 0;
    for (const auto& t : tracks)
        total += t.size();
    out.events.reserve(total);
    using Head = std::pair<std::uint32_t, std::size_t>; // tick, track
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads;
    std::vector<std::size_t> next(tracks.size(), 0);
    for (std::size_t t = 0; t < tracks.size(); ++t)
        if (!tracks[t].empty())
            heads.push({tracks[t][0].tick, t});
    while (!heads.empty()) {
        const std::size_t t = heads.top().second;
        heads.pop();
        SmfEvent e = tracks[t][next[t]++];
        e.timeUs = out.tickToUs(e.tick);
        out.events.push_back(e);
        if (next[t] < tracks[t].size())
            heads.push({tracks[t][next[t]].tick, t});
    }
    out.lengthUs = out.tickToUs(out.lengthTicks);
    return {true, {}};
}

SmfResult readSmfFile(const std::string& path, SmfSequence& out) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return fail("ファイルを開けません: " + path);
    const QByteArray data = file.readAll();
    return parseSmf(std::vector<std::uint8_t>(data.begin(), data.end()), out);
}

} // namespace pokopen
