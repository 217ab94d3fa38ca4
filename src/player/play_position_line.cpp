#include "player/play_position_line.h"

namespace pokopen {

PlayPositionLine::PlayPositionLine(QWidget* view, XOfTick xOfTick)
    : QWidget(view), xOfTick_(std::move(xOfTick)) {
    setObjectName(QStringLiteral("linPlay"));
    setAttribute(Qt::WA_TransparentForMouseEvents); // clicks go to the page under it
    QPalette colours = palette();
    colours.setColor(QPalette::Window, COLOUR);
    setPalette(colours);
    setAutoFillBackground(true);
    hide();
}

void PlayPositionLine::showAtTick(std::int32_t tick, double fraction) {
    QWidget* view = parentWidget();
    const int x = xOfTick_(tick) + static_cast<int>((xOfTick_(tick + 1) - xOfTick_(tick)) * fraction);
    if (x < 0 || x >= view->width()) {
        hide();
        return;
    }
    setGeometry(x, 0, 1, view->height());
    show();
    raise();
}

void PlayPositionLine::hideLine() {
    hide();
}

} // namespace pokopen
