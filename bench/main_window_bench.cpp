// The main window on the stress song: a measure-bar change (every view on screen redrawn), and
// test play from F5 to an open player window; and the renderer's speed on the demo song.
#ifdef POKOPEN_BENCH_WINDOWS
#include "app/main_window.h"
#include "bench_app.h"
#include "midifile/midi_file.h"
#include "model/song_file.h"
#include "playback/fluid_file_player.h"
#include "playback/render.h"
#include "player/player_window.h"
#include "support/song_builders.h"

#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>

#include <benchmark/benchmark.h>

namespace {

using namespace pokopen;

const Song& stressSong() {
    static const Song song = testing::makeStressSong();
    return song;
}

std::unique_ptr<TfrmMain> stressWindow(const QTemporaryDir& dir) {
    bench::ensureApplication();
    QSettings ini(dir.filePath("pokopen.ini"), QSettings::IniFormat);
    ini.setValue("MIDIOUT/Device", "none");
    ini.sync();
    auto w = std::make_unique<TfrmMain>(
        QStringList{}, nullptr,
        TfrmMain::Files{dir.filePath("pokopen.ini"), dir.filePath("knb.mid"), dir.filePath("recovery")});
    writableSong(w->session()) = stressSong();
    w->show();
    return w;
}

// Moving the measure bar between measures 500 and 501 with the staff page on view, for part 1
// (grand staff) and part 10 (drum rows).
void BM_MeasureBarChange(benchmark::State& state) {
    QTemporaryDir dir;
    auto w = stressWindow(dir);
    w->btnPart[static_cast<std::size_t>(state.range(0))]->click();
    int position = 500;
    for (auto _ : state) {
        position = position == 500 ? 501 : 500;
        w->barMeas->setValue(position);
    }
}
BENCHMARK(BM_MeasureBarChange)->Arg(0)->Arg(PERCUSSION_PART)->Unit(benchmark::kMillisecond);

// F5 on the stress song up to the player window open on its file: the play file written and the
// synthesizer's file player opened on it (playing into nothing, as no sound card is needed).
void BM_TestPlayToOpenPlayer(benchmark::State& state) {
    qputenv("POKOPEN_AUDIO_DRIVER", "file");
    QTemporaryDir dir;
    bench::ensureApplication();
    const std::string path = dir.filePath("knb.mid").toStdString();
    FluidFilePlayer player;
    for (auto _ : state) {
        if (!writeMidiFile(path, stressSong(), false)) {
            state.SkipWithError("the play file could not be written");
            break;
        }
        TfrmMPlay window(player, QString::fromStdString(path), QStringLiteral("stress"), QString());
        window.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(window.isVisible());
    }
}
BENCHMARK(BM_TestPlayToOpenPlayer)->Unit(benchmark::kMillisecond)->Iterations(3);

// Offline rendering of the demo song; the counter is seconds of sound per second of work.
void BM_RenderDemoSong(benchmark::State& state) {
    Song song;
    if (!loadSongFile(POKOPEN_DEMO_SONG, song).ok()) {
        state.SkipWithError("no demo song");
        return;
    }
    const std::vector<std::uint8_t> midi = buildMidiFile(song, false);
    double audioSeconds = 0;
    for (auto _ : state) {
        std::vector<std::int16_t> samples;
        if (!renderMidi(midi, RenderOptions{}, samples).ok) {
            state.SkipWithError("rendering failed");
            break;
        }
        audioSeconds = static_cast<double>(samples.size() / 2) / 44100.0;
    }
    state.counters["audio_s"] = audioSeconds;
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderDemoSong)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
#endif
