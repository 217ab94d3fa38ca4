#include "notation/musicxml_writer.h"

#include "model/instruments.h"
#include "model/percussion.h"
#include "model/pitch.h"
#include "model/text_codec.h"
#include "model/timeline.h"
#include "notation/musicxml_rhythm.h"

#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <vector>

namespace pokopen {

namespace {

// One division per tick: 24 divisions a quarter note make every grid position whole.
constexpr std::int32_t DIVISIONS = TICKS_PER_WHOLE / 4;
constexpr int VOICES_PER_STAFF = 4;
// Written steps at middle C or above (step numbers count down from E7) go on the upper staff.
constexpr int MIDDLE_C_STEP = 23;
// The buffer goes to the sink whenever it holds this much.
constexpr std::size_t FLUSH_SIZE = std::size_t{1} << 20;

int floorDiv(int a, int b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
int floorMod(int a, int b) {
    return a - floorDiv(a, b) * b;
}

// Letter and octave of a written staff step (0 = E7, counting down).
constexpr std::array<char, 7> STEP_LETTERS = {'E', 'D', 'C', 'B', 'A', 'G', 'F'};
char letterOfStep(int step) {
    return STEP_LETTERS[static_cast<std::size_t>(floorMod(step, 7))];
}
int octaveOfStep(int step) {
    return 7 - floorDiv(step + 4, 7);
}

std::string_view accidentalName(int alter) {
    switch (alter) {
    case -3:
        return "triple-flat";
    case -2:
        return "flat-flat";
    case -1:
        return "flat";
    case 0:
        return "natural";
    case 1:
        return "sharp";
    case 2:
        return "double-sharp";
    case 3:
        return "triple-sharp";
    default:
        return {};
    }
}

// Where a drum sits on the percussion staff and its note head, by MIDI key 35..81: the drum
// kit on the usual lines (bass drums low, snares on the third space, toms between, cymbals
// and hi-hats above the staff with crossed heads), the hand percussion with diamond,
// triangle and slash heads.
struct DrumLook {
    char step;
    int octave;
    std::string_view notehead;
};
constexpr int FIRST_DRUM_KEY = 35;
constexpr std::array<DrumLook, 47> DRUM_LOOKS = {{
    {'E', 4, "normal"},   // 35 bass drum 1
    {'F', 4, "normal"},   // 36 bass drum 2
    {'C', 5, "x"},        // 37 side stick
    {'C', 5, "normal"},   // 38 snare 1
    {'B', 4, "x"},        // 39 hand clap
    {'C', 5, "slash"},    // 40 snare 2
    {'G', 4, "normal"},   // 41 low floor tom
    {'G', 5, "x"},        // 42 closed hi-hat
    {'A', 4, "normal"},   // 43 high floor tom
    {'D', 4, "x"},        // 44 pedal hi-hat
    {'B', 4, "normal"},   // 45 low tom
    {'G', 5, "circle-x"}, // 46 open hi-hat
    {'D', 5, "normal"},   // 47 low-mid tom
    {'E', 5, "normal"},   // 48 high-mid tom
    {'A', 5, "x"},        // 49 crash cymbal 1
    {'F', 5, "normal"},   // 50 high tom
    {'F', 5, "x"},        // 51 ride cymbal 1
    {'C', 6, "x"},        // 52 gong
    {'F', 5, "diamond"},  // 53 ride bell
    {'E', 5, "x"},        // 54 tambourine
    {'B', 5, "x"},        // 55 splash cymbal
    {'E', 5, "triangle"}, // 56 cowbell
    {'A', 5, "circle-x"}, // 57 crash cymbal 2
    {'D', 4, "triangle"}, // 58 vibraslap
    {'D', 6, "x"},        // 59 ride cymbal 2
    {'E', 5, "diamond"},  // 60 high bongo
    {'D', 5, "diamond"},  // 61 low bongo
    {'C', 5, "diamond"},  // 62 closed high conga
    {'B', 4, "diamond"},  // 63 open high conga
    {'A', 4, "diamond"},  // 64 low conga
    {'G', 5, "diamond"},  // 65 high timbale
    {'G', 4, "diamond"},  // 66 low timbale
    {'A', 5, "triangle"}, // 67 high agogo
    {'G', 5, "triangle"}, // 68 low agogo
    {'F', 4, "x"},        // 69 cabasa
    {'E', 4, "x"},        // 70 maracas
    {'C', 6, "triangle"}, // 71 short whistle
    {'D', 6, "triangle"}, // 72 long whistle
    {'F', 4, "slash"},    // 73 short guiro
    {'E', 4, "slash"},    // 74 long guiro
    {'B', 5, "triangle"}, // 75 claves
    {'C', 6, "diamond"},  // 76 high wood block
    {'B', 5, "diamond"},  // 77 low wood block
    {'A', 5, "diamond"},  // 78 closed cuica
    {'A', 4, "x"},        // 79 open cuica
    {'F', 5, "triangle"}, // 80 closed triangle
    {'F', 5, "circle-x"}, // 81 open triangle
}};
constexpr DrumLook OTHER_DRUM = {'A', 4, "normal"};

DrumLook drumLook(int key) {
    const int i = key - FIRST_DRUM_KEY;
    return i >= 0 && i < static_cast<int>(DRUM_LOOKS.size()) ? DRUM_LOOKS[static_cast<std::size_t>(i)]
                                                             : OTHER_DRUM;
}

// MIDI key of a drum-part value, as the MIDI export sends it.
int drumKey(int value) {
    return std::clamp(percussionKey(value), 0, 127);
}

std::string drumName(int key) {
    const std::string_view name = percussionName(81 - key);
    return name.empty() ? "Drum " + std::to_string(key) : std::string(name);
}

std::string utf8Text(const std::string& shiftJis) {
    return decodeSongText(shiftJis).toStdString();
}

// A buffer that goes to the sink in large pieces.
class Output {
public:
    explicit Output(const MusicXmlSink& sink) : sink_(sink) { buf_.reserve(FLUSH_SIZE + 64 * 1024); }

    Output& operator<<(std::string_view s) {
        buf_.append(s);
        return *this;
    }
    Output& operator<<(char c) {
        buf_.push_back(c);
        return *this;
    }
    Output& operator<<(int v) {
        std::array<char, 16> digits{};
        const auto r = std::to_chars(digits.data(), digits.data() + digits.size(), v);
        buf_.append(digits.data(), r.ptr);
        return *this;
    }
    // Character data or an attribute value, escaped.
    Output& text(std::string_view s) {
        for (const char c : s) {
            switch (c) {
            case '&':
                buf_ += "&amp;";
                break;
            case '<':
                buf_ += "&lt;";
                break;
            case '>':
                buf_ += "&gt;";
                break;
            case '"':
                buf_ += "&quot;";
                break;
            default:
                // Control characters other than tab and line breaks are not allowed in XML.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                    buf_.push_back(c);
                break;
            }
        }
        return *this;
    }
    void flushIfFull() {
        if (buf_.size() >= FLUSH_SIZE)
            flush();
    }
    bool flush() {
        if (ok_ && !buf_.empty())
            ok_ = sink_(buf_);
        buf_.clear();
        return ok_;
    }

private:
    const MusicXmlSink& sink_;
    std::string buf_;
    bool ok_ = true;
};

struct PartNote {
    std::int32_t start;
    std::int32_t end;
    std::uint8_t value;
    std::int16_t key;   // sounding MIDI key, as the MIDI export plays it
    std::uint8_t staff; // 0 upper, 1 lower
    std::uint8_t voice; // 0..3 within its staff
};

// The transposition of a melodic part in one measure.
struct Spelling {
    WrittenKey written; // key to write and step shift to concert pitch
    int semitones = 0;  // written pitch + semitones = sounding pitch
};

class DocumentWriter {
public:
    DocumentWriter(const Song& song, Output& out)
        : song_(song), out_(out), keys_(song.store), measures_(song.store) {
        measureCount_ = musicXmlLastMeasure(song) + 1;
        endTick_ = measures_.measureToTick(measureCount_);
        keyEventAt_.assign(MAX_MEASURES + 1, false);
        meterEventAt_.assign(MAX_MEASURES + 1, false);
        meterOf_.assign(MAX_MEASURES + 1, METER_4_4);
        const EventRow& sig = song.row(SIGNATURE_ROW);
        for (std::int32_t i = 0; i < sig.count(); ++i) {
            const Event e = sig.at(i);
            if (e.pos < 0 || e.pos > MAX_MEASURES)
                continue;
            if (e.kind == KIND_KEY)
                keyEventAt_[static_cast<std::size_t>(e.pos)] = true;
            else if (e.kind == KIND_METER)
                meterEventAt_[static_cast<std::size_t>(e.pos)] = true;
        }
        std::uint8_t meter = METER_4_4;
        std::size_t i = 0;
        for (std::int32_t m = 0; m <= MAX_MEASURES; ++m) {
            for (; i < sig.pos.size() && sig.pos[i] <= m; ++i)
                if (sig.kind[i] == KIND_METER)
                    meter = sig.value[i];
            meterOf_[static_cast<std::size_t>(m)] = meter;
        }
    }

    void write() {
        std::vector<int> parts;
        for (int p = 0; p < PART_ROWS; ++p) {
            const EventRow& row = song_.row(p);
            if (std::find(row.kind.begin(), row.kind.end(), KIND_NOTE_ON) != row.kind.end())
                parts.push_back(p);
        }
        // A score needs one part; a song without notes shows part 1's empty measures.
        if (parts.empty())
            parts.push_back(0);

        writeHeader(parts);
        bool first = true;
        for (const int p : parts) {
            writePart(p, first);
            first = false;
        }
        out_ << "</score-partwise>\n";
    }

private:
    // ---- header -------------------------------------------------------------------------

    void writeHeader(const std::vector<int>& parts) {
        out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
                "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
                "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
                "<score-partwise version=\"4.0\">\n";
        const std::string title = utf8Text(song_.songTitle);
        const std::string rights = utf8Text(song_.songCopyright);
        out_ << "  <work>\n    <work-title>";
        out_.text(title) << "</work-title>\n  </work>\n";
        out_ << "  <identification>\n";
        if (!rights.empty()) {
            out_ << "    <rights>";
            out_.text(rights) << "</rights>\n";
        }
        out_ << "    <encoding>\n"
                "      <software>Pokopen Sequencer</software>\n"
                "      <supports element=\"accidental\" type=\"yes\"/>\n"
                "      <supports element=\"beam\" type=\"yes\"/>\n"
                "      <supports element=\"stem\" type=\"no\"/>\n"
                "    </encoding>\n"
                "  </identification>\n";
        out_ << "  <part-list>\n";
        for (const int p : parts)
            writeScorePart(p);
        out_ << "  </part-list>\n";
    }

    // The part's volume as percent, with the decimals that give the value back.
    static std::string volumePercent(int volume) {
        char text[16];
        std::snprintf(text, sizeof text, "%.2f", std::clamp(volume, 0, 127) * 100.0 / 127.0);
        std::string s(text);
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
        return s;
    }

    void writeScorePart(int p) {
        const auto i = static_cast<std::size_t>(p);
        const int program = std::clamp(song_.partInstrument[i], 0, 127);
        const std::string volume = volumePercent(song_.partVolume[i]);
        out_ << "    <score-part id=\"P" << p + 1 << "\">\n";
        if (p == PERCUSSION_PART) {
            std::vector<int> drumKeys = usedDrumKeys();
            out_ << "      <part-name>Drums</part-name>\n";
            for (const int key : drumKeys) {
                out_ << "      <score-instrument id=\"P" << p + 1 << "-I" << key + 1 << "\">\n"
                     << "        <instrument-name>";
                out_.text(drumName(key)) << "</instrument-name>\n      </score-instrument>\n";
            }
            for (const int key : drumKeys)
                out_ << "      <midi-instrument id=\"P" << p + 1 << "-I" << key + 1 << "\">\n"
                     << "        <midi-channel>" << p + 1 << "</midi-channel>\n"
                     << "        <midi-program>" << program + 1 << "</midi-program>\n"
                     << "        <midi-unpitched>" << key + 1 << "</midi-unpitched>\n"
                     << "        <volume>" << volume << "</volume>\n"
                     << "      </midi-instrument>\n";
        } else {
            const std::string_view name = INSTRUMENT_NAMES[static_cast<std::size_t>(program)];
            out_ << "      <part-name>";
            out_.text(name) << "</part-name>\n";
            out_ << "      <score-instrument id=\"P" << p + 1 << "-I1\">\n        <instrument-name>";
            out_.text(name) << "</instrument-name>\n      </score-instrument>\n";
            out_ << "      <midi-instrument id=\"P" << p + 1 << "-I1\">\n"
                 << "        <midi-channel>" << p + 1 << "</midi-channel>\n"
                 << "        <midi-program>" << program + 1 << "</midi-program>\n"
                 << "        <volume>" << volume << "</volume>\n"
                 << "      </midi-instrument>\n";
        }
        out_ << "    </score-part>\n";
    }

    std::vector<int> usedDrumKeys() const {
        std::array<bool, 128> used{};
        const EventRow& row = song_.row(PERCUSSION_PART);
        for (std::int32_t i = 0; i < row.count(); ++i)
            if (row.kind[static_cast<std::size_t>(i)] == KIND_NOTE_ON)
                used[static_cast<std::size_t>(drumKey(row.value[static_cast<std::size_t>(i)]))] = true;
        std::vector<int> keys;
        for (int k = 0; k < 128; ++k)
            if (used[static_cast<std::size_t>(k)])
                keys.push_back(k);
        return keys;
    }

    // ---- the notes of one part -----------------------------------------------------------

    Spelling spellingOf(std::int32_t measure) const {
        Spelling s;
        s.written = writtenKey(keys_.keyOfMeasure(measure), transposition_);
        s.semitones = TRANSPOSE_SEMITONES[static_cast<std::size_t>(transposition_)];
        return s;
    }

    // Pairs every note-on with the next note-off of its value; a note nothing ends, or one
    // running past the score's end, stops at the end.
    void collectNotes(int p) {
        notes_.clear();
        const EventRow& row = song_.row(p);
        std::array<std::vector<std::size_t>, 256> pending;
        for (std::int32_t i = 0; i < row.count(); ++i) {
            const Event e = row.at(i);
            if (e.kind == KIND_NOTE_ON) {
                if (e.pos >= endTick_)
                    continue;
                PartNote n{e.pos, endTick_, e.value, 0, 0, 0};
                if (drums_) {
                    n.key = static_cast<std::int16_t>(drumKey(e.value));
                } else {
                    const std::int32_t m = measures_.tickToMeasure(e.pos);
                    const int concertKey = keys_.keyOfMeasure(m);
                    n.key = static_cast<std::int16_t>(naturalKeyOfValue(e.value) +
                                                      keyAlteration(concertKey, e.value) + e.extra);
                    const int written = stepOfValue(e.value) - spellingOf(m).written.shift;
                    n.staff = written <= MIDDLE_C_STEP ? 0 : 1;
                }
                pending[e.value].push_back(notes_.size());
                notes_.push_back(n);
            } else if (e.kind == KIND_NOTE_OFF) {
                std::vector<std::size_t>& waiting = pending[e.value];
                if (waiting.empty())
                    continue;
                notes_[waiting.front()].end = std::min(e.pos, endTick_);
                waiting.erase(waiting.begin());
            }
        }
        std::erase_if(notes_, [](const PartNote& n) { return n.end <= n.start; });
        assignVoices();
    }

    // Notes that start and end together share a chord; a note that overlaps the notes of
    // every voice before it takes the next voice. Beyond four voices on a staff, the fourth
    // holds the rest, written as tied chords.
    void assignVoices() {
        struct VoiceState {
            std::int32_t lastStart = -1;
            std::int32_t lastEnd = -1;
            std::int32_t end = 0;
        };
        std::array<std::array<VoiceState, VOICES_PER_STAFF>, 2> staves{};
        for (PartNote& n : notes_) {
            auto& voices = staves[n.staff];
            int chosen = -1;
            for (int v = 0; v < VOICES_PER_STAFF && chosen < 0; ++v)
                if (voices[static_cast<std::size_t>(v)].lastStart == n.start &&
                    voices[static_cast<std::size_t>(v)].lastEnd == n.end)
                    chosen = v;
            for (int v = 0; v < VOICES_PER_STAFF && chosen < 0; ++v)
                if (voices[static_cast<std::size_t>(v)].end <= n.start)
                    chosen = v;
            if (chosen < 0)
                chosen = VOICES_PER_STAFF - 1;
            VoiceState& s = voices[static_cast<std::size_t>(chosen)];
            s.lastStart = n.start;
            s.lastEnd = n.end;
            s.end = std::max(s.end, n.end);
            n.voice = static_cast<std::uint8_t>(chosen);
        }
    }

    void writePart(int p, bool withTempo) {
        drums_ = p == PERCUSSION_PART;
        partId_ = p + 1;
        transposition_ = song_.partTransposition[static_cast<std::size_t>(p)];
        if (transposition_ < 0 || transposition_ >= TRANSPOSITION_COUNT)
            transposition_ = C_INSTRUMENT;
        collectNotes(p);
        showAccidental_.assign(notes_.size(), false);
        const int staves = drums_ ? 1 : 2;

        out_ << "  <part id=\"P" << partId_ << "\">\n";
        std::array<std::vector<std::size_t>, 2> active;
        std::size_t next = 0;
        tempoIndex_ = 0;
        lastTempo_ = -1;
        soundIndex_ = 0;
        previousDiatonic_ = 0;
        for (std::int32_t m = 0; m < measureCount_; ++m) {
            const std::int32_t ms = measures_.measureToTick(m);
            const std::int32_t me = measures_.measureToTick(m + 1);
            for (auto& list : active)
                std::erase_if(list, [&](std::size_t i) { return notes_[i].end <= ms; });
            for (; next < notes_.size() && notes_[next].start < me; ++next)
                active[notes_[next].staff].push_back(next);

            out_ << "    <measure number=\"" << m + 1 << "\">\n";
            const Spelling spelling = spellingOf(m);
            writeAttributes(m, spelling);
            if (withTempo)
                writeTempo(ms, me);
            writeSounds(p, ms, me);
            bool firstVoice = true;
            for (int staff = 0; staff < staves; ++staff) {
                const std::vector<std::size_t>& here = active[static_cast<std::size_t>(staff)];
                if (!drums_)
                    decideAccidentals(here, ms, spelling);
                for (int v = 0; v < VOICES_PER_STAFF; ++v) {
                    voiceNotes_.clear();
                    for (const std::size_t i : here)
                        if (notes_[i].voice == v)
                            voiceNotes_.push_back(i);
                    if (voiceNotes_.empty() && v > 0)
                        continue;
                    if (!firstVoice)
                        out_ << "      <backup><duration>" << static_cast<int>(me - ms)
                             << "</duration></backup>\n";
                    firstVoice = false;
                    writeVoice(m, ms, me, staff, v, spelling);
                }
            }
            if (m == measureCount_ - 1)
                out_ << "      <barline location=\"right\"><bar-style>light-heavy</bar-style></barline>\n";
            out_ << "    </measure>\n";
            out_.flushIfFull();
        }
        out_ << "  </part>\n";
    }

    // ---- attributes and directions -------------------------------------------------------

    void writeKey(int key, bool printed = true) {
        out_ << "        <key" << (printed ? "" : " print-object=\"no\"") << "><fifths>" << key / 2 - 7
             << "</fifths><mode>" << (key % 2 == 0 ? "major" : "minor") << "</mode></key>\n";
    }

    void writeAttributes(std::int32_t m, const Spelling& spelling) {
        const auto mi = static_cast<std::size_t>(m);
        const bool first = m == 0;
        const bool keyChange = first || keyEventAt_[mi];
        const bool meterChange = first || meterEventAt_[mi];
        // A written key beyond seven accidentals is respelled one letter over, which changes the
        // step distance to concert pitch.
        const int diatonic = -spelling.written.shift;
        const bool transposeChange =
            !drums_ && transposition_ != C_INSTRUMENT && (first || diatonic != previousDiatonic_);
        previousDiatonic_ = diatonic;
        if (!keyChange && !meterChange && !transposeChange && !first)
            return;
        out_ << "      <attributes>\n";
        if (first)
            out_ << "        <divisions>" << DIVISIONS << "</divisions>\n";
        // The drum staff shows no key; it carries the song's, unprinted, for a song of drums alone.
        if (keyChange && drums_)
            writeKey(keys_.keyOfMeasure(m), false);
        else if (keyChange)
            writeKey(spelling.written.key);
        if (meterChange) {
            const std::uint8_t meter = meterOf_[mi];
            out_ << "        <time><beats>" << meter / 16 << "</beats><beat-type>" << (1 << (meter % 16))
                 << "</beat-type></time>\n";
        }
        if (first && drums_) {
            out_ << "        <clef><sign>percussion</sign></clef>\n";
        } else if (first) {
            out_ << "        <staves>2</staves>\n"
                    "        <clef number=\"1\"><sign>G</sign><line>2</line></clef>\n"
                    "        <clef number=\"2\"><sign>F</sign><line>4</line></clef>\n";
        }
        if (transposeChange) {
            // Octave transpositions go into octave-change, the rest into steps and semitones.
            const int octaves = spelling.semitones / 12;
            out_ << "        <transpose><diatonic>" << diatonic - 7 * octaves << "</diatonic><chromatic>"
                 << spelling.semitones - 12 * octaves << "</chromatic>";
            if (octaves != 0)
                out_ << "<octave-change>" << octaves << "</octave-change>";
            out_ << "</transpose>\n";
        }
        out_ << "      </attributes>\n";
    }

    // Metronome marks at each tempo change inside [ms, me), placed with forward moves before the
    // notes of the measure.
    void writeTempo(std::int32_t ms, std::int32_t me) {
        const EventRow& tempo = song_.row(TEMPO_ROW);
        std::int32_t cursor = 0;
        for (; tempoIndex_ < tempo.count() && tempo.pos[static_cast<std::size_t>(tempoIndex_)] < me;
             ++tempoIndex_) {
            const auto i = static_cast<std::size_t>(tempoIndex_);
            if (tempo.kind[i] != KIND_TEMPO)
                continue;
            // Tempi below 4 play as 4, as in the MIDI export.
            const int bpm = std::max<int>(tempo.value[i], 4);
            const std::int32_t at = std::max(tempo.pos[i], ms) - ms;
            if (at > cursor) {
                out_ << "      <forward><duration>" << static_cast<int>(at - cursor)
                     << "</duration></forward>\n";
                cursor = at;
            }
            // A tempo the song repeats shows no mark; a bare sound keeps it for reading back.
            if (bpm == lastTempo_) {
                out_ << "      <sound tempo=\"" << bpm << "\"/>\n";
                continue;
            }
            lastTempo_ = bpm;
            out_ << "      <direction "
                    "placement=\"above\"><direction-type><metronome><beat-unit>quarter</beat-unit>"
                    "<per-minute>"
                 << bpm << "</per-minute></metronome></direction-type><staff>1</staff><sound tempo=\"" << bpm
                 << "\"/></direction>\n";
        }
        if (cursor > 0)
            out_ << "      <backup><duration>" << static_cast<int>(cursor) << "</duration></backup>\n";
    }

    // The part's dynamics and pan points inside [ms, me) (the last measure takes those at its
    // end too) as sound elements, placed with forward moves: dynamics as percent of the
    // expression 90 stands for, pan in degrees, each with the decimals that give its value back.
    void writeSounds(int p, std::int32_t ms, std::int32_t me) {
        const EventRow& row = song_.row(p);
        const bool last = me >= endTick_;
        std::int32_t cursor = 0;
        for (; soundIndex_ < row.count(); ++soundIndex_) {
            const auto i = static_cast<std::size_t>(soundIndex_);
            if (row.pos[i] >= me && !(last && row.pos[i] == me))
                break;
            if (row.kind[i] != KIND_DYNAMICS && row.kind[i] != KIND_PAN)
                continue;
            const std::int32_t at = std::max(row.pos[i], ms) - ms;
            if (at > cursor) {
                out_ << "      <forward><duration>" << static_cast<int>(at - cursor)
                     << "</duration></forward>\n";
                cursor = at;
            }
            char value[32];
            if (row.kind[i] == KIND_DYNAMICS)
                std::snprintf(value, sizeof value, "%.4f", row.value[i] * 100.0 / 90.0);
            else
                std::snprintf(value, sizeof value, "%.5f", (row.value[i] - 64) * 90.0 / 64.0);
            std::string text(value);
            while (text.back() == '0')
                text.pop_back();
            if (text.back() == '.')
                text.pop_back();
            out_ << "      <sound " << (row.kind[i] == KIND_DYNAMICS ? "dynamics" : "pan") << "=\"" << text
                 << "\"/>\n";
        }
        if (cursor > 0)
            out_ << "      <backup><duration>" << static_cast<int>(cursor) << "</duration></backup>\n";
    }

    // ---- one voice of one measure --------------------------------------------------------

    struct WrittenPitch {
        int step;
        int alter;
    };

    // The written step and alteration of a note in a measure: its stored step moved by the
    // measure's transposition, altered so that it sounds the key the MIDI export plays.
    WrittenPitch writtenPitch(const PartNote& n, const Spelling& spelling) const {
        int step = stepOfValue(n.value) - spelling.written.shift;
        const int alter = n.key - spelling.semitones - naturalKey(step);
        // Only a damaged value lies outside the octaves MusicXML knows; it moves by octaves.
        while (octaveOfStep(step) < 0)
            step -= 7;
        while (octaveOfStep(step) > 9)
            step += 7;
        return {step, alter};
    }

    // An accidental shows where the note's alteration differs from what the key signature or an
    // earlier note of the measure on that staff step gives it.
    void decideAccidentals(const std::vector<std::size_t>& here, std::int32_t ms, const Spelling& spelling) {
        std::array<int, 512> inForce{};
        std::array<bool, 512> touched{};
        for (const std::size_t i : here) {
            const PartNote& n = notes_[i];
            if (n.start < ms)
                continue;
            const WrittenPitch w = writtenPitch(n, spelling);
            const auto slot = static_cast<std::size_t>(std::clamp(w.step + 256, 0, 511));
            const int current = touched[slot] ? inForce[slot] : keyAlteration(spelling.written.key, w.step);
            showAccidental_[i] = w.alter != current;
            inForce[slot] = w.alter;
            touched[slot] = true;
        }
    }

    int beatTicks(std::int32_t m) const {
        const std::uint8_t meter = meterOf_[static_cast<std::size_t>(m)];
        const int numerator = meter / 16;
        const int denominator = 1 << (meter % 16);
        if (denominator == 8 && numerator % 3 == 0 && numerator > 3)
            return 3 * TICKS_PER_WHOLE / 8;
        return TICKS_PER_WHOLE / 4;
    }

    void writeVoice(std::int32_t m, std::int32_t ms, std::int32_t me, int staff, int v,
                    const Spelling& spelling) {
        const int voice = staff * VOICES_PER_STAFF + v + 1;
        const std::int32_t ticks = me - ms;
        if (voiceNotes_.empty()) {
            out_ << "      <note><rest measure=\"yes\"/><duration>" << static_cast<int>(ticks)
                 << "</duration><voice>" << voice << "</voice>";
            if (!drums_)
                out_ << "<staff>" << staff + 1 << "</staff>";
            out_ << "</note>\n";
            return;
        }
        boundaries_.clear();
        boundaries_.push_back(0);
        boundaries_.push_back(ticks);
        for (const std::size_t i : voiceNotes_) {
            boundaries_.push_back(std::clamp(notes_[i].start - ms, 0, ticks));
            boundaries_.push_back(std::clamp(notes_[i].end - ms, 0, ticks));
        }
        std::sort(boundaries_.begin(), boundaries_.end());
        boundaries_.erase(std::unique(boundaries_.begin(), boundaries_.end()), boundaries_.end());
        // Which stretches between boundaries hold no note: a sweep like the one below.
        restStretch_.assign(boundaries_.size() - 1, true);
        sounding_.clear();
        std::size_t nextNote = 0;
        for (std::size_t k = 0; k + 1 < boundaries_.size(); ++k) {
            const std::int32_t at = ms + boundaries_[k];
            for (; nextNote < voiceNotes_.size() && notes_[voiceNotes_[nextNote]].start <= at; ++nextNote)
                sounding_.push_back(voiceNotes_[nextNote]);
            std::erase_if(sounding_, [&](std::size_t i) { return notes_[i].end <= at; });
            restStretch_[k] = sounding_.empty();
        }
        const std::vector<WrittenValue> values = spellMeasure(ticks, boundaries_, restStretch_);

        // The notes sounding in each value: one sweep, as values and notes both run forward.
        members_.clear();
        memberStart_.assign(values.size() + 1, 0);
        sounding_.clear();
        nextNote = 0;
        for (std::size_t k = 0; k < values.size(); ++k) {
            const std::int32_t at = ms + values[k].start;
            for (; nextNote < voiceNotes_.size() && notes_[voiceNotes_[nextNote]].start <= at; ++nextNote)
                sounding_.push_back(voiceNotes_[nextNote]);
            std::erase_if(sounding_, [&](std::size_t i) { return notes_[i].end <= at; });
            memberStart_[k] = members_.size();
            members_.insert(members_.end(), sounding_.begin(), sounding_.end());
            std::sort(members_.begin() + static_cast<std::ptrdiff_t>(memberStart_[k]), members_.end(),
                      [&](std::size_t a, std::size_t b) { return notes_[a].key < notes_[b].key; });
        }
        memberStart_[values.size()] = members_.size();

        const std::vector<std::string_view> beams = beamsOf(values, beatTicks(m));
        for (std::size_t k = 0; k < values.size(); ++k) {
            const WrittenValue& wv = values[k];
            const std::size_t from = memberStart_[k];
            const std::size_t to = memberStart_[k + 1];
            if (from == to) {
                writeRest(wv, voice, staff);
                continue;
            }
            for (std::size_t j = from; j < to; ++j)
                writeNote(notes_[members_[j]], members_[j], wv, ms, voice, staff, j > from, beams[k],
                          spelling);
        }
    }

    // Beams join notes of an eighth or shorter that follow each other within one beat.
    std::vector<std::string_view> beamsOf(const std::vector<WrittenValue>& values, int beat) const {
        std::vector<std::string_view> beams(values.size());
        auto beamable = [&](std::size_t k) {
            return memberStart_[k + 1] > memberStart_[k] && values[k].type >= NoteType::Eighth;
        };
        std::size_t k = 0;
        while (k < values.size()) {
            if (!beamable(k)) {
                ++k;
                continue;
            }
            const std::int32_t beatIndex = values[k].start / beat;
            std::size_t last = k;
            while (last + 1 < values.size() && beamable(last + 1) &&
                   values[last + 1].start / beat == beatIndex &&
                   (values[last + 1].start + values[last + 1].duration - 1) / beat == beatIndex)
                ++last;
            if (last > k && (values[k].start + values[k].duration - 1) / beat == beatIndex) {
                beams[k] = "begin";
                for (std::size_t j = k + 1; j < last; ++j)
                    beams[j] = "continue";
                beams[last] = "end";
            }
            k = last + 1;
        }
        return beams;
    }

    void writeValueTail(const WrittenValue& wv) {
        out_ << "<type>" << noteTypeName(wv.type) << "</type>";
        if (wv.dotted)
            out_ << "<dot/>";
    }

    void writeTimeModification(const WrittenValue& wv) {
        if (wv.triplet)
            out_ << "<time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes>"
                    "</time-modification>";
    }

    void writeTuplet(const WrittenValue& wv) {
        if (wv.tupletStart)
            out_ << "<tuplet type=\"start\" bracket=\"yes\"/>";
        if (wv.tupletStop)
            out_ << "<tuplet type=\"stop\"/>";
    }

    void writeRest(const WrittenValue& wv, int voice, int staff) {
        out_ << "      <note><rest/><duration>" << static_cast<int>(wv.duration) << "</duration><voice>"
             << voice << "</voice>";
        writeValueTail(wv);
        writeTimeModification(wv);
        if (!drums_)
            out_ << "<staff>" << staff + 1 << "</staff>";
        if (wv.tupletStart || wv.tupletStop) {
            out_ << "<notations>";
            writeTuplet(wv);
            out_ << "</notations>";
        }
        out_ << "</note>\n";
    }

    void writeNote(const PartNote& n, std::size_t index, const WrittenValue& wv, std::int32_t ms, int voice,
                   int staff, bool chord, std::string_view beam, const Spelling& spelling) {
        const std::int32_t at = ms + wv.start;
        const bool tieStop = n.start < at;
        const bool tieStart = n.end > at + wv.duration;
        out_ << "      <note>";
        if (chord)
            out_ << "<chord/>";
        std::string_view notehead;
        bool accidental = false;
        WrittenPitch w{};
        if (drums_) {
            const DrumLook look = drumLook(n.key);
            notehead = look.notehead;
            out_ << "<unpitched><display-step>" << look.step << "</display-step><display-octave>"
                 << look.octave << "</display-octave></unpitched>";
        } else {
            w = writtenPitch(n, spelling);
            out_ << "<pitch><step>" << letterOfStep(w.step) << "</step>";
            if (w.alter != 0)
                out_ << "<alter>" << w.alter << "</alter>";
            out_ << "<octave>" << octaveOfStep(w.step) << "</octave></pitch>";
            accidental = n.start == at && showAccidental_[index] && !accidentalName(w.alter).empty();
        }
        out_ << "<duration>" << static_cast<int>(wv.duration) << "</duration>";
        if (tieStop)
            out_ << "<tie type=\"stop\"/>";
        if (tieStart)
            out_ << "<tie type=\"start\"/>";
        if (drums_)
            out_ << "<instrument id=\"P" << partId_ << "-I" << n.key + 1 << "\"/>";
        out_ << "<voice>" << voice << "</voice>";
        writeValueTail(wv);
        if (accidental)
            out_ << "<accidental>" << accidentalName(w.alter) << "</accidental>";
        writeTimeModification(wv);
        if (drums_ && notehead != "normal")
            out_ << "<notehead>" << notehead << "</notehead>";
        if (!drums_)
            out_ << "<staff>" << staff + 1 << "</staff>";
        if (!chord && !beam.empty())
            out_ << "<beam number=\"1\">" << beam << "</beam>";
        const bool tuplet = !chord && (wv.tupletStart || wv.tupletStop);
        if (tieStop || tieStart || tuplet) {
            out_ << "<notations>";
            if (tieStop)
                out_ << "<tied type=\"stop\"/>";
            if (tieStart)
                out_ << "<tied type=\"start\"/>";
            if (tuplet)
                writeTuplet(wv);
            out_ << "</notations>";
        }
        out_ << "</note>\n";
    }

    const Song& song_;
    Output& out_;
    const KeyMap keys_;
    const MeasureMap measures_;
    std::int32_t measureCount_ = 1;
    std::int32_t endTick_ = 0;
    std::vector<bool> keyEventAt_;
    std::vector<bool> meterEventAt_;
    std::vector<std::uint8_t> meterOf_;

    // The part being written.
    bool drums_ = false;
    int partId_ = 1;
    int transposition_ = C_INSTRUMENT;
    int previousDiatonic_ = 0;
    std::int32_t tempoIndex_ = 0;
    int lastTempo_ = -1;
    std::int32_t soundIndex_ = 0;
    std::vector<PartNote> notes_;
    std::vector<bool> showAccidental_;

    // Scratch space of one voice, kept to save allocations.
    std::vector<std::size_t> voiceNotes_;
    std::vector<std::int32_t> boundaries_;
    std::vector<bool> restStretch_;
    std::vector<std::size_t> members_;
    std::vector<std::size_t> memberStart_;
    std::vector<std::size_t> sounding_;
};

} // namespace

std::int32_t musicXmlLastMeasure(const Song& song) {
    const MeasureMap measures(song.store);
    std::int32_t last = 0;
    for (int r = 0; r < ROW_COUNT; ++r) {
        const EventRow& row = song.row(r);
        if (row.empty())
            continue;
        std::int32_t m;
        if (r == SIGNATURE_ROW) {
            m = row.pos.back();
        } else {
            // At one tick note-offs sort first, so a row that ends in a note-off ends in note-offs
            // only; their notes last sound one tick earlier.
            std::int32_t t = row.pos.back();
            if (row.kind.back() == KIND_NOTE_OFF && t > 0)
                --t;
            m = measures.tickToMeasure(t);
        }
        last = std::max(last, m);
    }
    return std::clamp(last, 0, MAX_MEASURES - 1);
}

bool writeMusicXml(const Song& song, const MusicXmlSink& sink) {
    Output out(sink);
    DocumentWriter(song, out).write();
    return out.flush();
}

std::string buildMusicXml(const Song& song) {
    std::string document;
    writeMusicXml(song, [&document](std::string_view piece) {
        document.append(piece);
        return true;
    });
    return document;
}

bool writeMusicXmlFile(const std::string& path, const Song& song) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const bool written = writeMusicXml(song, [&file](std::string_view piece) {
        return file.write(piece.data(), static_cast<qint64>(piece.size())) ==
               static_cast<qint64>(piece.size());
    });
    if (!written) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace pokopen
