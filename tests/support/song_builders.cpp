#include "support/song_builders.h"

#include "model/new_song.h"

namespace pokopen::testing {

void addNote(Song& song, int part, std::int32_t start, std::int32_t length, std::uint8_t value,
             std::int8_t extra) {
    EventRow& row = song.row(part);
    std::int32_t i = 0;
    while (i < row.count() && row.pos[static_cast<std::size_t>(i)] <= start)
        ++i;
    row.insertAt(i, {start, KIND_NOTE_ON, value, extra});
    const std::int32_t end = start + length;
    i = 0;
    while (i < row.count() && row.pos[static_cast<std::size_t>(i)] < end)
        ++i;
    row.insertAt(i, {end, KIND_NOTE_OFF, value, 0});
}

void setSignature(Song& song, std::uint8_t kind, std::int32_t measure, std::uint8_t value) {
    EventRow& sig = song.row(SIGNATURE_ROW);
    for (std::int32_t i = 0; i < sig.count(); ++i) {
        if (sig.pos[static_cast<std::size_t>(i)] == measure &&
            sig.kind[static_cast<std::size_t>(i)] == kind) {
            sig.value[static_cast<std::size_t>(i)] = value;
            return;
        }
    }
    std::int32_t i = 0;
    while (i < sig.count() && sig.pos[static_cast<std::size_t>(i)] <= measure)
        ++i;
    sig.insertAt(i, {measure, kind, value, 0});
}

Song makeStressSong() {
    Song song = makeNewSong();
    for (int part = 0; part < PART_ROWS; ++part) {
        const auto valueOf = [part](std::int32_t m) {
            return static_cast<std::uint8_t>(part == PERCUSSION_PART ? m % 47 : 14 + m % 20);
        };
        std::vector<Event> events;
        events.reserve(1000 * (2 + 64) + 1);
        for (std::int32_t m = 0; m < 1000; ++m) {
            for (std::int32_t n = 0; n < 32; ++n) {
                const std::int32_t t = m * 96 + 3 * n;
                // At one tick: the previous note's off, then the curve points, then the next note's on.
                if (t > 0)
                    events.push_back({t, KIND_NOTE_OFF, valueOf(n == 0 ? m - 1 : m), 0});
                if (n == 0) {
                    events.push_back({t, KIND_DYNAMICS, static_cast<std::uint8_t>(40 + m % 80), 0});
                    events.push_back({t, KIND_PAN, static_cast<std::uint8_t>(m % 128), 0});
                }
                const bool sharp = part != PERCUSSION_PART && n % 3 == 0;
                events.push_back({t, KIND_NOTE_ON, valueOf(m), static_cast<std::int8_t>(sharp ? 1 : 0)});
            }
        }
        events.push_back({96000, KIND_NOTE_OFF, valueOf(999), 0});
        song.row(part).assign(events);
    }
    return song;
}

} // namespace pokopen::testing

namespace pokopen {

Song& writableSong(SongDocument& doc) {
    return doc.song_;
}

} // namespace pokopen
