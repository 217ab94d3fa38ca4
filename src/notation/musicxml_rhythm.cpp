#include "notation/musicxml_rhythm.h"

#include <algorithm>
#include <array>

namespace pokopen {

std::string_view noteTypeName(NoteType type) {
    switch (type) {
    case NoteType::Whole:
        return "whole";
    case NoteType::Half:
        return "half";
    case NoteType::Quarter:
        return "quarter";
    case NoteType::Eighth:
        return "eighth";
    case NoteType::Sixteenth:
        return "16th";
    case NoteType::ThirtySecond:
        return "32nd";
    case NoteType::SixtyFourth:
        return "64th";
    }
    return "quarter";
}

namespace {

// The values on the 32nd grid, longest first. A value may start only at a multiple of `align`
// ticks from the measure's start (half its undotted length), so that a long value does not
// begin in the middle of a short beat.
struct PlainValue {
    std::int32_t ticks;
    NoteType type;
    bool dotted;
    std::int32_t align;
};
constexpr std::array<PlainValue, 11> PLAIN_VALUES = {{
    {144, NoteType::Whole, true, 48},
    {96, NoteType::Whole, false, 48},
    {72, NoteType::Half, true, 24},
    {48, NoteType::Half, false, 24},
    {36, NoteType::Quarter, true, 12},
    {24, NoteType::Quarter, false, 12},
    {18, NoteType::Eighth, true, 6},
    {12, NoteType::Eighth, false, 6},
    {9, NoteType::Sixteenth, true, 3},
    {6, NoteType::Sixteenth, false, 3},
    {3, NoteType::ThirtySecond, false, 3},
}};

constexpr std::int32_t GRID = 3;           // a 32nd note
constexpr std::int32_t LARGEST_GROUP = 96; // a half-note triplet group fills a whole note

// The type of a triplet value `ticks` long: three of them take the time of two plain ones, so
// its plain counterpart is 3/2 as long (twice that: 3 * ticks, to stay in whole numbers).
NoteType tripletType(std::int32_t ticks) {
    switch (3 * ticks) {
    case 192:
        return NoteType::Whole;
    case 96:
        return NoteType::Half;
    case 48:
        return NoteType::Quarter;
    case 24:
        return NoteType::Eighth;
    case 12:
        return NoteType::Sixteenth;
    case 6:
        return NoteType::ThirtySecond;
    default:
        return NoteType::SixtyFourth;
    }
}

class Speller {
public:
    Speller(std::int32_t measureTicks, const std::vector<std::int32_t>& boundaries,
            const std::vector<bool>& rests)
        : ticks_(measureTicks), bounds_(boundaries), rests_(rests) {}

    std::vector<WrittenValue> run() {
        if (ticks_ <= 0)
            return {};
        if (fitsGrid(0, ticks_, GRID)) {
            plain(0, ticks_);
        } else {
            for (std::int32_t w = 0; w < ticks_; w += LARGEST_GROUP)
                region(w, std::min(w + LARGEST_GROUP, ticks_), LARGEST_GROUP);
        }
        return std::move(out_);
    }

private:
    // True when s, e and every boundary between them lie on a multiple of `unit` from s.
    bool fitsGrid(std::int32_t s, std::int32_t e, std::int32_t unit) const {
        if (s % GRID != 0 && unit == GRID)
            return false;
        if ((e - s) % unit != 0)
            return false;
        for (auto it = std::upper_bound(bounds_.begin(), bounds_.end(), s); it != bounds_.end() && *it < e;
             ++it)
            if ((*it - s) % unit != 0)
                return false;
        return true;
    }

    // Calls f(a, b, rest) for each stretch between boundaries, clipped to [s, e).
    template <typename F> void forEachStretch(std::int32_t s, std::int32_t e, F f) const {
        std::int32_t a = s;
        auto it = std::upper_bound(bounds_.begin(), bounds_.end(), s);
        while (a < e) {
            const auto stretch = static_cast<std::size_t>(it - bounds_.begin()) - 1;
            const std::int32_t b = it == bounds_.end() ? e : std::min(*it++, e);
            if (b > a)
                f(a, b, stretch < rests_.size() && rests_[stretch]);
            a = b;
        }
    }

    void plain(std::int32_t s, std::int32_t e) {
        forEachStretch(s, e, [this](std::int32_t a, std::int32_t b, bool rest) {
            for (std::int32_t pos = a; pos < b;) {
                const PlainValue* chosen = &PLAIN_VALUES.back();
                for (const PlainValue& v : PLAIN_VALUES) {
                    // Rests are written beat by beat: undotted, each at a multiple of its length.
                    const bool fits = rest ? !v.dotted && pos % v.ticks == 0 : pos % v.align == 0;
                    if (v.ticks <= b - pos && fits) {
                        chosen = &v;
                        break;
                    }
                }
                out_.push_back({pos, chosen->ticks, chosen->type, chosen->dotted, false, false, false});
                pos += chosen->ticks;
            }
        });
    }

    // A triplet group over [s, e) whose every stretch is a whole number of `unit`s.
    void triplet(std::int32_t s, std::int32_t e, std::int32_t unit) {
        const std::size_t first = out_.size();
        forEachStretch(s, e, [this, unit](std::int32_t a, std::int32_t b, bool) {
            // A stretch of one or two units is one value; anything longer (it cannot be, as the
            // group would then be plain) is written unit by unit.
            const std::int32_t step = (b - a == unit || b - a == 2 * unit) ? b - a : unit;
            for (std::int32_t pos = a; pos < b; pos += step)
                out_.push_back({pos, step, tripletType(step), false, true, false, false});
        });
        if (out_.size() > first) {
            out_[first].tupletStart = true;
            out_.back().tupletStop = true;
        }
    }

    void region(std::int32_t s, std::int32_t e, std::int32_t level) {
        if (fitsGrid(s, e, GRID)) {
            plain(s, e);
            return;
        }
        if (e - s == level && level >= GRID && fitsGrid(s, e, level / 3)) {
            triplet(s, e, level / 3);
            return;
        }
        if (level <= GRID) {
            // Less than a 32nd left over, only in a measure off the 32nd grid (a damaged meter):
            // 64th-note triplet ticks, as one incomplete group.
            triplet(s, e, 1);
            return;
        }
        const std::int32_t half = level / 2;
        for (std::int32_t w = s; w < e; w += half)
            region(w, std::min(w + half, e), half);
    }

    std::int32_t ticks_;
    const std::vector<std::int32_t>& bounds_;
    const std::vector<bool>& rests_;
    std::vector<WrittenValue> out_;
};

} // namespace

std::vector<WrittenValue> spellMeasure(std::int32_t measureTicks, const std::vector<std::int32_t>& boundaries,
                                       const std::vector<bool>& rests) {
    return Speller(measureTicks, boundaries, rests).run();
}

} // namespace pokopen
