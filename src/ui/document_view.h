#pragma once

#include "document/song_document.h"

#include <QObject>

#include <functional>

class QWidget;

namespace pokopen {

// Keeps a page in step with the document. The page says which changes it shows and how it
// redraws; a change it shows redraws it at once while it is on screen, and otherwise marks it
// stale, so that it redraws once when it comes on view. No other window needs to tell a page
// to redraw after an edit, an undo, a redo, a new song or an open.
class DocumentView : public QObject {
public:
    using Shows = std::function<bool(const SongChange&)>;
    using Redraw = std::function<void()>;

    // Lives as long as `page` (it is the page's child).
    DocumentView(SongDocument& doc, QWidget& page, Shows shows, Redraw redraw);

    // True when a change came while the page was hidden and it has not redrawn since.
    bool stale() const { return stale_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void changed(const SongChange& change);

    QWidget& page_;
    Shows shows_;
    Redraw redraw_;
    bool stale_ = true; // a new page has drawn nothing yet
    Subscription subscription_;
};

// The rows a page of one part shows: that part's row, and the signature row (the measure's
// length and key).
bool showsPartRows(const SongChange& change, int part);

} // namespace pokopen
