#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace pokopen {

// Event kinds; nothing writes any other value.
inline constexpr std::uint8_t KIND_NOTE_ON = 1;
inline constexpr std::uint8_t KIND_NOTE_OFF = 2;
inline constexpr std::uint8_t KIND_DYNAMICS = 3;
inline constexpr std::uint8_t KIND_PAN = 4;
inline constexpr std::uint8_t KIND_TEMPO = 5;
inline constexpr std::uint8_t KIND_KEY = 6;
inline constexpr std::uint8_t KIND_METER = 7;

// Where a kind stands among the events of one tick in a part row: note-offs first, then curve
// points, then note-ons, so that a note ending where another starts is off before the next is
// on. Rows are sorted by (pos, tieOrder(kind)).
inline constexpr int tieOrder(std::uint8_t kind) {
    switch (kind) {
    case KIND_NOTE_OFF:
        return 0;
    case KIND_NOTE_ON:
        return 2;
    default:
        return 1;
    }
}

inline constexpr int PART_ROWS = 16;
inline constexpr int PERCUSSION_PART = 9;
inline constexpr int TEMPO_ROW = 16;
inline constexpr int SIGNATURE_ROW = 17;
inline constexpr int ROW_COUNT = 18;

// Ticks per whole note; a quarter note is 24.
inline constexpr int TICKS_PER_WHOLE = 96;
inline constexpr int MAX_MEASURES = 1000;

// One element of a row, as a value.
struct Event {
    std::int32_t pos = 0;
    std::uint8_t kind = 0;
    std::uint8_t value = 0;
    std::int8_t extra = 0;

    friend bool operator==(const Event&, const Event&) = default;
};

// One row of the store: four parallel columns of `count()` elements, sorted by pos.
// Every column is sized exactly to the row, so a loaded song holds no spare capacity.
class EventRow {
public:
    std::vector<std::int32_t> pos;
    std::vector<std::uint8_t> kind;
    std::vector<std::uint8_t> value;
    std::vector<std::int8_t> extra;

    std::int32_t count() const { return static_cast<std::int32_t>(pos.size()); }
    bool empty() const { return pos.empty(); }

    Event at(std::int32_t i) const {
        const auto k = static_cast<std::size_t>(i);
        return {pos[k], kind[k], value[k], extra[k]};
    }
    void set(std::int32_t i, const Event& e);

    // One element longer; the new last element is zero until the caller writes it.
    void growRow();
    // One element shorter, dropping the last element. Never called on an empty row.
    void shrinkRow();

    // Grow, move elements i.. up by one, write e at i.
    void insertAt(std::int32_t i, const Event& e);
    // Move elements i+1.. down by one, shrink.
    void removeAt(std::int32_t i);

    // Replaces the whole row (new song, load, one-pass rebuilds of editing operations).
    void assign(const std::vector<Event>& events);
    std::vector<Event> events() const;
    void clear();
    void reserve(std::size_t n);

    friend bool operator==(const EventRow&, const EventRow&) = default;
};

// The 18 rows of a song. Rows are shared between copies and copied on the first write, so that
// copying a store (a snapshot for the edit history or for autosave) costs 18 pointer copies and an
// edit copies only the rows it changes. A row shared with another store is never written: a
// snapshot handed to another thread stays as it was taken.
class EventStore {
public:
    EventStore();

    // Writing access: the row is first made this store's own.
    EventRow& operator[](int r);
    const EventRow& operator[](int r) const { return *rows_[static_cast<std::size_t>(r)]; }

    // Every row in order, for reading.
    std::array<std::reference_wrapper<const EventRow>, ROW_COUNT> rowList() const;

    // True when both stores hold the very same row data (no copy, no change since the copy).
    bool sharesRow(const EventStore& other, int r) const {
        return rows_[static_cast<std::size_t>(r)] == other.rows_[static_cast<std::size_t>(r)];
    }
    // Marks every row as handed out: the next write to a row copies it first even when no other
    // store holds it any more. A snapshot that goes to another thread is taken this way, so this
    // thread never writes a row that the other may still be reading, whatever the reference
    // counts say at the moment of the write.
    void freezeRows() const { frozen_.fill(true); }

    // Puts `row` in place of row r without copying the old one first (a rebuild that read the old
    // row and made a new one); a store sharing the old row keeps it as it was.
    void replaceRow(int r, EventRow row) {
        const auto i = static_cast<std::size_t>(r);
        rows_[i] = std::make_shared<EventRow>(std::move(row));
        frozen_[i] = false;
    }

    // Puts the row of `other` in place of this store's row, sharing it.
    void shareRow(const EventStore& other, int r) {
        const auto i = static_cast<std::size_t>(r);
        rows_[i] = other.rows_[i];
        frozen_[i] = other.frozen_[i];
    }

    friend bool operator==(const EventStore& a, const EventStore& b);

private:
    std::array<std::shared_ptr<EventRow>, ROW_COUNT> rows_;
    mutable std::array<bool, ROW_COUNT> frozen_{};
};

} // namespace pokopen
