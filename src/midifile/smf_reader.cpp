#include "midifile/smf_reader.h"

#include "midifile/smf_parse.h"

#include <QFile>

#include <algorithm>
#include <limits>
#include <queue>

namespace pokopen {

namespace {

struct TempoMark {
    std::uint32_t tick;
    std::uint32_t track;
    std::uint32_t order;
    std::uint32_t usPerQuarter;
};

SmfResult fail(std::string message) {
    return {false, std::move(message), 0};
}

SmfResult fail(const SmfError& error) {
    return {false, error.message, error.offset};
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
    const std::uint8_t* data = bytes.data();
    SmfHeader header;
    SmfError error;
    if (!readSmfHeader(data, bytes.size(), header, error))
        return fail(error);
    out.format = header.format;
    const int division = header.division;
    std::uint32_t fixedUsPerQuarter = 0;
    if (division & 0x8000) {
        // SMPTE time: frames per second and ticks per frame; read as quarter notes of one second.
        const int fps = 256 - (division >> 8);
        const int perFrame = division & 0xFF;
        if (fps <= 0 || perFrame == 0)
            return fail({12, "MIDIファイルの時間単位が正しくありません。", "the time unit is invalid"});
        out.division = fps * perFrame;
        fixedUsPerQuarter = 1000000;
    } else {
        if (division == 0)
            return fail({12, "MIDIファイルの時間単位が正しくありません。", "the time unit is invalid"});
        out.division = division;
    }

    std::vector<std::vector<SmfEvent>> tracks; // each in file order, so in tick order
    std::vector<TempoMark> tempos;
    struct MeterMark {
        std::uint32_t tick;
        std::uint32_t track;
        std::uint32_t order;
        int numerator;
        std::uint32_t beatTicks;
    };
    std::vector<MeterMark> meters;
    std::size_t at = header.firstChunk;
    std::uint32_t order = 0;
    for (std::uint32_t track = 0; track < static_cast<std::uint32_t>(header.trackCount);) {
        SmfChunk chunk;
        if (!nextSmfChunk(data, bytes.size(), at, chunk, error)) {
            if (error.failed())
                return fail(error);
            return fail({bytes.size(), "MIDIファイルのトラックが足りません。", "tracks are missing"});
        }
        if (!chunk.isTrack) // unknown chunks are skipped, as the format asks
            continue;
        tracks.emplace_back();
        SmfTrackReader reader(data, chunk);
        SmfTrackEvent t;
        while (reader.next(t)) {
            out.lengthTicks = std::max(out.lengthTicks, t.tick);
            if (t.isMeta()) {
                if (t.metaType == 0x51 && t.length == 3 && fixedUsPerQuarter == 0) {
                    const std::uint8_t* d = data + t.payload;
                    const std::uint32_t us = (std::uint32_t{d[0]} << 16) | (std::uint32_t{d[1]} << 8) | d[2];
                    if (us > 0)
                        tempos.push_back({t.tick, track, order++, us});
                } else if (t.metaType == 0x58 && t.length >= 2) {
                    const std::uint8_t* d = data + t.payload;
                    // Denominators beyond a 256th note are nonsense; such a signature is skipped.
                    if (d[0] > 0 && d[1] <= 8)
                        meters.push_back({t.tick, track, order++, d[0],
                                          static_cast<std::uint32_t>(out.division) * 4 >> d[1]});
                }
                continue;
            }
            SmfEvent e;
            e.tick = t.tick;
            if (t.isSysex()) {
                std::vector<std::uint8_t> message;
                if (t.status == 0xF0)
                    message.push_back(0xF0);
                message.insert(message.end(), data + t.payload, data + t.payload + t.length);
                e.status = 0xF0;
                e.sysex = static_cast<std::int32_t>(out.sysex.size());
                out.sysex.push_back(std::move(message));
            } else {
                e.status = t.status;
                e.data1 = t.data1;
                e.data2 = t.data2;
            }
            tracks.back().push_back(e);
        }
        if (reader.failed())
            return fail(reader.error());
        ++track;
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
    std::stable_sort(meters.begin(), meters.end(),
                     [](const MeterMark& a, const MeterMark& b) { return a.tick < b.tick; });
    for (const MeterMark& m : meters) {
        if (m.beatTicks == 0)
            continue;
        if (!out.meters.empty() && out.meters.back().tick == m.tick)
            out.meters.back() = {m.tick, m.numerator, m.beatTicks}; // the last one at a tick wins
        else
            out.meters.push_back({m.tick, m.numerator, m.beatTicks});
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
    return {true, {}, 0};
}

SmfResult readSmfFile(const std::string& path, SmfSequence& out) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return fail("ファイルを開けません: " + path);
    const QByteArray data = file.readAll();
    return parseSmf(std::vector<std::uint8_t>(data.begin(), data.end()), out);
}

} // namespace pokopen
