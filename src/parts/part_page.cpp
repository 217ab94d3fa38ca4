#include "parts/part_page.h"

#include "parts/part_settings.h"
#include "ui/document_view.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

namespace pokopen {

PartPage::PartPage(SongDocument& session, MidiOut& out, QWidget* parent)
    : QWidget(parent), session_(session), controls_(buildPartControls(this)), testNote_(out) {
    setObjectName("tabPart");
    connect(controls_.lstInst, &QListWidget::currentRowChanged, this, &PartPage::lstInstClick);
    connect(controls_.transButtons, &QButtonGroup::idClicked, this, &PartPage::rgrTransClick);
    connect(controls_.barVol, &QSlider::valueChanged, this, &PartPage::barVolChange);
    connect(controls_.barVol, &QSlider::sliderPressed, this,
            [this] { session_.beginStep("音量の変更", place()); });
    connect(controls_.barVol, &QSlider::sliderReleased, this, [this] { session_.endStep(); });
    connect(controls_.lstInst, &InstrumentList::mousePressed, this, &PartPage::lstInstMouseDown);
    connect(controls_.lstInst, &InstrumentList::mouseReleased, this, &PartPage::lstInstMouseUp);
    // The controls show the current part's settings.
    new DocumentView(
        session_, *this, [](const SongChange& c) { return c.settings || c.touches(EditingField::Part); },
        [this] { copySettingsToControls(); });
}

void PartPage::copySettingsToControls() {
    const int part = session_.editing().currentPart;
    const auto i = static_cast<std::size_t>(part);
    const bool drums = part == PERCUSSION_PART;
    controls_.grpInst->setVisible(!drums);
    controls_.rgrTrans->setVisible(!drums);
    {
        // Showing a part is no choice of instrument.
        const QSignalBlocker block(controls_.lstInst);
        controls_.lstInst->setCurrentRow(session_.song().partInstrument[i]);
    }
    controls_.setTransposition(session_.song().partTransposition[i]);
    controls_.lblVol->setText(QString::number(session_.song().partVolume[i]));
    {
        // Showing a part is no change of its volume.
        const QSignalBlocker block(controls_.barVol);
        controls_.barVol->setValue(session_.song().partVolume[i]);
    }
}

EditPlace PartPage::place() const {
    return {session_.editing().currentPart, session_.editing().currentMeasure, EditPage::Part};
}

void PartPage::lstInstClick() {
    const int row = controls_.lstInst->currentRow();
    const int part = session_.editing().currentPart;
    if (row >= 0 && session_.changeReturning("楽器の変更", place(),
                                             [&](Song& song) { return setPartInstrument(song, part, row); }))
        return; // the pages showing it redraw from the document's change
}

void PartPage::rgrTransClick(int index) {
    const int part = session_.editing().currentPart;
    if (session_.changeReturning("移調の変更", place(),
                                 [&](Song& song) { return setPartTransposition(song, part, index); }))
        return;
}

void PartPage::barVolChange(int position) {
    // A drag of the slider is one step: it was begun when the slider was pressed. A move by the
    // keyboard is a step of its own.
    const int part = session_.editing().currentPart;
    const auto set = [&](Song& song) { setPartVolume(song, part, position); };
    if (session_.inStep())
        session_.changeInStep(set);
    else
        session_.change("音量の変更", place(), set);
    controls_.lblVol->setText(QString::number(position));
}

void PartPage::lstInstMouseDown(Qt::MouseButton button) {
    // Without a selection (a press below the items) there is no instrument to sound.
    if (button != Qt::LeftButton || controls_.lstInst->currentRow() < 0)
        return;
    const auto messages = testNoteMessages(0, controls_.lstInst->currentRow(), controls_.barTone->value());
    testNote_.start(messages);
}

void PartPage::lstInstMouseUp() {
    testNote_.stop();
}

} // namespace pokopen
