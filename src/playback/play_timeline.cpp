#include "playback/play_timeline.h"

#include "midifile/midi_file.h"

#include <algorithm>

namespace pokopen {

namespace {

std::uint32_t fileTickOf(std::int32_t t) {
    return LEAD_IN + FILE_TICKS_PER_TICK * static_cast<std::uint32_t>(std::max(t, 0));
}

int dataByte(int v) {
    return std::clamp(v, 0, 127);
}

// Index just past the last event at or before tick t.
std::int32_t endOfTick(const EventRow& row, std::int32_t t) {
    return static_cast<std::int32_t>(std::upper_bound(row.pos.begin(), row.pos.end(), t) - row.pos.begin());
}

} // namespace

PlayTimeline::PlayTimeline(const Song& song) : measures_(song.store) {
    // The same map the reader builds from the written file: the lead-in's tempo at its start,
    // then each tempo point at its file tick, the last one of a tick winning.
    tempo_.division = static_cast<int>(FILE_DIVISION);
    tempo_.tempo.push_back({0, 0, LEAD_IN_US_PER_QUARTER});
    const EventRow& row = song.row(TEMPO_ROW);
    for (std::int32_t i = 0; i < row.count(); ++i) {
        const Event e = row.at(i);
        if (e.kind != KIND_TEMPO)
            continue;
        const std::uint32_t tick = fileTickOf(e.pos);
        const std::uint32_t usPerQuarter = microsecondsPerQuarter(e.value);
        if (tick == tempo_.tempo.back().tick)
            tempo_.tempo.back().usPerQuarter = usPerQuarter;
        else
            tempo_.tempo.push_back({tick, tempo_.tickToUs(tick), usPerQuarter});
    }
}

std::int64_t PlayTimeline::tickToUs(std::int32_t t) const {
    return tempo_.tickToUs(fileTickOf(t));
}

std::int32_t PlayTimeline::usToTick(std::int64_t us) const {
    const std::uint32_t fileTick = tempo_.usToTick(us);
    if (fileTick < LEAD_IN)
        return 0;
    return static_cast<std::int32_t>((fileTick - LEAD_IN) / FILE_TICKS_PER_TICK);
}

std::int64_t PlayTimeline::measureStartMs(std::int32_t m) const {
    return tickToUs(measures_.measureToTick(std::clamp(m, 0, MAX_MEASURES))) / 1000;
}

PlayPoint PlayTimeline::pointAtMs(std::int64_t ms) const {
    const std::uint32_t fileTick = tempo_.usToTick(std::max<std::int64_t>(ms, 0) * 1000 + 999);
    if (fileTick < LEAD_IN)
        return {};
    const auto t = static_cast<std::int32_t>((fileTick - LEAD_IN) / FILE_TICKS_PER_TICK);
    const auto sub = static_cast<std::int32_t>((fileTick - LEAD_IN) % FILE_TICKS_PER_TICK);
    return {std::min(measures_.tickToMeasure(t), MAX_MEASURES - 1), t, sub};
}

PlayState playStateAt(const Song& song, std::int32_t m, bool fmMode) {
    const std::int32_t start = measureToTick(song.store, std::clamp(m, 0, MAX_MEASURES));
    PlayState state;
    for (int c = 0; c < PART_ROWS; ++c) {
        const auto part = static_cast<std::size_t>(c);
        // What the part's track sets before the song starts.
        PartPlayState& s = state.parts[part];
        s.program = dataByte(song.partInstrument[part]);
        s.volume = dataByte(song.partVolume[part]);
        s.pan = 64;
        s.expression = 100;
        const EventRow& row = song.row(c);
        bool dynamicsFound = false;
        bool panFound = false;
        for (std::int32_t i = endOfTick(row, start) - 1; i >= 0 && !(dynamicsFound && panFound); --i) {
            const auto k = static_cast<std::size_t>(i);
            if (row.kind[k] == KIND_DYNAMICS && !dynamicsFound) {
                dynamicsFound = true;
                (fmMode ? s.volume : s.expression) = dataByte(row.value[k]);
            } else if (row.kind[k] == KIND_PAN && !panFound) {
                panFound = true;
                s.pan = dataByte(row.value[k]);
            }
        }
    }
    state.usPerQuarter = LEAD_IN_US_PER_QUARTER;
    const EventRow& tempo = song.row(TEMPO_ROW);
    for (std::int32_t i = endOfTick(tempo, start) - 1; i >= 0; --i) {
        if (tempo.kind[static_cast<std::size_t>(i)] == KIND_TEMPO) {
            state.usPerQuarter = microsecondsPerQuarter(tempo.value[static_cast<std::size_t>(i)]);
            break;
        }
    }
    return state;
}

} // namespace pokopen
