#include "parts/all_part_dialog.h"

#include "model/pitch.h"
#include "playback/midi_out.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <algorithm>

namespace pokopen {

namespace {

QCheckBox* checkBox(const QString& text, const char* name, QWidget* parent, int x, int y) {
    auto* b = new QCheckBox(text, parent);
    if (name)
        b->setObjectName(name);
    b->setGeometry(x, y, 49, 17);
    return b;
}

} // namespace

TfrmAllPart::TfrmAllPart(SongDocument& session, const MidiOutFactory& makeMidiOut, QWidget* parent)
    : QDialog(parent), session_(session), out_(makeMidiOut ? makeMidiOut() : nullptr) {
    setObjectName("frmAllPart");
    setWindowTitle(QString::fromUtf8("パートの一括設定"));
    if (!out_)
        out_ = std::make_unique<NullMidiOut>(); // every open fails, so a test note beeps
    testNote_ = std::make_unique<TestNotePlayer>(*out_);
    controls_ = buildPartControls(this);

    auto* grpPart = new QGroupBox(QString::fromUtf8("適用するパート・項目"), this);
    grpPart->setObjectName("grpPart");
    grpPart->setGeometry(8, PART_CONTROLS_HEIGHT, 556, 108);
    for (int i = 0; i < PART_ROWS; ++i) {
        partBoxes_[static_cast<std::size_t>(i)] =
            checkBox(QString::number(i + 1), nullptr, grpPart, 16 + 48 * (i % 8), 24 + 24 * (i / 8));
        partBoxes_[static_cast<std::size_t>(i)]->setObjectName(QStringLiteral("chkPart%1").arg(i + 1));
    }
    chkInst_ = checkBox(QString::fromUtf8("音色"), "chkInst", grpPart, 16, 80);
    chkTrans_ = checkBox(QString::fromUtf8("移調"), "chkTrans", grpPart, 80, 80);
    chkVol_ = checkBox(QString::fromUtf8("音量"), "chkVol", grpPart, 144, 80);
    for (QCheckBox* b : {chkInst_, chkTrans_, chkVol_})
        b->resize(60, 17);
    auto* btnPart = new QPushButton(QString::fromUtf8("すべてチェック"), grpPart);
    btnPart->setObjectName("btnPart");
    btnPart->setGeometry(420, 74, 120, 25);

    auto* btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName("btnOk");
    btnOk->setGeometry(388, PART_CONTROLS_HEIGHT + 116, 84, 25);
    btnOk->setDefault(true);
    auto* btnCancel = new QPushButton(QString::fromUtf8("キャンセル"), this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(480, PART_CONTROLS_HEIGHT + 116, 84, 25);
    setFixedSize(PART_CONTROLS_WIDTH, PART_CONTROLS_HEIGHT + 150);

    // Initial states: nothing here comes from the song.
    controls_.lstInst->setCurrentRow(0);
    controls_.barTone->setValue(69);
    controls_.setTransposition(C_INSTRUMENT);
    controls_.barVol->setValue(100);
    controls_.lblVol->setText(QStringLiteral("100"));

    connect(btnPart, &QPushButton::clicked, this, &TfrmAllPart::btnPartClick);
    connect(btnOk, &QPushButton::clicked, this, &TfrmAllPart::accept);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmAllPart::reject);
    connect(controls_.barVol, &QSlider::valueChanged, this, &TfrmAllPart::barVolChange);
    connect(controls_.lstInst, &InstrumentList::mousePressed, this, &TfrmAllPart::lstInstMouseDown);
    connect(controls_.lstInst, &InstrumentList::mouseReleased, this, &TfrmAllPart::lstInstMouseUp);
}

TfrmAllPart::~TfrmAllPart() {
    testNote_->stop();
}

BulkPartSettings TfrmAllPart::settings() const {
    BulkPartSettings s;
    for (std::size_t i = 0; i < partBoxes_.size(); ++i)
        s.parts[i] = partBoxes_[i]->isChecked();
    s.applyInstrument = chkInst_->isChecked();
    s.applyTransposition = chkTrans_->isChecked();
    s.applyVolume = chkVol_->isChecked();
    s.instrument = std::max(controls_.lstInst->currentRow(), 0);
    s.transposition = controls_.transposition();
    s.volume = controls_.barVol->value();
    return s;
}

void TfrmAllPart::accept() {
    const BulkPartSettings chosen = settings();
    songChanged_ = session_.changeReturning(
                       "パートの一括設定",
                       {session_.editing().currentPart, session_.editing().currentMeasure, EditPage::Part},
                       [&](Song& song) { return applyBulkPartSettings(song, chosen); }) ||
                   songChanged_;
    QDialog::accept();
}

void TfrmAllPart::done(int result) {
    testNote_->stop();
    QDialog::done(result);
}

void TfrmAllPart::btnPartClick() {
    for (QCheckBox* b : partBoxes_)
        b->setChecked(true);
    chkInst_->setChecked(true);
    chkTrans_->setChecked(true);
    chkVol_->setChecked(true);
}

void TfrmAllPart::barVolChange(int position) {
    controls_.lblVol->setText(QString::number(position));
}

void TfrmAllPart::lstInstMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton || controls_.lstInst->currentRow() < 0)
        return;
    testNote_->start(testNoteMessages(0, controls_.lstInst->currentRow(), controls_.barTone->value()));
}

void TfrmAllPart::lstInstMouseUp() {
    testNote_->stop();
}

} // namespace pokopen
