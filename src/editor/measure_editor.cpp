#include "editor/measure_editor.h"

#include <algorithm>

namespace pokopen {

MeasureEditor::MeasureEditor(SongDocument& doc, std::int32_t currentPart, std::int32_t currentMeasure)
    : doc_(doc), pointerMeasure_(std::clamp(currentMeasure, 0, MAX_MEASURES - 1)),
      pointerPart_(std::clamp(currentPart, 0, PART_ROWS - 1)) {
    firstShownMeasure_ = std::clamp(pointerMeasure_ - 1, 0, FIRST_SHOWN_MAX);
}

void MeasureEditor::setFirstShownMeasure(std::int32_t measure) {
    firstShownMeasure_ = std::clamp(measure, 0, FIRST_SHOWN_MAX);
}

bool MeasureEditor::clickCell(std::int32_t measure, int part) {
    switch (mode_) {
    case ClickMode::Pointer:
        pointerMeasure_ = measure;
        pointerPart_ = part;
        return true;
    case ClickMode::EndA:
        return setEnd(true, measure, part);
    case ClickMode::EndB:
        return setEnd(false, measure, part);
    }
    return false;
}

bool MeasureEditor::clickMeasureHeader(std::int32_t measure) {
    // In pointer mode a header click only redraws.
    if (mode_ == ClickMode::Pointer)
        return true;
    return setEnd(mode_ == ClickMode::EndA, measure, ALL_PARTS);
}

// Sets end A or B of a selection of `scope` (a part or ALL_PARTS). An end may not pass the other
// one, and a one-part selection takes ends only in its own part. Changing the scope between one
// part and all parts, or setting the first end, starts a one-measure selection and waits for
// the other end; otherwise the selection is complete and the pointer mode returns.
bool MeasureEditor::setEnd(bool endA, std::int32_t measure, int scope) {
    const std::int32_t other = endA ? selectionB_ : selectionA_;
    if (other != -1 && (endA ? other < measure : measure < other))
        return false;
    const bool onePart = selectionPart_ >= 0 && selectionPart_ < ALL_PARTS;
    if (scope != ALL_PARTS && onePart && selectionPart_ != scope)
        return false;
    const bool restart = other == -1 || selectionPart_ != scope;
    (endA ? selectionA_ : selectionB_) = measure;
    if (restart) {
        (endA ? selectionB_ : selectionA_) = measure;
        mode_ = endA ? ClickMode::EndB : ClickMode::EndA;
    } else {
        mode_ = ClickMode::Pointer;
    }
    selectionPart_ = scope;
    return true;
}

void MeasureEditor::clickPartHeader(int part) {
    selectionPart_ = part;
    selectionA_ = 0;
    selectionB_ = MAX_MEASURES - 1;
    mode_ = ClickMode::Pointer;
}

void MeasureEditor::cancelSelection() {
    selectionA_ = selectionB_ = selectionPart_ = -1;
    mode_ = ClickMode::Pointer;
}

bool MeasureEditor::selects(std::int32_t measure, int part) const {
    return hasSelection() && selectionA_ <= measure && measure <= selectionB_ &&
           (selectionPart_ == part || selectionPart_ == ALL_PARTS);
}

void MeasureEditor::framed(const std::function<void()>& work) {
    if (waitHook)
        waitHook(true);
    work();
    if (waitHook)
        waitHook(false);
}

bool MeasureEditor::step(const char* name, const std::function<void(Song&)>& change) {
    // Undo shows the staff of the part and measure where the operation began.
    const int part = selectionPart_ >= 0 && selectionPart_ < ALL_PARTS ? selectionPart_ : pointerPart_;
    const std::int32_t measure = hasSelection() ? selectionA_ : pointerMeasure_;
    const bool changed = doc_.change(name, {part, measure, EditPage::Score}, change);
    modified_ = modified_ || changed;
    return changed;
}

void MeasureEditor::copySelection() {
    clip_.clipPart = selectionPart_;
    if (selectionPart_ == ALL_PARTS) {
        for (int p = 0; p < PART_ROWS; ++p)
            copyMeasures(doc_.song(), clip_, p, selectionA_, selectionB_);
    } else {
        copyMeasures(doc_.song(), clip_, selectionPart_, selectionA_, selectionB_);
    }
    clip_.clipMeasures = selectionB_ - selectionA_;
}

bool MeasureEditor::copy() {
    if (!hasSelection())
        return false;
    framed([this] { copySelection(); });
    return true;
}

bool MeasureEditor::cut() {
    if (!hasSelection())
        return false;
    framed([this] {
        copySelection();
        step("小節の切り抜き", [this](Song& song) {
            for (int p = 0; p < PART_ROWS; ++p)
                if (selectionPart_ == ALL_PARTS || selectionPart_ == p)
                    clearMeasures(song, p, selectionA_, selectionB_);
        });
    });
    return true;
}

PasteOutcome MeasureEditor::paste() {
    if (!clip_.filled())
        return PasteOutcome::Empty;
    PasteOutcome outcome = PasteOutcome::Pasted;
    framed([this, &outcome] {
        if (clip_.clipPart == ALL_PARTS) {
            // Every part onto itself; the pointer's part plays no role.
            step("小節の貼り付け", [this](Song& song) {
                for (int p = 0; p < PART_ROWS; ++p)
                    pasteMeasures(song, clip_, p, p, pointerMeasure_);
            });
        } else if ((clip_.clipPart == PERCUSSION_PART) != (pointerPart_ == PERCUSSION_PART)) {
            // Drum indexes and staff steps mean different things.
            outcome = PasteOutcome::RefusedDrumMixed;
        } else {
            step("小節の貼り付け", [this](Song& song) {
                pasteMeasures(song, clip_, clip_.clipPart, pointerPart_, pointerMeasure_);
            });
        }
    });
    if (outcome != PasteOutcome::Pasted)
        return outcome;
    cancelSelection();
    return outcome;
}

bool MeasureEditor::shiftOctaves(int octaveSteps) {
    if (!hasSelection())
        return false;
    framed([this, octaveSteps] {
        // Nothing moved (a drum-part selection, an empty one) records no step and changes nothing.
        step(octaveSteps == OCTAVE_UP ? "１オクターブ上げる" : "１オクターブ下げる",
             [this, octaveSteps](Song& song) {
                 for (int p = 0; p < PART_ROWS; ++p)
                     if (selectionPart_ == ALL_PARTS || selectionPart_ == p)
                         shiftOctave(song, p, selectionA_, selectionB_, octaveSteps);
             });
    });
    return true;
}

void MeasureEditor::applyPointer() const {
    doc_.setCurrentPart(pointerPart_);
    doc_.setCurrentMeasure(pointerMeasure_);
}

} // namespace pokopen
