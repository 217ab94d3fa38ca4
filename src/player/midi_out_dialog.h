#pragma once

#include "playback/midi_out_settings.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSettings;

namespace pokopen {

// "MIDI出力の設定": where test notes and test play go (the built-in synthesizer, one of the
// listed ports, or nowhere) and which SoundFont the synthesizer plays. Reads the choice from the
// INI object it is given and writes it back when the user confirms.
class TfrmMidiOut : public QDialog {
    Q_OBJECT
public:
    // Asks the user for a SoundFont file; empty when cancelled. Tests pass their own.
    using SoundFontPicker = std::function<QString(QWidget* parent, const QString& current)>;

    TfrmMidiOut(QSettings& ini, std::vector<std::string> ports, QWidget* parent = nullptr,
                SoundFontPicker picker = {});

    // The choice as the controls show it.
    MidiOutSettings chosen() const;

    void btnOKClick();
    void btnSoundFontClick();

private:
    void updateControls();

    QSettings& ini_;
    SoundFontPicker picker_;

    QRadioButton* rbSynth = nullptr;
    QRadioButton* rbPort = nullptr;
    QRadioButton* rbNone = nullptr;
    QListWidget* lstPort = nullptr;
    QLineEdit* edtSoundFont = nullptr;
    QPushButton* btnSoundFont = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
};

} // namespace pokopen
