#pragma once

#include "document/song_document.h"
#include "parts/part_controls.h"
#include "parts/part_settings.h"
#include "ui/test_note_player.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QPushButton;

namespace pokopen {

// Makes the bulk dialog's own audition device.
using MidiOutFactory = std::function<std::unique_ptr<MidiOut>()>;

// "パートの一括設定": sets instrument, transposing instrument and volume of the ticked parts in
// one step. Every opening starts from the same initial values; OK applies (the drum part takes
// only the volume), Cancel applies nothing. After exec() the caller asks songChanged() to mark
// the song modified, and shows the part settings of the current part again.
class TfrmAllPart : public QDialog {
    Q_OBJECT
public:
    TfrmAllPart(SongDocument& session, const MidiOutFactory& makeMidiOut, QWidget* parent = nullptr);
    ~TfrmAllPart() override;

    // True after OK applied at least one item to at least one part.
    bool songChanged() const { return songChanged_; }
    // The choices as they stand in the controls.
    BulkPartSettings settings() const;

    TestNotePlayer& testNote() { return *testNote_; }

    void accept() override;
    void done(int result) override; // FormClose: silences a test note still sounding

private:
    void btnPartClick();
    void barVolChange(int position);
    void lstInstMouseDown(Qt::MouseButton button);
    void lstInstMouseUp();

    SongDocument& session_;
    std::unique_ptr<MidiOut> out_;
    std::unique_ptr<TestNotePlayer> testNote_;
    PartControls controls_;
    std::array<QCheckBox*, PART_ROWS> partBoxes_{};
    QCheckBox* chkInst_ = nullptr;
    QCheckBox* chkTrans_ = nullptr;
    QCheckBox* chkVol_ = nullptr;
    bool songChanged_ = false;
};

} // namespace pokopen
