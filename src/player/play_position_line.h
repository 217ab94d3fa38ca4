#pragma once

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace pokopen {

// The playing position on a page's picture (the staff, the curve graphs): a 1-pixel vertical
// line over the whole height of the view, a child widget of its own, so that the picture under
// it is never redrawn for it and nothing is left behind when it moves or goes.
class PlayPositionLine : public QWidget {
    Q_OBJECT
public:
    // Orange: no page draws anything in it, so the line is never taken for part of the music.
    static inline const QColor COLOUR{0xFF, 0x80, 0x00};

    // x in the view's image of a tick of the measure on view, as the page places its events.
    using XOfTick = std::function<int(std::int32_t tick)>;

    PlayPositionLine(QWidget* view, XOfTick xOfTick);

    // Shows the line at tick `tick` of the measure on view, `fraction` (0..1) of the way to the
    // next; hidden when that lies outside the view.
    void showAtTick(std::int32_t tick, double fraction = 0);
    void hideLine();
    // The x the line stands on while shown.
    int lineX() const { return x(); }

private:
    XOfTick xOfTick_;
};

} // namespace pokopen
