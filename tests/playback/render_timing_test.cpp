#include "midifile/midi_file.h"
#include "model/new_song.h"
#include "model/store_check.h"
#include "playback/render.h"
#include "support/song_builders.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>

namespace pokopen {
namespace {

constexpr int RATE = 44100;
constexpr std::uint8_t MIDDLE_C = 23;
constexpr int WOODBLOCK = 115; // a short, sharp sound whose start is easy to find

// Eight bars of 4/4 at 120 bpm, a quarter note on every beat.
Song beatSong() {
    Song song = makeNewSong();
    song.partInstrument[0] = WOODBLOCK;
    for (int beat = 0; beat < 32; ++beat) {
        testing::addNote(song, 0, beat * 24, 24, MIDDLE_C);
        EXPECT_TRUE(checkStore(song).empty());
    }
    return song;
}

// Sample frames where a sound starts. A sound is found where the level (left plus right) rises
// above `threshold` after `quietFrames` frames below a tenth of it; its start is then traced back
// to the end of the silence before it (no sample louder than `floor` in WINDOW frames), so that a
// slow attack does not count as lateness.
std::vector<long> onsets(const std::vector<std::int16_t>& stereo, int threshold, long quietFrames,
                         int floor) {
    constexpr long WINDOW = 32;
    const auto level = [&stereo](long frame) {
        const auto f = static_cast<std::size_t>(frame) * 2;
        return std::abs(stereo[f] + stereo[f + 1]);
    };
    const long frames = static_cast<long>(stereo.size() / 2);
    std::vector<long> found;
    long quiet = quietFrames;
    for (long f = 0; f < frames; ++f) {
        const int l = level(f);
        if (l >= threshold && quiet >= quietFrames) {
            long start = f;
            long silent = 0;
            for (long g = f; g > 0 && f - g < quietFrames && silent < WINDOW; --g) {
                silent = level(g - 1) <= floor ? silent + 1 : 0;
                if (silent == 0)
                    start = g - 1;
            }
            found.push_back(start);
        }
        quiet = l < threshold / 10 ? quiet + 1 : (l >= threshold ? 0 : quiet);
    }
    return found;
}

TEST(Render, EveryBeatStartsWithinThreeMillisecondsOfItsTimeAtAnyTempo) {
    for (const int tempo : {100, 50}) {
        std::vector<std::int16_t> samples;
        RenderOptions options;
        options.sampleRate = RATE;
        options.effects = false; // no reverb tail, so that the silence before each beat is silent
        options.practice.tempoPercent = tempo;
        const RenderResult r = renderMidi(buildMidiFile(beatSong(), false), options, samples);
        ASSERT_TRUE(r.ok) << r.message;

        const std::vector<long> found = onsets(samples, 1000, RATE / 20, 4);
        ASSERT_EQ(found.size(), 32u) << "tempo " << tempo;
        const double stretch = 100.0 / tempo;
        double worst = 0;
        double sum = 0;
        for (std::size_t beat = 0; beat < found.size(); ++beat) {
            // The file's lead-in is 0.25 s; then a beat every 0.5 s, at the tempo's share.
            const double expectedMs = (250.0 + 500.0 * static_cast<double>(beat)) * stretch;
            const double actualMs = 1000.0 * static_cast<double>(found[beat]) / RATE;
            const double error = actualMs - expectedMs;
            EXPECT_LE(std::abs(error), 3.0) << "tempo " << tempo << " beat " << beat << " at " << actualMs;
            worst = std::max(worst, std::abs(error));
            sum += error;
        }
        std::printf("onset error at %d %%: worst %.3f ms, mean %.3f ms\n", tempo, worst, sum / 32.0);
        // The file plays for 16.25 s (at the tempo's share), then the one-second tail.
        EXPECT_EQ(samples.size(), static_cast<std::size_t>((16.25 * stretch + 1) * RATE) * 2);
    }
}

// A muted part is absent from the sound: the song renders exactly as it does without the part.
TEST(Render, AMutedOrUnsoloedPartIsNotHeardAndARangeStartsWithItsMeasure) {
    Song withBass = beatSong();
    for (int beat = 0; beat < 32; beat += 2)
        testing::addNote(withBass, 1, beat * 24 + 12, 24, 9);
    ASSERT_TRUE(checkStore(withBass).empty());
    RenderOptions options;
    options.sampleRate = 22050;
    const auto render = [&options](const Song& song) {
        std::vector<std::int16_t> samples;
        EXPECT_TRUE(renderMidi(buildMidiFile(song, false), options, samples).ok);
        return samples;
    };
    const std::vector<std::int16_t> alone = render(beatSong());
    EXPECT_NE(render(withBass), alone); // the part is heard when nothing silences it
    options.practice.muted = 0b10;
    EXPECT_EQ(render(withBass), alone);
    options.practice.muted = 0;
    options.practice.soloed = 0b01;
    EXPECT_EQ(render(withBass), alone);

    // Measures 3 and 4 alone: 4 s of music from the first beat of measure 3, then the tail.
    options.practice = {};
    options.effects = false;
    options.fromUs = 250'000 + 4'000'000;
    options.toUs = 250'000 + 8'000'000;
    const std::vector<std::int16_t> range = render(beatSong());
    EXPECT_EQ(range.size(), static_cast<std::size_t>(5.0 * 22050) * 2);
    const std::vector<long> found = onsets(range, 1000, 22050 / 20, 4);
    ASSERT_EQ(found.size(), 8u);
    EXPECT_LE(found.front(), 22050 * 3 / 1000);
}

TEST(Render, WritesAWaveFileAtomicallyAndRefusesBadSoundFonts) {
    QTemporaryDir dir;
    const std::string out = (dir.path() + "/song.wav").toStdString();
    Song song = makeNewSong();
    testing::addNote(song, 0, 0, 24, MIDDLE_C);
    RenderOptions options;
    options.sampleRate = 22050;
    options.tailSeconds = 0;
    ASSERT_TRUE(renderSongToWav(song, options, out).ok);
    QFile file(QString::fromStdString(out));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray wav = file.readAll();
    ASSERT_GE(wav.size(), 44);
    EXPECT_EQ(wav.left(4), "RIFF");
    EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
    const auto le32 = [&wav](int at) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(wav[at])) |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(wav[at + 1])) << 8 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(wav[at + 2])) << 16 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(wav[at + 3])) << 24;
    };
    EXPECT_EQ(le32(24), 22050u);
    EXPECT_EQ(le32(40), static_cast<std::uint32_t>(wav.size() - 44));
    // 0.75 s of song (lead-in and one quarter note at 120 bpm), 4 bytes a frame.
    EXPECT_EQ(le32(40), static_cast<std::uint32_t>(0.75 * 22050) * 4);

    // A file that is no SoundFont fails, names it, and leaves the earlier output alone.
    const std::string notSf2 = (dir.path() + "/bad.sf2").toStdString();
    QFile bad(QString::fromStdString(notSf2));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a soundfont");
    bad.close();
    options.soundFont = notSf2;
    const RenderResult r = renderSongToWav(song, options, out);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.file, notSf2);
    EXPECT_EQ(QFile(QString::fromStdString(out)).size(), wav.size());
    options.soundFont = (dir.path() + "/missing.sf2").toStdString();
    EXPECT_FALSE(renderSongToWav(song, options, out).ok);
}

TEST(Render, WaveFilesPeakAtMinusOneDecibelUnlessTheRawLevelIsAsked) {
    QTemporaryDir dir;
    RenderOptions options;
    options.sampleRate = 22050;
    const auto peakOf = [&](const std::string& name) {
        const std::string out = (dir.path() + "/" + QString::fromStdString(name)).toStdString();
        EXPECT_TRUE(renderSongToWav(beatSong(), options, out).ok);
        QFile file(QString::fromStdString(out));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll().mid(44);
        int peak = 0;
        for (qsizetype i = 0; i + 1 < data.size(); i += 2)
            peak = std::max(peak,
                            std::abs(static_cast<std::int16_t>(static_cast<std::uint8_t>(data[i]) |
                                                               static_cast<std::uint8_t>(data[i + 1]) << 8)));
        return peak / 32767.0;
    };
    const double normalized = peakOf("normalized.wav");
    EXPECT_NEAR(20 * std::log10(normalized), NORMALIZED_PEAK_DBFS, 0.05);
    options.normalize = false;
    const double raw = peakOf("raw.wav");
    EXPECT_GT(raw, 0.0);
    EXPECT_LT(raw, normalized / 2) << "the synthesizer's own level is far lower";
}

} // namespace
} // namespace pokopen
