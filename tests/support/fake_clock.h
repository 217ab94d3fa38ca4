#pragma once

#include "playback/player_clock.h"

#include <cstdint>

namespace pokopen::testing {

// A player clock that stands still until the test moves it.
class FakeClock final : public PlayerClock {
public:
    explicit FakeClock(std::int64_t startUs = 1'000'000) : now(startUs) {}
    std::int64_t nowUs() const override { return now; }
    void advanceMs(std::int64_t ms) { now += ms * 1000; }
    std::int64_t now;
};

} // namespace pokopen::testing
