#include "player/play_follower.h"

#include "midifile/midi_file.h"
#include "player/player_window.h"

#include <QSettings>

namespace pokopen {

namespace {
const char* const FOLLOW_KEY = "PLAY/Follow";
} // namespace

PlayFollower::PlayFollower(Hooks hooks, QObject* parent) : QObject(parent), hooks_(std::move(hooks)) {}

void PlayFollower::addPage(QWidget* view, PlayPositionLine::XOfTick xOfTick) {
    lines_.push_back(new PlayPositionLine(view, std::move(xOfTick)));
}

void PlayFollower::setEnabled(bool on) {
    enabled_ = on;
    if (!on)
        hideLines();
}

bool PlayFollower::readSetting(QSettings& ini) {
    return ini.value(FOLLOW_KEY, 1).toInt() != 0;
}

void PlayFollower::writeSetting(QSettings& ini, bool on) {
    ini.setValue(FOLLOW_KEY, on ? 1 : 0);
}

void PlayFollower::follow(TfrmMPlay& player, const Song& song) {
    timeline_.emplace(song);
    playing_ = false;
    suspended_ = false;
    connect(&player, &TfrmMPlay::playingAt, this, &PlayFollower::playingAt);
    connect(&player, &TfrmMPlay::playingStopped, this, &PlayFollower::playingStopped);
}

void PlayFollower::measureChanged() {
    if (turning_ || !isFollowing())
        return;
    suspended_ = true;
    hideLines();
}

void PlayFollower::playingAt(qint64 ms) {
    playing_ = true;
    if (!isFollowing() || !timeline_)
        return;
    const PlayPoint at = timeline_->pointAtMs(ms);
    if (at.measure != hooks_.shownMeasure()) {
        turning_ = true;
        hooks_.showMeasure(at.measure);
        turning_ = false;
    }
    const std::int32_t tick = at.tick - timeline_->measureStartTick(at.measure);
    const double fraction = static_cast<double>(at.sub) / FILE_TICKS_PER_TICK;
    for (PlayPositionLine* line : lines_)
        line->showAtTick(tick, fraction);
}

void PlayFollower::playingStopped() {
    playing_ = false;
    suspended_ = false;
    hideLines();
}

void PlayFollower::hideLines() {
    for (PlayPositionLine* line : lines_)
        line->hideLine();
}

} // namespace pokopen
