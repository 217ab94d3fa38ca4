#pragma once

#include "playback/midi_file_player.h"
#include "playback/play_timeline.h"
#include "playback/practice_sequencer.h"

#include <QDialog>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QScrollBar;
class QSlider;
class QSpinBox;
class QTimer;
class QToolButton;

namespace pokopen {

// The test player "ぽこぺんプレイヤー": the song's title (press it for the copyright), a seek
// bar that follows the playing position every 10 ms, the transport buttons, "Repeat" and a
// close button. It plays one file through the player it is given and closes it when it closes,
// and tells its owner where the music is while it plays.
//
// For practice: a range of measures played over and over, the tempo in percent, a row of mute
// and a row of solo buttons for the 16 parts, a count-in and a metronome, all passed to the
// player at once. Space pauses and goes on, Home goes back to the start of the range (or song).
class TfrmMPlay : public QDialog {
    Q_OBJECT
public:
    // Shows the text of a failed open to the user; tests pass one that only records.
    using ErrorBox = std::function<void(QWidget* parent, const QString& text)>;

    // The scroll codes of the seek bar: everything but EndScroll happens while the user holds it.
    enum class ScrollCode { LineUp, LineDown, PageUp, PageDown, Position, Track, Top, Bottom, EndScroll };

    // The transport buttons of the player control, in their order.
    enum class Button { Play, Pause, Stop, Next, Prev, Step, Back, Record, Eject };
    static constexpr int BUTTON_COUNT = 9;

    TfrmMPlay(MidiFilePlayer& player, const QString& path, const QString& title, const QString& copyright,
              QWidget* parent = nullptr, ErrorBox errorBox = {});
    ~TfrmMPlay() override;

    // The song's measures in the play file, for the range; without it the range stays off.
    // The range starts and ends at the measure that `startMs` lies in.
    void setTimeline(const PlayTimeline& timeline, std::int64_t startMs = 0);
    // Starts playing from `ms` (test play from a measure); past the end it only moves there.
    // Nothing without an open device.
    void playFrom(std::int64_t ms);

    // The choices of tempo, parts, count-in and metronome (the range and its check box are kept
    // too); the owner keeps them from one test play to the next.
    void setPractice(const PracticeSettings& settings);
    PracticeSettings practice() const;

    void togglePause(); // Space
    void backToStart(); // Home

    void tmrSeekTimer();
    void barSeekScroll(ScrollCode code);
    void pnlTitleMouseDown();
    void mplPlayerClick(Button button);

    void done(int result) override; // every way of closing passes here

signals:
    // While playing, at every timer period (and after each seek or repeat): the position being
    // heard, in milliseconds of the file.
    void playingAt(qint64 ms);
    // Once when playing has stopped, paused, reached the end or the window closed.
    void playingStopped();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate(const QString& path);
    void FormClose();
    void updateButtons();
    void barSeekActionTriggered(int action);
    void reportPosition();
    void createPracticeControls();
    void practiceChanged();
    void loopRangeChanged(bool fromChanged);
    std::int64_t loopStartMs() const;

    MidiFilePlayer& player_;
    ErrorBox errorBox_;
    bool closed_ = false;
    bool reportedPlaying_ = false;

    QFrame* pnlTitle = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblCopy = nullptr;
    QScrollBar* barSeek = nullptr;
    QWidget* mplPlayer = nullptr;
    std::array<QToolButton*, BUTTON_COUNT> buttons_{};
    QCheckBox* chkRepeat = nullptr;
    QCheckBox* chkLoop = nullptr;
    QSpinBox* spnLoopFrom = nullptr;
    QSpinBox* spnLoopTo = nullptr;
    QSlider* trkTempo = nullptr;
    QLabel* lblTempoValue = nullptr;
    QCheckBox* chkCountIn = nullptr;
    QCheckBox* chkMetronome = nullptr;
    std::array<QToolButton*, 16> btnMute{};
    std::array<QToolButton*, 16> btnSolo{};
    std::optional<PlayTimeline> timeline_;
    bool updatingControls_ = false;
    QTimer* tmrSeek = nullptr;
    QPushButton* btnClose = nullptr;
};

} // namespace pokopen
