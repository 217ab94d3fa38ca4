#include "parts/part_page.h"

#include "parts/part_settings.h"

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
}

void PartPage::showPartSettings() {
    if (!isVisible())
        return;
    copySettingsToControls();
}

void PartPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    copySettingsToControls();
}

void PartPage::copySettingsToControls() {
    const int part = session_.state.currentPart;
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
    // The slider's handler finds the stored value unchanged and only updates the label.
    controls_.barVol->setValue(session_.song().partVolume[i]);
}

EditPlace PartPage::place() const {
    return {session_.state.currentPart, session_.state.currentMeasure, EditPage::Part};
}

void PartPage::lstInstClick() {
    const int row = controls_.lstInst->currentRow();
    const int part = session_.state.currentPart;
    if (row >= 0 && session_.changeReturning("楽器の変更", place(),
                                             [&](Song& song) { return setPartInstrument(song, part, row); }))
        emit songEdited();
}

void PartPage::rgrTransClick(int index) {
    const int part = session_.state.currentPart;
    if (session_.changeReturning("移調の変更", place(),
                                 [&](Song& song) { return setPartTransposition(song, part, index); }))
        emit songEdited();
}

void PartPage::barVolChange(int position) {
    // A drag of the slider is one step: it was begun when the slider was pressed.
    const int part = session_.state.currentPart;
    if (session_.changeReturning("音量の変更", place(),
                                 [&](Song& song) { return setPartVolume(song, part, position); }))
        emit songEdited();
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
