#pragma once

#include "playback/midi_out.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace pokopen::testing {

// A MIDI output that remembers what it was told, for tests. Every call is recorded with the
// steady-clock time it arrived at (microseconds), so timing can be measured, and can be read
// back as lines ("open", "C0 05 00", "reset", "close"). Thread-safe: a player's scheduler
// thread may send while the test reads a snapshot.
class RecordingMidiOut final : public MidiOut {
public:
    enum class Call { Open, Short, Long, Reset, Close };
    struct Entry {
        Call call;
        std::vector<std::uint8_t> bytes; // the message of Short and Long
        std::int64_t steadyUs;
        bool whileOpen; // the device was open when the call came (for Open: it opened)
    };

    explicit RecordingMidiOut(bool openSucceeds = true) : refuseOpen(!openSucceeds) {}

    // Set to make the next opens fail.
    std::atomic<bool> refuseOpen;

    bool open() override {
        std::lock_guard lock(mutex_);
        open_ = !refuseOpen;
        entries_.push_back({Call::Open, {}, nowUs(), open_});
        return open_;
    }
    void shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override {
        add(Call::Short, {status, data1, data2});
        std::unique_lock lock(mutex_);
        ++blocked_;
        gateChanged_.notify_all();
        gateChanged_.wait(lock, [this] { return !held_; });
        --blocked_;
    }
    // A slow port: while held, every short message waits inside the device until released.
    void holdSends(bool held) {
        std::lock_guard lock(mutex_);
        held_ = held;
        gateChanged_.notify_all();
    }
    // Waits until a sender is blocked inside the held device (or the timeout passes).
    bool waitForBlockedSender(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return gateChanged_.wait_for(lock, timeout, [this] { return blocked_ > 0; });
    }
    void longMessage(const std::vector<std::uint8_t>& bytes) override { add(Call::Long, bytes); }
    void reset() override { add(Call::Reset, {}); }
    void close() override {
        add(Call::Close, {});
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    bool isOpen() const override {
        std::lock_guard lock(mutex_);
        return open_;
    }
    std::string errorText() const override { return refuseOpen ? "recording: refused" : std::string(); }

    std::vector<Entry> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    // The short messages only, as status/data1/data2 triples.
    std::vector<std::vector<std::uint8_t>> shortMessages() const {
        std::vector<std::vector<std::uint8_t>> out;
        for (const Entry& e : entries())
            if (e.call == Call::Short)
                out.push_back(e.bytes);
        return out;
    }
    // Every call as a line: "open" (or "open failed"), the message's bytes in hex ("C0 05 00"),
    // "reset", "close"; a message, reset or close that came while closed says so.
    std::vector<std::string> calls() const {
        std::vector<std::string> lines;
        for (const Entry& e : entries()) {
            std::string line;
            switch (e.call) {
            case Call::Open:
                lines.push_back(e.whileOpen ? "open" : "open failed");
                continue;
            case Call::Reset:
                line = "reset";
                break;
            case Call::Close:
                line = "close";
                break;
            case Call::Short:
            case Call::Long:
                for (const std::uint8_t b : e.bytes) {
                    char hex[4];
                    std::snprintf(hex, sizeof hex, "%02X", b);
                    line += (line.empty() ? "" : " ") + std::string(hex);
                }
                break;
            }
            if (!e.whileOpen)
                line = e.call == Call::Short || e.call == Call::Long ? "sent while closed: " + line
                                                                     : line + " while closed";
            lines.push_back(line);
        }
        return lines;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        entries_.clear();
    }

private:
    static std::int64_t nowUs() {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void add(Call call, std::vector<std::uint8_t> bytes) {
        std::lock_guard lock(mutex_);
        entries_.push_back({call, std::move(bytes), nowUs(), open_});
    }

    mutable std::mutex mutex_;
    bool open_ = false;
    bool held_ = false;
    int blocked_ = 0;
    std::condition_variable gateChanged_;
    std::vector<Entry> entries_;
};

} // namespace pokopen::testing
