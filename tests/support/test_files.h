#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace pokopen::testing {

using Bytes = std::vector<std::uint8_t>;

// A Standard MIDI File of the given tracks (already framed events, end of track included where
// wanted) with `division` ticks per quarter note.
inline Bytes smf(int format, int division, const std::vector<Bytes>& tracks) {
    Bytes out{'M',
              'T',
              'h',
              'd',
              0,
              0,
              0,
              6,
              0,
              static_cast<std::uint8_t>(format),
              0,
              static_cast<std::uint8_t>(tracks.size()),
              static_cast<std::uint8_t>(division >> 8),
              static_cast<std::uint8_t>(division & 0xFF)};
    for (const Bytes& t : tracks) {
        const auto n = static_cast<std::uint32_t>(t.size());
        out.insert(out.end(), {'M', 'T', 'r', 'k', static_cast<std::uint8_t>(n >> 24),
                               static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
                               static_cast<std::uint8_t>(n)});
        out.insert(out.end(), t.begin(), t.end());
    }
    return out;
}

// The next scripted answer, or `otherwise` when the script has run out.
template <typename T> T takeFront(std::deque<T>& q, T otherwise) {
    if (q.empty())
        return otherwise;
    T v = q.front();
    q.pop_front();
    return v;
}

} // namespace pokopen::testing
