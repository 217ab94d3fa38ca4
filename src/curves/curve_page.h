#pragma once

#include "curves/curve_edit.h"
#include "document/song_document.h"

#include <QWidget>

class QCheckBox;
class QLabel;

namespace pokopen {

class ImageView;
class RadioGroup;

// One curve editor tab: the graph of the current measure on an image, painted with the left
// button. The dynamics, tempo and pan tabs are three instances of this page.
class CurvePage : public QWidget {
    Q_OBJECT
public:
    CurvePage(SongDocument& session, CurveKind curve, QWidget* parent = nullptr);

    CurveKind curve() const { return curve_; }

    // The tab came into view: input mode, empty value label, fresh graph, no stroke.
    void tabShow();
    // Repaints the graph of the current measure (and part); nothing while the page is hidden.
    void drawGraph();

    // Mouse input on the image, in image pixels.
    void imgMouseDown(Qt::MouseButton button, int x, int y);
    void imgMouseMove(int x, int y);
    void imgMouseUp();

    CurveMode mode() const;
    bool allParts() const;
    // A new song unticks the "全パート" box (no box on the tempo page).
    void setAllParts(bool on);

private:
    SongDocument& session_;
    CurveKind curve_;
    ImageView* image_ = nullptr;
    RadioGroup* mode_ = nullptr;
    QCheckBox* allParts_ = nullptr; // none on the tempo page
    QLabel* value_ = nullptr;
    bool dragging_ = false; // a stroke is under way: its step is open
};

// The "強弱" tab (tabExp).
class DynamicsPage : public CurvePage {
    Q_OBJECT
public:
    explicit DynamicsPage(SongDocument& session, QWidget* parent = nullptr);
    void tabExpShow() { tabShow(); }
    void drawDynamicsGraph() { drawGraph(); }
};

// The "テンポ(*)" tab (tabTempo).
class TempoPage : public CurvePage {
    Q_OBJECT
public:
    explicit TempoPage(SongDocument& session, QWidget* parent = nullptr);
    void tabTempoShow() { tabShow(); }
    void drawTempoGraph() { drawGraph(); }
};

// The "定位" tab (tabPan).
class PanPage : public CurvePage {
    Q_OBJECT
public:
    explicit PanPage(SongDocument& session, QWidget* parent = nullptr);
    void tabPanShow() { tabShow(); }
    void drawPanGraph() { drawGraph(); }
};

} // namespace pokopen
