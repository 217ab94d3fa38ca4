#include "ui/document_view.h"

#include <QEvent>
#include <QWidget>

namespace pokopen {

DocumentView::DocumentView(SongDocument& doc, QWidget& page, Shows shows, Redraw redraw)
    : QObject(&page), page_(page), shows_(std::move(shows)), redraw_(std::move(redraw)),
      subscription_(doc.subscribe([this](const SongChange& change) { changed(change); })) {
    page.installEventFilter(this);
}

void DocumentView::changed(const SongChange& change) {
    if (!shows_(change))
        return;
    if (page_.isVisible()) {
        stale_ = false;
        redraw_();
    } else {
        stale_ = true;
    }
}

bool DocumentView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &page_ && event->type() == QEvent::Show && stale_) {
        stale_ = false;
        redraw_();
    }
    return QObject::eventFilter(watched, event);
}

bool showsPartRows(const SongChange& change, int part) {
    return change.touchesRow(part) || change.touchesRow(SIGNATURE_ROW);
}

} // namespace pokopen
