#pragma once

#include "model/event_store.h"

#include <array>
#include <cstdint>

// Moving between measures and ticks, and the key and meter in force, from the signature row.
namespace pokopen {

// Ticks of one measure of meter byte b (numerator << 4 | log2 denominator).
constexpr std::int32_t ticksPerMeasure(std::uint8_t b) {
    return (b / 16) * TICKS_PER_WHOLE / (1 << (b % 16));
}

// Tick at which 0-based measure m (0..1000) starts.
std::int32_t measureToTick(const EventStore& store, std::int32_t m);
// 0-based measure that contains tick t (t >= 0).
std::int32_t tickToMeasure(const EventStore& store, std::int32_t t);
// True when a key event stands exactly at measure m; keyInForce gets the key in force there.
bool keyAt(const EventStore& store, std::int32_t m, std::uint8_t& keyInForce);
// True when a meter event stands exactly at measure m; meterInForce gets the meter in force there.
bool meterAt(const EventStore& store, std::int32_t m, std::uint8_t& meterInForce);
// The key and the meter in force at measure m (C major and 4/4 where the row holds none, which
// only an empty store can).
std::uint8_t keyInForceAt(const EventStore& store, std::int32_t m);
std::uint8_t meterInForceAt(const EventStore& store, std::int32_t m);
// The tick at which the song ends (end of measure 1000).
inline std::int32_t songEndTick(const EventStore& store) {
    return measureToTick(store, MAX_MEASURES);
}

struct WrittenKey {
    int key;   // written key byte 0..29
    int shift; // a written step w stands for the concert step w + shift
    friend bool operator==(const WrittenKey&, const WrittenKey&) = default;
};
// Written key of a transposing instrument for concert key byte k.
WrittenKey writtenKey(int k, int transposition);

// The key in force at every measure 0..999, built with one walk of the signature row
// (for writers that ask once per note).
class KeyMap {
public:
    explicit KeyMap(const EventStore& store);
    std::uint8_t keyOfMeasure(std::int32_t m) const;

private:
    std::array<std::uint8_t, MAX_MEASURES + 1> keys_{};
};

// Measure starts 0..1000 in one walk, for tick-to-measure lookups by binary search.
class MeasureMap {
public:
    explicit MeasureMap(const EventStore& store);
    std::int32_t measureToTick(std::int32_t m) const { return starts_[static_cast<std::size_t>(m)]; }
    std::int32_t tickToMeasure(std::int32_t t) const;

private:
    std::array<std::int32_t, MAX_MEASURES + 1> starts_{};
};

} // namespace pokopen
