#pragma once

#include "document/song_document.h"

#include <QWidget>

class QFrame;
class QToolButton;
class QButtonGroup;

namespace pokopen {

class ImageView;
class PictureView;

// The "五線譜" page (tabScore): one measure of the current part on a grand staff, or the drum
// rows of part 10, with the three view buttons on its left edge. Mouse input on the staff image
// is passed on as signals for note entry.
class ScorePage : public QWidget {
    Q_OBJECT
public:
    explicit ScorePage(SongDocument& session, QWidget* parent = nullptr);

    // Repaints the staff from the store; does nothing while the page is not visible. The page
    // calls it itself whenever the document changes what it shows.
    void drawStaff();
    // Presses the view button of the state's scoreView (after New and Open reset the view).
    void showScoreView();

    ImageView* imgScore() const { return imgScore_; }
    ImageView* imgPercName() const { return imgPercName_; }
    QToolButton* btnScoreHigh() const { return btnScoreHigh_; }
    QToolButton* btnScoreMid() const { return btnScoreMid_; }
    QToolButton* btnScoreLow() const { return btnScoreLow_; }

public slots:
    void btnScoreHighClick();
    void btnScoreMidClick();
    void btnScoreLowClick();

signals:
    // Mouse on the staff image, in its pixels.
    void scoreMouseDown(Qt::MouseButton button, int x, int y);
    void scoreMouseMove(Qt::MouseButtons buttons, int x, int y);
    void scoreMouseUp(Qt::MouseButton button, int x, int y);
    void scoreDoubleClick(Qt::MouseButton button, int x, int y);
    // The mouse wheel over the staff image: -1 the previous measure, +1 the next.
    void scoreWheel(int measures);
    // scoreView changed by a view button (after the staff was redrawn).
    void scoreViewChanged(int view);
    // The page came on view (after the staff was redrawn) or went out of view; the palette
    // window follows these.
    void pageShown();
    void pageHidden();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void selectView(int view);
    QToolButton* makeViewButton(const char* name, const QString& caption, const QString& hint,
                                QRect geometry);

    SongDocument& session_;
    QFrame* pnlScore_ = nullptr;
    ImageView* imgScore_ = nullptr;
    PictureView* imgSymbol_ = nullptr;
    PictureView* imgOctUp_ = nullptr;
    PictureView* imgOctDown_ = nullptr;
    ImageView* imgPercName_ = nullptr;
    QToolButton* btnScoreHigh_ = nullptr;
    QToolButton* btnScoreMid_ = nullptr;
    QToolButton* btnScoreLow_ = nullptr;
    QButtonGroup* viewButtons_ = nullptr;
    int wheelAngle_ = 0; // turned so far towards the next notch (fine-grained wheels)
};

} // namespace pokopen
