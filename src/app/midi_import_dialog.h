#pragma once

#include "midifile/smf_import.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace pokopen {

// "MIDIファイルの読み込み設定", asked when a MIDI file is opened: the grid its notes are put on
// (自動, the default, or a fixed one, or そのまま for the exact times) and whether the
// deviations of playing are tidied.
class TfrmMidiImport : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMidiImport(QWidget* parent = nullptr);

    // The choice as the controls show it.
    MidiImportOptions chosen() const;

private:
    void updateControls();

    QComboBox* cmbGrid = nullptr;
    QCheckBox* chkTidy = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
};

// Shows the dialog; nothing when it is cancelled.
std::optional<MidiImportOptions> askMidiImportOptions(QWidget* parent);

} // namespace pokopen
