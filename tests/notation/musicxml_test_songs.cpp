#include "notation/musicxml_test_songs.h"

#include "midifile/midi_file.h"
#include "midifile/smf_reader.h"
#include "model/new_song.h"
#include "model/pitch.h"
#include "model/timeline.h"
#include "support/song_builders.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <random>

namespace pokopen::testing {

Song randomScoreSong(unsigned seed) {
    std::mt19937 rng(seed);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    Song song = makeNewSong();
    const int measures = 3 + pick(8);
    constexpr std::array<std::uint8_t, 8> METERS = {0x42, 0x32, 0x22, 0x63, 0x33, 0x21, 0x52, 0x73};
    for (int m = 0; m < measures; ++m) {
        if (m > 0 && pick(4) == 0)
            setSignature(song, KIND_METER, m, METERS[static_cast<std::size_t>(pick(8))]);
        if (pick(4) == 0)
            setSignature(song, KIND_KEY, m, static_cast<std::uint8_t>(pick(KEY_COUNT)));
    }
    const std::int32_t end = measureToTick(song.store, measures);
    EventRow& tempo = song.row(TEMPO_ROW);
    for (int i = 0; i < 3; ++i) {
        const std::int32_t at = 1 + pick(end - 1);
        std::int32_t k = 0;
        while (k < tempo.count() && tempo.pos[static_cast<std::size_t>(k)] <= at)
            ++k;
        tempo.insertAt(k, {at, KIND_TEMPO, static_cast<std::uint8_t>(40 + pick(160)), 0});
    }

    const int partCount = 1 + pick(4);
    // Notes placed so far, by part and value: the program never holds two overlapping notes of
    // one value in a part.
    std::map<std::pair<int, int>, std::vector<std::pair<std::int32_t, std::int32_t>>> placed;
    for (int n = 0; n < partCount; ++n) {
        const int part = pick(3) == 0 ? PERCUSSION_PART : pick(PART_ROWS);
        const auto p = static_cast<std::size_t>(part);
        song.partInstrument[p] = pick(128);
        song.partTransposition[p] = pick(2) == 0 ? C_INSTRUMENT : pick(TRANSPOSITION_COUNT);
        const int notes = 4 + pick(30);
        for (int i = 0; i < notes; ++i) {
            const std::int32_t grid =
                std::array<std::int32_t, 9>{1, 2, 3, 4, 6, 8, 12, 16, 24}[static_cast<std::size_t>(pick(9))];
            const std::int32_t start = pick(end / grid) * grid;
            const std::int32_t length = std::min(grid * (1 + pick(8)), end - start);
            if (length <= 0)
                continue;
            const int value = part == PERCUSSION_PART ? pick(47) : 8 + pick(36);
            auto& same = placed[{part, value}];
            if (std::any_of(same.begin(), same.end(),
                            [&](const auto& o) { return o.first < start + length && start < o.second; }))
                continue;
            same.emplace_back(start, start + length);
            const int extra = part == PERCUSSION_PART || pick(3) != 0 ? 0 : pick(3) - 1;
            addNote(song, part, start, length, static_cast<std::uint8_t>(value),
                    static_cast<std::int8_t>(extra));
            // Now and then a chord: a second note of the same start and length.
            const int other = value + 2;
            if (part != PERCUSSION_PART && pick(4) == 0 &&
                std::none_of(placed[{part, other}].begin(), placed[{part, other}].end(),
                             [&](const auto& o) { return o.first < start + length && start < o.second; })) {
                placed[{part, other}].emplace_back(start, start + length);
                addNote(song, part, start, length, static_cast<std::uint8_t>(other));
            }
        }
    }
    return song;
}

std::vector<ReadNote> soundingNotes(const Song& song) {
    SmfSequence seq;
    parseSmf(buildMidiFile(song, false), seq);
    // The MIDI file has 480 ticks a quarter (20 a song tick) and a quarter note of lead-in.
    std::array<std::deque<std::size_t>, 16 * 128> sounding;
    std::vector<ReadNote> notes;
    for (const SmfEvent& e : seq.events) {
        if (!e.isNote())
            continue;
        const int channel = e.status & 0x0F;
        const int tick = static_cast<int>(e.tick - 480) / 20;
        auto& queue = sounding[static_cast<std::size_t>(channel * 128 + e.data1)];
        if ((e.status & 0xF0) == 0x90 && e.data2 > 0) {
            queue.push_back(notes.size());
            notes.push_back({"P" + std::to_string(channel + 1), tick, tick, e.data1});
        } else if (!queue.empty()) {
            notes[queue.front()].end = tick;
            queue.pop_front();
        }
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

std::string schemaErrors(const std::string& path, std::string& skipped) {
    const QString schema = QStringLiteral(POKOPEN_MUSICXML_SCHEMA);
    if (!QFileInfo::exists(schema)) {
        skipped = "the MusicXML schema is not at " + schema.toStdString() +
                  " (a clone outside the team's set-up); the documents were not validated";
        return {};
    }
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty()) {
        skipped = "xmllint is not installed (Debian package libxml2-utils); the documents were not validated";
        return {};
    }
    QProcess process;
    process.start(xmllint, {QStringLiteral("--noout"), QStringLiteral("--nonet"), QStringLiteral("--schema"),
                            schema, QString::fromStdString(path)});
    if (!process.waitForFinished(120000))
        return "xmllint did not finish";
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return {};
    return process.readAllStandardError().toStdString();
}

} // namespace pokopen::testing
