#include "app/midi_import_dialog.h"

#include "ui/ok_cancel_row.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace pokopen {

namespace {

struct GridChoice {
    const char* caption;
    MidiGrid grid;
};

// In the order the list shows them; the first is the default.
constexpr GridChoice GRID_CHOICES[] = {
    {"自動", MidiGrid::Auto},
    {"8分", MidiGrid::Eighth},
    {"8分3連", MidiGrid::EighthTriplet},
    {"16分", MidiGrid::Sixteenth},
    {"16分3連", MidiGrid::SixteenthTriplet},
    {"32分", MidiGrid::ThirtySecond},
    {"そのまま（96分）", MidiGrid::Exact},
};

} // namespace

TfrmMidiImport::TfrmMidiImport(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmMidiImport"));
    setWindowTitle(QStringLiteral("MIDIファイルの読み込み設定"));

    cmbGrid = new QComboBox(this);
    cmbGrid->setObjectName(QStringLiteral("cmbGrid"));
    for (const GridChoice& c : GRID_CHOICES)
        cmbGrid->addItem(QString::fromUtf8(c.caption), static_cast<int>(c.grid));
    auto* lblGrid = new QLabel(QStringLiteral("格子(&G):"), this);
    lblGrid->setBuddy(cmbGrid);
    chkTidy = new QCheckBox(QStringLiteral("演奏のずれを整える(&T)"), this);
    chkTidy->setObjectName(QStringLiteral("chkTidy"));
    chkTidy->setChecked(true);

    const OkCancelRow row = okCancelRow(this);
    btnOK = row.ok;
    btnCancel = row.cancel;
    QHBoxLayout* buttons = row.layout;

    auto* form = new QFormLayout;
    form->addRow(lblGrid, cmbGrid);
    form->addRow(chkTidy);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(cmbGrid, &QComboBox::currentIndexChanged, this, &TfrmMidiImport::updateControls);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    updateControls();
}

// Exact times leave nothing to tidy.
void TfrmMidiImport::updateControls() {
    chkTidy->setEnabled(chosen().grid != MidiGrid::Exact);
}

MidiImportOptions TfrmMidiImport::chosen() const {
    MidiImportOptions o;
    o.grid = static_cast<MidiGrid>(cmbGrid->currentData().toInt());
    o.tidyPlaying = chkTidy->isChecked();
    return o;
}

std::optional<MidiImportOptions> askMidiImportOptions(QWidget* parent) {
    TfrmMidiImport dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}

} // namespace pokopen
