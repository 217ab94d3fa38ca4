#include "notation/musicxml_reader.h"

#include "notation/xml_tree.h"

#include <algorithm>
#include <array>

namespace pokopen::testing {

namespace {

int semitonesOfLetter(char step) {
    constexpr std::array<int, 7> semis = {9, 11, 0, 2, 4, 5, 7}; // A..G
    return step >= 'A' && step <= 'G' ? semis[static_cast<std::size_t>(step - 'A')] : 0;
}

std::string pitchText(char step, int alter, int octave) {
    std::string s(1, step);
    s += alter > 0 ? std::string(static_cast<std::size_t>(alter), '#')
                   : std::string(static_cast<std::size_t>(-alter), 'b');
    return s + std::to_string(octave);
}

class PartReader {
public:
    PartReader(ReadScore& score, const std::map<std::string, int>& unpitchedKeys)
        : score_(score), unpitchedKeys_(unpitchedKeys) {}

    void read(const XmlNode& part) {
        id_ = part.attribute("id");
        for (const XmlNode& measure : part.children)
            if (measure.name == "measure")
                readMeasure(measure);
        for (const auto& [voiceKey, index] : openTies_)
            problem("a tie from " + std::to_string(score_.notes[index].start) + " never ends");
    }

private:
    void problem(const std::string& what) {
        score_.problems.push_back(id_ + " m" + std::to_string(number_) + ": " + what);
    }

    void readMeasure(const XmlNode& measure) {
        number_ = std::stoi(measure.attribute("number"));
        std::vector<std::string>& lines = score_.lines[{id_, number_}];
        int cursor = 0;
        int lastStart = 0;
        std::map<int, int> voiceEnd;
        for (const XmlNode& e : measure.children) {
            if (e.name == "attributes") {
                readAttributes(e, lines);
            } else if (e.name == "direction") {
                const XmlNode* type = e.child("direction-type");
                const XmlNode* metronome = type ? type->child("metronome") : nullptr;
                const XmlNode* sound = e.child("sound");
                lines.push_back("tempo " + (metronome ? metronome->childText("per-minute") : "?") +
                                " sound " + (sound ? sound->attribute("tempo") : "?") + " at " +
                                std::to_string(cursor));
            } else if (e.name == "forward" || e.name == "backup") {
                const int d = std::stoi(e.childText("duration"));
                cursor += e.name == "forward" ? d : -d;
                lines.push_back(e.name + " " + std::to_string(d));
                if (cursor < 0)
                    problem("backup before the measure's start");
            } else if (e.name == "note") {
                readNote(e, lines, cursor, lastStart, voiceEnd);
            } else if (e.name == "barline") {
                lines.push_back("barline " + e.childText("bar-style"));
            }
        }
        for (const auto& [voice, end] : voiceEnd)
            if (end != measureTicks_)
                problem("voice " + std::to_string(voice) + " holds " + std::to_string(end) + " of " +
                        std::to_string(measureTicks_));
        if (voiceEnd.empty())
            problem("no voice");
        measureStart_ += measureTicks_;
    }

    void readAttributes(const XmlNode& a, std::vector<std::string>& lines) {
        for (const XmlNode& e : a.children) {
            if (e.name == "divisions") {
                lines.push_back("divisions " + e.text);
                if (e.text != "24")
                    problem("divisions " + e.text);
            } else if (e.name == "key") {
                lines.push_back("key " + e.childText("fifths") + " " + e.childText("mode", "-"));
            } else if (e.name == "time") {
                const int beats = std::stoi(e.childText("beats"));
                const int beatType = std::stoi(e.childText("beat-type"));
                measureTicks_ = beats * 96 / beatType;
                lines.push_back("time " + std::to_string(beats) + "/" + std::to_string(beatType));
            } else if (e.name == "staves") {
                lines.push_back("staves " + e.text);
            } else if (e.name == "clef") {
                lines.push_back("clef " + e.childText("sign") + e.childText("line") + " " +
                                e.attribute("number"));
            } else if (e.name == "transpose") {
                const int diatonic = std::stoi(e.childText("diatonic", "0"));
                const int chromatic = std::stoi(e.childText("chromatic"));
                const int octaves = std::stoi(e.childText("octave-change", "0"));
                transpose_ = chromatic + 12 * octaves;
                lines.push_back("transpose " + std::to_string(diatonic) + " " + std::to_string(chromatic) +
                                " " + std::to_string(octaves));
            }
        }
    }

    void readNote(const XmlNode& n, std::vector<std::string>& lines, int& cursor, int& lastStart,
                  std::map<int, int>& voiceEnd) {
        const bool chord = n.has("chord");
        const int duration = std::stoi(n.childText("duration"));
        const int voice = std::stoi(n.childText("voice", "1"));
        const int start = chord ? lastStart : cursor;
        if (!chord) {
            const auto it = voiceEnd.find(voice);
            const int expected = it == voiceEnd.end() ? 0 : it->second;
            if (start != expected)
                problem("voice " + std::to_string(voice) + " jumps from " + std::to_string(expected) +
                        " to " + std::to_string(start));
            voiceEnd[voice] = start + duration;
            cursor += duration;
            lastStart = start;
        }
        std::string line = chord ? "+" : "";
        bool isNote = true;
        int key = 0;
        if (const XmlNode* p = n.child("pitch")) {
            const char step = p->childText("step").at(0);
            const int alter = std::stoi(p->childText("alter", "0"));
            const int octave = std::stoi(p->childText("octave"));
            key = 12 * (octave + 1) + semitonesOfLetter(step) + alter + transpose_;
            line += pitchText(step, alter, octave);
        } else if (const XmlNode* u = n.child("unpitched")) {
            const std::string instrument =
                n.child("instrument") ? n.child("instrument")->attribute("id") : "";
            const auto it = unpitchedKeys_.find(instrument);
            key = it == unpitchedKeys_.end() ? -1 : it->second;
            line += "X " + u->childText("display-step") + u->childText("display-octave") + " " + instrument;
        } else {
            isNote = false;
            line += "rest";
        }
        line += " " + std::to_string(duration);
        const XmlNode* rest = n.child("rest");
        if (rest && rest->attribute("measure") == "yes")
            line += " measure";
        if (n.has("type"))
            line += " " + n.childText("type") + (n.has("dot") ? "." : "");
        if (n.has("time-modification"))
            line += " 3:2";
        bool tieStart = false, tieStop = false;
        for (const XmlNode& c : n.children)
            if (c.name == "tie") {
                tieStart |= c.attribute("type") == "start";
                tieStop |= c.attribute("type") == "stop";
            }
        if (tieStop)
            line += " tie-stop";
        if (tieStart)
            line += " tie-start";
        line += " v" + std::to_string(voice);
        if (n.has("staff"))
            line += " s" + n.childText("staff");
        if (n.has("accidental"))
            line += " acc=" + n.childText("accidental");
        if (n.has("notehead"))
            line += " head=" + n.childText("notehead");
        if (n.has("beam"))
            line += " beam=" + n.childText("beam");
        if (const XmlNode* notations = n.child("notations"))
            for (const XmlNode& c : notations->children)
                if (c.name == "tuplet")
                    line += c.attribute("type") == "start" ? " [3" : " 3]";
        lines.push_back(line);
        if (!isNote)
            return;

        const int absolute = measureStart_ + start;
        const std::pair<int, int> voiceKey{voice, key};
        if (tieStop) {
            const auto it = openTies_.find(voiceKey);
            if (it == openTies_.end() || score_.notes[it->second].end != absolute) {
                problem("a tie ends at " + std::to_string(absolute) + " that nothing started");
            } else {
                score_.notes[it->second].end = absolute + duration;
                const std::size_t index = it->second;
                openTies_.erase(it);
                if (tieStart)
                    openTies_[voiceKey] = index;
                return;
            }
        }
        score_.notes.push_back({id_, absolute, absolute + duration, key});
        if (tieStart)
            openTies_[voiceKey] = score_.notes.size() - 1;
    }

    ReadScore& score_;
    const std::map<std::string, int>& unpitchedKeys_;
    std::string id_;
    int number_ = 0;
    int measureStart_ = 0;
    int measureTicks_ = 96;
    int transpose_ = 0;
    std::map<std::pair<int, int>, std::size_t> openTies_;
};

} // namespace

const std::vector<std::string>& ReadScore::measure(const std::string& part, int number) const {
    static const std::vector<std::string> none;
    const auto it = lines.find({part, number});
    return it == lines.end() ? none : it->second;
}

ReadScore readMusicXml(const std::string& document) {
    ReadScore score;
    std::string error;
    const XmlNode root = parseXml(document, &error);
    if (!error.empty()) {
        score.problems.push_back("not well-formed: " + error);
        return score;
    }
    if (const XmlNode* work = root.child("work"))
        score.title = work->childText("work-title");
    if (const XmlNode* id = root.child("identification"))
        score.rights = id->childText("rights");
    std::map<std::string, int> unpitchedKeys;
    if (const XmlNode* list = root.child("part-list")) {
        for (const XmlNode& sp : list->children) {
            if (sp.name != "score-part")
                continue;
            score.partNames[sp.attribute("id")] = sp.childText("part-name");
            for (const XmlNode& c : sp.children) {
                if (c.name == "score-instrument")
                    score.instrumentNames[c.attribute("id")] = c.childText("instrument-name");
                if (c.name == "midi-instrument" && c.has("midi-unpitched"))
                    unpitchedKeys[c.attribute("id")] = std::stoi(c.childText("midi-unpitched")) - 1;
            }
        }
    }
    for (const XmlNode& part : root.children) {
        if (part.name != "part")
            continue;
        score.partIds.push_back(part.attribute("id"));
        PartReader(score, unpitchedKeys).read(part);
    }
    std::sort(score.notes.begin(), score.notes.end());
    return score;
}

} // namespace pokopen::testing
