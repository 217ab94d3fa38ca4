// MuseScore 3 as a real reader: it opens exported random songs, and the notes it reads back
// (pitch and start, part by part) are the song's.
#include "notation/musicxml_import.h"
#include "notation/musicxml_reader.h"
#include "notation/musicxml_test_songs.h"
#include "notation/musicxml_writer.h"
#include "notation/xml_tree.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace pokopen {
namespace {

using testing::XmlNode;

// Positions in MuseScore's files are fractions of a whole note; 576 a whole holds every
// position and length of the song's grid (96 a whole, and 64th notes of 1.5 ticks).
constexpr long long UNITS = 576;

// A fraction "n/d" in units; false when it does not fall on a unit.
bool fractionUnits(const std::string& text, long long& units) {
    const auto slash = text.find('/');
    const long long n = std::stoll(text.substr(0, slash));
    const long long d = slash == std::string::npos ? 1 : std::stoll(text.substr(slash + 1));
    if (d == 0 || (n * UNITS) % d != 0)
        return false;
    units = n * UNITS / d;
    return true;
}

long long typeUnits(const std::string& type) {
    static const std::map<std::string, long long> denominators = {
        {"whole", 1}, {"half", 2}, {"quarter", 4}, {"eighth", 8}, {"16th", 16}, {"32nd", 32}, {"64th", 64}};
    const auto it = denominators.find(type);
    return it == denominators.end() ? -1 : UNITS / it->second;
}

// The notes of a MuseScore file as "part@tick:pitch" (tied continuations left out), by part in
// score order; `problems` gets anything that cannot be placed on the song's grid.
std::vector<std::vector<std::string>> museScoreNotes(const XmlNode& root,
                                                     std::vector<std::string>& problems) {
    const XmlNode* score = root.child("Score");
    std::vector<std::vector<std::string>> parts;
    if (!score) {
        problems.push_back("no Score element");
        return parts;
    }
    std::map<std::string, std::size_t> partOfStaff;
    for (const XmlNode& p : score->children)
        if (p.name == "Part") {
            for (const XmlNode& s : p.children)
                if (s.name == "Staff")
                    partOfStaff[s.attribute("id")] = parts.size();
            parts.emplace_back();
        }
    for (const XmlNode& staff : score->children) {
        if (staff.name != "Staff")
            continue;
        auto& out = parts.at(partOfStaff.at(staff.attribute("id")));
        long long measureStart = 0;
        long long meter = UNITS; // 4/4
        for (const XmlNode& measure : staff.children) {
            if (measure.name != "Measure")
                continue;
            for (const XmlNode& voice : measure.children)
                for (const XmlNode& e : voice.children)
                    if (e.name == "TimeSig")
                        meter = UNITS * std::stoll(e.childText("sigN")) / std::stoll(e.childText("sigD"));
            long long length = meter;
            if (!measure.attribute("len").empty() && !fractionUnits(measure.attribute("len"), length))
                problems.push_back("measure length " + measure.attribute("len"));
            for (const XmlNode& voice : measure.children) {
                if (voice.name != "voice")
                    continue;
                long long at = measureStart;
                long long normal = 1, actual = 1;
                for (const XmlNode& e : voice.children) {
                    if (e.name == "Tuplet") {
                        normal = std::stoll(e.childText("normalNotes"));
                        actual = std::stoll(e.childText("actualNotes"));
                    } else if (e.name == "endTuplet") {
                        normal = actual = 1;
                    } else if (e.name == "location") {
                        long long move = 0;
                        if (!fractionUnits(e.childText("fractions", "0"), move))
                            problems.push_back("location " + e.childText("fractions"));
                        at += move;
                    } else if (e.name == "Chord" || e.name == "Rest") {
                        long long d = 0;
                        if (e.childText("durationType") == "measure") {
                            if (!fractionUnits(e.childText("duration"), d))
                                problems.push_back("rest " + e.childText("duration"));
                        } else {
                            d = typeUnits(e.childText("durationType"));
                            const int dots = std::stoi(e.childText("dots", "0"));
                            d = d * ((2LL << dots) - 1) / (1LL << dots);
                            d = d * normal / actual;
                        }
                        if (e.name == "Chord")
                            for (const XmlNode& note : e.children) {
                                if (note.name != "Note")
                                    continue;
                                bool continued = false;
                                for (const XmlNode& sp : note.children)
                                    continued |= sp.name == "Spanner" && sp.attribute("type") == "Tie" &&
                                                 sp.has("prev");
                                if (continued)
                                    continue;
                                if (at % 6 != 0)
                                    problems.push_back("a note off the grid at " + std::to_string(at));
                                out.push_back(std::to_string(at / 6) + ":" + note.childText("pitch"));
                            }
                        at += d;
                    }
                }
            }
            measureStart += length;
        }
    }
    for (auto& p : parts)
        std::sort(p.begin(), p.end());
    return parts;
}

// Our export of each seed's random song (named by `inName`, %1 the seed) converted by MuseScore
// in one batch run (-j) into `outName`; `log` is what MuseScore printed.
void convertWithMuseScore(const QString& mscore, const QTemporaryDir& dir, const std::vector<unsigned>& seeds,
                          const char* inName, const char* outName, std::string& log) {
    std::string jobs = "[";
    for (const unsigned seed : seeds) {
        const QString in = dir.filePath(QString::fromLatin1(inName).arg(seed));
        const QString out = dir.filePath(QString::fromLatin1(outName).arg(seed));
        ASSERT_TRUE(writeMusicXmlFile(in.toStdString(), testing::randomScoreSong(seed)));
        jobs += std::string(jobs.size() > 1 ? "," : "") + "{\"in\":\"" + in.toStdString() + "\",\"out\":\"" +
                out.toStdString() + "\"}";
    }
    jobs += "]";
    const QString jobFile = dir.filePath(QStringLiteral("jobs.json"));
    std::ofstream(jobFile.toStdString()) << jobs;

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(mscore, {QStringLiteral("-j"), jobFile});
    ASSERT_TRUE(process.waitForFinished(300000));
    log = process.readAll().toStdString();
    ASSERT_EQ(process.exitCode(), 0) << log;
}

TEST(MusicXmlMuseScore, OpensRandomSongsAndReadsTheirNotes) {
    const QString mscore = QStandardPaths::findExecutable(QStringLiteral("mscore3"));
    if (mscore.isEmpty())
        GTEST_SKIP() << "mscore3 (Debian package musescore3) is not installed, so no real reader checked "
                        "the exported files; install it with POKOPEN_WITH_MUSESCORE=1 scripts/install-deps";
    QTemporaryDir dir;
    const std::vector<unsigned> seeds = {101, 102, 103, 104, 105, 106, 107, 108};
    std::string log;
    ASSERT_NO_FATAL_FAILURE(convertWithMuseScore(mscore, dir, seeds, "song%1.musicxml", "song%1.mscx", log));
    // MuseScore names a file it finds invalid and every error it meets while reading.
    EXPECT_EQ(log.find("not a valid MusicXML file"), std::string::npos) << log;
    EXPECT_EQ(log.find("Error at line"), std::string::npos) << log;

    for (const unsigned seed : seeds) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Song song = testing::randomScoreSong(seed);
        QFile file(dir.filePath(QStringLiteral("song%1.mscx").arg(seed)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        std::vector<std::string> problems;
        const auto read = museScoreNotes(testing::parseXml(file.readAll().toStdString()), problems);
        EXPECT_EQ(problems, std::vector<std::string>{});

        // The song's notes part by part, in the order of the exported parts.
        std::map<std::string, std::vector<std::string>> expected;
        for (const testing::ReadNote& n : testing::soundingNotes(song))
            expected[n.part].push_back(std::to_string(n.start) + ":" + std::to_string(n.key));
        const testing::ReadScore ours = testing::readMusicXml(buildMusicXml(song));
        ASSERT_EQ(read.size(), ours.partIds.size());
        for (std::size_t p = 0; p < read.size(); ++p) {
            std::vector<std::string>& want = expected[ours.partIds[p]];
            std::sort(want.begin(), want.end());
            EXPECT_FALSE(want.empty());
            EXPECT_EQ(read[p], want) << ours.partIds[p];
        }
    }
}

// MuseScore's own MusicXML, written from our exports, imports with the song's notes: every
// part's notes at the same ticks, with the same lengths and keys. MuseScore gives the parts
// its own ids and channels, so parts are compared in score order, not by number.
TEST(MusicXmlMuseScore, ItsMusicXmlOfOurExportsImportsWithTheSameNotes) {
    const QString mscore = QStandardPaths::findExecutable(QStringLiteral("mscore3"));
    if (mscore.isEmpty())
        GTEST_SKIP() << "mscore3 (Debian package musescore3) is not installed; install it with "
                        "POKOPEN_WITH_MUSESCORE=1 scripts/install-deps";
    QTemporaryDir dir;
    const std::vector<unsigned> seeds = {201, 202, 203, 204, 205, 206};
    std::string log;
    ASSERT_NO_FATAL_FAILURE(
        convertWithMuseScore(mscore, dir, seeds, "ours%1.musicxml", "back%1.musicxml", log));

    // Each part's sounding notes, parts in score order (empty parts left out).
    const auto byPart = [](const Song& song) {
        std::map<int, std::vector<std::string>> parts;
        for (const testing::ReadNote& n : testing::soundingNotes(song))
            parts[std::stoi(n.part.substr(1))].push_back(std::to_string(n.start) + "-" +
                                                         std::to_string(n.end) + ":" + std::to_string(n.key));
        std::vector<std::vector<std::string>> ordered;
        for (auto& [part, notes] : parts)
            ordered.push_back(std::move(notes));
        return ordered;
    };
    for (const unsigned seed : seeds) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Song ours;
        ASSERT_TRUE(
            importMusicXmlFile(dir.filePath(QStringLiteral("ours%1.musicxml").arg(seed)).toStdString(), ours)
                .ok);
        Song back;
        const MusicXmlImportResult r =
            importMusicXmlFile(dir.filePath(QStringLiteral("back%1.musicxml").arg(seed)).toStdString(), back);
        ASSERT_TRUE(r.ok) << r.message << " at line " << r.line;
        EXPECT_FALSE(byPart(ours).empty());
        EXPECT_EQ(byPart(back), byPart(ours));
    }
}

} // namespace
} // namespace pokopen
