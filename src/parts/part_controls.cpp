#include "parts/part_controls.h"

#include "model/instruments.h"
#include "parts/part_settings.h"
#include "ui/fonts.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>

namespace pokopen {

namespace {

QLabel* label(const char* text, QWidget* parent, int x, int y) {
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->move(x, y);
    return l;
}

QSlider* slider(const char* name, int pageStep, QWidget* parent) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(name);
    s->setRange(0, 127);
    s->setPageStep(pageStep);
    return s;
}

} // namespace

InstrumentList::InstrumentList(QWidget* parent) : QListWidget(parent) {
    setObjectName("lstInst");
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, Qt::yellow);
    setPalette(pal);
    // IPAGothic has no 19- or 24-pixel cell; 18 and 23 are the nearest that fit.
    setFont(fontWithCellHeight(QStringLiteral("IPAGothic"), 19, true, CellFit::NotAbove));
    for (int program = 0; program < 128; ++program) {
        auto* item = new QListWidgetItem(QString::fromStdString(instrumentListEntry(program)), this);
        item->setSizeHint(QSize(1, 19));
    }
}

void InstrumentList::mousePressEvent(QMouseEvent* event) {
    QListWidget::mousePressEvent(event);
    emit mousePressed(event->button());
}

void InstrumentList::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    emit mouseReleased(event->button());
}

int PartControls::transposition() const {
    return transButtons->checkedId();
}

void PartControls::setTransposition(int index) {
    if (QAbstractButton* b = transButtons->button(index))
        b->setChecked(true);
}

PartControls buildPartControls(QWidget* parent) {
    PartControls c;

    c.grpInst = new QGroupBox(QString::fromUtf8("楽器（音色）"), parent);
    c.grpInst->setObjectName("grpInst");
    c.grpInst->setGeometry(8, 4, 248, 268);
    c.lstInst = new InstrumentList(c.grpInst);
    c.lstInst->setGeometry(8, 20, 232, 194); // ten items and the frame
    label("低", c.grpInst, 8, 230);
    c.barTone = slider("barTone", 12, c.grpInst);
    c.barTone->setGeometry(28, 226, 192, 22);
    c.barTone->setValue(69);
    label("高", c.grpInst, 226, 230);

    c.rgrTrans = new QGroupBox(QString::fromUtf8("楽器（移調）"), parent);
    c.rgrTrans->setObjectName("rgrTrans");
    c.rgrTrans->setGeometry(264, 4, 300, 196);
    c.transButtons = new QButtonGroup(c.rgrTrans);
    for (int i = 0; i < static_cast<int>(TRANSPOSITION_NAMES.size()); ++i) {
        const std::string_view name = TRANSPOSITION_NAMES[static_cast<std::size_t>(i)];
        auto* b =
            new QRadioButton(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())), c.rgrTrans);
        b->setGeometry(12, 20 + 24 * i, 280, 22);
        c.transButtons->addButton(b, i);
    }

    c.grpVol = new QGroupBox(QString::fromUtf8("パートの音量"), parent);
    c.grpVol->setObjectName("grpVol");
    c.grpVol->setGeometry(264, 204, 300, 68);
    c.lblVol = new QLabel(c.grpVol);
    c.lblVol->setObjectName("lblVol");
    c.lblVol->setGeometry(236, 20, 56, 40);
    c.lblVol->setAlignment(Qt::AlignCenter);
    c.lblVol->setAutoFillBackground(true);
    QPalette pal = c.lblVol->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::red);
    c.lblVol->setPalette(pal);
    c.lblVol->setFont(fontWithCellHeight(QStringLiteral("IPAGothic"), 24, false, CellFit::NotAbove));
    label("小", c.grpVol, 8, 34);
    c.barVol = slider("barVol", 20, c.grpVol);
    c.barVol->setGeometry(28, 30, 176, 22);
    label("大", c.grpVol, 210, 34);
    return c;
}

} // namespace pokopen
