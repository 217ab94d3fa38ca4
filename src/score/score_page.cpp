#include "score/score_page.h"

#include <QWheelEvent>

#include "score/score_pictures.h"
#include "score/staff_layout.h"
#include "score/staff_paint.h"
#include "ui/document_view.h"
#include "ui/image_view.h"

#include <QButtonGroup>
#include <QFrame>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace pokopen {

ScorePage::ScorePage(SongDocument& session, QWidget* parent) : QWidget(parent), session_(session) {
    setObjectName(QStringLiteral("tabScore"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    pnlScore_ = new QFrame(this);
    pnlScore_->setObjectName(QStringLiteral("pnlScore"));
    pnlScore_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlScore_->setLineWidth(1);
    pnlScore_->setAutoFillBackground(true);
    QPalette white = pnlScore_->palette();
    white.setColor(QPalette::Window, Qt::white);
    pnlScore_->setPalette(white);
    layout->addWidget(pnlScore_);

    // Children in stacking order: each later one lies on top of the earlier ones.
    imgScore_ = new ImageView(STAFF_IMAGE_WIDTH, STAFF_IMAGE_HEIGHT, pnlScore_);
    imgScore_->setObjectName(QStringLiteral("imgScore"));
    imgScore_->move(66, 4);

    imgSymbol_ = new PictureView(CLEFS_SIZE, paintClefs, pnlScore_);
    imgSymbol_->setObjectName(QStringLiteral("imgSymbol"));
    imgSymbol_->move(18, 4);

    imgOctUp_ = new PictureView(
        OCTAVE_SIGN_SIZE, [](QPainter& p) { paintOctaveSign(p, true); }, pnlScore_);
    imgOctUp_->setObjectName(QStringLiteral("imgOctUp"));
    imgOctUp_->move(22, 8);
    imgOctUp_->hide();

    imgOctDown_ = new PictureView(
        OCTAVE_SIGN_SIZE, [](QPainter& p) { paintOctaveSign(p, false); }, pnlScore_);
    imgOctDown_->setObjectName(QStringLiteral("imgOctDown"));
    imgOctDown_->move(22, 264);
    imgOctDown_->hide();

    imgPercName_ = new ImageView(DRUM_NAMES_WIDTH, STAFF_IMAGE_HEIGHT, pnlScore_);
    imgPercName_->setObjectName(QStringLiteral("imgPercName"));
    imgPercName_->move(18, 4);
    imgPercName_->hide();

    viewButtons_ = new QButtonGroup(this);
    viewButtons_->setExclusive(true);
    btnScoreHigh_ = makeViewButton("btnScoreHigh", QStringLiteral("上"),
                                   QStringLiteral("表示を上段にします。"), QRect(0, 0, 16, 97));
    btnScoreMid_ = makeViewButton("btnScoreMid", QStringLiteral("中"), QStringLiteral("表示を中段にします。"),
                                  QRect(0, 96, 16, 105));
    btnScoreLow_ = makeViewButton("btnScoreLow", QStringLiteral("下"), QStringLiteral("表示を下段にします。"),
                                  QRect(0, 200, 16, 97));
    connect(btnScoreHigh_, &QToolButton::clicked, this, &ScorePage::btnScoreHighClick);
    connect(btnScoreMid_, &QToolButton::clicked, this, &ScorePage::btnScoreMidClick);
    connect(btnScoreLow_, &QToolButton::clicked, this, &ScorePage::btnScoreLowClick);
    showScoreView();

    connect(imgScore_, &ImageView::mousePressed, this, &ScorePage::scoreMouseDown);
    connect(imgScore_, &ImageView::mouseMoved, this, &ScorePage::scoreMouseMove);
    connect(imgScore_, &ImageView::mouseReleased, this, &ScorePage::scoreMouseUp);
    connect(imgScore_, &ImageView::mouseDoubleClicked, this, &ScorePage::scoreDoubleClick);
    imgScore_->installEventFilter(this);
    const QString keys = QStringLiteral(
        "クリックで音符を入力、ダブルクリックで削除、ドラッグで移動（棒の右端で長さ）。"
        "キー: A～G 音符（Shift で和音）、2～7 音価、. 付点、0 休符、↑↓ 半音（Alt 1度、Ctrl 1オクターブ）、"
        "Q/W 長さ半分/倍、Delete 削除、BackSpace 直前の音符を削除、←→ 音符間を移動、"
        "Ctrl+←→/PageUp/PageDown 小節、Home/End 先頭/最後、Esc 選択解除");
    imgScore_->setToolTip(keys);
    imgScore_->setStatusTip(keys);

    // The staff shows the current part's row in the current measure (whose length and key come
    // from the signature row), the part's transposition, and the view, grid, caret and selection.
    constexpr std::uint32_t shownEditing = bit(EditingField::Part) | bit(EditingField::Measure) |
                                           bit(EditingField::View) | bit(EditingField::Triplet) |
                                           bit(EditingField::Caret) | bit(EditingField::Selection);
    new DocumentView(
        session_, *this,
        [this](const SongChange& c) {
            return (c.editing & shownEditing) != 0 || c.settings ||
                   showsPartRows(c, session_.editing().currentPart);
        },
        [this] {
            showScoreView();
            drawStaff();
        });
}

bool ScorePage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == imgScore_ && event->type() == QEvent::Wheel) {
        // One notch (120) is one measure: up the previous one, down the next.
        wheelAngle_ += static_cast<QWheelEvent*>(event)->angleDelta().y();
        while (wheelAngle_ >= 120) {
            wheelAngle_ -= 120;
            emit scoreWheel(-1);
        }
        while (wheelAngle_ <= -120) {
            wheelAngle_ += 120;
            emit scoreWheel(+1);
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QToolButton* ScorePage::makeViewButton(const char* name, const QString& caption, const QString& hint,
                                       QRect geometry) {
    auto* button = new QToolButton(pnlScore_);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setToolTip(hint);
    button->setCheckable(true);
    button->setGeometry(geometry);
    viewButtons_->addButton(button);
    return button;
}

void ScorePage::drawStaff() {
    if (!isVisible())
        return;
    const StaffLayout layout = layoutStaff(session_.song(), session_.editing());

    paintStaff(layout, imgScore_->image(), imgPercName_->image());
    imgPercName_->setVisible(layout.drums);
    imgSymbol_->setVisible(!layout.drums);
    imgOctUp_->setVisible(layout.octave == OctaveSign::Up);
    imgOctDown_->setVisible(layout.octave == OctaveSign::Down);
    imgScore_->update();
    imgPercName_->update();
}

void ScorePage::showScoreView() {
    switch (session_.editing().scoreView) {
    case 0:
        btnScoreHigh_->setChecked(true);
        break;
    case 2:
        btnScoreLow_->setChecked(true);
        break;
    default:
        btnScoreMid_->setChecked(true);
        break;
    }
}

void ScorePage::btnScoreHighClick() {
    selectView(0);
}

void ScorePage::btnScoreMidClick() {
    selectView(1);
}

void ScorePage::btnScoreLowClick() {
    selectView(2);
}

void ScorePage::selectView(int view) {
    session_.setScoreView(view); // the staff redraws from the document's change
    emit scoreViewChanged(view);
}

void ScorePage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event); // the staff is redrawn on view when it changed while hidden
    emit pageShown();
}

void ScorePage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit pageHidden();
}

} // namespace pokopen
