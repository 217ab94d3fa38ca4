#include "signature/signature_dialogs.h"

#include "model/pitch.h"
#include "signature/signature_edit.h"
#include "ui/fonts.h"
#include "ui/radio_group.h"

#include <QListWidget>
#include <QPushButton>

namespace pokopen {

namespace {

// "Ces-dur(変ハ長調・Ｃ♭メジャー)" .. in key byte order.
const char* const KEY_TEXTS[30] = {
    "Ces-dur(変ハ長調・Ｃ♭メジャー)",  "as-moll(変イ短調・Ａ♭マイナー)",  "Ges-dur(変ト長調・Ｇ♭メジャー)",
    "es-moll(変ホ短調・Ｅ♭マイナー)",  "Des-dur(変ニ長調・Ｄ♭メジャー)",  "b-moll(変ロ短調・Ｂ♭マイナー)",
    "As-dur(変イ長調・Ａ♭メジャー)",   "f-moll(ヘ短調・Ｆマイナー)",      "Es-dur(変ホ長調・Ｅ♭メジャー)",
    "c-moll(ハ短調・Ｃマイナー)",      "B-dur(変ロ長調・Ｂ♭メジャー)",    "g-moll(ト短調・Ｇマイナー)",
    "F-dur(ヘ長調・Ｆメジャー)",       "d-moll(ニ短調・Ｄマイナー)",      "C-dur(ハ長調・Ｃメジャー)",
    "a-moll(イ短調・Ａマイナー)",      "G-dur(ト長調・Ｇメジャー)",       "e-moll(ホ短調・Ｅマイナー)",
    "D-dur(ニ長調・Ｄメジャー)",       "h-moll(ロ短調・Ｂマイナー)",      "A-dur(イ長調・Ａメジャー)",
    "fis-moll(嬰ヘ短調・Ｆ♯マイナー)", "E-dur(ホ長調・Ｅメジャー)",       "cis-moll(嬰ハ短調・Ｃ♯マイナー)",
    "H-dur(ロ長調・Ｂメジャー)",       "gis-moll(嬰ト短調・Ｇ♯マイナー)", "Fis-dur(嬰ヘ長調・Ｆ♯メジャー)",
    "dis-moll(嬰ニ短調・Ｄ♯マイナー)", "Cis-dur(嬰ハ長調・Ｃ♯メジャー)",  "ais-moll(嬰イ短調・Ａ♯マイナー)"};

QWidget* makePanel(QWidget* parent, QRect geometry) {
    auto* panel = new QWidget(parent);
    panel->setGeometry(geometry);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    panel->setPalette(pal);
    panel->setFont(fontWithCellHeight(QStringLiteral("IPAGothic"), 21, false, CellFit::NotAbove));
    return panel;
}

void addButtons(QDialog* dialog, int okX, int cancelX, int y) {
    auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
    ok->setObjectName("btnOk");
    ok->setGeometry(okX, y, 73, 25);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), dialog);
    cancel->setObjectName("btnCancel");
    cancel->setGeometry(cancelX, y, 73, 25);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}

} // namespace

TfrmStyle::TfrmStyle(SongDocument&, QWidget* parent) : QDialog(parent) {
    setObjectName("frmStyle");
    setWindowTitle(QStringLiteral("調性の変更"));
    setFixedSize(378, 377);
    QWidget* panel = makePanel(this, QRect(8, 8, 361, 329));

    signs_ = new RadioGroup(QStringLiteral("調号"),
                            {QStringLiteral("♭"), QStringLiteral("なし"), QStringLiteral("♯")}, 1, panel);
    signs_->setObjectName("rgrStlSF");
    signs_->setGeometry(16, 16, 81, 113);
    QStringList counts{QStringLiteral("なし")};
    for (int n = 1; n <= 7; ++n)
        counts << QString::number(n);
    count_ = new RadioGroup(QStringLiteral("調号の個数"), counts, 2, panel);
    count_->setObjectName("rgrStlNum");
    count_->setGeometry(104, 16, 129, 113);
    mode_ = new RadioGroup(QStringLiteral("調の種類"), {QStringLiteral("長調"), QStringLiteral("短調")}, 1,
                           panel);
    mode_->setObjectName("rgrStlDM");
    mode_->setGeometry(240, 16, 105, 113);

    list_ = new QListWidget(panel);
    list_->setObjectName("lstStyle");
    list_->setGeometry(16, 136, 329, 177);
    list_->setFont(fontWithCellHeight(QStringLiteral("IPAGothic"), 21, true, CellFit::NotAbove));
    for (const char* text : KEY_TEXTS)
        list_->addItem(QString::fromUtf8(text));

    addButtons(this, 208, 296, 344);

    connect(signs_, &RadioGroup::clicked, this, [this] { rgrStlSFClick(); });
    connect(count_, &RadioGroup::clicked, this, [this] { rgrStlNumClick(); });
    connect(mode_, &RadioGroup::clicked, this, [this] { rgrStlDMClick(); });
    // Every way the list's selection moves (mouse, arrow keys, Home/End, typing) shows its key
    // in the three groups, so that the four controls never show two keys.
    connect(list_, &QListWidget::currentRowChanged, this, [this] { lstStyleClick(); });
    setKey(KEY_C_MAJOR);
}

void TfrmStyle::setKey(int key) {
    list_->setCurrentRow(key);
    lstStyleClick();
}

int TfrmStyle::key() const {
    return list_->currentRow();
}

void TfrmStyle::lstStyleClick() {
    const int k = key();
    if (k < 0)
        return;
    const KeyChoice c = keyChoiceOf(k);
    signs_->setItemIndex(c.signs);
    count_->setItemIndex(c.count);
    mode_->setItemIndex(c.minor);
}

void TfrmStyle::selectFromGroups() {
    const KeyChoice c{signs_->itemIndex(), count_->itemIndex(), mode_->itemIndex()};
    list_->setCurrentRow(keyOfChoice(c));
}

void TfrmStyle::rgrStlSFClick() {
    const KeyChoice c =
        chooseSigns({signs_->itemIndex(), count_->itemIndex(), mode_->itemIndex()}, signs_->itemIndex());
    count_->setItemIndex(c.count);
    selectFromGroups();
}

void TfrmStyle::rgrStlNumClick() {
    const KeyChoice c =
        chooseCount({signs_->itemIndex(), count_->itemIndex(), mode_->itemIndex()}, count_->itemIndex());
    signs_->setItemIndex(c.signs);
    selectFromGroups();
}

void TfrmStyle::rgrStlDMClick() {
    selectFromGroups();
}

TfrmRhythm::TfrmRhythm(SongDocument&, QWidget* parent) : QDialog(parent) {
    setObjectName("frmRhythm");
    setWindowTitle(QStringLiteral("拍子の変更"));
    setFixedSize(282, 225);
    QWidget* panel = makePanel(this, QRect(8, 8, 265, 177));
    QStringList items;
    for (std::uint8_t meter : METER_CHOICES)
        items << QString::fromStdString(meterText(meter));
    rhythm_ = new RadioGroup(QStringLiteral("拍子"), items, 3, panel);
    rhythm_->setObjectName("rgrRhythm");
    rhythm_->setGeometry(16, 16, 233, 145);
    addButtons(this, 112, 200, 192);
}

void TfrmRhythm::setItem(int item) {
    rhythm_->setItemIndex(item);
}

int TfrmRhythm::item() const {
    return rhythm_->itemIndex();
}

} // namespace pokopen
