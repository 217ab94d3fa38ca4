#include "model/timeline.h"

#include "model/pitch.h"

#include <algorithm>

namespace pokopen {

std::int32_t measureToTick(const EventStore& store, std::int32_t m) {
    const EventRow& sig = store[SIGNATURE_ROW];
    std::int32_t start = 0, startMeasure = 0, tpm = TICKS_PER_WHOLE;
    for (std::int32_t i = 0; i < sig.count(); ++i) {
        const Event e = sig.at(i);
        if (e.kind != KIND_METER)
            continue;
        if (e.pos >= m)
            break;
        start += tpm * (e.pos - startMeasure);
        startMeasure = e.pos;
        tpm = ticksPerMeasure(e.value);
    }
    return start + tpm * (m - startMeasure);
}

std::int32_t tickToMeasure(const EventStore& store, std::int32_t t) {
    const EventRow& sig = store[SIGNATURE_ROW];
    std::int32_t start = 0, startMeasure = 0, tpm = TICKS_PER_WHOLE;
    for (std::int32_t i = 0; i < sig.count(); ++i) {
        const Event e = sig.at(i);
        if (e.kind != KIND_METER)
            continue;
        const std::int32_t s = start + tpm * (e.pos - startMeasure);
        if (s >= t)
            break;
        startMeasure = e.pos;
        start = s;
        tpm = ticksPerMeasure(e.value);
    }
    // A zero-length meter cannot reach the store (the readers refuse it).
    return startMeasure + (t - start) / tpm;
}

namespace {
bool signatureAt(const EventStore& store, std::uint8_t kind, std::int32_t m, std::uint8_t& inForce) {
    const EventRow& sig = store[SIGNATURE_ROW];
    bool found = false;
    for (std::int32_t i = 0; i < sig.count(); ++i) {
        const Event e = sig.at(i);
        if (e.kind != kind || e.pos > m)
            continue;
        inForce = e.value;
        if (e.pos == m)
            found = true;
    }
    return found;
}
} // namespace

bool keyAt(const EventStore& store, std::int32_t m, std::uint8_t& keyInForce) {
    return signatureAt(store, KIND_KEY, m, keyInForce);
}

bool meterAt(const EventStore& store, std::int32_t m, std::uint8_t& meterInForce) {
    return signatureAt(store, KIND_METER, m, meterInForce);
}

std::uint8_t keyInForceAt(const EventStore& store, std::int32_t m) {
    std::uint8_t key = 14;
    keyAt(store, m, key);
    return key;
}

std::uint8_t meterInForceAt(const EventStore& store, std::int32_t m) {
    std::uint8_t meter = 0x42;
    meterAt(store, m, meter);
    return meter;
}

WrittenKey writtenKey(int k, int transposition) {
    const auto t = static_cast<std::size_t>(transposition);
    int written = k + 2 * TRANSPOSE_KEY_SHIFT[t];
    int shift = TRANSPOSE_STEPS[t];
    if (written < 0) {
        written += 24;
        shift -= 1;
    } else if (written > 29) {
        written -= 24;
        shift += 1;
    }
    return {written, shift};
}

KeyMap::KeyMap(const EventStore& store) {
    // Same answer as keyAt for every measure: the last key event at or before it in row order.
    std::uint8_t key = KEY_C_MAJOR;
    const EventRow& sig = store[SIGNATURE_ROW];
    std::array<int, MAX_MEASURES + 1> lastIndexAt{};
    lastIndexAt.fill(-1);
    for (std::int32_t i = 0; i < sig.count(); ++i)
        if (sig.kind[static_cast<std::size_t>(i)] == KIND_KEY && sig.pos[static_cast<std::size_t>(i)] >= 0 &&
            sig.pos[static_cast<std::size_t>(i)] <= MAX_MEASURES)
            lastIndexAt[static_cast<std::size_t>(sig.pos[static_cast<std::size_t>(i)])] = i;
    for (std::size_t m = 0; m <= MAX_MEASURES; ++m) {
        if (lastIndexAt[m] >= 0)
            key = sig.value[static_cast<std::size_t>(lastIndexAt[m])];
        keys_[m] = key;
    }
}

std::uint8_t KeyMap::keyOfMeasure(std::int32_t m) const {
    return keys_[static_cast<std::size_t>(std::clamp(m, 0, MAX_MEASURES))];
}

MeasureMap::MeasureMap(const EventStore& store) {
    const EventRow& sig = store[SIGNATURE_ROW];
    std::int32_t tpm = TICKS_PER_WHOLE;
    std::int32_t i = 0;
    std::int32_t tick = 0;
    for (std::int32_t m = 0; m <= MAX_MEASURES; ++m) {
        // Meter events at measures before m take effect before m starts.
        while (i < sig.count() && sig.pos[static_cast<std::size_t>(i)] < m) {
            if (sig.kind[static_cast<std::size_t>(i)] == KIND_METER)
                tpm = ticksPerMeasure(sig.value[static_cast<std::size_t>(i)]);
            ++i;
        }
        if (m > 0)
            tick += tpm;
        starts_[static_cast<std::size_t>(m)] = tick;
    }
}

std::int32_t MeasureMap::tickToMeasure(std::int32_t t) const {
    // The last measure whose start is <= t; ticks past the end count on in the last meter.
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), t);
    const auto m = static_cast<std::int32_t>(it - starts_.begin()) - 1;
    return std::max(m, 0);
}

} // namespace pokopen
