#include "playback/practice_sequencer.h"

#include <algorithm>

namespace pokopen {

bool PracticeSettings::sounds(int channel) const {
    const auto bit = static_cast<std::uint16_t>(1u << (channel & 0x0F));
    return !(muted & bit) && (soloed == 0 || (soloed & bit));
}

BeatGrid::BeatGrid(const SmfSequence& sequence) : meters_(sequence.meters) {
    const auto quarter = static_cast<std::uint32_t>(std::max(sequence.division, 1));
    if (meters_.empty() || meters_.front().tick > 0)
        meters_.insert(meters_.begin(), SmfMeter{0, 4, quarter});
}

const SmfMeter& BeatGrid::meterAt(std::uint32_t tick) const {
    auto it = std::upper_bound(meters_.begin(), meters_.end(), tick,
                               [](std::uint32_t t, const SmfMeter& m) { return t < m.tick; });
    return *std::prev(it);
}

BeatGrid::Beat BeatGrid::beatAtOrAfter(std::uint32_t tick) const {
    auto it = std::upper_bound(meters_.begin(), meters_.end(), tick,
                               [](std::uint32_t t, const SmfMeter& m) { return t < m.tick; });
    const SmfMeter& m = *std::prev(it);
    const std::uint32_t k = (tick - m.tick + m.beatTicks - 1) / m.beatTicks;
    const std::uint32_t at = m.tick + k * m.beatTicks;
    if (it != meters_.end() && at >= it->tick)
        return {it->tick, true}; // a new meter starts a measure
    return {at, k % static_cast<std::uint32_t>(m.numerator) == 0};
}

namespace {

bool isNoteOn(const SmfEvent& e) {
    return (e.status & 0xF0) == 0x90 && e.data2 > 0;
}

// Messages whose effect a later message of the same kind on the same channel replaces entirely:
// programs, channel pressure, pitch bend and controllers, but not bank select, the parameter
// numbers and data entry (whose meaning depends on what came before) nor the channel mode
// messages (which reset others). Returns the kind as an index, or -1.
int replaceableKind(const SmfEvent& e) {
    const int channel = e.status & 0x0F;
    switch (e.status & 0xF0) {
    case 0xB0: {
        const int c = e.data1;
        if (c == 0 || c == 32 || c == 6 || c == 38 || (c >= 96 && c <= 101) || c >= 120)
            return -1;
        return channel * 131 + c;
    }
    case 0xC0:
        return channel * 131 + 128;
    case 0xD0:
        return channel * 131 + 129;
    case 0xE0:
        return channel * 131 + 130;
    default:
        return -1;
    }
}

std::uint32_t usPerQuarterAt(const SmfSequence& s, std::uint32_t tick) {
    auto it = std::upper_bound(s.tempo.begin(), s.tempo.end(), tick,
                               [](std::uint32_t t, const SmfTempo& m) { return t < m.tick; });
    return it == s.tempo.begin() ? 500000 : std::prev(it)->usPerQuarter;
}

PlayMessage toMessage(const SmfEvent& e) {
    return {e.status, e.data1, e.data2, e.sysex};
}

} // namespace

PracticeSequencer::PracticeSequencer(const SmfSequence& sequence) : sequence_(sequence), grid_(sequence) {}

void PracticeSequencer::setSettings(const PracticeSettings& settings, std::int64_t nowUs, PlayMessages& out) {
    PracticeSettings next = settings;
    next.tempoPercent = std::clamp(next.tempoPercent, MIN_TEMPO_PERCENT, MAX_TEMPO_PERCENT);
    if (next.tempoPercent != settings_.tempoPercent && running_ && nowUs > anchorPlayUs_) {
        anchorFileUs_ = positionUs(nowUs);
        anchorPlayUs_ = nowUs;
    }
    for (int c = 0; c < 16; ++c) {
        if (!settings_.sounds(c) || next.sounds(c))
            continue;
        auto& keys = sounding_[static_cast<std::size_t>(c)];
        bool ended = false;
        for (std::size_t k = 0; k < keys.size(); ++k)
            for (; keys[k] > 0; --keys[k], ended = true)
                out.push_back({static_cast<std::uint8_t>(0x80 | c), static_cast<std::uint8_t>(k), 0, -1});
        // All sound off too, so that the notes stop at once rather than fade with their release.
        if (ended)
            out.push_back({static_cast<std::uint8_t>(0xB0 | c), 120, 0, -1});
    }
    const bool metronomeStarts = next.metronome && !settings_.metronome;
    settings_ = next;
    clicksFromUs_ = sequence_.tickToUs(settings_.clicksFromTick);
    if (metronomeStarts)
        resetBeat(positionUs(nowUs) + (running_ ? 1 : 0));
}

void PracticeSequencer::chase(std::size_t until, PlayMessages& out) {
    // Of the messages one later replaces, only the last goes out, in its place among the others:
    // a late start in a long song would otherwise pour thousands of controller changes out at once.
    std::vector<std::size_t> last(16 * 131, std::numeric_limits<std::size_t>::max());
    for (std::size_t i = 0; i < until; ++i)
        if (const int kind = replaceableKind(sequence_.events[i]); kind >= 0)
            last[static_cast<std::size_t>(kind)] = i;
    for (std::size_t i = 0; i < until; ++i) {
        const SmfEvent& e = sequence_.events[i];
        if (e.isNote())
            continue;
        const int kind = replaceableKind(e);
        if (kind < 0 || last[static_cast<std::size_t>(kind)] == i)
            out.push_back(toMessage(e));
    }
}

void PracticeSequencer::start(std::int64_t fromUs, std::int64_t nowUs, PlayMessages& out) {
    fromUs = std::clamp<std::int64_t>(fromUs, 0, sequence_.lengthUs);
    next_ = sequence_.firstEventAt(fromUs);
    chase(next_, out);
    anchorFileUs_ = lastFileUs_ = fromUs;
    anchorPlayUs_ = nowUs;
    running_ = true;
    countIn_.clear();
    clicksFromUs_ = sequence_.tickToUs(settings_.clicksFromTick);
    resetBeat(fromUs);
    if (settings_.countIn)
        beginCountIn(nowUs);
}

void PracticeSequencer::resume(std::int64_t nowUs, PlayMessages& out) {
    (void)out;
    anchorPlayUs_ = nowUs;
    running_ = true;
    lastFileUs_ = anchorFileUs_;
    countIn_.clear();
    resetBeat(anchorFileUs_ + 1);
    if (settings_.countIn)
        beginCountIn(nowUs);
}

void PracticeSequencer::hold(std::int64_t nowUs) {
    anchorFileUs_ = positionUs(nowUs);
    anchorPlayUs_ = nowUs;
    running_ = false;
    countIn_.clear();
}

void PracticeSequencer::beginCountIn(std::int64_t nowUs) {
    // One measure of clicks in the meter of the first measure that starts at or after the
    // starting point, ending on its first beat; what lies between the point and that beat plays
    // under the last clicks.
    std::uint32_t tick = sequence_.usToTick(anchorFileUs_);
    if (sequence_.tickToUs(tick) < anchorFileUs_)
        ++tick;
    BeatGrid::Beat downbeat = grid_.beatAtOrAfter(std::max(tick, settings_.clicksFromTick));
    while (!downbeat.first)
        downbeat = grid_.beatAtOrAfter(downbeat.tick + 1);
    const SmfMeter& meter = grid_.meterAt(downbeat.tick);
    const std::int64_t beatFileUs = static_cast<std::int64_t>(meter.beatTicks) *
                                    usPerQuarterAt(sequence_, downbeat.tick) /
                                    std::max(sequence_.division, 1);
    const std::int64_t beatPlayUs = beatFileUs * 100 / settings_.tempoPercent;
    const std::int64_t downbeatUs = sequence_.tickToUs(downbeat.tick);
    const std::int64_t gapPlayUs =
        (std::max<std::int64_t>(0, downbeatUs - anchorFileUs_) * 100 + settings_.tempoPercent - 1) /
        settings_.tempoPercent;
    const std::int64_t endUs = nowUs + std::max(meter.numerator * beatPlayUs, gapPlayUs);
    anchorPlayUs_ = endUs - gapPlayUs;
    for (int k = 0; k < meter.numerator; ++k) {
        const auto velocity = k == 0 ? CLICK_ACCENT_VELOCITY : CLICK_VELOCITY;
        countIn_.push_back({endUs - (meter.numerator - k) * beatPlayUs,
                            {static_cast<std::uint8_t>(0x90 | CLICK_CHANNEL), CLICK_KEY, velocity, -1}});
    }
    resetBeat(downbeatUs); // the metronome takes over at the downbeat
}

void PracticeSequencer::resetBeat(std::int64_t fromFileUs) {
    std::uint32_t tick = sequence_.usToTick(fromFileUs);
    if (sequence_.tickToUs(tick) < fromFileUs)
        ++tick;
    nextBeat_ = grid_.beatAtOrAfter(std::max(tick, settings_.clicksFromTick));
}

std::int64_t PracticeSequencer::beatUs() const {
    return sequence_.tickToUs(nextBeat_.tick);
}

std::int64_t PracticeSequencer::limitUs() const {
    // A range that ends after the file's last message plays on to its end in silence, so that
    // the loop keeps the measure's length.
    const std::int64_t end = loopEndUs();
    return end != NEVER && lastFileUs_ < end ? std::max(sequence_.lengthUs, end) : sequence_.lengthUs;
}

std::int64_t PracticeSequencer::positionUs(std::int64_t nowUs) const {
    if (!running_ || nowUs <= anchorPlayUs_)
        return anchorFileUs_;
    return std::min(limitUs(), anchorFileUs_ + (nowUs - anchorPlayUs_) * settings_.tempoPercent / 100);
}

std::int64_t PracticeSequencer::playTimeOf(std::int64_t fileUs) const {
    if (fileUs <= anchorFileUs_)
        return anchorPlayUs_;
    return anchorPlayUs_ +
           ((fileUs - anchorFileUs_) * 100 + settings_.tempoPercent - 1) / settings_.tempoPercent;
}

std::int64_t PracticeSequencer::loopEndUs() const {
    if (!settings_.loop || settings_.loopFromUs < 0 || settings_.loopFromUs >= sequence_.lengthUs ||
        settings_.loopToUs - settings_.loopFromUs < 1000)
        return NEVER; // no range to speak of
    return settings_.loopToUs;
}

void PracticeSequencer::pass(const SmfEvent& e, PlayMessages& out) {
    if (e.isNote()) {
        const int channel = e.status & 0x0F;
        std::uint8_t& count = sounding_[static_cast<std::size_t>(channel)][e.data1 & 0x7F];
        if (isNoteOn(e)) {
            if (!settings_.sounds(channel))
                return;
            count = static_cast<std::uint8_t>(std::min(count + 1, 255));
        } else {
            // A note that was not started here (muted, or before the starting point) has no end.
            if (count == 0)
                return;
            --count;
        }
    }
    out.push_back(toMessage(e));
}

void PracticeSequencer::click(std::uint8_t key, std::uint8_t velocity, std::int64_t atUs, PlayMessages& out) {
    out.push_back({static_cast<std::uint8_t>(0x90 | CLICK_CHANNEL), key, velocity, -1});
    clickOffs_.push_back(
        {atUs + CLICK_LENGTH_US, {static_cast<std::uint8_t>(0x80 | CLICK_CHANNEL), key, 0, -1}});
}

void PracticeSequencer::sendClicksUpTo(std::int64_t fileUs, PlayMessages& out) {
    if (!settings_.metronome)
        return;
    while (beatUs() <= fileUs && beatUs() < limitUs()) { // no click once the music is over
        click(nextBeat_.first ? CLICK_ACCENT_KEY : CLICK_KEY, CLICK_VELOCITY, playTimeOf(beatUs()), out);
        nextBeat_ = grid_.beatAtOrAfter(nextBeat_.tick + 1);
    }
}

void PracticeSequencer::sendClickOffsUpTo(std::int64_t nowUs, PlayMessages& out) {
    const auto due = std::stable_partition(clickOffs_.begin(), clickOffs_.end(),
                                           [nowUs](const Timed& t) { return t.atUs <= nowUs; });
    for (auto it = clickOffs_.begin(); it != due; ++it)
        out.push_back(it->message);
    clickOffs_.erase(clickOffs_.begin(), due);
}

bool PracticeSequencer::advance(std::int64_t nowUs, PlayMessages& out) {
    std::size_t counted = 0;
    for (; counted < countIn_.size() && countIn_[counted].atUs <= nowUs; ++counted) {
        out.push_back(countIn_[counted].message);
        clickOffs_.push_back({countIn_[counted].atUs + CLICK_LENGTH_US,
                              {static_cast<std::uint8_t>(0x80 | CLICK_CHANNEL), CLICK_KEY, 0, -1}});
    }
    countIn_.erase(countIn_.begin(), countIn_.begin() + static_cast<std::ptrdiff_t>(counted));
    const std::vector<SmfEvent>& events = sequence_.events;
    std::int64_t pos = positionUs(nowUs);
    for (;;) {
        const std::int64_t end = loopEndUs();
        if (end != NEVER && lastFileUs_ < end && pos >= end) {
            // The end of the range: what lies before it goes out, the notes still sounding end,
            // and the range starts again with what is in force at its start.
            while (next_ < events.size() && events[next_].timeUs < end)
                pass(events[next_++], out);
            sendClicksUpTo(end - 1, out);
            const std::int64_t jumpUs = playTimeOf(end);
            release(out);
            next_ = sequence_.firstEventAt(settings_.loopFromUs);
            chase(next_, out);
            anchorFileUs_ = lastFileUs_ = settings_.loopFromUs;
            anchorPlayUs_ = jumpUs;
            resetBeat(settings_.loopFromUs);
            pos = positionUs(nowUs);
            continue;
        }
        while (next_ < events.size() && events[next_].timeUs <= pos)
            pass(events[next_++], out);
        sendClicksUpTo(pos, out);
        lastFileUs_ = pos;
        break;
    }
    sendClickOffsUpTo(nowUs, out);
    const std::int64_t end = loopEndUs();
    const bool jumpAhead = end != NEVER && lastFileUs_ < end;
    return !jumpAhead && pos >= sequence_.lengthUs && next_ >= events.size();
}

void PracticeSequencer::release(PlayMessages& out) {
    for (std::size_t c = 0; c < sounding_.size(); ++c)
        for (std::size_t k = 0; k < 128; ++k)
            for (; sounding_[c][k] > 0; --sounding_[c][k])
                out.push_back({static_cast<std::uint8_t>(0x80 | c), static_cast<std::uint8_t>(k), 0, -1});
    for (const Timed& t : clickOffs_)
        out.push_back(t.message);
    clickOffs_.clear();
}

void PracticeSequencer::forgetSounding() {
    sounding_ = {};
    clickOffs_.clear();
}

std::int64_t PracticeSequencer::nextDueUs() const {
    std::int64_t due = NEVER;
    if (!countIn_.empty())
        due = countIn_.front().atUs;
    for (const Timed& t : clickOffs_)
        due = std::min(due, t.atUs);
    const std::vector<SmfEvent>& events = sequence_.events;
    const std::int64_t end = loopEndUs();
    if (end != NEVER && lastFileUs_ < end) {
        if (next_ < events.size() && events[next_].timeUs < end)
            due = std::min(due, playTimeOf(events[next_].timeUs));
        else
            due = std::min(due, playTimeOf(end)); // the jump back
    } else if (next_ < events.size()) {
        due = std::min(due, playTimeOf(events[next_].timeUs));
    } else if (lastFileUs_ < sequence_.lengthUs) {
        due = std::min(due, playTimeOf(sequence_.lengthUs)); // the end
    }
    if (settings_.metronome && beatUs() < limitUs())
        due = std::min(due, playTimeOf(beatUs()));
    return due;
}

} // namespace pokopen
