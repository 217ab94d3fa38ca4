#include "midifile/midi_file.h"
#include "midifile/smf_import.h"
#include "midifile/smf_reader.h"
#include "model/new_song.h"
#include "model/note_spelling.h"
#include "model/pitch.h"
#include "model/song_file.h"
#include "model/store_check.h"
#include "model/text_codec.h"
#include "model/timeline.h"
#include "support/song_builders.h"

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace pokopen {
namespace {

using testing::Bytes;
using testing::smf;
using Lines = std::vector<std::string>;
// The times of the file as they are, on the song's grid of 96 a whole note.
const MidiImportOptions EXACT{MidiGrid::Exact, false};

// ---- Random songs of every feature ----

void addPoint(Song& song, int part, std::int32_t tick, std::uint8_t kind, std::uint8_t value) {
    EventRow& row = song.row(part);
    std::int32_t i = 0;
    while (i < row.count() && (row.pos[static_cast<std::size_t>(i)] < tick ||
                               (row.pos[static_cast<std::size_t>(i)] == tick &&
                                row.kind[static_cast<std::size_t>(i)] != KIND_NOTE_ON)))
        ++i;
    row.insertAt(i, {tick, kind, value, 0});
}

std::string shiftJis(const char* utf8) {
    return encodeSongText(QString::fromUtf8(utf8)).value();
}

// Every part, the drum part, key and meter changes, tempo, dynamics and pan curves, Japanese
// texts; notes crowded on a few neighbouring steps with every accidental the palette offers, so
// that one MIDI key often sounds twice at once (E sharp beside F); notes up to the song's end.
Song randomSong(std::mt19937& rng) {
    const auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<>(lo, hi)(rng); };
    Song song = makeNewSong();
    const char* titles[] = {"きらきら星", "", "Ｔｅｓｔ　曲名ソング", "A"};
    song.songTitle = shiftJis(titles[pick(0, 3)]);
    song.songCopyright = shiftJis(pick(0, 1) ? "著作権（なし）" : "Copyright by ?");
    const std::uint8_t meters[] = {0x21, 0x31, 0x22, 0x32, 0x42, 0x52, 0x62, 0x23, 0x33,
                                   0x43, 0x53, 0x63, 0x73, 0x83, 0x93, 0xA3, 0xB3, 0xC3};
    for (int k = 0; k < 4; ++k) {
        testing::setSignature(song, KIND_METER, k == 0 ? 0 : pick(1, 999), meters[pick(0, 17)]);
        testing::setSignature(song, KIND_KEY, k == 0 ? 0 : pick(1, 30),
                              static_cast<std::uint8_t>(pick(0, 29)));
    }
    const std::int32_t end = songEndTick(song.store);
    const std::int32_t busy = measureToTick(song.store, 30);
    std::vector<Event> tempo{{0, KIND_TEMPO, static_cast<std::uint8_t>(pick(1, 255)), 0}};
    for (int k = 0; k < 8; ++k)
        tempo.push_back({pick(1, end), KIND_TEMPO, static_cast<std::uint8_t>(pick(1, 255)), 0});
    std::sort(tempo.begin(), tempo.end(), [](const Event& a, const Event& b) { return a.pos < b.pos; });
    song.row(TEMPO_ROW).assign(tempo);

    for (int part = 0; part < PART_ROWS; ++part) {
        const auto p = static_cast<std::size_t>(part);
        song.partInstrument[p] = pick(0, 127);
        song.partVolume[p] = pick(0, 127);
        song.partTransposition[p] = pick(0, TRANSPOSITION_COUNT - 1);
        const bool drums = part == PERCUSSION_PART;
        const int low = pick(-10, 50);
        std::vector<std::pair<std::int32_t, std::int32_t>> taken[256];
        const int notes = pick(0, 80);
        for (int n = 0; n < notes; ++n) {
            const bool atEnd = n % 16 == 15;
            const std::int32_t start = atEnd ? pick(end - 200, end - 1) : pick(0, busy);
            const std::int32_t length = std::min(pick(1, n % 4 == 0 ? 300 : 30), end - start);
            const int step = low + pick(0, 4);
            const auto value = drums ? static_cast<std::uint8_t>(pick(0, 46)) : valueOfStep(step);
            bool free = true;
            for (const auto& [a, e] : taken[value])
                free = free && (start >= e || start + length <= a);
            if (!free)
                continue;
            taken[value].push_back({start, start + length});
            std::uint8_t key = KEY_C_MAJOR;
            keyAt(song.store, tickToMeasure(song.store, start), key);
            const int accidental = pick(-2, 2);
            const auto extra = static_cast<std::int8_t>(drums ? 0 : accidental - keyAlteration(key, step));
            testing::addNote(song, part, start, length, value, extra);
        }
        for (int k = pick(0, 12); k > 0; --k)
            addPoint(song, part, k % 3 ? pick(0, busy) : pick(0, end), pick(0, 1) ? KIND_PAN : KIND_DYNAMICS,
                     static_cast<std::uint8_t>(pick(0, 127)));
    }
    return song;
}

TEST(MidiImport, EverySongWritesTheSameFileAgainAfterItsImport) {
    // A fixed seed, so that a failure can be replayed; POKOPEN_SEED runs another one.
    const char* given = std::getenv("POKOPEN_SEED");
    const unsigned seed = given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : 20261208u;
    std::mt19937 rng(seed);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", song " + std::to_string(round));
        const Song song = randomSong(rng);
        ASSERT_EQ(checkStore(song), "");
        const Bytes first = buildMidiFile(song, false);
        Song imported = makeNewSong();
        const MidiImportResult r = importMidiFile(first, imported);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(japaneseLines(r.report), Lines{});
        EXPECT_EQ(checkStore(imported), "");
        EXPECT_EQ(imported.songTitle, song.songTitle);
        EXPECT_EQ(imported.songCopyright, song.songCopyright);
        EXPECT_EQ(imported.partInstrument, song.partInstrument);
        EXPECT_EQ(imported.partVolume, song.partVolume);
        EXPECT_EQ(imported.row(SIGNATURE_ROW), song.row(SIGNATURE_ROW));
        EXPECT_TRUE(buildMidiFile(imported, false) == first);
    }
}

// ---- Hand-made files ----

void varLen(Bytes& out, std::uint32_t v) {
    Bytes b{static_cast<std::uint8_t>(v & 0x7F)};
    while (v >>= 7)
        b.insert(b.begin(), static_cast<std::uint8_t>(0x80 | (v & 0x7F)));
    out.insert(out.end(), b.begin(), b.end());
}

// A track from (delta, bytes) pairs, with its end appended.
Bytes track(const std::vector<std::pair<std::uint32_t, Bytes>>& events, bool end = true) {
    Bytes t;
    for (const auto& [delta, bytes] : events) {
        varLen(t, delta);
        t.insert(t.end(), bytes.begin(), bytes.end());
    }
    if (end)
        t.insert(t.end(), {0x00, 0xFF, 0x2F, 0x00});
    return t;
}

Bytes text(std::uint8_t type, const std::string& s) {
    Bytes b{0xFF, type, static_cast<std::uint8_t>(s.size())};
    b.insert(b.end(), s.begin(), s.end());
    return b;
}

std::vector<Event> notesOf(const Song& song, int part) {
    std::vector<Event> out;
    for (const Event& e : song.row(part).events())
        if (e.kind == KIND_NOTE_ON || e.kind == KIND_NOTE_OFF)
            out.push_back(e);
    return out;
}

constexpr std::uint8_t ON = KIND_NOTE_ON;
constexpr std::uint8_t OFF = KIND_NOTE_OFF;
// Staff values of some notes: C4 is step 23, so D4 22, E4 21, F4 20, G4 19, A4 18, B4 17, C5 16.
constexpr std::uint8_t C4 = 23, D4 = 22, E4 = 21, F4 = 20;

TEST(MidiImport, FormatZeroWithRunningStatusAndVelocityZeroOffsIsExact) {
    // 96 ticks a quarter: every time a multiple of 4 lands on the grid exactly.
    const Bytes file = smf(0, 96,
                           {track({{0, text(0x03, "Tune")},
                                   {0, text(0x02, "(c) me")},
                                   {0, {0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0}}, // 100 bpm
                                   {0, {0xFF, 0x59, 0x02, 0x01, 0x00}},       // G major
                                   {0, {0xC2, 40}},
                                   {0, {0xB2, 7, 90}},
                                   {0, {0x92, 60, 100}},
                                   {96, {62, 100}}, // running status
                                   {0, {60, 0}},    // velocity 0: C ends
                                   {96, {62, 0}},
                                   {0, {66, 100}}, // F sharp, in the key
                                   {48, {66, 0}}})});
    Song song = makeNewSong();
    const MidiImportResult r = importMidiFile(file, song, EXACT);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(japaneseLines(r.report), Lines{});
    EXPECT_EQ(song.songTitle, "Tune");
    EXPECT_EQ(song.songCopyright, "(c) me");
    EXPECT_EQ(song.partInstrument[2], 40);
    EXPECT_EQ(song.partVolume[2], 90);
    EXPECT_EQ(song.row(TEMPO_ROW).events(), (std::vector<Event>{{0, KIND_TEMPO, 100, 0}}));
    EXPECT_EQ(song.row(SIGNATURE_ROW).events(),
              (std::vector<Event>{{0, KIND_KEY, 16, 0}, {0, KIND_METER, METER_4_4, 0}}));
    EXPECT_EQ(notesOf(song, 2), (std::vector<Event>{{0, ON, C4, 0},
                                                    {24, OFF, C4, 0},
                                                    {24, ON, D4, 0},
                                                    {48, OFF, D4, 0},
                                                    {48, ON, F4, 0},
                                                    {60, OFF, F4, 0}}));
    EXPECT_EQ(checkStore(song), "");
}

TEST(MidiImport, HandMadeFilesReportWhatTheyLost) {
    struct Case {
        const char* what;
        Bytes file;
        Lines report;
        int part;
        std::vector<Event> notes; // of `part`
        std::vector<Event> signatures;
    };
    const std::vector<Event> plain{{0, KIND_KEY, KEY_C_MAJOR, 0}, {0, KIND_METER, METER_4_4, 0}};
    const std::vector<Case> cases = {
        {"format 1, 384 a quarter, off the grid, velocities differ, short note",
         smf(1, 384,
             {track({{0, {0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08}}}),
              track({{5, {0x90, 64, 90}}, {379, {0x80, 64, 0}}, {0, {0x90, 65, 91}}, {3, {0x80, 65, 0}}})}),
         {"時刻を格子（全音符の96分の1）に丸めたイベント: 2個",
          "1ステップより短いため1ステップにした音符: 1個", "ベロシティ（音の強さ）を除いた音符: 2個"},
         0,
         {{0, ON, E4, 0}, {24, OFF, E4, 0}, {24, ON, F4, 0}, {25, OFF, F4, 0}},
         {{0, KIND_KEY, KEY_C_MAJOR, 0}, {0, KIND_METER, 0x32, 0}}},
        {"overlapping notes of one key: F and E sharp in a part, a cut in the drum part",
         smf(0, 24,
             {track({{0, {0x90, 65, 100}},
                     {6, {0x90, 65, 100}},
                     {6, {0x80, 65, 0}},
                     {6, {0x80, 65, 0}},
                     {0, {0x99, 36, 100}},
                     {6, {0x99, 36, 100}},
                     {6, {0x89, 36, 0}},
                     {0, {0x89, 36, 0}}})}),
         {"同じ高さの次の音符が始まる所で切った音符: 1個"},
         0,
         {{0, ON, F4, 0}, {6, ON, E4, 1}, {12, OFF, F4, 0}, {18, OFF, E4, 0}},
         plain},
        {"a meter change in the middle of a measure, a key change on a bar line",
         smf(1, 24,
             {track({{48, {0xFF, 0x58, 0x04, 0x06, 0x03, 0x18, 0x08}}, {48, {0xFF, 0x59, 0x02, 0xFD, 0x01}}}),
              track({{0, {0x90, 60, 100}}, {24, {0x80, 60, 0}}})}),
         {"小節の途中から次の小節線に移した拍子: 1個"},
         0,
         {{0, ON, C4, 0}, {24, OFF, C4, 0}},
         {{0, KIND_KEY, KEY_C_MAJOR, 0},
          {0, KIND_METER, METER_4_4, 0},
          {1, KIND_METER, 0x63, 0},
          {1, KIND_KEY, 9, 0}}},
        {"unknown drum keys",
         smf(0, 24,
             {track({{0, {0x99, 20, 100}}, {6, {0x89, 20, 0}}, {0, {0x99, 35, 100}}, {6, {0x89, 35, 0}}})}),
         {"ドラムパートで割り当てのない鍵盤のため除いた音符: 1個"},
         PERCUSSION_PART,
         {{6, ON, 46, 0}, {12, OFF, 46, 0}},
         plain},
        {"a note after measure 1000, another running past its end",
         smf(0, 1,
             {track({{999 * 4 + 3, {0x90, 60, 100}},
                     {2, {0x80, 60, 0}},
                     {0, {0x90, 62, 100}},
                     {1, {0x80, 62, 0}}})}),
         {"1000小節目より後のため除いたイベント: 1個", "1000小節目の終わりで止めた音符: 1個"},
         0,
         {{95976, ON, C4, 0}, {96000, OFF, C4, 0}},
         plain},
        {"what a song cannot hold: bends, pressure, controllers, programs, system exclusive, two tracks",
         smf(1, 24,
             {track({{0, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}},
                     {0, {0xE0, 0, 64}},
                     {0, {0xD0, 5}},
                     {0, {0xA0, 60, 5}}}),
              track({{0, {0xB0, 64, 127}},
                     {0, {0xC0, 5}},
                     {0, {0xC0, 6}},
                     {0, {0x90, 60, 100}},
                     {24, {0x80, 60, 0}}})}),
         {"除いたピッチベンド: 1個", "除いたアフタータッチ: 2個",
          "除いたその他のコントロールチェンジ: "
          "1個",
          "除いた2つ目以降のプログラムチェンジ: 1個", "除いたシステムエクスクルーシブ: 1個",
          "複数のトラックを1つのパートにまとめたチャンネル: 1個"},
         0,
         {{0, ON, C4, 0}, {24, OFF, C4, 0}},
         plain},
        {"one key three times at one tick: one note, as long as the longest",
         smf(0, 24,
             {track({{0, {0x90, 62, 100}},
                     {0, {0x90, 62, 100}},
                     {0, {0x90, 62, 100}},
                     {3, {0x80, 62, 0}},
                     {3, {0x80, 62, 0}},
                     {6, {0x80, 62, 0}}})}),
         {"重なった同じ音をまとめた: 2個"},
         0,
         {{0, ON, D4, 0}, {12, OFF, D4, 0}},
         plain},
        {"96.125 bpm for 961 quarters: the song plays 961 * 812 us longer",
         smf(0, 24,
             {track(
                 {{0, {0xFF, 0x51, 0x03, 0x09, 0x86, 0x3C}}, {0, {0x90, 60, 100}}, {23064, {0x80, 60, 0}}})}),
         {"1分間の拍数（1～255の整数）に丸めたテンポ: 1個（長さの差: +0.78秒）"},
         0,
         {{0, ON, C4, 0}, {23064, OFF, C4, 0}},
         plain},
        {"times go to the nearest tick: 128.1 quarters to 128.083, half way up",
         smf(0, 480, {track({{61488, {0x90, 60, 100}}, {2, {0x80, 60, 0}}})}),
         {"時刻を格子（全音符の96分の1）に丸めたイベント: 2個"},
         0,
         {{3074, ON, C4, 0}, {3075, OFF, C4, 0}},
         plain},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Song song = makeNewSong();
        const MidiImportResult r = importMidiFile(c.file, song, EXACT);
        ASSERT_TRUE(r.ok) << r.message << " at " << r.offset;
        EXPECT_EQ(japaneseLines(r.report), c.report);
        EXPECT_EQ(notesOf(song, c.part), c.notes);
        EXPECT_EQ(song.row(SIGNATURE_ROW).events(), c.signatures);
        EXPECT_EQ(checkStore(song), "");
    }
}

TEST(MidiImport, CurvesAndTheProgramsLeadInBecomeTheParts) {
    // Given a song with a volume, an instrument, curves and a chord of C and C sharp
    Song song = makeNewSong();
    song.partInstrument[3] = 73;
    song.partVolume[3] = 33;
    addPoint(song, 3, 12, KIND_DYNAMICS, 80);
    addPoint(song, 3, 12, KIND_PAN, 10);
    testing::addNote(song, 3, 0, 24, C4);
    testing::addNote(song, 3, 0, 24, C4 - 1, -1); // D flat, written so beside C
    Song back;
    const MidiImportResult r = importMidiFile(buildMidiFile(song, false), back);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(back.partInstrument[3], 73);
    EXPECT_EQ(back.partVolume[3], 33);
    // The writer's setup (expression 100, pan 64 before "Start") is gone; the song's own remain.
    EXPECT_EQ(back.row(3), song.row(3));
    EXPECT_EQ(back.partTransposition[3], C_INSTRUMENT);
}

// ---- Played files on a coarser grid ----

// Events at absolute ticks, in order, made relative.
std::vector<std::pair<std::uint32_t, Bytes>> deltas(std::vector<std::pair<std::uint32_t, Bytes>> events) {
    std::stable_sort(events.begin(), events.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::uint32_t at = 0;
    for (auto& [tick, bytes] : events)
        tick -= std::exchange(at, tick);
    return events;
}

// A format 0 file of 480 ticks a quarter: notes at the given ticks, each 40 long, on keys that
// never overlap.
Bytes playedFile(const std::vector<std::uint32_t>& onsets) {
    std::vector<std::pair<std::uint32_t, Bytes>> events;
    for (std::size_t k = 0; k < onsets.size(); ++k) {
        const auto key = static_cast<std::uint8_t>(48 + k % 24);
        events.push_back({onsets[k], {0x90, key, 100}});
        events.push_back({onsets[k] + 40, {0x80, key, 0}});
    }
    return smf(0, 480, {track(deltas(events))});
}

TEST(MidiImport, AutoPicksTheCoarsestGridTheOnsetsLieOn) {
    struct Case {
        const char* what;
        std::vector<std::uint32_t> onsets;
        MidiGrid grid;
    };
    const std::vector<Case> cases = {
        {"quarters and eighths, up to 15 ticks off", {0, 495, 705, 960, 1455, 1695}, MidiGrid::Eighth},
        {"sixteenths", {0, 128, 233, 360, 480}, MidiGrid::Sixteenth},
        {"eighth triplets", {0, 165, 315, 480, 642}, MidiGrid::EighthTriplet},
        {"sixteenth triplets", {0, 86, 157, 240, 480}, MidiGrid::SixteenthTriplet},
        {"written sixteenths, exactly", {0, 120, 240, 600}, MidiGrid::Sixteenth},
        {"written 32nds, exactly", {0, 60, 120, 180, 240}, MidiGrid::ThirtySecond},
        {"written 32nd triplets, exactly", {0, 40, 80, 120}, MidiGrid::Exact},
        {"played on no grid", {0, 50, 211, 333}, MidiGrid::Sixteenth},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Song song;
        const MidiImportResult r = importMidiFile(playedFile(c.onsets), song);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.grid, c.grid);
        EXPECT_EQ(checkStore(song), "");
    }
}

TEST(MidiImport, EndsGoLegatoToTheNextOnsetOnlyWhenTidying) {
    // On 16ths (120 ticks): a note ends at 400, the next starts at 425 (a quarter step apart,
    // rounding to 480). Tidied, the first is legato to it; else the end keeps its time (20).
    const Bytes file = smf(0, 480,
                           {track({{0, {0x90, 60, 100}},
                                   {400, {0x80, 60, 0}},
                                   {25, {0x90, 62, 100}},
                                   {175, {0x80, 62, 0}},
                                   {0, {0x90, 64, 100}},
                                   {10, {0x80, 64, 0}}})}); // 10 ticks: one step when tidied
    struct Case {
        MidiImportOptions options;
        std::vector<Event> notes;
    };
    const std::vector<Case> cases = {
        {{MidiGrid::Sixteenth, true},
         {{0, ON, C4, 0},
          {24, OFF, C4, 0},
          {24, ON, D4, 0},
          {30, OFF, D4, 0},
          {30, ON, E4, 0},
          {36, OFF, E4, 0}}},
        {{MidiGrid::Sixteenth, false},
         {{0, ON, C4, 0},
          {20, OFF, C4, 0},
          {24, ON, D4, 0},
          {30, OFF, D4, 0},
          {30, ON, E4, 0},
          {31, OFF, E4, 0}}},
        {EXACT,
         {{0, ON, C4, 0},
          {20, OFF, C4, 0},
          {21, ON, D4, 0},
          {30, OFF, D4, 0},
          {30, ON, E4, 0},
          {31, OFF, E4, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.options.grid) * 2 + c.options.tidyPlaying);
        Song song;
        ASSERT_TRUE(importMidiFile(file, song, c.options).ok);
        EXPECT_EQ(notesOf(song, 0), c.notes);
        EXPECT_EQ(checkStore(song), "");
    }
}

// The example song as a player plays it: onsets up to 20 ms early or late, every note held for
// 90 % of its length. Read on the automatic grid, the song's own notes come back.
TEST(MidiImport, APlayedExampleComesBackAsWritten) {
    Song example;
    ASSERT_TRUE(loadSongFile(POKOPEN_EXAMPLE_SONG, example).ok());
    SmfSequence written;
    ASSERT_TRUE(parseSmf(buildMidiFile(example, false), written).ok);
    ASSERT_EQ(written.tempo.back().usPerQuarter, 500000u); // 120 bpm after the lead-in
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::int64_t> jitter(-20000, 20000);
    // Absolute ticks, 480 a quarter at 120 bpm, a quarter later than written (so that nothing
    // starts before the file does).
    std::vector<std::pair<std::uint32_t, Bytes>> events;
    const auto tickOfUs = [](std::int64_t us) {
        return static_cast<std::uint32_t>((us - 250000) * 480 / 500000 + 480);
    };
    std::map<int, std::int64_t> sounding; // channel * 128 + key -> played onset
    for (const SmfEvent& e : written.events) {
        if (!e.isNote())
            continue;
        const int id = (e.status & 0x0F) * 128 + e.data1;
        if ((e.status & 0xF0) == 0x90 && e.data2 > 0) {
            sounding[id] = e.timeUs;
            continue;
        }
        const std::int64_t on = sounding[id], played = on + jitter(rng);
        events.push_back(
            {tickOfUs(played), {static_cast<std::uint8_t>(0x90 | (e.status & 0x0F)), e.data1, 90}});
        events.push_back({tickOfUs(played + (e.timeUs - on) * 9 / 10),
                          {static_cast<std::uint8_t>(0x80 | (e.status & 0x0F)), e.data1, 0}});
    }
    Song played;
    const MidiImportResult r = importMidiFile(smf(0, 480, {track(deltas(events))}), played);
    ASSERT_TRUE(r.ok) << r.english;
    EXPECT_EQ(r.grid, MidiGrid::Eighth);
    for (int part = 0; part < PART_ROWS; ++part) {
        std::vector<Event> expected = notesOf(example, part);
        for (Event& e : expected)
            e.pos += 24;
        EXPECT_EQ(notesOf(played, part), expected) << "part " << part + 1;
    }
}

// ---- Spelling ----

TEST(MidiImport, NotesAreSpelledAsTheKeyAsks) {
    // (key byte, MIDI key) -> letter of the written note (its step mod 7: 0 E .. 6 F) and its
    // absolute accidental.
    struct Case {
        int keyByte;
        int key;
        const char* name;
        int letter;
        int accidental;
    };
    constexpr int E = 0, D = 1, C = 2, B = 3, A = 4, G = 5, F = 6;
    const std::vector<Case> cases = {
        {14, 61, "C major: C sharp", C, 1},
        {14, 70, "C major: A sharp", A, 1},
        {16, 65, "G major: F natural", F, 0},
        {16, 66, "G major: F sharp, in the key", F, 1},
        {16, 63, "G major: D sharp", D, 1},
        {12, 66, "F major: G flat", G, -1},
        {12, 70, "F major: B flat, in the key", B, -1},
        {8, 64, "E flat major: E natural", E, 0},
        {8, 61, "E flat major: D flat", D, -1},
        {13, 61, "D minor: raised seventh C sharp", C, 1},
        {13, 71, "D minor: raised sixth B natural", B, 0},
        {25, 67, "G sharp minor: F double sharp", F, 2},
        {26, 65, "F sharp major: E sharp, in the key", E, 1},
        {0, 71, "C flat major: C flat", C, -1},
        {15, 68, "A minor: raised seventh G sharp", G, 1},
    };
    for (const Case& c : cases) {
        std::uint8_t value = 0;
        std::int8_t extra = 0;
        ASSERT_TRUE(spellNote(c.key, c.keyByte, 0, value, extra)) << c.name;
        const int step = stepOfValue(value);
        EXPECT_EQ(((step % 7) + 7) % 7, c.letter) << c.name;
        EXPECT_EQ(keyAlteration(c.keyByte, step) + extra, c.accidental) << c.name;
        EXPECT_EQ(naturalKey(step) + c.accidental, c.key) << c.name;
        // Every other spelling sounds the same key on another step.
        for (int choice = 1; spellNote(c.key, c.keyByte, choice, value, extra); ++choice) {
            EXPECT_NE(stepOfValue(value), step) << c.name;
            EXPECT_EQ(naturalKey(stepOfValue(value)) + keyAlteration(c.keyByte, stepOfValue(value)) + extra,
                      c.key)
                << c.name;
        }
    }
}

TEST(MidiImport, NotesSoundingTogetherTakeDifferentSteps) {
    const auto chord = [](Bytes keySignature, std::uint8_t first, std::uint8_t second) {
        Song song;
        EXPECT_TRUE(importMidiFile(smf(0, 24,
                                       {track({{0, keySignature},
                                               {0, {0x90, first, 100}},
                                               {0, {0x90, second, 100}},
                                               {24, {0x80, first, 0}},
                                               {0, {0x80, second, 0}}})}),
                                   song, EXACT)
                        .ok);
        return notesOf(song, 0);
    };
    // C and C sharp in C major: C on its step, C sharp as D flat.
    EXPECT_EQ(chord({0xFF, 0x59, 0x02, 0x00, 0x00}, 60, 61),
              (std::vector<Event>{{0, ON, C4, 0}, {0, ON, D4, -1}, {24, OFF, C4, 0}, {24, OFF, D4, 0}}));
    // D flat, then D, in B flat major: the D flat gives way and becomes C sharp.
    EXPECT_EQ(chord({0xFF, 0x59, 0x02, 0xFE, 0x00}, 61, 62),
              (std::vector<Event>{{0, ON, C4, 1}, {0, ON, D4, 0}, {24, OFF, C4, 0}, {24, OFF, D4, 0}}));
}

// ---- Refusals ----

TEST(MidiImport, DamagedFilesAreRefusedWithTheirOffset) {
    const Bytes good = track({{0, {0x90, 60, 100}}, {24, {0x80, 60, 0}}});
    Bytes longTrack = smf(0, 24, {good});
    longTrack[21] = 0x40;
    Bytes missing = smf(1, 24, {good});
    missing[11] = 3;
    Bytes absurd = smf(1, 24, {good});
    absurd[10] = 0xFF;
    absurd[11] = 0xFF;
    struct Case {
        const char* what;
        Bytes file;
        std::size_t offset;
    };
    const std::vector<Case> cases = {
        {"no MIDI file", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}, 0},
        {"a track longer than the file", longTrack, 18},
        {"tracks missing", missing, missing.size()},
        {"a track count no file holds", absurd, absurd.size()},
        {"a delta time of five bytes", smf(0, 24, {Bytes{0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 0x40, 0x70}}),
         22},
        {"running status with no status", smf(0, 24, {Bytes{0x00, 0x40, 0x70}}), 23},
        {"a track without its end", smf(0, 24, {track({{0, {0x90, 60, 100}}}, false)}), 26},
        {"a meta event longer than its track", smf(0, 24, {Bytes{0x00, 0xFF, 0x01, 0x09, 'a'}}), 23},
        {"a status byte as data", smf(0, 24, {Bytes{0x00, 0x90, 0x40, 0x90, 0x00, 0xFF, 0x2F, 0x00}}), 24},
        {"format 2", smf(2, 24, {good}), 8},
        {"SMPTE time", smf(0, 0xE728, {good}), 12},
        {"no ticks per quarter note", smf(0, 0, {good}), 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Song song = makeNewSong();
        song.songTitle = "kept";
        const Song before = song;
        const MidiImportResult r = importMidiFile(c.file, song);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.message.empty());
        EXPECT_EQ(r.offset, c.offset) << r.message;
        EXPECT_EQ(song, before);
    }
}

// MIDI inputs kept from fuzzing (and its seeds) are replayed through the import and the player's
// reader: refused, or a sound song that imports its own export exactly.
TEST(MidiImport, KeptFuzzInputsImportSoundly) {
    namespace fs = std::filesystem;
    int replayed = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(POKOPEN_FUZZ_REGRESSIONS))) {
        if (!entry.is_regular_file() || entry.path().extension() != ".mid")
            continue;
        SCOPED_TRACE(entry.path().string());
        std::ifstream f(entry.path(), std::ios::binary);
        const Bytes bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        SmfSequence sequence;
        (void)parseSmf(bytes, sequence);
        Song song;
        if (importMidiFile(bytes, song).ok) {
            EXPECT_EQ(checkStore(song), "");
            const Bytes written = buildMidiFile(song, false);
            Song again;
            const MidiImportResult r = importMidiFile(written, again);
            EXPECT_TRUE(r.ok);
            EXPECT_EQ(buildMidiFile(again, false), written);
        }
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

} // namespace
} // namespace pokopen
