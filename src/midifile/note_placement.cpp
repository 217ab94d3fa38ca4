#include "midifile/note_placement.h"

#include "model/note_spelling.h"
#include "model/timeline.h"

#include <algorithm>
#include <array>

namespace pokopen {

struct NoteSweep::State {
    State(const EventStore& store, bool drums, std::int64_t endTick, std::size_t events,
          std::int64_t minLength)
        : measures_(store), keys_(store), drums_(drums), endTick_(endTick), minLength_(minLength) {
        part_.offNote.assign(events, -1);
        owner_.fill(-1);
        freeSince_.fill(INT64_MIN / 2);
    }

    void noteOn(std::uint8_t key, std::int64_t t, bool dropped) {
        const auto index = static_cast<std::int32_t>(part_.notes.size());
        ImportedNote n;
        n.start = t;
        n.key = key;
        n.dropped = dropped;
        n.skipped = dropped;
        part_.notes.push_back(n);
        if (!dropped) {
            budget_ += 64;
            place(index);
        }
        // Note-offs left open before this note started end notes older than it: settle them now,
        // so that every open choice concerns notes sounding before every pending note-off.
        while (pendingHead_[key] < pending_[key].size() && !open_[key].empty())
            resolve(key, open_[key].front());
    }

    void noteOff(std::size_t event, std::uint8_t key, std::int64_t t) {
        if (orphans_[key] > 0) { // the note-off of a note cut or dropped as a duplicate
            --orphans_[key];
            return;
        }
        if (open_[key].empty())
            return; // a note-off with no note to end
        pending_[key].push_back({event, t});
        // As many note-offs as sounding notes: every one ends, there is nothing left to choose.
        if (pending_[key].size() - pendingHead_[key] >= open_[key].size())
            while (!open_[key].empty())
                resolve(key, open_[key].front());
    }

    // Ends what is still open: notes of pending note-offs in turn, the rest where the file ends.
    PartNotes finish(std::int64_t fileEnd) {
        for (std::size_t key = 0; key < 128; ++key) {
            while (!open_[key].empty() && pendingHead_[key] < pending_[key].size())
                resolve(static_cast<std::uint8_t>(key), open_[key].front());
            for (const std::int32_t n : open_[key]) {
                ImportedNote& note = part_.notes[static_cast<std::size_t>(n)];
                note.end = clip(std::max(fileEnd, note.start + 1));
                ++part_.unended;
            }
        }
        return std::move(part_);
    }

    struct PendingOff {
        std::size_t event;
        std::int64_t tick;
    };
    struct Move {
        std::int32_t note;
        Spelling to;
    };

    ImportedNote& note(std::int32_t i) { return part_.notes[static_cast<std::size_t>(i)]; }

    Spellings spellingsOf(const ImportedNote& n) const {
        Spellings s;
        if (drums_) {
            s.items[0] = {static_cast<std::uint8_t>(81 - n.key), 0, 0};
            s.count = 1;
            return s;
        }
        const std::int32_t m = measures_.tickToMeasure(static_cast<std::int32_t>(n.start));
        return pokopen::spellingsOf(n.key, keys_.keyOfMeasure(m));
    }

    std::int64_t clip(std::int64_t end) {
        if (end > endTick_) {
            ++part_.stoppedAtEnd;
            return endTick_;
        }
        return end;
    }

    // The sounding note n of `key` is the one the earliest unassigned note-off of its key ended.
    void resolve(std::uint8_t key, std::int32_t n) {
        ImportedNote& note = this->note(n);
        const PendingOff off = pending_[key][pendingHead_[key]++];
        if (pendingHead_[key] == pending_[key].size()) {
            pending_[key].clear();
            pendingHead_[key] = 0;
        }
        std::int64_t end = off.tick;
        if (end <= note.start) {
            end = note.start + minLength_;
            ++part_.lengthened;
        }
        note.end = clip(end);
        part_.offNote[off.event] = n;
        std::vector<std::int32_t>& open = open_[key];
        open.erase(std::find(open.begin(), open.end(), n));
        owner_[note.value] = -1;
        freeSince_[note.value] = note.end;
    }

    // When `value` could be taken by a note that started at `since`: now free and free since then,
    // or held by a note whose key has a note-off not yet assigned that may have ended it by then.
    bool available(std::uint8_t value, std::int64_t since) {
        const std::int32_t o = owner_[value];
        if (o < 0)
            return freeSince_[value] <= since;
        const ImportedNote& n = note(o);
        const auto& pending = pending_[n.key];
        return pendingHead_[n.key] < pending.size() &&
               std::max(pending[pendingHead_[n.key]].tick, n.start + minLength_) <= since;
    }

    void take(std::int32_t q, const Spelling& sp) {
        ImportedNote& n = note(q);
        if (n.placed) { // leaves its value as it was before it came
            owner_[n.value] = -1;
            freeSince_[n.value] = n.freeBefore;
        }
        if (owner_[sp.value] >= 0)
            resolve(note(owner_[sp.value]).key, owner_[sp.value]);
        n.freeBefore = freeSince_[sp.value];
        owner_[sp.value] = q;
        n.value = sp.value;
        n.extra = sp.extra;
        if (!n.placed)
            open_[n.key].push_back(q);
        n.placed = true;
    }

    // A chain of moves that gives q one of its spellings, the last move first.
    bool findMoves(std::int32_t q, std::int64_t since, std::vector<Move>& moves) {
        if (budget_ == 0)
            return false;
        --budget_;
        const Spellings own = spellingsOf(note(q));
        for (int s = 0; s < own.count; ++s) {
            const Spelling& sp = own.items[static_cast<std::size_t>(s)];
            if (visited_[sp.value])
                continue;
            visited_[sp.value] = true;
            if (available(sp.value, since)) {
                moves.push_back({q, sp});
                return true;
            }
            const std::int32_t o = owner_[sp.value];
            if (o < 0 || note(o).freeBefore > since)
                continue; // free too late, or held since before the note it would have to leave
            if (findMoves(o, note(o).start, moves)) {
                moves.push_back({q, sp});
                return true;
            }
        }
        return false;
    }

    // The best spelling of note o that is free for it, other than the one it has; -1 if none.
    int freeAlternative(const Spellings& theirs, const ImportedNote& o) {
        for (int s = 0; s < theirs.count; ++s)
            if (theirs.items[static_cast<std::size_t>(s)].value != o.value &&
                available(theirs.items[static_cast<std::size_t>(s)].value, o.start))
                return s;
        return -1;
    }

    void place(std::int32_t q) {
        const ImportedNote& n = note(q);
        const Spellings own = spellingsOf(n);
        int direct = -1;
        for (int s = 0; s < own.count && direct < 0; ++s)
            if (available(own.items[static_cast<std::size_t>(s)].value, n.start))
                direct = s;
        // In a chord, the note already placed may give way instead (D flat and D in B flat major
        // become C sharp and D), when that reads better than respelling the new one.
        const Spelling& best = own.items[0];
        const std::int32_t chordNote = owner_[best.value];
        if (direct != 0 && chordNote >= 0 && note(chordNote).start == n.start) {
            const ImportedNote& c = note(chordNote);
            const Spellings theirs = spellingsOf(c);
            const int alt = freeAlternative(theirs, c);
            int current = 0;
            while (current < theirs.count && theirs.items[static_cast<std::size_t>(current)].value != c.value)
                ++current;
            if (alt >= 0 && current < theirs.count &&
                (direct < 0 || theirs.items[static_cast<std::size_t>(alt)].rank -
                                       theirs.items[static_cast<std::size_t>(current)].rank + best.rank <
                                   own.items[static_cast<std::size_t>(direct)].rank)) {
                take(chordNote, theirs.items[static_cast<std::size_t>(alt)]);
                take(q, best);
                return;
            }
        }
        if (direct >= 0) {
            take(q, own.items[static_cast<std::size_t>(direct)]);
            return;
        }
        std::vector<Move> moves;
        visited_.fill(false);
        if (findMoves(q, n.start, moves)) {
            for (const Move& m : moves)
                take(m.note, m.to);
            return;
        }
        // The sounding note of the same key, else the one on the best spelling, gives way. A
        // value can also be held by a note already ended but lengthened to one step: then, as
        // for a note that starts with this one, the new note goes.
        int choice = -1;
        for (const bool sameKey : {true, false})
            for (int s = 0; s < own.count && choice < 0; ++s) {
                const std::int32_t holder = owner_[own.items[static_cast<std::size_t>(s)].value];
                if (holder >= 0 && (!sameKey || note(holder).key == n.key))
                    choice = s;
            }
        const Spelling& sp = own.items[static_cast<std::size_t>(std::max(choice, 0))];
        const std::int32_t o = owner_[sp.value];
        if (o < 0 || note(o).start >= n.start) {
            note(q).dropped = true;
            ++part_.duplicates;
            ++orphans_[n.key];
            return;
        }
        ImportedNote& other = note(o);
        ++orphans_[other.key];
        other.end = n.start;
        ++part_.cut;
        std::vector<std::int32_t>& open = open_[other.key];
        open.erase(std::find(open.begin(), open.end(), o));
        owner_[sp.value] = -1;
        freeSince_[sp.value] = other.end;
        take(q, sp);
    }

    PartNotes part_;
    const MeasureMap measures_;
    const KeyMap keys_;
    bool drums_;
    std::int64_t endTick_;
    std::int64_t minLength_;
    std::array<std::int32_t, 256> owner_{};            // the sounding note on each staff value
    std::array<std::int64_t, 256> freeSince_{};        // since when each unowned value has been free
    std::array<std::vector<std::int32_t>, 128> open_;  // sounding notes of each key
    std::array<std::vector<PendingOff>, 128> pending_; // their note-offs not yet assigned
    std::array<std::size_t, 128> pendingHead_{};
    std::array<std::size_t, 128> orphans_{}; // note-offs to pass over, of notes cut or dropped
    std::array<bool, 256> visited_{};
    std::size_t budget_ = 4096; // steps of search; each note adds to it, so the pass stays linear
};

NoteSweep::NoteSweep(const EventStore& store, bool drums, std::int64_t endTick, std::size_t events,
                     std::int64_t minLength)
    : state_(std::make_unique<State>(store, drums, endTick, events, minLength)) {}
NoteSweep::~NoteSweep() = default;
void NoteSweep::noteOn(std::uint8_t key, std::int64_t tick, bool dropped) {
    state_->noteOn(key, tick, dropped);
}
void NoteSweep::noteOff(std::size_t event, std::uint8_t key, std::int64_t tick) {
    state_->noteOff(event, key, tick);
}
PartNotes NoteSweep::finish(std::int64_t fileEnd) {
    return state_->finish(fileEnd);
}

bool searchPlacement(std::vector<ImportedNote>& notes, const EventStore& store) {
    const MeasureMap measures(store);
    const KeyMap keys(store);
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < notes.size(); ++k)
        if (!notes[k].dropped)
            order.push_back(k);
    std::vector<Spellings> options(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const ImportedNote& n = notes[order[k]];
        options[k] =
            spellingsOf(n.key, keys.keyOfMeasure(measures.tickToMeasure(static_cast<std::int32_t>(n.start))));
    }
    std::array<std::int64_t, 256> lastEnd{}; // the end of the last note on each value so far
    lastEnd.fill(INT64_MIN);
    std::vector<int> choice(order.size(), -1);
    std::vector<std::int64_t> saved(order.size(), 0);
    std::size_t budget = 100000 + 32 * order.size();
    std::size_t k = 0;
    while (k < order.size()) {
        if (budget-- == 0)
            return false;
        const ImportedNote& n = notes[order[k]];
        const Spellings& o = options[k];
        int c = choice[k];
        if (c >= 0)
            lastEnd[o.items[static_cast<std::size_t>(c)].value] = saved[k];
        for (++c; c < o.count; ++c)
            if (lastEnd[o.items[static_cast<std::size_t>(c)].value] <= n.start)
                break;
        if (c < o.count) {
            const std::uint8_t v = o.items[static_cast<std::size_t>(c)].value;
            saved[k] = lastEnd[v];
            lastEnd[v] = n.end;
            choice[k] = c;
            ++k;
        } else {
            choice[k] = -1;
            if (k == 0)
                return false;
            --k;
        }
    }
    for (std::size_t j = 0; j < order.size(); ++j) {
        ImportedNote& n = notes[order[j]];
        const Spelling& sp = options[j].items[static_cast<std::size_t>(choice[j])];
        n.value = sp.value;
        n.extra = sp.extra;
        n.placed = true;
    }
    return true;
}

} // namespace pokopen
