#include "model/event_store.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace pokopen {

void EventRow::set(std::int32_t i, const Event& e) {
    const auto k = static_cast<std::size_t>(i);
    pos[k] = e.pos;
    kind[k] = e.kind;
    value[k] = e.value;
    extra[k] = e.extra;
}

void EventRow::growRow() {
    pos.push_back(0);
    kind.push_back(0);
    value.push_back(0);
    extra.push_back(0);
}

void EventRow::shrinkRow() {
    assert(!pos.empty());
    pos.pop_back();
    kind.pop_back();
    value.pop_back();
    extra.pop_back();
}

void EventRow::insertAt(std::int32_t i, const Event& e) {
    assert(i >= 0 && i <= count());
    const auto k = static_cast<std::ptrdiff_t>(i);
    pos.insert(pos.begin() + k, e.pos);
    kind.insert(kind.begin() + k, e.kind);
    value.insert(value.begin() + k, e.value);
    extra.insert(extra.begin() + k, e.extra);
}

void EventRow::removeAt(std::int32_t i) {
    assert(i >= 0 && i < count());
    const auto k = static_cast<std::ptrdiff_t>(i);
    pos.erase(pos.begin() + k);
    kind.erase(kind.begin() + k);
    value.erase(value.begin() + k);
    extra.erase(extra.begin() + k);
}

void EventRow::assign(const std::vector<Event>& events) {
    clear();
    reserve(events.size());
    for (const Event& e : events) {
        pos.push_back(e.pos);
        kind.push_back(e.kind);
        value.push_back(e.value);
        extra.push_back(e.extra);
    }
}

std::vector<Event> EventRow::events() const {
    std::vector<Event> out;
    out.reserve(pos.size());
    for (std::int32_t i = 0; i < count(); ++i)
        out.push_back(at(i));
    return out;
}

void EventRow::clear() {
    // Swap with empties so the memory really goes back.
    std::vector<std::int32_t>().swap(pos);
    std::vector<std::uint8_t>().swap(kind);
    std::vector<std::uint8_t>().swap(value);
    std::vector<std::int8_t>().swap(extra);
}

void EventRow::reserve(std::size_t n) {
    pos.reserve(n);
    kind.reserve(n);
    value.reserve(n);
    extra.reserve(n);
}

EventStore::EventStore() {
    for (auto& row : rows_)
        row = std::make_shared<EventRow>();
}

EventRow& EventStore::operator[](int r) {
    const auto i = static_cast<std::size_t>(r);
    std::shared_ptr<EventRow>& row = rows_[i];
    // Shared with another store of this thread, or once handed to another thread: copy first.
    if (row.use_count() != 1 || frozen_[i]) {
        row = std::make_shared<EventRow>(*row);
        frozen_[i] = false;
    }
    return *row;
}

std::array<std::reference_wrapper<const EventRow>, ROW_COUNT> EventStore::rowList() const {
    return [this]<std::size_t... R>(std::index_sequence<R...>) {
        return std::array<std::reference_wrapper<const EventRow>, ROW_COUNT>{std::cref(*rows_[R])...};
    }
    (std::make_index_sequence<ROW_COUNT>{});
}

bool operator==(const EventStore& a, const EventStore& b) {
    for (std::size_t r = 0; r < a.rows_.size(); ++r)
        if (a.rows_[r] != b.rows_[r] && *a.rows_[r] != *b.rows_[r])
            return false;
    return true;
}

} // namespace pokopen
