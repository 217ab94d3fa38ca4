#include "player/midi_out_dialog.h"

#include "playback/fluid_engine.h"

#include "ui/ok_cancel_row.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

namespace pokopen {

namespace {

QString pickSoundFont(QWidget* parent, const QString& current) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("SoundFontの選択"), current,
                                        QStringLiteral("SoundFont(*.sf2 *.sf3)"));
}

} // namespace

TfrmMidiOut::TfrmMidiOut(QSettings& ini, std::vector<std::string> ports, QWidget* parent,
                         SoundFontPicker picker)
    : QDialog(parent), ini_(ini), picker_(picker ? std::move(picker) : pickSoundFont) {
    setObjectName(QStringLiteral("frmMidiOut"));
    setWindowTitle(QStringLiteral("MIDI出力の設定"));

    auto* grpOutput = new QGroupBox(QStringLiteral("出力先"), this);
    grpOutput->setObjectName(QStringLiteral("grpOutput"));
    rbSynth = new QRadioButton(QStringLiteral("内蔵シンセサイザ"), grpOutput);
    rbSynth->setObjectName(QStringLiteral("rbSynth"));
    rbPort = new QRadioButton(QStringLiteral("MIDI出力ポート"), grpOutput);
    rbPort->setObjectName(QStringLiteral("rbPort"));
    rbNone = new QRadioButton(QStringLiteral("なし"), grpOutput);
    rbNone->setObjectName(QStringLiteral("rbNone"));
    auto* group = new QButtonGroup(this);
    group->addButton(rbSynth);
    group->addButton(rbPort);
    group->addButton(rbNone);
    lstPort = new QListWidget(grpOutput);
    lstPort->setObjectName(QStringLiteral("lstPort"));
    auto* outputLayout = new QVBoxLayout(grpOutput);
    outputLayout->addWidget(rbSynth);
    outputLayout->addWidget(rbPort);
    outputLayout->addWidget(lstPort);
    outputLayout->addWidget(rbNone);

    auto* grpSoundFont = new QGroupBox(QStringLiteral("SoundFont"), this);
    grpSoundFont->setObjectName(QStringLiteral("grpSoundFont"));
    edtSoundFont = new QLineEdit(grpSoundFont);
    edtSoundFont->setObjectName(QStringLiteral("edtSoundFont"));
    btnSoundFont = new QPushButton(QStringLiteral("参照(&B)..."), grpSoundFont);
    btnSoundFont->setObjectName(QStringLiteral("btnSoundFont"));
    auto* soundFontLayout = new QHBoxLayout(grpSoundFont);
    soundFontLayout->addWidget(edtSoundFont);
    soundFontLayout->addWidget(btnSoundFont);

    const OkCancelRow row = okCancelRow(this);
    btnOK = row.ok;
    btnCancel = row.cancel;
    QHBoxLayout* buttons = row.layout;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grpOutput);
    layout->addWidget(grpSoundFont);
    layout->addLayout(buttons);

    // Show the saved choice. A saved port that is not there now stays in the list, so that the
    // choice is not lost while the device is unplugged.
    const MidiOutSettings saved = readMidiOutSettings(ini_);
    for (const std::string& port : ports)
        lstPort->addItem(QString::fromStdString(port));
    const QString savedPort = QString::fromStdString(saved.portName);
    if (!savedPort.isEmpty()) {
        const auto found = lstPort->findItems(savedPort, Qt::MatchExactly);
        if (found.isEmpty())
            lstPort->insertItem(0, savedPort);
        lstPort->setCurrentItem(lstPort->findItems(savedPort, Qt::MatchExactly).first());
    } else if (lstPort->count() > 0) {
        lstPort->setCurrentRow(0);
    }
    rbPort->setEnabled(lstPort->count() > 0);
    (saved.kind == MidiOutKind::Port   ? rbPort
     : saved.kind == MidiOutKind::None ? rbNone
                                       : rbSynth)
        ->setChecked(true);
    edtSoundFont->setText(QString::fromStdString(saved.soundFontOrDefault()));

    connect(rbSynth, &QRadioButton::toggled, this, &TfrmMidiOut::updateControls);
    connect(rbPort, &QRadioButton::toggled, this, &TfrmMidiOut::updateControls);
    connect(rbNone, &QRadioButton::toggled, this, &TfrmMidiOut::updateControls);
    connect(btnSoundFont, &QPushButton::clicked, this, &TfrmMidiOut::btnSoundFontClick);
    connect(btnOK, &QPushButton::clicked, this, &TfrmMidiOut::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    updateControls();
}

void TfrmMidiOut::updateControls() {
    lstPort->setEnabled(rbPort->isChecked());
    edtSoundFont->setEnabled(rbSynth->isChecked());
    btnSoundFont->setEnabled(rbSynth->isChecked());
}

MidiOutSettings TfrmMidiOut::chosen() const {
    MidiOutSettings s;
    if (rbPort->isChecked() && lstPort->currentItem() != nullptr) {
        s.kind = MidiOutKind::Port;
        s.portName = lstPort->currentItem()->text().toStdString();
    } else if (rbNone->isChecked()) {
        s.kind = MidiOutKind::None;
    }
    // The default SoundFont is stored as empty, so that the program follows it if it moves.
    const std::string soundFont = edtSoundFont->text().trimmed().toStdString();
    if (soundFont != DEFAULT_SOUNDFONT)
        s.soundFont = soundFont;
    return s;
}

void TfrmMidiOut::btnSoundFontClick() {
    const QString path = picker_(this, edtSoundFont->text());
    if (!path.isEmpty())
        edtSoundFont->setText(path);
}

void TfrmMidiOut::btnOKClick() {
    writeMidiOutSettings(ini_, chosen());
    accept();
}

} // namespace pokopen
