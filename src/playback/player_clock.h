#pragma once

#include <chrono>
#include <cstdint>

namespace pokopen {

// The time source of the scheduled player, in microseconds of a steady clock; tests give a
// clock they move by hand.
class PlayerClock {
public:
    virtual ~PlayerClock() = default;
    virtual std::int64_t nowUs() const = 0;
};

class SteadyPlayerClock final : public PlayerClock {
public:
    std::int64_t nowUs() const override {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace pokopen
