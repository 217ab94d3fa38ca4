#include "midifile/smf_import.h"

#include "midifile/midi_file.h"
#include "midifile/note_placement.h"
#include "midifile/smf_parse.h"
#include "model/new_song.h"
#include "model/pitch.h"
#include "model/timeline.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace pokopen {

namespace {

constexpr int CHANNELS = 16;
constexpr int STORE_TICKS_PER_QUARTER = TICKS_PER_WHOLE / 4;
constexpr std::uint32_t LEAD_IN_US = 250000; // the writer's lead-in: one quarter note at 240 bpm
constexpr int LOWEST_DRUM_KEY = 81 - 46;
constexpr int HIGHEST_DRUM_KEY = 81;

// ---- What the first pass learns ----

struct ChannelEvent {
    std::uint32_t tick;
    std::uint8_t status;
    std::uint8_t data1;
    std::uint8_t data2;
};

struct ConductorEvent {
    std::uint32_t tick;
    std::uint8_t type; // 0x51 tempo, 0x58 time signature, 0x59 key signature
    std::array<std::uint8_t, 3> data;
};

struct Counts {
    std::size_t rounded = 0, lengthened = 0, cut = 0, duplicates = 0, unended = 0, unknownDrums = 0;
    std::size_t pastEnd = 0, stoppedAtEnd = 0, velocities = 0, pitchBends = 0, aftertouch = 0;
    std::size_t controllers = 0, programs = 0, sysex = 0, metersMoved = 0, keysMoved = 0;
    std::size_t badMeters = 0, badKeys = 0, signaturesReplaced = 0, tempi = 0, merged = 0, lineBreaks = 0;
    std::size_t gridMoved = 0, identical = 0;
};

struct Text {
    bool found = false;
    std::size_t at = 0;
    std::uint32_t length = 0;
};

// The whole file checked once and measured, before anything is allocated.
struct Survey {
    SmfHeader header;
    std::array<std::size_t, CHANNELS> channelEvents{};
    std::size_t conductorEvents = 0;
    std::uint32_t lastTick = 0;
    Text title, copyright;
    bool startMarker = false; // the first track's text "Start"
    std::uint32_t startTick = 0;
    std::uint32_t firstSongLikeTick = UINT32_MAX; // earliest channel event no lead-in holds
    std::size_t sysexCount = 0;
};

bool isLeadInMessage(const SmfTrackEvent& e) {
    const int high = e.status & 0xF0;
    return high == 0xC0 || (high == 0xB0 && (e.data1 == 7 || e.data1 == 10 || e.data1 == 11));
}

bool isConductorMeta(const SmfTrackEvent& e) {
    return (e.metaType == 0x51 && e.length == 3) || (e.metaType == 0x58 && e.length >= 2) ||
           (e.metaType == 0x59 && e.length >= 2);
}

MidiImportResult refuse(std::size_t offset, std::string message, std::string english) {
    MidiImportResult r;
    r.offset = offset;
    r.message = std::move(message);
    r.english = std::move(english);
    return r;
}

MidiImportResult refuse(const SmfError& error) {
    return refuse(error.offset, error.message, error.english);
}

// Walks every track chunk the header announces with `visit(trackIndex, event)`.
template <typename Visit>
bool walkTracks(const std::uint8_t* data, std::size_t size, const SmfHeader& header, SmfError& error,
                Visit&& visit) {
    std::size_t at = header.firstChunk;
    for (int track = 0; track < header.trackCount;) {
        SmfChunk chunk;
        if (!nextSmfChunk(data, size, at, chunk, error)) {
            if (!error.failed())
                error = {size, "MIDIファイルのトラックが足りません。", "tracks are missing"};
            return false;
        }
        if (!chunk.isTrack)
            continue;
        SmfTrackReader reader(data, chunk);
        SmfTrackEvent e;
        while (reader.next(e))
            visit(track, e);
        if (reader.failed()) {
            error = reader.error();
            return false;
        }
        if (!reader.ended()) {
            error = {reader.chunkEnd(), "MIDIファイルのトラックに終わりがありません。", "a track has no end"};
            return false;
        }
        ++track;
    }
    return true;
}

bool isText(const std::uint8_t* data, const SmfTrackEvent& e, std::string_view text) {
    return e.length == text.size() && std::memcmp(data + e.payload, text.data(), text.size()) == 0;
}

// ---- Building the song ----

// Roles of a part's events: note-ons have 2n (n the note), note-offs NOTE_OFF_ROLE minus the key.
constexpr std::int32_t POINT_ROLE = -2;
constexpr std::int32_t NOTE_OFF_ROLE = -3;

class Importer {
public:
    Importer(const std::uint8_t* data, const Survey& survey, const MidiImportOptions& options)
        : data_(data), survey_(survey), options_(options) {
        division_ = survey.header.division;
    }

    void collect(const SmfHeader& header, std::size_t size);
    void detectLeadIn();
    void chooseGrid();
    void buildConductor();
    void buildParts();
    void setTexts();
    ImportReport report() const;

    Song song;
    MidiGrid grid() const { return grid_; }

private:
    // Store tick of a file tick (after the lead-in), rounded to the nearest tick.
    std::int64_t storeTick(std::uint32_t fileTick, bool& rounded) const {
        const std::int64_t rel = static_cast<std::int64_t>(fileTick) - leadIn_;
        const std::int64_t scaled = rel * STORE_TICKS_PER_QUARTER;
        rounded = scaled % division_ != 0;
        return (2 * scaled + division_) / (2 * static_cast<std::int64_t>(division_));
    }
    std::int64_t storeTickCounted(std::uint32_t fileTick) {
        bool rounded = false;
        const std::int64_t t = storeTick(fileTick, rounded);
        counts_.rounded += rounded ? 1 : 0;
        return t;
    }
    bool inLeadIn(std::uint32_t fileTick) const { return fileTick < leadIn_; }
    // A time of the file (after the lead-in) in song ticks times the file's ticks a quarter, so
    // that distances to any grid point are whole numbers.
    std::int64_t played(std::uint32_t fileTick) const {
        return (static_cast<std::int64_t>(fileTick) - leadIn_) * STORE_TICKS_PER_QUARTER;
    }
    // The nearest point of the note grid (half way rounds up).
    std::int64_t onGrid(std::int64_t played) const {
        const std::int64_t s = std::int64_t{step_} * division_;
        return (2 * played + s) / (2 * s) * step_;
    }
    std::int64_t countedOnGrid(std::int64_t played) {
        const std::int64_t t = onGrid(played);
        if (t * division_ != played)
            ++(step_ == 1 ? counts_.rounded : counts_.gridMoved);
        return t;
    }
    // The shortest note: a step of the grid where ends go to it, else one tick.
    std::int64_t minLength() const { return tidy_ ? step_ : 1; }
    std::int64_t noteEnd(std::uint32_t fileTick, const std::vector<std::int64_t>& onsets);
    MidiGrid autoGrid() const;
    std::vector<bool> identicalNotes(std::vector<ChannelEvent>::const_iterator begin,
                                     std::vector<ChannelEvent>::const_iterator end);
    double tempoDrift() const;
    void buildPart(int channel, std::vector<ChannelEvent>::const_iterator begin,
                   std::vector<ChannelEvent>::const_iterator end);
    PartNotes pairAndPlace(const std::vector<ImportedNote>& swept, const std::vector<std::int32_t>& role,
                           const std::vector<std::int32_t>& offTick, bool drums, bool lastInFirstOut);

    const std::uint8_t* data_;
    const Survey& survey_;
    const MidiImportOptions options_;
    int division_ = 480;
    std::uint32_t leadIn_ = 0;
    MidiGrid grid_ = MidiGrid::Exact;
    int step_ = 1;      // of the note grid, in song ticks
    bool tidy_ = false; // ends to the grid, legato where they nearly reach the next onset
    bool mergeIdentical_ = false;
    std::vector<ChannelEvent> events_; // grouped by channel, each group in file order
    std::array<std::size_t, CHANNELS + 1> groupStart_{};
    std::vector<ConductorEvent> conductor_;
    std::int32_t endTick_ = 0;
    Counts counts_;
    int firstVelocity_ = -1;
    bool velocitiesDiffer_ = false;
    std::size_t noteCount_ = 0;
    std::size_t sysexBeforeStart_ = 0;
};

void Importer::collect(const SmfHeader& header, std::size_t size) {
    std::size_t total = 0;
    for (int c = 0; c < CHANNELS; ++c) {
        groupStart_[static_cast<std::size_t>(c)] = total;
        total += survey_.channelEvents[static_cast<std::size_t>(c)];
    }
    groupStart_[CHANNELS] = total;
    events_.resize(total);
    conductor_.reserve(survey_.conductorEvents);
    std::array<std::size_t, CHANNELS> fill{};
    for (int c = 0; c < CHANNELS; ++c)
        fill[static_cast<std::size_t>(c)] = groupStart_[static_cast<std::size_t>(c)];
    std::array<int, CHANNELS> lastTrack{};
    lastTrack.fill(-1);
    std::array<bool, CHANNELS> sorted{};
    sorted.fill(true);
    SmfError ignored; // the survey has read the same bytes without fault
    walkTracks(data_, size, header, ignored, [&](int track, const SmfTrackEvent& e) {
        if (e.isChannel()) {
            const auto c = static_cast<std::size_t>(e.status & 0x0F);
            if (lastTrack[c] != track) {
                if (lastTrack[c] >= 0)
                    sorted[c] = false; // a second track on this channel: merged by time below
                lastTrack[c] = track;
            }
            events_[fill[c]++] = {e.tick, e.status, e.data1, e.data2};
        } else if (e.isSysex()) {
            if (survey_.startMarker && e.tick < survey_.startTick)
                ++sysexBeforeStart_;
        } else if (e.isMeta() && isConductorMeta(e)) {
            ConductorEvent m{e.tick, e.metaType, {}};
            for (std::uint32_t i = 0; i < 3 && i < e.length; ++i)
                m.data[i] = data_[e.payload + i];
            conductor_.push_back(m);
        }
    });
    for (int c = 0; c < CHANNELS; ++c) {
        if (sorted[static_cast<std::size_t>(c)])
            continue;
        ++counts_.merged;
        std::stable_sort(events_.begin() + static_cast<long>(groupStart_[static_cast<std::size_t>(c)]),
                         events_.begin() + static_cast<long>(groupStart_[static_cast<std::size_t>(c) + 1]),
                         [](const ChannelEvent& a, const ChannelEvent& b) { return a.tick < b.tick; });
    }
    std::stable_sort(conductor_.begin(), conductor_.end(),
                     [](const ConductorEvent& a, const ConductorEvent& b) { return a.tick < b.tick; });
}

// The writer's lead-in: format 1, the first track's text "Start" one quarter note in, reached
// in 0.25 s by one tempo at the start, and nothing before it but the writer's own setup.
void Importer::detectLeadIn() {
    const Survey& s = survey_;
    if (s.header.format != 1 || !s.startMarker || s.startTick != static_cast<std::uint32_t>(division_) ||
        s.firstSongLikeTick < s.startTick)
        return;
    int tempiBefore = 0;
    bool quarterSecond = false;
    for (const ConductorEvent& e : conductor_) {
        if (e.tick >= s.startTick)
            break;
        if (e.type != 0x51)
            continue;
        ++tempiBefore;
        const std::uint32_t us =
            (std::uint32_t{e.data[0]} << 16) | (std::uint32_t{e.data[1]} << 8) | e.data[2];
        quarterSecond = e.tick == 0 && us == LEAD_IN_US;
    }
    if (tempiBefore == 1 && quarterSecond)
        leadIn_ = s.startTick;
}

bool isNoteOn(const ChannelEvent& e) {
    return (e.status & 0xF0) == 0x90 && e.data2 > 0;
}

bool isNoteOff(const ChannelEvent& e) {
    return (e.status & 0xF0) == 0x80 || ((e.status & 0xF0) == 0x90 && e.data2 == 0);
}

// A file the program wrote is read exactly, and its notes as they were, even two of one key at
// one tick (written as, say, D and C double sharp).
void Importer::chooseGrid() {
    grid_ = leadIn_ > 0 ? MidiGrid::Exact : options_.grid;
    if (grid_ == MidiGrid::Auto)
        grid_ = autoGrid();
    step_ = gridStep(grid_);
    tidy_ = options_.tidyPlaying && grid_ != MidiGrid::Exact;
    mergeIdentical_ = leadIn_ == 0;
}

// A file whose onsets all lie exactly on the song's grid was written, not played: the coarsest
// grid that holds every onset exactly, else the exact grid. A played file: the coarsest grid on
// which every onset lies less than a quarter of a step away, else 16ths.
MidiGrid Importer::autoGrid() const {
    constexpr std::array<MidiGrid, 5> coarseFirst = {MidiGrid::Eighth, MidiGrid::EighthTriplet,
                                                     MidiGrid::Sixteenth, MidiGrid::SixteenthTriplet,
                                                     MidiGrid::ThirtySecond};
    std::array<bool, coarseFirst.size()> near{}, exactly{};
    near.fill(true);
    exactly.fill(true);
    bool written = true;
    for (const ChannelEvent& e : events_) {
        if (!isNoteOn(e) || inLeadIn(e.tick))
            continue;
        const std::int64_t p = played(e.tick);
        written = written && p % division_ == 0;
        for (std::size_t k = 0; k < coarseFirst.size(); ++k) {
            const std::int64_t s = std::int64_t{gridStep(coarseFirst[k])} * division_;
            const std::int64_t d = p % s;
            near[k] = near[k] && 4 * std::min(d, s - d) < s;
            exactly[k] = exactly[k] && d == 0;
        }
    }
    const auto& fits = written ? exactly : near;
    for (std::size_t k = 0; k < coarseFirst.size(); ++k)
        if (fits[k])
            return coarseFirst[k];
    return written ? MidiGrid::Exact : MidiGrid::Sixteenth;
}

// Where a note-off ends its note. Off the exact grid and tidying, an end within a quarter of a
// step of the part's next onset (`onsets`: the played times, in order) becomes legato to it,
// any other goes to the nearest grid point; otherwise it keeps its time on the song's grid.
std::int64_t Importer::noteEnd(std::uint32_t fileTick, const std::vector<std::int64_t>& onsets) {
    if (!tidy_)
        return storeTickCounted(fileTick);
    const std::int64_t p = played(fileTick);
    const std::int64_t s = std::int64_t{step_} * division_;
    const auto next =
        std::lower_bound(onsets.begin(), onsets.end(), p,
                         [s](std::int64_t onset, std::int64_t end) { return 4 * (end - onset) > s; });
    const std::int64_t t = next != onsets.end() && 4 * (*next - p) <= s ? onGrid(*next) : onGrid(p);
    if (t * division_ != p)
        ++counts_.gridMoved;
    return t;
}

// Notes of one key that start at one tick of the grid in one part are one note, sounding until
// the last of them ends. Marks the note-ons and note-offs that fall away: each note-off ends the
// earliest sounding note of its key, and a note of several copies takes all but its last.
std::vector<bool> Importer::identicalNotes(std::vector<ChannelEvent>::const_iterator begin,
                                           std::vector<ChannelEvent>::const_iterator end) {
    std::vector<bool> gone(mergeIdentical_ ? static_cast<std::size_t>(end - begin) : 0, false);
    if (!mergeIdentical_)
        return gone;
    struct Sounding {
        std::int64_t start;
        int copies;
        std::size_t lastTaken; // the last note-off a copy took, SIZE_MAX for none
    };
    std::array<std::vector<Sounding>, 128> sounding;
    std::size_t i = 0;
    for (auto it = begin; it != end; ++it, ++i) {
        if (inLeadIn(it->tick))
            continue;
        std::vector<Sounding>& keyNotes = sounding[it->data1];
        if (isNoteOn(*it)) {
            const std::int64_t t = onGrid(played(it->tick));
            const auto same = std::find_if(keyNotes.begin(), keyNotes.end(),
                                           [t](const Sounding& n) { return n.start == t; });
            if (same == keyNotes.end()) {
                keyNotes.push_back({t, 0, SIZE_MAX});
                continue;
            }
            ++same->copies;
            gone[i] = true;
            ++counts_.identical;
        } else if (isNoteOff(*it) && !keyNotes.empty()) {
            if (keyNotes.front().copies > 0) {
                --keyNotes.front().copies;
                keyNotes.front().lastTaken = i;
                gone[i] = true;
            } else {
                keyNotes.erase(keyNotes.begin());
            }
        }
    }
    // A note with fewer note-offs than copies ends with the last of them.
    for (const std::vector<Sounding>& keyNotes : sounding)
        for (const Sounding& n : keyNotes)
            if (n.lastTaken != SIZE_MAX)
                gone[n.lastTaken] = false;
    return gone;
}

// How much longer (positive) the song plays than the file, in seconds, for its tempi being
// whole numbers of beats a minute.
double Importer::tempoDrift() const {
    std::uint32_t at = leadIn_;
    double exactUs = 500000.0, songUs = 500000.0, drift = 0.0;
    const auto advance = [&](std::uint32_t to) {
        drift += static_cast<double>(to - at) * (songUs - exactUs) / division_;
        at = to;
    };
    for (const ConductorEvent& e : conductor_) {
        if (e.type != 0x51 || inLeadIn(e.tick))
            continue;
        const std::uint32_t us =
            (std::uint32_t{e.data[0]} << 16) | (std::uint32_t{e.data[1]} << 8) | e.data[2];
        if (us == 0)
            continue; // dropped: the tempo before goes on in both
        advance(e.tick);
        exactUs = us;
        songUs = microsecondsPerQuarter(std::clamp(static_cast<int>(std::lround(60000000.0 / us)), 1, 255));
    }
    advance(std::max(survey_.lastTick, at));
    return drift / 1e6;
}

void Importer::buildConductor() {
    std::vector<Event> tempo, signatures;
    // The measure grid as the meters so far lay it: from tick `start` on, measure `measure`
    // and every `length` ticks the next. A meter moved to a later bar line starts a segment
    // that events before it must not use.
    struct Segment {
        std::int64_t start;
        std::int64_t measure;
        std::int32_t length;
    };
    std::vector<Segment> grid{{0, 0, ticksPerMeasure(METER_4_4)}};
    const auto place = [&](std::int64_t t, std::size_t& moved) -> std::int64_t {
        auto seg = grid.rbegin();
        while (seg->start > t)
            ++seg;
        const std::int64_t into = t - seg->start;
        std::int64_t m = seg->measure + into / seg->length;
        if (into % seg->length != 0) {
            ++m;
            ++moved;
        }
        return m;
    };
    const auto startOf = [&](std::int64_t m) {
        auto seg = grid.rbegin();
        while (seg->measure > m)
            ++seg;
        return seg->start + (m - seg->measure) * seg->length;
    };
    const auto setSignature = [&](std::uint8_t kind, std::int32_t m, std::uint8_t value) {
        for (auto it = signatures.rbegin(); it != signatures.rend() && it->pos == m; ++it) {
            if (it->kind == kind) {
                it->value = value;
                ++counts_.signaturesReplaced;
                return;
            }
        }
        signatures.push_back({m, kind, value, 0});
    };
    for (const ConductorEvent& e : conductor_) {
        if (inLeadIn(e.tick))
            continue;
        const std::int64_t t = storeTickCounted(e.tick);
        if (e.type == 0x51) {
            const std::uint32_t us =
                (std::uint32_t{e.data[0]} << 16) | (std::uint32_t{e.data[1]} << 8) | e.data[2];
            if (us == 0) {
                ++counts_.tempi;
                continue;
            }
            const int bpm = std::clamp(static_cast<int>(std::lround(60000000.0 / us)), 1, 255);
            if (microsecondsPerQuarter(bpm) != us)
                ++counts_.tempi;
            tempo.push_back({static_cast<std::int32_t>(std::min<std::int64_t>(t, INT32_MAX)), KIND_TEMPO,
                             static_cast<std::uint8_t>(bpm), 0});
        } else if (e.type == 0x58) {
            const int numerator = e.data[0];
            const int power = e.data[1];
            if (numerator < 1 || numerator > 15 || power > 15 ||
                (numerator * TICKS_PER_WHOLE) % (1 << power) != 0) {
                ++counts_.badMeters;
                continue;
            }
            const std::int64_t m = place(t, counts_.metersMoved);
            if (m >= MAX_MEASURES) {
                ++counts_.pastEnd;
                continue;
            }
            const auto meter = static_cast<std::uint8_t>(numerator * 16 + power);
            setSignature(KIND_METER, static_cast<std::int32_t>(m), meter);
            const std::int64_t start = startOf(m);
            while (grid.size() > 1 && grid.back().measure >= m)
                grid.pop_back(); // a second meter at one measure replaces the first
            grid.push_back({start, m, ticksPerMeasure(meter)});
        } else {
            const int sharps = static_cast<std::int8_t>(e.data[0]);
            const int minor = e.data[1];
            if (sharps < -7 || sharps > 7 || minor > 1) {
                ++counts_.badKeys;
                continue;
            }
            const std::int64_t m = place(t, counts_.keysMoved);
            if (m >= MAX_MEASURES) {
                ++counts_.pastEnd;
                continue;
            }
            setSignature(KIND_KEY, static_cast<std::int32_t>(m),
                         static_cast<std::uint8_t>((sharps + 7) * 2 + minor));
        }
    }
    // A song needs a key and a meter at its first measure and a tempo at its start; a file
    // without them plays in C major, 4/4, 120 bpm.
    const auto hasAtZero = [&](std::uint8_t kind) {
        return std::any_of(signatures.begin(), signatures.end(),
                           [kind](const Event& e) { return e.pos == 0 && e.kind == kind; });
    };
    if (!hasAtZero(KIND_METER)) // after a key of the first measure, as a new song holds them
        signatures.insert(signatures.begin() + (hasAtZero(KIND_KEY) ? 1 : 0), {0, KIND_METER, METER_4_4, 0});
    if (!hasAtZero(KIND_KEY))
        signatures.insert(signatures.begin(), {0, KIND_KEY, KEY_C_MAJOR, 0});
    song.row(SIGNATURE_ROW).assign(signatures);
    endTick_ = songEndTick(song.store);
    const auto past =
        std::find_if(tempo.begin(), tempo.end(), [this](const Event& e) { return e.pos > endTick_; });
    counts_.pastEnd += static_cast<std::size_t>(tempo.end() - past);
    tempo.erase(past, tempo.end());
    if (tempo.empty() || tempo.front().pos != 0)
        tempo.insert(tempo.begin(), {0, KIND_TEMPO, 120, 0});
    song.row(TEMPO_ROW).assign(tempo);
}

void Importer::buildParts() {
    for (int c = 0; c < CHANNELS; ++c) {
        const auto b = events_.begin() + static_cast<long>(groupStart_[static_cast<std::size_t>(c)]);
        const auto e = events_.begin() + static_cast<long>(groupStart_[static_cast<std::size_t>(c) + 1]);
        buildPart(c, b, e);
    }
}

// The second way to place a part's notes, for parts the sweep had to cut: note-offs paired up
// front, first in, first out (or last in, first out), then a search for spellings of all notes
// (searchPlacement).
PartNotes Importer::pairAndPlace(const std::vector<ImportedNote>& swept,
                                 const std::vector<std::int32_t>& role,
                                 const std::vector<std::int32_t>& offTick, bool drums, bool lastInFirstOut) {
    PartNotes p;
    p.notes.reserve(swept.size());
    for (const ImportedNote& s : swept) { // as the sweep found them, before anything was placed
        ImportedNote n;
        n.start = s.start;
        n.key = s.key;
        n.dropped = n.skipped = s.skipped;
        p.notes.push_back(n);
    }
    p.offNote.assign(role.size(), -1);
    std::array<std::vector<std::int32_t>, 128> open;
    std::array<std::size_t, 128> head{};
    for (std::size_t i = 0; i < role.size(); ++i) {
        if (role[i] >= 0) {
            const auto n = static_cast<std::size_t>(role[i] / 2);
            open[p.notes[n].key].push_back(role[i] / 2);
        } else if (role[i] <= NOTE_OFF_ROLE) {
            const auto key = static_cast<std::size_t>(NOTE_OFF_ROLE - role[i]);
            std::vector<std::int32_t>& q = open[key];
            if (head[key] >= q.size())
                continue; // a note-off with no note to end
            std::int32_t n;
            if (lastInFirstOut) {
                n = q.back();
                q.pop_back();
            } else {
                n = q[head[key]++];
                if (head[key] == q.size()) {
                    q.clear();
                    head[key] = 0;
                }
            }
            p.notes[static_cast<std::size_t>(n)].end = offTick[i];
            p.offNote[i] = n;
        }
    }
    // Notes that no note-off ends stop where the file ends.
    bool rounded = false;
    const std::int64_t fileEnd = storeTick(std::max(survey_.lastTick, leadIn_), rounded);
    for (ImportedNote& n : p.notes) {
        if (n.end < 0) {
            n.end = fileEnd;
            ++p.unended;
        }
        if (n.dropped)
            continue; // an unknown drum, or past the song's end
        if (n.end <= n.start) {
            n.end = n.start + minLength();
            ++p.lengthened;
        }
        if (n.end > endTick_) {
            n.end = endTick_;
            ++p.stoppedAtEnd;
        }
    }
    if (drums || !searchPlacement(p.notes, song.store))
        p.cut = SIZE_MAX / 2; // nothing better than the sweep's
    return p;
}

void Importer::buildPart(int channel, std::vector<ChannelEvent>::const_iterator begin,
                         std::vector<ChannelEvent>::const_iterator end) {
    const auto part = static_cast<std::size_t>(channel);
    const bool drums = channel == PERCUSSION_PART;
    // Per event: 2n for the note-on of note n, POINT_ROLE for a dynamics or pan point, -1 for
    // anything else (note-offs are found through the sweep).
    std::vector<std::int32_t> role(static_cast<std::size_t>(end - begin), -1);
    // Where each note-off lies, for a second placement; beyond the song's end all are alike.
    std::vector<std::int32_t> offTick(role.size(), 0);
    std::int32_t noteOns = 0;
    NoteSweep sweep(song.store, drums, endTick_, role.size(), minLength());
    bool programSet = false, volumeSet = false;
    std::size_t points = 0;
    const std::vector<bool> identical = identicalNotes(begin, end);
    std::vector<std::int64_t> onsets; // played, for the ends' legato
    if (tidy_)
        for (auto it = begin; it != end; ++it)
            if (isNoteOn(*it) && !inLeadIn(it->tick))
                onsets.push_back(played(it->tick));

    std::size_t i = 0;
    for (auto it = begin; it != end; ++it, ++i) {
        const ChannelEvent& ev = *it;
        const int high = ev.status & 0xF0;
        if (inLeadIn(ev.tick)) {
            // The writer's setup: its program and volume are the part's; the rest is its own.
            if (high == 0xC0 && !programSet) {
                song.partInstrument[part] = ev.data1;
                programSet = true;
            } else if (high == 0xB0 && ev.data1 == 7 && !volumeSet) {
                song.partVolume[part] = ev.data2;
                volumeSet = true;
            }
            continue;
        }
        const bool noteOn = isNoteOn(ev);
        const bool noteOff = isNoteOff(ev);
        if ((noteOn || noteOff) && !identical.empty() && identical[i])
            continue; // a copy of a note already sounding, or the note-off of one
        if (noteOn) {
            if (firstVelocity_ < 0)
                firstVelocity_ = ev.data2;
            velocitiesDiffer_ |= firstVelocity_ != ev.data2;
            ++noteCount_;
            const std::int64_t t = countedOnGrid(played(ev.tick));
            bool dropped = false;
            if (drums && (ev.data1 < LOWEST_DRUM_KEY || ev.data1 > HIGHEST_DRUM_KEY)) {
                dropped = true;
                ++counts_.unknownDrums;
            } else if (t >= endTick_) {
                dropped = true;
                ++counts_.pastEnd;
            }
            sweep.noteOn(ev.data1, t, dropped);
            role[i] = 2 * noteOns++;
        } else if (noteOff) {
            const std::int64_t t = noteEnd(ev.tick, onsets);
            offTick[i] = static_cast<std::int32_t>(std::min<std::int64_t>(t, endTick_ + 1));
            role[i] = NOTE_OFF_ROLE - ev.data1;
            sweep.noteOff(i, ev.data1, t);
        } else if (high == 0xB0) {
            if (ev.data1 == 10 || ev.data1 == 11) {
                role[i] = POINT_ROLE;
                ++points;
            } else if (ev.data1 == 7 && !volumeSet) {
                song.partVolume[part] = ev.data2;
                volumeSet = true;
            } else {
                ++counts_.controllers;
            }
        } else if (high == 0xC0) {
            if (!programSet) {
                song.partInstrument[part] = ev.data1;
                programSet = true;
            } else {
                ++counts_.programs;
            }
        } else if (high == 0xE0) {
            ++counts_.pitchBends;
        } else {
            ++counts_.aftertouch; // polyphonic (An) and channel (Dn) pressure
        }
    }

    // Notes that no note-off ends stop where the file ends.
    bool rounded = false;
    PartNotes placed = sweep.finish(storeTick(std::max(survey_.lastTick, leadIn_), rounded));
    for (const bool lastInFirstOut : {false, true}) {
        if (placed.cut + placed.duplicates == 0)
            break;
        PartNotes other = pairAndPlace(placed.notes, role, offTick, drums, lastInFirstOut);
        if (other.cut + other.duplicates < placed.cut + placed.duplicates)
            placed = std::move(other);
    }
    counts_.lengthened += placed.lengthened;
    counts_.stoppedAtEnd += placed.stoppedAtEnd;
    counts_.cut += placed.cut;
    counts_.duplicates += placed.duplicates;
    counts_.unended += placed.unended;
    const std::vector<ImportedNote>& notes = placed.notes;
    const bool anyUnended = placed.unended + placed.cut > 0;

    // The row in file order, then put in store order if rounding or cutting disturbed it.
    std::vector<Event> row;
    row.reserve(2 * notes.size() + points);
    std::vector<bool> closed(anyUnended ? notes.size() : 0, false);
    i = 0;
    for (auto it = begin; it != end; ++it, ++i) {
        const std::int32_t r = role[i];
        if (r == POINT_ROLE) {
            const std::int64_t t = storeTickCounted(it->tick);
            if (t > endTick_) {
                ++counts_.pastEnd;
                continue;
            }
            row.push_back(
                {static_cast<std::int32_t>(t), it->data1 == 11 ? KIND_DYNAMICS : KIND_PAN, it->data2, 0});
        } else if (r >= 0) {
            const ImportedNote& n = notes[static_cast<std::size_t>(r / 2)];
            if (!n.dropped)
                row.push_back({static_cast<std::int32_t>(n.start), KIND_NOTE_ON, n.value, n.extra});
        } else if (placed.offNote[i] >= 0) {
            const ImportedNote& n = notes[static_cast<std::size_t>(placed.offNote[i])];
            if (anyUnended)
                closed[static_cast<std::size_t>(placed.offNote[i])] = true;
            if (!n.dropped)
                row.push_back({static_cast<std::int32_t>(n.end), KIND_NOTE_OFF, n.value, 0});
        }
    }
    // Unended notes have no note-off event in the file: theirs go at the end, sorted below.
    for (std::size_t k = 0; k < closed.size(); ++k)
        if (!closed[k] && !notes[k].dropped)
            row.push_back({static_cast<std::int32_t>(notes[k].end), KIND_NOTE_OFF, notes[k].value, 0});
    const auto before = [](const Event& a, const Event& b) {
        return a.pos != b.pos ? a.pos < b.pos : tieOrder(a.kind) < tieOrder(b.kind);
    };
    if (!std::is_sorted(row.begin(), row.end(), before))
        std::stable_sort(row.begin(), row.end(), before);
    song.row(channel).assign(row);
}

// Line breaks would split the song file's text lines: they become blanks.
std::string songText(const std::uint8_t* data, const Text& text, const std::string& otherwise,
                     std::size_t& lineBreaks) {
    if (!text.found)
        return otherwise;
    std::string s(reinterpret_cast<const char*>(data + text.at), text.length);
    for (char& ch : s) {
        if (ch == '\r' || ch == '\n') {
            ch = ' ';
            ++lineBreaks;
        }
    }
    return s;
}

void Importer::setTexts() {
    song.songTitle = songText(data_, survey_.title, NEW_SONG_TITLE, counts_.lineBreaks);
    song.songCopyright = songText(data_, survey_.copyright, NEW_SONG_COPYRIGHT, counts_.lineBreaks);
}

const char* japaneseGridName(MidiGrid g) {
    switch (g) {
    case MidiGrid::Eighth:
        return "8分";
    case MidiGrid::EighthTriplet:
        return "8分3連";
    case MidiGrid::Sixteenth:
        return "16分";
    case MidiGrid::SixteenthTriplet:
        return "16分3連";
    case MidiGrid::ThirtySecond:
        return "32分";
    default:
        return "全音符の96分の1";
    }
}

const char* englishGridName(MidiGrid g) {
    switch (g) {
    case MidiGrid::Eighth:
        return "eighths";
    case MidiGrid::EighthTriplet:
        return "eighth triplets";
    case MidiGrid::Sixteenth:
        return "sixteenths";
    case MidiGrid::SixteenthTriplet:
        return "sixteenth triplets";
    case MidiGrid::ThirtySecond:
        return "32nds";
    default:
        return "96 a whole note";
    }
}

// "+0.78" seconds, the sign always written.
std::string signedSeconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.2f", s);
    return text;
}

ImportReport Importer::report() const {
    ImportReport lines;
    Counts c = counts_;
    c.velocities = velocitiesDiffer_ ? noteCount_ : 0;
    c.sysex = survey_.sysexCount - (leadIn_ > 0 ? sysexBeforeStart_ : 0);
    const auto line = [&lines](std::size_t n, const std::string& japanese, const std::string& english,
                               const std::string& after = {}, const std::string& englishAfter = {}) {
        if (n > 0)
            lines.push_back({japanese + ": " + std::to_string(n) + "個" + after,
                             english + ": " + std::to_string(n) + englishAfter});
    };
    line(c.rounded, "時刻を格子（全音符の96分の1）に丸めたイベント",
         "events rounded to the grid of 96 a whole note");
    line(c.gridMoved, std::string("音符の時刻を格子（") + japaneseGridName(grid_) + "）に合わせたイベント",
         std::string("note events moved to the grid of ") + englishGridName(grid_));
    line(c.identical, "重なった同じ音をまとめた", "identical notes sounding together merged");
    line(c.lengthened, "1ステップより短いため1ステップにした音符",
         "notes shorter than a step lengthened to one");
    line(c.cut, "同じ高さの次の音符が始まる所で切った音符", "notes cut where the next of their pitch starts");
    line(c.duplicates, "同じ時刻に同じ高さで重なっていたため除いた音符",
         "notes dropped for sounding at the same time and pitch as another");
    line(c.unended, "終わりがないためファイルの終わりで止めた音符",
         "notes without an end stopped at the end of the file");
    line(c.unknownDrums, "ドラムパートで割り当てのない鍵盤のため除いた音符",
         "drum notes dropped for keys without a drum");
    line(c.pastEnd, "1000小節目より後のため除いたイベント", "events dropped after measure 1000");
    line(c.stoppedAtEnd, "1000小節目の終わりで止めた音符", "notes stopped at the end of measure 1000");
    line(c.velocities, "ベロシティ（音の強さ）を除いた音符", "notes whose velocity was dropped");
    line(c.pitchBends, "除いたピッチベンド", "pitch bends dropped");
    line(c.aftertouch, "除いたアフタータッチ", "aftertouch messages dropped");
    line(c.controllers, "除いたその他のコントロールチェンジ", "other control changes dropped");
    line(c.programs, "除いた2つ目以降のプログラムチェンジ", "second and later program changes dropped");
    line(c.sysex, "除いたシステムエクスクルーシブ", "system exclusive messages dropped");
    line(c.metersMoved, "小節の途中から次の小節線に移した拍子", "time signatures moved to the next bar line");
    line(c.keysMoved, "小節の途中から次の小節線に移した調号", "key signatures moved to the next bar line");
    line(c.badMeters, "表せないため除いた拍子", "time signatures dropped that a song cannot hold");
    line(c.badKeys, "正しくないため除いた調号", "invalid key signatures dropped");
    line(c.signaturesReplaced, "同じ小節に重なったため除いた拍子・調号",
         "signatures dropped for another of their kind in the measure");
    if (c.tempi > 0) {
        const std::string drift = signedSeconds(tempoDrift());
        line(c.tempi, "1分間の拍数（1～255の整数）に丸めたテンポ",
             "tempi rounded to whole beats a minute (1 to 255)", "（長さの差: " + drift + "秒）",
             " (length differs by " + drift + " s)");
    }
    line(c.merged, "複数のトラックを1つのパートにまとめたチャンネル",
         "channels of several tracks merged into one part");
    line(c.lineBreaks, "空白にした曲名・著作権表示の改行",
         "line breaks in the title or copyright made blanks");
    return lines;
}

} // namespace

int gridStep(MidiGrid grid) {
    switch (grid) {
    case MidiGrid::Eighth:
        return 12;
    case MidiGrid::EighthTriplet:
        return 8;
    case MidiGrid::Sixteenth:
        return 6;
    case MidiGrid::SixteenthTriplet:
        return 4;
    case MidiGrid::ThirtySecond:
        return 3;
    case MidiGrid::Exact:
        return 1;
    case MidiGrid::Auto:
        break;
    }
    return 0;
}

std::optional<MidiGrid> gridOfName(std::string_view name) {
    const std::pair<std::string_view, MidiGrid> names[] = {{"auto", MidiGrid::Auto},
                                                           {"8", MidiGrid::Eighth},
                                                           {"8t", MidiGrid::EighthTriplet},
                                                           {"16", MidiGrid::Sixteenth},
                                                           {"16t", MidiGrid::SixteenthTriplet},
                                                           {"32", MidiGrid::ThirtySecond},
                                                           {"96", MidiGrid::Exact}};
    for (const auto& [n, g] : names)
        if (n == name)
            return g;
    return std::nullopt;
}

MidiImportResult importMidiFile(const std::uint8_t* data, std::size_t size, Song& out,
                                const MidiImportOptions& options) {
    SmfError error;
    Survey survey;
    if (!readSmfHeader(data, size, survey.header, error))
        return refuse(error);
    const SmfHeader& header = survey.header;
    if (header.format == 2)
        return refuse(8, "形式2のMIDIファイルは読み込めません。", "MIDI files of format 2 cannot be read");
    if (header.format > 2)
        return refuse(8, "MIDIファイルの形式が正しくありません。", "the MIDI file format is invalid");
    if (header.division & 0x8000)
        return refuse(12, "SMPTE時間のMIDIファイルは読み込めません。",
                      "MIDI files in SMPTE time cannot be read");
    if (header.division == 0)
        return refuse(12, "MIDIファイルの時間単位が正しくありません。",
                      "the MIDI file's time unit is invalid");

    const bool whole = walkTracks(data, size, header, error, [&](int track, const SmfTrackEvent& e) {
        survey.lastTick = std::max(survey.lastTick, e.tick);
        if (e.isChannel()) {
            const auto c = static_cast<std::size_t>(e.status & 0x0F);
            ++survey.channelEvents[c];
            if (!isLeadInMessage(e))
                survey.firstSongLikeTick = std::min(survey.firstSongLikeTick, e.tick);
        } else if (e.isSysex()) {
            ++survey.sysexCount;
        } else if (isConductorMeta(e)) {
            ++survey.conductorEvents;
        } else if (track == 0) {
            Text* text = e.metaType == 0x03   ? &survey.title
                         : e.metaType == 0x02 ? &survey.copyright
                                              : nullptr;
            if (text && !text->found)
                *text = {true, e.payload, e.length};
            if (e.metaType == 0x01 && !survey.startMarker && isText(data, e, "Start")) {
                survey.startMarker = true;
                survey.startTick = e.tick;
            }
        }
    });
    if (!whole)
        return refuse(error);

    Importer importer(data, survey, options);
    importer.song = makeNewSong();
    importer.collect(header, size);
    importer.detectLeadIn();
    importer.chooseGrid();
    importer.buildConductor();
    importer.buildParts();
    importer.setTexts();
    MidiImportResult result;
    result.ok = true;
    result.report = importer.report();
    result.grid = importer.grid();
    out = std::move(importer.song);
    return result;
}

} // namespace pokopen
