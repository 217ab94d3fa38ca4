#pragma once

#include "playback/play_timeline.h"
#include "player/play_position_line.h"

#include <QObject>

#include <functional>
#include <optional>
#include <vector>

class QSettings;

namespace pokopen {

class TfrmMPlay;

// Keeps the main window on the music while test play plays: the measure shown turns to the
// measure being heard (the window's label, bar and pages follow), and each page's position line
// stands at the heard tick. Nothing in the song is touched. Switched off, nothing moves; moving
// the measure by hand stops following until playing stops and starts again.
class PlayFollower : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<std::int32_t()> shownMeasure;    // 0-based
        std::function<void(std::int32_t)> showMeasure; // turns the window to a measure
    };

    explicit PlayFollower(Hooks hooks, QObject* parent = nullptr);

    // A page whose picture shows the measure on view, with where its ticks lie; the position
    // line is drawn over `view`.
    void addPage(QWidget* view, PlayPositionLine::XOfTick xOfTick);

    // "演奏位置を表示": on by default, kept in the INI file.
    void setEnabled(bool on);
    bool isEnabled() const { return enabled_; }
    static bool readSetting(QSettings& ini);
    static void writeSetting(QSettings& ini, bool on);

    // Follows the plays of `player`, which plays the play file of `song` as it is now.
    void follow(TfrmMPlay& player, const Song& song);
    // The shown measure changed. Unless the follower turned it, that was the user: following
    // stops until the next play.
    void measureChanged();
    // Whether the window is being kept on the music now.
    bool isFollowing() const { return playing_ && enabled_ && !suspended_; }

    void playingAt(qint64 ms);
    void playingStopped();

private:
    void hideLines();

    Hooks hooks_;
    std::vector<PlayPositionLine*> lines_;
    std::optional<PlayTimeline> timeline_;
    bool enabled_ = true;
    bool playing_ = false;
    bool suspended_ = false;
    bool turning_ = false;
};

} // namespace pokopen
