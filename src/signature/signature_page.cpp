#include "signature/signature_page.h"

#include "signature/signature_dialogs.h"
#include "signature/signature_edit.h"
#include "ui/document_view.h"
#include "ui/fonts.h"

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace pokopen {

namespace {

const QColor HERE_TEXT(0, 0, 0);
const QColor CONTINUED_TEXT(192, 192, 192);
const QColor HERE_INFO(255, 0, 0);
const QColor CONTINUED_INFO(0, 0, 255);

QLabel* makeLabel(QWidget* parent, const char* name, QRect geometry, const QFont& font, bool onWhite) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setFont(font);
    if (onWhite) {
        label->setAlignment(Qt::AlignCenter);
        label->setAutoFillBackground(true);
        QPalette pal = label->palette();
        pal.setColor(QPalette::Window, Qt::white);
        label->setPalette(pal);
    }
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    return button;
}

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

} // namespace

SignaturePage::SignaturePage(SongDocument& session, QWidget* parent) : QWidget(parent), session_(session) {
    setObjectName("tabAlter");
    const QFont big = fontWithCellHeight(QStringLiteral("IPAGothic"), 48, false, CellFit::NotAbove);
    const QFont bold = fontWithCellHeight(QStringLiteral("IPAGothic"), 21, true, CellFit::NotAbove);

    auto* keyGroup = new QGroupBox(QStringLiteral("調性"), this);
    keyGroup->setGeometry(48, 16, 489, 113);
    lblStyle1_ = makeLabel(keyGroup, "lblStyle1", QRect(16, 32, 129, 49), big, true);
    lblStyle2_ = makeLabel(keyGroup, "lblStyle2", QRect(16, 80, 129, 25), bold, true);
    lblStlInfo_ = makeLabel(keyGroup, "lblStlInfo", QRect(160, 32, 313, 25), bold, false);
    btnStlChange_ =
        makeButton(keyGroup, "btnStlChange", QStringLiteral("調を変える"), QRect(160, 64, 129, 33));
    btnStlDelete_ =
        makeButton(keyGroup, "btnStlDelete", QStringLiteral("調の設定解除"), QRect(312, 64, 161, 33));

    auto* meterGroup = new QGroupBox(QStringLiteral("拍子"), this);
    meterGroup->setGeometry(48, 136, 489, 113);
    lblRhythm_ = makeLabel(meterGroup, "lblRhythm", QRect(16, 40, 129, 49), big, true);
    lblRtmInfo_ = makeLabel(meterGroup, "lblRtmInfo", QRect(160, 32, 313, 25), bold, false);
    btnRtmChange_ =
        makeButton(meterGroup, "btnRtmChange", QStringLiteral("拍子を変える"), QRect(160, 64, 129, 33));
    btnRtmDelete_ =
        makeButton(meterGroup, "btnRtmDelete", QStringLiteral("拍子の設定解除"), QRect(312, 64, 161, 33));

    auto* note = new QLabel(QStringLiteral("(*)この設定はこの小節の全パート共通です。"), this);
    note->setObjectName("lblAlter");
    note->setGeometry(8, 264, 569, 25);

    connect(btnStlChange_, &QPushButton::clicked, this, &SignaturePage::btnStlChangeClick);
    connect(btnStlDelete_, &QPushButton::clicked, this, &SignaturePage::btnStlDeleteClick);
    connect(btnRtmChange_, &QPushButton::clicked, this, &SignaturePage::btnRtmChangeClick);
    connect(btnRtmDelete_, &QPushButton::clicked, this, &SignaturePage::btnRtmDeleteClick);

    prompts_.chooseKey = [this](int key) -> std::optional<int> {
        TfrmStyle dialog(session_, window());
        dialog.setKey(key);
        if (dialog.exec() != QDialog::Accepted || dialog.key() < 0)
            return std::nullopt;
        return dialog.key();
    };
    prompts_.chooseMeter = [this](int item) -> std::optional<int> {
        TfrmRhythm dialog(session_, window());
        dialog.setItem(item);
        if (dialog.exec() != QDialog::Accepted || dialog.item() < 0)
            return std::nullopt;
        return dialog.item();
    };
    prompts_.warn = [this](const QString& text) {
        QMessageBox::warning(window(), QStringLiteral("拍子の変更"), text);
    };
    // The tab shows the signatures in force at the current measure.
    new DocumentView(
        session_, *this,
        [](const SongChange& c) { return c.touches(EditingField::Measure) || c.touchesRow(SIGNATURE_ROW); },
        [this] { updateSignatureTab(); });
}

void SignaturePage::updateSignatureTab() {
    if (!isVisible())
        return;
    const SignatureView v = signatureView(session_.song().store, session_.editing().currentMeasure);

    setTextColour(lblStyle1_, v.keyHere ? HERE_TEXT : CONTINUED_TEXT);
    setTextColour(lblStyle2_, v.keyHere ? HERE_TEXT : CONTINUED_TEXT);
    setTextColour(lblStlInfo_, v.keyHere ? HERE_INFO : CONTINUED_INFO);
    lblStlInfo_->setText(v.keyHere ? QStringLiteral("この小節からこの調が始まります。")
                                   : QStringLiteral("この調は前からの続きです。"));
    btnStlDelete_->setEnabled(v.keyDeletable);
    lblStyle1_->setText(QString::fromStdString(keySignatureText(v.keyInForce)));
    const auto keyName = v.keyInForce < KEY_NAMES.size() ? KEY_NAMES[v.keyInForce] : std::string_view();
    lblStyle2_->setText(QString::fromLatin1(keyName.data(), static_cast<qsizetype>(keyName.size())));

    setTextColour(lblRhythm_, v.meterHere ? HERE_TEXT : CONTINUED_TEXT);
    setTextColour(lblRtmInfo_, v.meterHere ? HERE_INFO : CONTINUED_INFO);
    lblRtmInfo_->setText(v.meterHere ? QStringLiteral("この小節からこの拍子が始まります。")
                                     : QStringLiteral("この拍子は前からの続きです。"));
    btnRtmDelete_->setEnabled(v.meterDeletable);
    lblRhythm_->setText(QString::fromStdString(meterText(v.meterInForce)));
}

EditPlace SignaturePage::place() const {
    return {session_.editing().currentPart, session_.editing().currentMeasure, EditPage::Signature};
}

void SignaturePage::btnStlChangeClick() {
    const SignatureView v = signatureView(session_.song().store, session_.editing().currentMeasure);
    const std::optional<int> chosen = prompts_.chooseKey(v.keyInForce);
    if (chosen && *chosen >= 0 && *chosen < static_cast<int>(KEY_NAMES.size()) &&
        session_.changeReturning("調の変更", place(), [&](Song& song) {
            return changeKey(song, session_.editing().currentMeasure, static_cast<std::uint8_t>(*chosen));
        }))
        return; // the tab and the staff redraw from the document's change
}

void SignaturePage::btnStlDeleteClick() {
    if (session_.changeReturning("調の削除", place(), [&](Song& song) {
            return deleteKey(song, session_.editing().currentMeasure);
        }))
        return;
}

namespace {
const QString CUT_WARNING = QStringLiteral("この拍子にすると、曲の最後（1000小節目の終わり）より後にはみ出す"
                                           "音符や設定ができるため、変更できません。");
}

void SignaturePage::btnRtmChangeClick() {
    const SignatureView v = signatureView(session_.song().store, session_.editing().currentMeasure);
    const std::optional<int> item = prompts_.chooseMeter(meterChoiceItem(v.meterInForce));
    if (!item || *item < 0 || *item >= static_cast<int>(METER_CHOICES.size()))
        return;
    const std::uint8_t meter = METER_CHOICES[static_cast<std::size_t>(*item)];
    switch (session_.changeReturning("拍子の変更", place(), [&](Song& song) {
        return changeMeter(song, session_.editing().currentMeasure, meter);
    })) {
    case MeterEdit::Changed: // the tab and the staff redraw from the document's change
        break;
    case MeterEdit::WouldCutSong:
        prompts_.warn(CUT_WARNING);
        break;
    case MeterEdit::Unchanged:
        break;
    }
}

void SignaturePage::btnRtmDeleteClick() {
    switch (session_.changeReturning("拍子の削除", place(), [&](Song& song) {
        return deleteMeter(song, session_.editing().currentMeasure);
    })) {
    case MeterEdit::Changed: // the tab and the staff redraw from the document's change
        break;
    case MeterEdit::WouldCutSong:
        prompts_.warn(CUT_WARNING);
        break;
    case MeterEdit::Unchanged:
        break;
    }
}

} // namespace pokopen
