#include "notation/musicxml_import.h"

#include "model/new_song.h"
#include "model/note_spelling.h"
#include "model/pitch.h"
#include "model/song_file.h"
#include "model/text_codec.h"
#include "model/timeline.h"
#include "notation/mxl_archive.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>

namespace pokopen {

namespace {

constexpr int TICKS_PER_QUARTER = TICKS_PER_WHOLE / 4;
constexpr int LOWEST_DRUM_KEY = 81 - 46;
constexpr int HIGHEST_DRUM_KEY = 81;

struct Counts {
    std::size_t partsDropped = 0, measuresDropped = 0, rounded = 0, graceNotes = 0, cueNotes = 0,
                ornaments = 0;
    std::size_t unknownDrums = 0, metersRounded = 0, badKeys = 0, tempiRounded = 0, metronomes = 0;
    std::size_t concertParts = 0, cut = 0, merged = 0, respelled = 0, outOfRange = 0, stoppedAtEnd = 0;
    std::size_t textCharacters = 0;
};

// A song text from UTF-8: Shift-JIS, with '?' for each character it has no form for.
std::string songText(const std::string& utf8, std::size_t& replaced) {
    const QString text = QString::fromStdString(utf8);
    if (const std::optional<std::string> whole = encodeSongText(text))
        return *whole;
    std::string out;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        if (const std::optional<std::string> one = encodeSongText(text.mid(i, n))) {
            out += *one;
        } else {
            out += '?';
            ++replaced;
        }
        i += n;
    }
    return out;
}

// The meter byte of a time signature, or the nearest one a song holds (counted).
std::uint8_t meterOf(const ScoreTime& t, std::size_t& rounded) {
    int power = 0;
    while ((1 << power) < t.beatType && power < 15)
        ++power;
    if ((1 << power) == t.beatType && t.beats >= 1 && t.beats <= 15 &&
        (t.beats * TICKS_PER_WHOLE) % (1 << power) == 0)
        return static_cast<std::uint8_t>(t.beats * 16 + power);
    ++rounded;
    const double wanted = static_cast<double>(t.beats) / t.beatType;
    std::uint8_t best = METER_4_4;
    double bestError = 1e300;
    for (int p = 0; p <= 5; ++p)
        for (int n = 1; n <= 15; ++n) {
            if ((n * TICKS_PER_WHOLE) % (1 << p) != 0)
                continue;
            // The same beat type first, then the nearest length.
            const double error =
                std::abs(static_cast<double>(n) / (1 << p) - wanted) + ((1 << p) == t.beatType ? 0 : 1e-6);
            if (error < bestError) {
                bestError = error;
                best = static_cast<std::uint8_t>(n * 16 + p);
            }
        }
    return best;
}

// The program's transposing instrument for a transposition, if it has one.
std::optional<int> transpositionOf(const ScoreTranspose& t) {
    for (int i = 0; i < TRANSPOSITION_COUNT; ++i) {
        const auto u = static_cast<std::size_t>(i);
        if (TRANSPOSE_SEMITONES[u] != t.chromatic)
            continue;
        const int shift = -t.diatonic;
        if (shift >= TRANSPOSE_STEPS[u] - 1 && shift <= TRANSPOSE_STEPS[u] + 1)
            return i;
    }
    return std::nullopt;
}

struct Placed {
    std::int64_t start, end;
    std::uint8_t value;
    std::int8_t extra;
    int key; // sounding
};

class Mapper {
public:
    Mapper(const Score& score) : score_(score) {}

    Song run(ImportReport& report);

private:
    void setTexts();
    void buildSignatures();
    void buildTempo();
    void assignParts();
    void buildPart(const ScorePart& part, int row);
    ImportReport report() const;

    // The exact tick of a place, rounded to the nearest (counted when that moved it).
    std::int64_t tickOf(int measure, const QuarterTime& offset) {
        const std::int64_t start = measureStart_[static_cast<std::size_t>(std::min(measure, MAX_MEASURES))];
        const __int128 scaled = static_cast<__int128>(offset.num) * TICKS_PER_QUARTER;
        const __int128 whole = (2 * scaled + offset.den) / (2 * static_cast<__int128>(offset.den));
        if (whole * offset.den != scaled)
            ++counts_.rounded;
        return start + static_cast<std::int64_t>(whole);
    }
    // The same for an end: offset + duration.
    std::int64_t tickOf(int measure, const QuarterTime& offset, const QuarterTime& duration) {
        const __int128 num = static_cast<__int128>(offset.num) * duration.den +
                             static_cast<__int128>(duration.num) * offset.den;
        const __int128 den = static_cast<__int128>(offset.den) * duration.den;
        const std::int64_t start = measureStart_[static_cast<std::size_t>(std::min(measure, MAX_MEASURES))];
        const __int128 scaled = num * TICKS_PER_QUARTER;
        const __int128 whole = (2 * scaled + den) / (2 * den);
        if (whole * den != scaled)
            ++counts_.rounded;
        return start + static_cast<std::int64_t>(whole);
    }

    const Score& score_;
    Song song_;
    Counts counts_;
    std::vector<std::int64_t> measureStart_; // 0..1000
    std::int64_t endTick_ = 0;
    const ScorePart* keySource_ = nullptr; // the part whose keys are the song's
};

void Mapper::setTexts() {
    const std::string& title =
        score_.hasWorkTitle || score_.movementTitle.empty() ? score_.workTitle : score_.movementTitle;
    song_.songTitle = score_.hasWorkTitle || !score_.movementTitle.empty()
                          ? songText(title, counts_.textCharacters)
                          : NEW_SONG_TITLE;
    song_.songCopyright = songText(score_.rights, counts_.textCharacters);
}

void Mapper::buildSignatures() {
    std::vector<Event> signatures;
    // The song's keys: those of the first pitched part that is not transposed, else of the
    // first pitched part taken back to concert pitch, else of a drum part.
    for (const int pass : {0, 1, 2}) {
        for (const ScorePart& p : score_.parts) {
            if (p.keys.empty() || p.percussion != (pass == 2) || (pass == 0 && !p.transposes.empty()))
                continue;
            keySource_ = &p;
            break;
        }
        if (keySource_)
            break;
    }
    std::map<int, std::uint8_t> keys, meters;
    if (keySource_) {
        for (const ScoreKey& k : keySource_->keys) {
            if (k.measure >= MAX_MEASURES)
                continue;
            if (k.fifths < -7 || k.fifths > 7) {
                ++counts_.badKeys;
                continue;
            }
            int written = (k.fifths + 7) * 2 + (k.minor ? 1 : 0);
            // A transposed part writes the key it reads in: find the concert key it stands for.
            const ScoreTranspose* t = nullptr;
            for (const ScoreTranspose& x : keySource_->transposes)
                if (x.measure <= k.measure)
                    t = &x;
            if (t) {
                const std::optional<int> instrument = transpositionOf(*t);
                int concert = -1;
                for (int c = 0; c < KEY_COUNT && instrument; ++c)
                    if (writtenKey(c, *instrument) == WrittenKey{written, -t->diatonic})
                        concert = c;
                if (concert < 0) { // not one of the program's: the key moved by as many fifths
                    int f = ((t->chromatic * 7) % 12 + 12) % 12;
                    if (f > 6)
                        f -= 12;
                    int fifths = k.fifths + f;
                    if (fifths > 7)
                        fifths -= 12;
                    else if (fifths < -7)
                        fifths += 12;
                    concert = (fifths + 7) * 2 + (k.minor ? 1 : 0);
                }
                written = concert;
            }
            keys[k.measure] = static_cast<std::uint8_t>(written);
        }
    }
    for (const ScoreTime& t : score_.times)
        if (t.measure < MAX_MEASURES)
            meters[t.measure] = meterOf(t, counts_.metersRounded);
    if (!keys.contains(0))
        keys[0] = KEY_C_MAJOR;
    if (!meters.contains(0))
        meters[0] = METER_4_4;
    auto k = keys.begin();
    auto m = meters.begin();
    while (k != keys.end() || m != meters.end()) {
        if (m == meters.end() || (k != keys.end() && k->first <= m->first)) {
            signatures.push_back({k->first, KIND_KEY, k->second, 0});
            ++k;
        } else {
            signatures.push_back({m->first, KIND_METER, m->second, 0});
            ++m;
        }
    }
    song_.row(SIGNATURE_ROW).assign(signatures);
    const MeasureMap map(song_.store);
    measureStart_.resize(MAX_MEASURES + 1);
    for (int i = 0; i <= MAX_MEASURES; ++i)
        measureStart_[static_cast<std::size_t>(i)] = map.measureToTick(i);
    endTick_ = measureStart_.back();
}

void Mapper::buildTempo() {
    std::vector<Event> tempo;
    for (const ScoreTempo& t : score_.tempi) {
        if (t.measure >= MAX_MEASURES)
            continue;
        const auto pos = static_cast<std::int32_t>(tickOf(t.measure, t.offset));
        const int bpm = std::clamp(static_cast<int>(std::lround(t.bpm)), 1, 255);
        if (bpm != t.bpm)
            ++counts_.tempiRounded;
        counts_.metronomes += t.fromMetronome ? 1 : 0;
        const auto same =
            std::find_if(tempo.begin(), tempo.end(), [pos](const Event& e) { return e.pos == pos; });
        if (same != tempo.end())
            same->value = static_cast<std::uint8_t>(bpm); // the later mark of one place counts
        else
            tempo.push_back({pos, KIND_TEMPO, static_cast<std::uint8_t>(bpm), 0});
    }
    std::stable_sort(tempo.begin(), tempo.end(),
                     [](const Event& a, const Event& b) { return a.pos < b.pos; });
    if (tempo.empty() || tempo.front().pos != 0)
        tempo.insert(tempo.begin(), {0, KIND_TEMPO, 120, 0});
    song_.row(TEMPO_ROW).assign(tempo);
}

void Mapper::assignParts() {
    std::array<const ScorePart*, PART_ROWS> rowOf{};
    std::vector<const ScorePart*> waiting;
    for (const ScorePart& p : score_.parts) {
        if (p.percussion) {
            if (!rowOf[PERCUSSION_PART])
                rowOf[PERCUSSION_PART] = &p;
            else
                ++counts_.partsDropped;
            continue;
        }
        const int wanted = p.midiChannel - 1;
        if (wanted >= 0 && wanted != PERCUSSION_PART && !rowOf[static_cast<std::size_t>(wanted)])
            rowOf[static_cast<std::size_t>(wanted)] = &p;
        else
            waiting.push_back(&p);
    }
    std::size_t next = 0;
    for (const ScorePart* p : waiting) {
        while (next < rowOf.size() && (next == PERCUSSION_PART || rowOf[next]))
            ++next;
        if (next >= rowOf.size()) {
            ++counts_.partsDropped;
            continue;
        }
        rowOf[next] = p;
    }
    for (int r = 0; r < PART_ROWS; ++r)
        if (rowOf[static_cast<std::size_t>(r)])
            buildPart(*rowOf[static_cast<std::size_t>(r)], r);
}

void Mapper::buildPart(const ScorePart& part, int r) {
    const auto ri = static_cast<std::size_t>(r);
    const bool drums = r == PERCUSSION_PART;
    if (part.program > 0)
        song_.partInstrument[ri] = part.program - 1;
    if (part.volume >= 0)
        song_.partVolume[ri] = static_cast<int>(std::lround(part.volume * 127 / 100));
    // The part's transposition: the program's setting where it has one, else concert pitch.
    if (!drums && !part.transposes.empty()) {
        const std::optional<int> first = transpositionOf(part.transposes.front());
        const bool one = first.has_value() &&
                         std::all_of(part.transposes.begin(), part.transposes.end(),
                                     [&](const ScoreTranspose& t) { return transpositionOf(t) == first; });
        if (one)
            song_.partTransposition[ri] = first.value();
        else
            ++counts_.concertParts;
    }
    const KeyMap keys(song_.store);
    const MeasureMap measures(song_.store);

    // Notes in time order with their sounding keys; tied notes joined.
    struct Pending {
        std::int64_t start, end;
        int key, step, alter; // step/alter: concert-pitch staff step and absolute alteration
        bool open;            // a tie starts at its end
    };
    std::vector<Pending> notes;
    for (const ScoreNote& n : part.notes) {
        if (n.measure >= MAX_MEASURES)
            continue; // counted with the measures
        const std::int64_t start = tickOf(n.measure, n.offset);
        const std::int64_t end = tickOf(n.measure, n.offset, n.duration);
        int key, step = 0, alter = 0;
        if (n.unpitched) {
            const auto found =
                part.unpitchedOf.find(n.instrument.empty() ? part.firstInstrument : n.instrument);
            key = found != part.unpitchedOf.end() ? found->second - 1 : -1;
        } else {
            // Written to sounding: the transposition in force in the note's measure.
            const ScoreTranspose* t = nullptr;
            for (const ScoreTranspose& x : part.transposes)
                if (x.measure <= n.measure)
                    t = &x;
            const int diatonic = t ? t->diatonic : 0, chromatic = t ? t->chromatic : 0;
            step = n.step - diatonic; // steps count down
            key = naturalKey(n.step) + n.alter + chromatic;
            alter = key - naturalKey(step);
        }
        if (n.tieStop) {
            const auto tied = std::find_if(notes.rbegin(), notes.rend(), [&](const Pending& p) {
                return p.open && p.key == key && p.step == step && p.alter == alter && p.end == start;
            });
            if (tied != notes.rend()) {
                tied->end = end;
                tied->open = n.tieStart;
                continue;
            }
        }
        notes.push_back({start, end, key, step, alter, n.tieStart});
    }
    std::stable_sort(notes.begin(), notes.end(),
                     [](const Pending& a, const Pending& b) { return a.start < b.start; });

    std::vector<Placed> placed;
    placed.reserve(notes.size());
    for (const Pending& n : notes) {
        if (n.start >= endTick_)
            continue;
        Placed p{n.start, std::min(n.end, endTick_), 0, 0, n.key};
        if (n.end > endTick_)
            ++counts_.stoppedAtEnd;
        if (p.end <= p.start)
            p.end = p.start + 1;
        if (drums) {
            if (n.key < LOWEST_DRUM_KEY || n.key > HIGHEST_DRUM_KEY) {
                ++counts_.unknownDrums;
                continue;
            }
            p.value = static_cast<std::uint8_t>(81 - n.key);
        } else {
            if (n.key < 0 || n.key > 127) {
                ++counts_.outOfRange;
                continue;
            }
            const int k = keys.keyOfMeasure(measures.tickToMeasure(static_cast<std::int32_t>(p.start)));
            const int extra = n.alter - keyAlteration(k, n.step);
            if (n.alter < -2 || n.alter > 2 || n.step < -124 || n.step > 127) {
                // An accidental the palette has no button for: the best spelling in the key.
                std::uint8_t value = 0;
                std::int8_t e = 0;
                spellNote(n.key, k, 0, value, e);
                p.value = value;
                p.extra = e;
                ++counts_.respelled;
            } else {
                p.value = valueOfStep(n.step);
                p.extra = static_cast<std::int8_t>(extra);
            }
        }
        placed.push_back(p);
    }

    // No two notes on one staff value may overlap: of two that start together the longer
    // stays, a note still sounding when the next starts ends there.
    std::array<std::int64_t, 256> lastIndex;
    lastIndex.fill(-1);
    std::vector<bool> gone(placed.size(), false);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        Placed& n = placed[i];
        const std::int64_t j = lastIndex[n.value];
        if (j >= 0) {
            Placed& before = placed[static_cast<std::size_t>(j)];
            if (before.end > n.start) {
                if (before.start == n.start) {
                    ++counts_.merged;
                    if (before.end >= n.end) {
                        gone[i] = true;
                        continue;
                    }
                    gone[static_cast<std::size_t>(j)] = true;
                } else {
                    ++counts_.cut;
                    before.end = n.start;
                }
            }
        }
        lastIndex[n.value] = static_cast<std::int64_t>(i);
    }

    std::vector<Event> row;
    row.reserve(2 * placed.size() + part.sounds.size());
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (gone[i])
            continue;
        const Placed& n = placed[i];
        row.push_back({static_cast<std::int32_t>(n.start), KIND_NOTE_ON, n.value, n.extra});
        row.push_back({static_cast<std::int32_t>(n.end), KIND_NOTE_OFF, n.value, 0});
    }
    for (const ScoreSound& s : part.sounds) {
        if (s.measure >= MAX_MEASURES)
            continue;
        const std::int64_t t = tickOf(s.measure, s.offset);
        if (t > endTick_)
            continue;
        // Dynamics are percent of forte (expression 90); pan degrees, -90 left to +90 right.
        const double v = s.pan ? 64 + s.value * 64 / 90 : s.value * 90 / 100;
        row.push_back({static_cast<std::int32_t>(t), s.pan ? KIND_PAN : KIND_DYNAMICS,
                       static_cast<std::uint8_t>(std::clamp(static_cast<int>(std::lround(v)), 0, 127)), 0});
    }
    std::stable_sort(row.begin(), row.end(), [](const Event& a, const Event& b) {
        return a.pos != b.pos ? a.pos < b.pos : tieOrder(a.kind) < tieOrder(b.kind);
    });
    song_.row(r).assign(row);
}

ImportReport Mapper::report() const {
    ImportReport lines;
    const auto line = [&lines](std::size_t n, const char* japanese, const char* english) {
        if (n > 0)
            lines.push_back({std::string(japanese) + ": " + std::to_string(n) + "個",
                             std::string(english) + ": " + std::to_string(n)});
    };
    const Counts& c = counts_;
    line(c.partsDropped, "16パートに入らないため除いたパート", "parts dropped for want of a free part");
    line(c.measuresDropped, "1000小節目より後のため除いた小節", "measures dropped after measure 1000");
    line(c.rounded, "時刻を格子（全音符の96分の1）に丸めた音符・記号",
         "times rounded to the grid of 96 a whole note");
    line(c.graceNotes, "除いた装飾音符", "grace notes dropped");
    line(c.cueNotes, "除いたキュー音符", "cue notes dropped");
    line(c.ornaments, "装飾記号を除いた音符", "notes whose ornaments were dropped");
    line(c.unknownDrums, "ドラムパートで割り当てのない楽器のため除いた音符",
         "drum notes dropped for instruments without a drum");
    line(c.outOfRange, "MIDIの音域の外のため除いた音符", "notes dropped outside the MIDI range");
    line(c.respelled, "書けない臨時記号のため書き直した音符",
         "notes respelled for accidentals a song cannot write");
    line(c.merged, "同じ高さで同時に始まるため1つにした音符",
         "notes of one pitch starting together made one");
    line(c.cut, "同じ高さの次の音符が始まる所で切った音符", "notes cut where the next of their pitch starts");
    line(c.stoppedAtEnd, "1000小節目の終わりで止めた音符", "notes stopped at the end of measure 1000");
    line(c.metersRounded, "表せないため近い拍子にした拍子",
         "time signatures changed to the nearest a song holds");
    line(c.badKeys, "表せないため除いた調号", "key signatures dropped that a song cannot hold");
    line(c.tempiRounded, "1分間の拍数（1～255の整数）に丸めたテンポ",
         "tempi rounded to whole beats a minute (1 to 255)");
    line(c.metronomes, "テンポの指定のないメトロノーム記号から取ったテンポ",
         "tempi taken from metronome marks alone");
    line(c.concertParts, "移調楽器の設定にない移調のため実音で記録したパート",
         "parts stored at concert pitch for a transposition the program does not have");
    line(c.textCharacters, "曲名・著作権表示でShift-JISにないため「?」にした文字",
         "characters of the title or copyright without a Shift-JIS form made '?'");
    return lines;
}

Song Mapper::run(ImportReport& report) {
    song_ = makeNewSong();
    counts_.graceNotes = score_.graceNotes;
    counts_.cueNotes = score_.cueNotes;
    counts_.ornaments = score_.ornaments;
    int measures = 0;
    for (const ScorePart& p : score_.parts)
        measures = std::max(measures, p.measures);
    counts_.measuresDropped = static_cast<std::size_t>(std::max(0, measures - MAX_MEASURES));
    setTexts();
    buildSignatures();
    buildTempo();
    assignParts();
    report = this->report();
    return std::move(song_);
}

bool hasExtension(const std::string& path, const char* ext) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    std::string e = path.substr(dot + 1);
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return std::tolower(c); });
    return e == ext;
}

} // namespace

Song songOfScore(const Score& score, ImportReport& report) {
    return Mapper(score).run(report);
}

MusicXmlImportResult importMusicXml(std::string_view document, Song& out) {
    MusicXmlImportResult r;
    Score score;
    const ScoreReadResult read = readMusicXmlScore(document, score);
    if (!read.ok) {
        r.line = read.line;
        r.message = read.message;
        r.japanese = read.japanese;
        return r;
    }
    out = songOfScore(score, r.report);
    r.ok = true;
    return r;
}

MusicXmlImportResult importMusicXmlFile(const std::string& path, Song& out) {
    std::string document;
    if (hasExtension(path, "mxl")) {
        const MxlResult archive = readMxlScore(path, document, MAX_MUSICXML_BYTES);
        if (!archive.ok) {
            MusicXmlImportResult r;
            r.entry = archive.entry;
            r.message = archive.message;
            r.japanese = archive.japanese;
            return r;
        }
    } else if (!readWholeFile(path, document)) {
        MusicXmlImportResult r;
        r.message = "cannot be opened";
        r.japanese = "開けません";
        return r;
    }
    return importMusicXml(document, out);
}

} // namespace pokopen
