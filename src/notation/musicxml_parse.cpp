#include "notation/musicxml_parse.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace pokopen {

namespace {

constexpr int MAX_DEPTH = 64;              // MusicXML itself nests about ten deep
constexpr std::int64_t MAX_QUARTERS = 240; // four times the longest measure a song holds
constexpr std::int64_t MAX_TERM = std::int64_t{1} << 40;

// Why a document is refused: thrown inside the reader, caught at its top.
struct Refusal {
    std::string english;
    std::string japanese;
};

QuarterTime reduced(__int128 num, __int128 den) {
    if (den < 0) {
        num = -num;
        den = -den;
    }
    __int128 a = num < 0 ? -num : num, b = den;
    while (b != 0) {
        const __int128 t = a % b;
        a = b;
        b = t;
    }
    if (a > 1) {
        num /= a;
        den /= a;
    }
    if (num > MAX_TERM || num < -MAX_TERM || den > MAX_TERM)
        throw Refusal{"a duration is too long or too finely divided", "長すぎるか細かすぎる長さがあります"};
    return {static_cast<std::int64_t>(num), static_cast<std::int64_t>(den)};
}

QuarterTime operator+(const QuarterTime& a, const QuarterTime& b) {
    return reduced(static_cast<__int128>(a.num) * b.den + static_cast<__int128>(b.num) * a.den,
                   static_cast<__int128>(a.den) * b.den);
}

QuarterTime operator-(const QuarterTime& a, const QuarterTime& b) {
    return a + QuarterTime{-b.num, b.den};
}

bool operator<(const QuarterTime& a, const QuarterTime& b) {
    return static_cast<__int128>(a.num) * b.den < static_cast<__int128>(b.num) * a.den;
}

// A decimal number ("480", "1.5", "-2") as a fraction; nothing for anything else.
bool parseDecimal(const QString& text, QuarterTime& out) {
    const QString s = text.trimmed();
    if (s.isEmpty() || s.size() > 24)
        return false;
    __int128 num = 0, den = 1;
    bool negative = false, point = false, digits = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (i == 0 && (c == u'-' || c == u'+')) {
            negative = c == u'-';
        } else if (c == u'.' && !point) {
            point = true;
        } else if (c >= u'0' && c <= u'9') {
            num = num * 10 + (c.unicode() - u'0');
            if (point)
                den *= 10;
            digits = true;
        } else {
            return false;
        }
    }
    if (!digits)
        return false;
    try {
        out = reduced(negative ? -num : num, den);
    } catch (const Refusal&) {
        return false;
    }
    return true;
}

struct PartState {
    QuarterTime divisions{0, 1}; // divisions per quarter note; 0 until given
    int measure = -1;
    QuarterTime cursor;
    QuarterTime lastStart; // of the last note that was not a chord member
};

class Reader {
public:
    explicit Reader(std::string_view document)
        : xml_(QByteArray::fromRawData(document.data(), static_cast<qsizetype>(document.size()))) {}

    Score read() {
        while (next()) {
            if (xml_.isStartElement()) {
                const QStringView root = xml_.name();
                if (root == u"score-partwise")
                    readScore(false);
                else if (root == u"score-timewise")
                    readScore(true);
                else
                    throw Refusal{"not a MusicXML score", "MusicXMLの楽譜ではありません"};
                return std::move(score_);
            }
        }
        throw Refusal{"not a MusicXML score", "MusicXMLの楽譜ではありません"};
    }

    int line() const { return static_cast<int>(xml_.lineNumber()); }

private:
    // The next token; false at the document's end. Refuses what the reader does not trust.
    bool next() {
        xml_.readNext();
        if (xml_.hasError()) {
            if (xml_.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                throw Refusal{"the document ends too early", "文書が途中で終わっています"};
            throw Refusal{"malformed XML (" + xml_.errorString().toStdString() + ")",
                          "XMLが正しくありません"};
        }
        switch (xml_.tokenType()) {
        case QXmlStreamReader::StartElement:
            if (++depth_ > MAX_DEPTH)
                throw Refusal{"elements are nested too deeply", "要素の入れ子が深すぎます"};
            break;
        case QXmlStreamReader::EndElement:
            --depth_;
            break;
        case QXmlStreamReader::DTD:
            // Entity declarations could blow a small document up; a score needs none.
            if (xml_.text().contains(u"<!ENTITY") || !xml_.entityDeclarations().isEmpty())
                throw Refusal{"the document declares entities", "文書が実体を宣言しています"};
            break;
        case QXmlStreamReader::EntityReference:
            throw Refusal{"the document refers to an entity", "文書が実体を参照しています"};
        case QXmlStreamReader::EndDocument:
            return false;
        default:
            break;
        }
        return true;
    }

    // Calls `child` for each child element of the element just started, by name, until its end.
    template <typename Child> void children(Child&& child) {
        const int depth = depth_;
        while (next()) {
            if (xml_.isEndElement() && depth_ < depth)
                return;
            if (xml_.isStartElement()) {
                const int before = depth_;
                child(xml_.name());
                if (depth_ >= before)
                    skipRest(before);
            }
        }
        throw Refusal{"the document ends too early", "文書が途中で終わっています"};
    }

    // Reads to the end of the element started at `depth`.
    void skipRest(int depth) {
        while (depth_ >= depth && next()) {
        }
    }

    // The text of a leaf element, which must hold no elements.
    QString text() {
        QString s;
        const int depth = depth_;
        while (next()) {
            if (xml_.isCharacters())
                s += xml_.text();
            else if (xml_.isStartElement())
                throw Refusal{"an element holds elements where text belongs", "文字列の要素に要素があります"};
            else if (xml_.isEndElement() && depth_ < depth)
                return s;
        }
        throw Refusal{"the document ends too early", "文書が途中で終わっています"};
    }

    std::string utf8Text() { return text().simplified().toStdString(); }

    int integer(int low, int high, const char* what) {
        bool ok = false;
        const int v = text().trimmed().toInt(&ok);
        if (!ok || v < low || v > high)
            throw Refusal{std::string("a ") + what + " out of range",
                          std::string(what) + "の値が正しくありません"};
        return v;
    }

    double number(double low, double high, const char* what) {
        bool ok = false;
        const double v = text().trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v) || v < low || v > high)
            throw Refusal{std::string("a ") + what + " out of range",
                          std::string(what) + "の値が正しくありません"};
        return v;
    }

    QuarterTime duration(const PartState& p) {
        QuarterTime d;
        if (!parseDecimal(text(), d) || d.num < 0)
            throw Refusal{"a duration is not a number of divisions", "長さ（duration）が正しくありません"};
        if (p.divisions.num <= 0)
            throw Refusal{"a duration comes before the divisions", "divisionsより前に長さがあります"};
        return reduced(static_cast<__int128>(d.num) * p.divisions.den,
                       static_cast<__int128>(d.den) * p.divisions.num);
    }

    void readScore(bool timewise) {
        children([&](QStringView name) {
            if (name == u"work") {
                children([&](QStringView n) {
                    if (n == u"work-title") {
                        score_.workTitle = utf8Text();
                        score_.hasWorkTitle = true;
                    }
                });
            } else if (name == u"movement-title") {
                score_.movementTitle = utf8Text();
            } else if (name == u"identification") {
                children([&](QStringView n) {
                    if (n == u"rights" && !score_.hasRights) {
                        score_.rights = utf8Text();
                        score_.hasRights = true;
                    }
                });
            } else if (name == u"part-list") {
                readPartList();
            } else if (name == u"part" && !timewise) {
                ScorePart& part = partOf(xml_.attributes().value(QLatin1String("id")));
                PartState& state = states_[static_cast<std::size_t>(&part - score_.parts.data())];
                children([&](QStringView n) {
                    if (n == u"measure")
                        readMeasure(part, state);
                });
            } else if (name == u"measure" && timewise) {
                children([&](QStringView n) {
                    if (n == u"part") {
                        ScorePart& part = partOf(xml_.attributes().value(QLatin1String("id")));
                        readMeasure(part, states_[static_cast<std::size_t>(&part - score_.parts.data())]);
                    }
                });
            }
        });
    }

    ScorePart& partOf(QStringView id) {
        for (ScorePart& p : score_.parts)
            if (QString::fromStdString(p.id) == id)
                return p;
        throw Refusal{"a part that the part list does not name", "パートの一覧にないパートがあります"};
    }

    void readPartList() {
        children([&](QStringView name) {
            if (name != u"score-part")
                return;
            ScorePart part;
            part.id = xml_.attributes().value(QLatin1String("id")).toString().toStdString();
            for (const ScorePart& p : score_.parts)
                if (p.id == part.id)
                    throw Refusal{"two parts of one id", "同じidのパートが2つあります"};
            children([&](QStringView n) {
                if (n == u"part-name") {
                    part.name = utf8Text();
                } else if (n == u"score-instrument") {
                    if (part.firstInstrument.empty())
                        part.firstInstrument =
                            xml_.attributes().value(QLatin1String("id")).toString().toStdString();
                } else if (n == u"midi-instrument") {
                    const std::string id =
                        xml_.attributes().value(QLatin1String("id")).toString().toStdString();
                    const bool first = part.midiChannel == 0 && part.program == 0 && part.volume < 0;
                    children([&](QStringView m) {
                        if (m == u"midi-channel" && part.midiChannel == 0)
                            part.midiChannel = integer(1, 16, "MIDI channel");
                        else if (m == u"midi-program" && (first || part.program == 0))
                            part.program = integer(1, 128, "MIDI program");
                        else if (m == u"midi-unpitched")
                            part.unpitchedOf[id] = integer(1, 128, "MIDI key");
                        else if (m == u"volume" && part.volume < 0)
                            part.volume = number(0, 100, "volume");
                    });
                }
            });
            part.percussion = part.midiChannel == 10;
            score_.parts.push_back(std::move(part));
            states_.emplace_back();
        });
    }

    void readMeasure(ScorePart& part, PartState& p) {
        ++p.measure;
        part.measures = p.measure + 1;
        p.cursor = {};
        p.lastStart = {};
        const bool firstPart = &part == score_.parts.data();
        children([&](QStringView name) {
            if (name == u"attributes") {
                readAttributes(part, p, firstPart);
            } else if (name == u"note") {
                readNote(part, p);
            } else if (name == u"backup") {
                children([&](QStringView n) {
                    if (n == u"duration") {
                        p.cursor = p.cursor - duration(p);
                        if (p.cursor.num < 0)
                            p.cursor = {}; // not before the measure's start
                    }
                });
            } else if (name == u"forward") {
                children([&](QStringView n) {
                    if (n == u"duration")
                        advance(p, duration(p));
                });
            } else if (name == u"direction") {
                readDirection(part, p);
            } else if (name == u"sound") {
                readSound(part, p, false);
            }
        });
    }

    void advance(PartState& p, const QuarterTime& d) {
        p.cursor = p.cursor + d;
        if (QuarterTime{MAX_QUARTERS, 1} < p.cursor)
            throw Refusal{"a measure is longer than any a song holds", "小節が長すぎます"};
    }

    void readAttributes(ScorePart& part, PartState& p, bool firstPart) {
        children([&](QStringView name) {
            if (name == u"divisions") {
                QuarterTime d;
                if (!parseDecimal(text(), d) || d.num <= 0)
                    throw Refusal{"divisions that are no positive number", "divisionsが正しくありません"};
                p.divisions = d;
            } else if (name == u"key") {
                ScoreKey key{p.measure, 0, false};
                bool fifths = false;
                children([&](QStringView n) {
                    if (n == u"fifths") {
                        key.fifths = integer(-100, 100, "key");
                        fifths = true;
                    } else if (n == u"mode") {
                        key.minor = text().trimmed() == u"minor";
                    }
                });
                if (fifths)
                    part.keys.push_back(key);
            } else if (name == u"time") {
                ScoreTime time{p.measure, 0, 0};
                children([&](QStringView n) {
                    if (n == u"beats") {
                        int sum = 0;
                        for (const QString& term : text().split(u'+')) {
                            bool ok = false;
                            const int v = term.trimmed().toInt(&ok);
                            if (!ok || v < 1 || v > 1000)
                                throw Refusal{"a time signature out of range", "拍子の値が正しくありません"};
                            sum += v;
                        }
                        time.beats += sum;
                    } else if (n == u"beat-type") {
                        time.beatType = integer(1, 1024, "beat type");
                    }
                });
                if (firstPart && time.beats > 0 && time.beatType > 0)
                    score_.times.push_back(time);
            } else if (name == u"transpose") {
                ScoreTranspose t{p.measure, 0, 0};
                int octaves = 0;
                children([&](QStringView n) {
                    if (n == u"diatonic")
                        t.diatonic = integer(-100, 100, "transposition");
                    else if (n == u"chromatic")
                        t.chromatic = static_cast<int>(std::lround(number(-100, 100, "transposition")));
                    else if (n == u"octave-change")
                        octaves = integer(-10, 10, "transposition");
                });
                t.diatonic += 7 * octaves;
                t.chromatic += 12 * octaves;
                part.transposes.push_back(t);
            }
        });
    }

    void readNote(ScorePart& part, PartState& p) {
        ScoreNote n;
        n.measure = p.measure;
        bool chord = false, rest = false, pitched = false, grace = false, cue = false, ornaments = false;
        bool hasDuration = false;
        QuarterTime d;
        children([&](QStringView name) {
            if (name == u"grace") {
                grace = true;
            } else if (name == u"cue") {
                cue = true;
            } else if (name == u"chord") {
                chord = true;
            } else if (name == u"rest") {
                rest = true;
            } else if (name == u"pitch") {
                pitched = true;
                int octave = 4;
                QChar letter = u'C';
                children([&](QStringView m) {
                    if (m == u"step") {
                        const QString s = text().trimmed();
                        if (s.size() != 1 || !QStringLiteral("CDEFGAB").contains(s[0]))
                            throw Refusal{"a step that is no letter C to B",
                                          "音名（step）が正しくありません"};
                        letter = s[0];
                    } else if (m == u"alter") {
                        n.alter = static_cast<int>(std::lround(number(-3, 3, "alteration")));
                    } else if (m == u"octave") {
                        octave = integer(0, 9, "octave");
                    }
                });
                // Staff steps count down from E7: C7 is 2, D7 1, F7 -1.
                constexpr int OFFSET[] = {2, 1, 0, -1, -2, -3, -4}; // C D E F G A B
                n.step = 7 * (7 - octave) + OFFSET[QStringLiteral("CDEFGAB").indexOf(letter)];
            } else if (name == u"unpitched") {
                n.unpitched = true;
            } else if (name == u"duration") {
                d = duration(p);
                hasDuration = true;
            } else if (name == u"tie") {
                const QStringView type = xml_.attributes().value(QLatin1String("type"));
                n.tieStart = n.tieStart || type == u"start";
                n.tieStop = n.tieStop || type == u"stop";
            } else if (name == u"instrument") {
                n.instrument = xml_.attributes().value(QLatin1String("id")).toString().toStdString();
            } else if (name == u"voice") {
                n.voice = integer(0, 1000, "voice");
            } else if (name == u"staff") {
                n.staff = integer(1, 100, "staff");
            } else if (name == u"notations") {
                children([&](QStringView m) {
                    if (m == u"ornaments")
                        ornaments = true;
                });
            }
        });
        if (grace) { // takes no time
            ++score_.graceNotes;
            return;
        }
        if (!hasDuration)
            throw Refusal{"a note without a duration", "長さ（duration）のない音符があります"};
        const QuarterTime start = chord ? p.lastStart : p.cursor;
        if (!chord) {
            p.lastStart = p.cursor;
            advance(p, d);
        }
        if (cue) {
            ++score_.cueNotes;
            return;
        }
        if (rest || !(pitched || n.unpitched))
            return;
        score_.ornaments += ornaments ? 1 : 0;
        n.offset = start;
        n.duration = d;
        if (n.unpitched)
            part.percussion = true;
        part.notes.push_back(std::move(n));
    }

    void readDirection(ScorePart& part, PartState& p) {
        double metronome = -1;
        bool soundTempo = false;
        children([&](QStringView name) {
            if (name == u"direction-type") {
                children([&](QStringView n) {
                    if (n != u"metronome")
                        return;
                    double unit = 1;
                    double perMinute = -1;
                    children([&](QStringView m) {
                        if (m == u"beat-unit") {
                            const QString u = text().trimmed();
                            unit = u == u"whole"    ? 4
                                   : u == u"half"   ? 2
                                   : u == u"eighth" ? 0.5
                                   : u == u"16th"   ? 0.25
                                                    : 1;
                        } else if (m == u"beat-unit-dot") {
                            unit *= 1.5;
                        } else if (m == u"per-minute") {
                            bool ok = false;
                            perMinute = text().trimmed().toDouble(&ok);
                            if (!ok || !std::isfinite(perMinute))
                                perMinute = -1;
                        }
                    });
                    if (perMinute > 0)
                        metronome = perMinute * unit;
                });
            } else if (name == u"sound") {
                soundTempo = readSound(part, p, true) || soundTempo;
            }
        });
        if (metronome > 0 && !soundTempo)
            score_.tempi.push_back({p.measure, p.cursor, metronome, true});
    }

    // True when the sound gave a tempo.
    bool readSound(ScorePart& part, PartState& p, bool inDirection) {
        (void)inDirection;
        const QXmlStreamAttributes a = xml_.attributes();
        bool tempo = false;
        const auto value = [&](const char* name, double& v) {
            if (!a.hasAttribute(QLatin1String(name)))
                return false;
            bool ok = false;
            v = a.value(QLatin1String(name)).toDouble(&ok);
            return ok && std::isfinite(v);
        };
        double v = 0;
        if (value("tempo", v) && v > 0) {
            score_.tempi.push_back({p.measure, p.cursor, v, false});
            tempo = true;
        }
        if (value("dynamics", v))
            part.sounds.push_back({p.measure, p.cursor, false, v});
        if (value("pan", v))
            part.sounds.push_back({p.measure, p.cursor, true, v});
        return tempo;
    }

    QXmlStreamReader xml_;
    int depth_ = 0;
    Score score_;
    std::vector<PartState> states_; // beside score_.parts
};

} // namespace

ScoreReadResult readMusicXmlScore(std::string_view document, Score& out) {
    ScoreReadResult r;
    if (document.size() > MAX_MUSICXML_BYTES) {
        r.message = "the document is larger than any score a song holds";
        r.japanese = "楽譜として大きすぎます";
        return r;
    }
    Reader reader(document);
    try {
        Score score = reader.read();
        out = std::move(score);
        r.ok = true;
    } catch (const Refusal& refusal) {
        r.line = std::max(reader.line(), 1);
        r.message = refusal.english;
        r.japanese = refusal.japanese;
    }
    return r;
}

} // namespace pokopen
