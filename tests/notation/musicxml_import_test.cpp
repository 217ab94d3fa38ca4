#include "model/new_song.h"
#include "model/pitch.h"
#include "model/song_file.h"
#include "model/store_check.h"
#include "model/timeline.h"
#include "notation/musicxml_import.h"
#include "notation/musicxml_test_songs.h"
#include "notation/musicxml_writer.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <zip.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pokopen {
namespace {

using Lines = std::vector<std::string>;
constexpr std::uint8_t ON = KIND_NOTE_ON;
constexpr std::uint8_t OFF = KIND_NOTE_OFF;
// Staff values: C4 is step 23, D4 22, E4 21, F4 20, G4 19, A4 18, B4 17, C5 16.
[[maybe_unused]] constexpr std::uint8_t C4 = 23, D4 = 22, E4 = 21, F4 = 20, G4 = 19;

[[maybe_unused]] std::vector<Event> notesOf(const Song& song, int part) {
    std::vector<Event> out;
    for (const Event& e : song.row(part).events())
        if (e.kind == ON || e.kind == OFF)
            out.push_back(e);
    return out;
}

// The song file with the events of each tick in one order: MusicXML keeps no order among the
// notes that start (or end) together, the song file keeps the order they were entered in.
std::string canonicalFile(Song song) {
    for (int r = 0; r < PART_ROWS; ++r) {
        std::vector<Event> events = song.row(r).events();
        std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
            if (a.pos != b.pos)
                return a.pos < b.pos;
            if (tieOrder(a.kind) != tieOrder(b.kind))
                return tieOrder(a.kind) < tieOrder(b.kind);
            return (a.kind == ON || a.kind == OFF) && a.value < b.value;
        });
        song.row(r).assign(events);
    }
    // Nor between a key and a time signature of one measure.
    std::vector<Event> signatures = song.row(SIGNATURE_ROW).events();
    std::stable_sort(signatures.begin(), signatures.end(), [](const Event& a, const Event& b) {
        return a.pos != b.pos ? a.pos < b.pos : a.kind < b.kind;
    });
    song.row(SIGNATURE_ROW).assign(signatures);
    return serializeKn2(song);
}

// The first line where two song files differ, with its neighbours.
std::string firstDifference(const std::string& a, const std::string& b) {
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    const std::size_t from = at > 40 ? at - 40 : 0;
    return "at byte " + std::to_string(at) + ": ..." + a.substr(from, 80) + "... vs ..." + b.substr(from, 80);
}

// True when a note of an octave transposition is written outside the octaves 0..9 that MusicXML
// has: the export moves it by an octave, so it cannot come back as it was.
bool writtenOutsideOctaves(const Song& song) {
    const KeyMap keys(song.store);
    const MeasureMap measures(song.store);
    for (int part = 0; part < PART_ROWS; ++part) {
        if (part == PERCUSSION_PART)
            continue;
        for (const Event& e : song.row(part).events()) {
            if (e.kind != ON)
                continue;
            const int shift = writtenKey(keys.keyOfMeasure(measures.tickToMeasure(e.pos)),
                                         song.partTransposition[static_cast<std::size_t>(part)])
                                  .shift;
            const int written = stepOfValue(e.value) - shift;
            if (written < -18 || written > 51) // B9 .. C0
                return true;
        }
    }
    return false;
}

TEST(MusicXmlImport, ExportThenImportGivesTheSameSongFile) {
    int compared = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Song song = testing::randomScoreSong(seed);
        if (writtenOutsideOctaves(song))
            continue;
        ++compared;
        // The drum part's transposition means nothing and is not written.
        song.partTransposition[PERCUSSION_PART] = C_INSTRUMENT;
        // Volumes and curves of the parts that hold notes (parts without notes are not written).
        for (int part = 0; part < PART_ROWS; ++part) {
            const auto p = static_cast<std::size_t>(part);
            if (song.row(part).count() <= 2)
                continue;
            song.partVolume[p] = static_cast<std::int32_t>((seed * 37 + p * 11) % 128);
            testing::addPoint(song, part, static_cast<std::int32_t>(seed * 5 % 90), KIND_DYNAMICS,
                              static_cast<std::uint8_t>((seed * 13 + p) % 128));
            testing::addPoint(song, part, static_cast<std::int32_t>(seed * 7 % 90), KIND_PAN,
                              static_cast<std::uint8_t>((seed * 29 + p) % 128));
        }
        // Tempi below 4, which only the MIDI export cannot say.
        if (seed % 4 == 0)
            song.row(TEMPO_ROW).assign({{0, KIND_TEMPO, static_cast<std::uint8_t>(1 + seed / 4 % 3), 0}});
        ASSERT_EQ(checkStore(song), "");
        Song back;
        const MusicXmlImportResult r = importMusicXml(buildMusicXml(song), back);
        ASSERT_TRUE(r.ok) << r.message << " at line " << r.line;
        EXPECT_EQ(japaneseLines(r.report), Lines{});
        EXPECT_EQ(checkStore(back), "");
        const std::string want = canonicalFile(song), got = canonicalFile(back);
        EXPECT_TRUE(got == want) << firstDifference(got, want);
    }
    EXPECT_GT(compared, 50);
}

// A partwise document of one part; `attributes` go into the first measure's attributes.
std::string partwise(const std::string& partList, const std::string& measures) {
    return "<?xml version=\"1.0\"?>\n<score-partwise version=\"4.0\">\n<part-list>" + partList +
           "</part-list>\n" + measures + "</score-partwise>\n";
}

const std::string ONE_PART = "<score-part id=\"P1\"><part-name>A</part-name></score-part>";
const std::string FIRST = "<attributes><divisions>2</divisions><key><fifths>1</fifths></key>"
                          "<time><beats>4</beats><beat-type>4</beat-type></time></attributes>";

std::string note(const char* step, int alter, int octave, int duration, const std::string& more = {}) {
    return "<note><pitch><step>" + std::string(step) + "</step>" +
           (alter ? "<alter>" + std::to_string(alter) + "</alter>" : "") + "<octave>" +
           std::to_string(octave) + "</octave></pitch><duration>" + std::to_string(duration) + "</duration>" +
           more + "</note>";
}

TEST(MusicXmlImport, HandWrittenScoresMapAndReportWhatTheyLost) {
    struct Case {
        const char* what;
        std::string document;
        Lines report;
        int part;
        std::vector<Event> notes;
    };
    const std::vector<Case> cases = {
        {"voices with backup, a chord, a tie across the bar line, E sharp kept as written",
         partwise(ONE_PART, "<part id=\"P1\"><measure>" + FIRST + note("C", 0, 4, 4) +
                                note("E", 1, 4, 4, "<chord/>") + "<backup><duration>4</duration></backup>" +
                                note("G", 0, 4, 2) + note("D", 0, 4, 6, "<tie type=\"start\"/>") +
                                "</measure><measure>" + note("D", 0, 4, 2, "<tie type=\"stop\"/>") +
                                "</measure></part>"),
         {},
         0,
         {{0, ON, C4, 0},
          {0, ON, E4, 1},
          {0, ON, G4, 0},
          {24, OFF, G4, 0},
          {24, ON, D4, 0},
          {48, OFF, C4, 0},
          {48, OFF, E4, 0},
          {120, OFF, D4, 0}}},
        {"grace, cue and ornamented notes; a quintuplet rounded to the grid",
         partwise(ONE_PART,
                  "<part id=\"P1\"><measure>" + FIRST + "<note><grace/>" + note("C", 0, 4, 1).substr(6) +
                      note("D", 0, 4, 2, "<cue/>") +
                      note("F", 0, 4, 2, "<notations><ornaments><trill-mark/></ornaments></notations>") +
                      "<forward><duration>1</duration></forward>" +
                      "<attributes><divisions>5</divisions></attributes>" + note("C", 0, 4, 1) +
                      "</measure></part>"),
         {"時刻を格子（全音符の96分の1）に丸めた音符・記号: 1個", "除いた装飾音符: 1個",
          "除いたキュー音符: 1個", "装飾記号を除いた音符: 1個"},
         0,
         {{24, ON, F4, -1}, {48, OFF, F4, 0}, {60, ON, C4, 0}, {65, OFF, C4, 0}}},
        {"percussion by its unpitched notes, an instrument without a drum dropped",
         partwise(
             "<score-part id=\"P1\"><part-name>D</part-name><score-instrument id=\"K\"/><score-instrument "
             "id=\"X\"/><midi-instrument id=\"K\"><midi-unpitched>37</midi-unpitched></midi-instrument>"
             "<midi-instrument id=\"X\"><midi-unpitched>2</midi-unpitched></midi-instrument></score-part>",
             "<part id=\"P1\"><measure>" + FIRST +
                 "<note><unpitched><display-step>E</display-step><display-octave>4</display-octave></"
                 "unpitched>"
                 "<duration>2</duration><instrument id=\"K\"/></note>"
                 "<note><unpitched><display-step>E</display-step><display-octave>4</display-octave></"
                 "unpitched>"
                 "<duration>2</duration><instrument id=\"X\"/></note></measure></part>"),
         {"ドラムパートで割り当てのない楽器のため除いた音符: 1個"},
         PERCUSSION_PART,
         {{0, ON, 81 - 36, 0}, {24, OFF, 81 - 36, 0}}},
        {"a B flat clarinet: written D is a concert C, the part set to the instrument",
         partwise(ONE_PART,
                  "<part id=\"P1\"><measure><attributes><divisions>1</divisions><key><fifths>2</fifths>"
                  "</key><transpose><diatonic>-1</diatonic><chromatic>-2</chromatic></transpose>"
                  "</attributes>" +
                      note("D", 0, 4, 1) + "</measure></part>"),
         {},
         0,
         {{0, ON, C4, 0}, {24, OFF, C4, 0}}},
        {"a transposition the program lacks: concert pitch, said so",
         partwise(ONE_PART, "<part id=\"P1\"><measure><attributes><divisions>1</divisions><transpose>"
                            "<diatonic>-1</diatonic><chromatic>-1</chromatic></transpose></attributes>" +
                                note("D", 0, 4, 1) + "</measure></part>"),
         {"移調楽器の設定にない移調のため実音で記録したパート: 1個"},
         0,
         {{0, ON, C4, 1}, {24, OFF, C4, 0}}},
        {"timewise",
         "<score-timewise><part-list>" + ONE_PART + "</part-list><measure number=\"1\"><part id=\"P1\">" +
             FIRST + note("C", 0, 4, 2) + "</part></measure></score-timewise>",
         {},
         0,
         {{0, ON, C4, 0}, {24, OFF, C4, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Song song;
        const MusicXmlImportResult r = importMusicXml(c.document, song);
        ASSERT_TRUE(r.ok) << r.message << " at line " << r.line;
        EXPECT_EQ(japaneseLines(r.report), c.report);
        EXPECT_EQ(notesOf(song, c.part), c.notes);
        EXPECT_EQ(checkStore(song), "");
    }
}

TEST(MusicXmlImport, UntrustedDocumentsAreRefusedWithTheirLine) {
    const std::string measure = "<part id=\"P1\"><measure>" + FIRST;
    struct Case {
        const char* what;
        std::string document;
        int line;
    };
    std::string deep = partwise(ONE_PART, measure);
    for (int i = 0; i < 70; ++i)
        deep.insert(deep.size() - 20, "<a>");
    const std::vector<Case> cases = {
        {"not XML", "<score-partwise><part-list>\n<x></y>", 2},
        {"not a score", "<html/>", 1},
        {"an entity bomb",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE s [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>\n"
         "<score-partwise>&b;</score-partwise>",
         2},
        {"a duration before the divisions",
         partwise(ONE_PART, "<part id=\"P1\"><measure>\n" + note("C", 0, 4, 1) + "</measure></part>"), 5},
        {"divisions of zero",
         partwise(ONE_PART, "<part id=\"P1\"><measure>\n<attributes><divisions>0</divisions></attributes>"),
         5},
        {"a measure of a billion divisions",
         partwise(ONE_PART, measure + "\n" + note("C", 0, 4, 1000000000) + "</measure></part>"), 5},
        {"a duration that overflows",
         partwise(ONE_PART, measure + "\n" + note("C", 0, 4, 1).replace(49, 1, "99999999999999999999999")),
         5},
        {"deep nesting", deep, 4},
        {"cut off", partwise(ONE_PART, measure).substr(0, 150), 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Song song = makeNewSong();
        song.songTitle = "kept";
        const Song before = song;
        const MusicXmlImportResult r = importMusicXml(c.document, song);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.message.empty());
        EXPECT_FALSE(r.japanese.empty());
        EXPECT_EQ(r.line, c.line) << r.message;
        EXPECT_EQ(song, before);
    }
}

TEST(MusicXmlImport, CompressedScoresAreReadAndBombsRefused) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "pokopen-mxl-test";
    fs::create_directories(dir);
    const auto archive = [&](const std::string& name, const std::string& container,
                             const std::string& score) {
        const std::string path = (dir / name).string();
        fs::remove(path);
        int error = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        const auto add = [z](const char* entry, const std::string& text) {
            zip_source_t* src = zip_source_buffer(z, text.data(), text.size(), 0);
            zip_file_add(z, entry, src, ZIP_FL_OVERWRITE);
        };
        if (!container.empty())
            add("META-INF/container.xml", container);
        add("score.xml", score);
        zip_close(z);
        return path;
    };
    const std::string container =
        "<container><rootfiles><rootfile full-path=\"score.xml\"/></rootfiles></container>";
    Song song = makeNewSong();
    song.songTitle = "タイトル";
    testing::addNote(song, 0, 0, 24, C4);
    const std::string good = archive("good.MXL", container, buildMusicXml(song));
    Song back;
    MusicXmlImportResult r = importMusicXmlFile(good, back);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(notesOf(back, 0), notesOf(song, 0));

    // A few kilobytes that inflate beyond any score, and an archive without its container.
    const std::string bomb = archive("bomb.mxl", container, std::string(MAX_MUSICXML_BYTES + 1, ' '));
    Song kept = makeNewSong();
    r = importMusicXmlFile(bomb, kept);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.entry, "score.xml");
    EXPECT_LT(fs::file_size(bomb), 2u << 20);
    r = importMusicXmlFile(archive("bare.mxl", "", buildMusicXml(song)), kept);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.entry, "META-INF/container.xml");
    std::ofstream((dir / "plain.mxl").string()) << "not a zip";
    EXPECT_FALSE(importMusicXmlFile((dir / "plain.mxl").string(), kept).ok);
    EXPECT_EQ(kept, makeNewSong());
    fs::remove_all(dir);
}

} // namespace
} // namespace pokopen
