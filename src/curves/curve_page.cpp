#include "curves/curve_page.h"

#include "curves/curve_graph.h"
#include "curves/curve_painter.h"
#include "ui/document_view.h"
#include "ui/image_view.h"
#include "ui/radio_group.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>

#include <array>
#include <vector>

namespace pokopen {

namespace {

struct PageLook {
    const char* page;
    const char* image;
    const char* modeGroup;
    const char* allBox; // nullptr: no "全パート" box
    const char* valueLabel;
    QColor background;
};

PageLook lookOf(CurveKind curve) {
    switch (curve) {
    case CurveKind::Dynamics:
        return {"tabExp", "imgExp", "rgrExp", "chkExpAll", "lblExpVal", curveBackground(curve)};
    case CurveKind::Tempo:
        return {"tabTempo", "imgTempo", "rgrTempo", nullptr, "lblTempoVal", curveBackground(curve)};
    case CurveKind::Pan:
        return {"tabPan", "imgPan", "rgrPan", "chkPanAll", "lblPanVal", curveBackground(curve)};
    }
    return {};
}

struct ScaleLabel {
    const char* text;
    int y; // image y of the value it names
};

std::vector<ScaleLabel> scaleOf(CurveKind curve) {
    switch (curve) {
    case CurveKind::Dynamics:
        return {{"127", 0}, {"100", 54}, {"50", 154}, {"0", 254}};
    case CurveKind::Tempo:
        return {{"239", 0},   {"210", 29}, {"180", 59}, {"150", 89},
                {"120", 119}, {"90", 149}, {"60", 179}, {"30", 209}};
    case CurveKind::Pan:
        return {{"右(63)", 0}, {"中央(0)", 126}, {"左(-64)", 254}};
    }
    return {};
}

constexpr int PANEL_X = 132;
constexpr int PANEL_Y = 16;
constexpr int PANEL_BORDER = 2;

} // namespace

CurvePage::CurvePage(SongDocument& session, CurveKind curve, QWidget* parent)
    : QWidget(parent), session_(session), curve_(curve) {
    const PageLook look = lookOf(curve);
    const CurveTraits traits = curveTraits(curve);
    setObjectName(QString::fromLatin1(look.page));

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(PANEL_BORDER);
    panel->setGeometry(PANEL_X, PANEL_Y, CURVE_IMAGE_WIDTH + 2 * PANEL_BORDER,
                       traits.imageHeight + 2 * PANEL_BORDER);
    panel->setAutoFillBackground(true);
    QPalette panelPalette = panel->palette();
    panelPalette.setColor(QPalette::Window, look.background);
    panel->setPalette(panelPalette);

    image_ = new ImageView(CURVE_IMAGE_WIDTH, traits.imageHeight, panel);
    image_->setObjectName(QString::fromLatin1(look.image));
    image_->move(PANEL_BORDER, PANEL_BORDER);
    image_->image().fill(look.background);
    image_->setMouseTracking(true); // the value label follows the pointer with no button held
    connect(image_, &ImageView::mousePressed, this, &CurvePage::imgMouseDown);
    connect(image_, &ImageView::mouseMoved, this,
            [this](Qt::MouseButtons, int x, int y) { imgMouseMove(x, y); });
    connect(image_, &ImageView::mouseReleased, this, [this] { imgMouseUp(); });

    mode_ = new RadioGroup(QString(), {QStringLiteral("入力"), QStringLiteral("削除")}, 1, this);
    mode_->setObjectName(QString::fromLatin1(look.modeGroup));
    mode_->setGeometry(8, 32, 65, 65);
    mode_->setItemIndex(0);

    if (look.allBox) {
        allParts_ = new QCheckBox(QStringLiteral("全パート"), this);
        allParts_->setObjectName(QString::fromLatin1(look.allBox));
        allParts_->move(8, 112);
    }

    value_ = new QLabel(this);
    value_->setObjectName(QString::fromLatin1(look.valueLabel));
    value_->setGeometry(8, 192, 57, 25);
    value_->setAlignment(Qt::AlignCenter);
    value_->setAutoFillBackground(true);
    QPalette valuePalette = value_->palette();
    valuePalette.setColor(QPalette::Window, look.background);
    valuePalette.setColor(QPalette::WindowText, Qt::white);
    value_->setPalette(valuePalette);
    QFont valueFont = value_->font();
    valueFont.setBold(true);
    value_->setFont(valueFont);

    const int scaleX = curve == CurveKind::Pan ? 64 : 80;
    const int scaleWidth = curve == CurveKind::Pan ? 65 : 49;
    for (const ScaleLabel& s : scaleOf(curve)) {
        auto* label = new QLabel(QString::fromUtf8(s.text), this);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const int h = label->fontMetrics().height();
        label->setGeometry(scaleX - 4, PANEL_Y + PANEL_BORDER + s.y - h / 2, scaleWidth - 4, h);
    }

    if (curve == CurveKind::Tempo) {
        auto* note = new QLabel(QStringLiteral("(*)この設定はこの小節の全パート共通です。"), this);
        note->move(PANEL_X, PANEL_Y + traits.imageHeight + 2 * PANEL_BORDER + 12);
    }

    // The graph shows the current measure (its length from the signature row) of the tempo row,
    // or of the current part's row.
    new DocumentView(
        session_, *this,
        [this](const SongChange& c) {
            if (c.touches(EditingField::Measure) || c.touchesRow(SIGNATURE_ROW))
                return true;
            if (curve_ == CurveKind::Tempo)
                return c.touchesRow(TEMPO_ROW);
            return c.touches(EditingField::Part) || c.touchesRow(session_.editing().currentPart);
        },
        [this] { drawGraph(); });
}

DynamicsPage::DynamicsPage(SongDocument& session, QWidget* parent)
    : CurvePage(session, CurveKind::Dynamics, parent) {}
TempoPage::TempoPage(SongDocument& session, QWidget* parent) : CurvePage(session, CurveKind::Tempo, parent) {}
PanPage::PanPage(SongDocument& session, QWidget* parent) : CurvePage(session, CurveKind::Pan, parent) {}

CurveMode CurvePage::mode() const {
    return mode_->itemIndex() == 1 ? CurveMode::Delete : CurveMode::Input;
}

void CurvePage::setAllParts(bool on) {
    if (allParts_)
        allParts_->setChecked(on);
}

bool CurvePage::allParts() const {
    return allParts_ && allParts_->isChecked();
}

void CurvePage::tabShow() {
    mode_->setItemIndex(0);
    value_->clear();
    drawGraph();
    if (dragging_)
        session_.endStep();
    dragging_ = false;
}

void CurvePage::drawGraph() {
    if (!isVisible())
        return;
    paintCurveGraph(image_->image(), curve_,
                    buildCurveGraph(curve_, session_.song().store, session_.editing().currentPart,
                                    session_.editing().currentMeasure));
    image_->update();
}

void CurvePage::imgMouseDown(Qt::MouseButton button, int x, int y) {
    if (button != Qt::LeftButton)
        return;
    dragging_ = true;
    // One stroke from press to release is one step of the history.
    const EditPage page = curve_ == CurveKind::Dynamics ? EditPage::Dynamics
                          : curve_ == CurveKind::Tempo  ? EditPage::Tempo
                                                        : EditPage::Pan;
    const char* name = curve_ == CurveKind::Dynamics ? "強弱の入力"
                       : curve_ == CurveKind::Tempo  ? "テンポの入力"
                                                     : "定位の入力";
    session_.beginStep(name, {session_.editing().currentPart, session_.editing().currentMeasure, page});
    imgMouseMove(x, y);
}

void CurvePage::imgMouseUp() {
    dragging_ = false;
    session_.endStep();
}

void CurvePage::imgMouseMove(int x, int y) {
    const auto at = mapCurvePointer(curve_, session_.song().store, session_.editing().currentMeasure, x, y);
    if (!at)
        return;
    value_->setText(QString::number(curveLabelValue(curve_, at->value)));
    if (!dragging_)
        return;
    bool changed = false;
    session_.changeInStep([&](Song& song) {
        changed = applyCurveStroke(song, session_.editing().currentPart, curve_, mode(), allParts(), *at);
    });
    // The document tells its subscribers when the stroke's step ends; the graph follows the
    // stroke as it goes.
    if (changed)
        drawGraph();
}

} // namespace pokopen
