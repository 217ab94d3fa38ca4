#pragma once

#include "document/editing.h"
#include "document/song_document.h"
#include "editor/measure_ops.h"
#include "model/song.h"

#include <cstdint>
#include <functional>

// The state of the measure editor behind its window: the shown measures, the pointer cell, the
// selection with its click rules, the clipboard, and the operations framed by the wait window.
namespace pokopen {

// Which end a click on the grid sets; exactly one of the three mode buttons is down.
enum class ClickMode { Pointer, EndA, EndB };

// How a paste ended.
enum class PasteOutcome {
    Pasted,
    Empty,            // nothing was cut or copied yet; nothing happened
    RefusedDrumMixed, // drum part and an ordinary part, one to one: refused, the store unchanged
};

inline constexpr std::int32_t FIRST_SHOWN_MAX = MAX_MEASURES - 3; // 997: the last three measures
inline constexpr std::int32_t OCTAVE_UP = -7;                     // staff steps count downwards
inline constexpr std::int32_t OCTAVE_DOWN = 7;

class MeasureEditor {
public:
    // Opens on the current part and measure, the current measure in the middle column where
    // there is room for it.
    MeasureEditor(SongDocument& doc, std::int32_t currentPart, std::int32_t currentMeasure);

    // Called with true before an operation's work starts and with false when it has ended,
    // so that the window can show the please-wait window meanwhile (it should paint before
    // returning). Unset, nothing is shown.
    std::function<void(bool)> waitHook;

    // Clicks, already resolved to a measure and a part. Each returns whether it was accepted
    // (a refused click changes nothing and the grid is not redrawn).
    bool clickCell(std::int32_t measure, int part);
    bool clickMeasureHeader(std::int32_t measure);
    void clickPartHeader(int part);
    void cancelSelection();
    void setFirstShownMeasure(std::int32_t measure);
    void setMode(ClickMode mode) { mode_ = mode; }

    // The operations on the selection. Copy, cut and the octave shifts do nothing without a
    // selection and return false then; paste needs a filled clipboard.
    bool copy();
    bool cut();
    PasteOutcome paste();
    bool shiftOctaves(int octaveSteps);

    // Where the main window goes when the editor closes.
    void applyPointer() const;

    std::int32_t firstShownMeasure() const { return firstShownMeasure_; }
    std::int32_t pointerMeasure() const { return pointerMeasure_; }
    int pointerPart() const { return pointerPart_; }
    std::int32_t selectionA() const { return selectionA_; }
    std::int32_t selectionB() const { return selectionB_; }
    int selectionPart() const { return selectionPart_; }
    ClickMode mode() const { return mode_; }
    bool hasSelection() const { return selectionPart_ != -1; }
    bool selects(std::int32_t measure, int part) const;
    bool cutEnabled() const { return hasSelection(); }
    bool copyEnabled() const { return hasSelection(); }
    bool pasteEnabled() const { return clip_.filled(); }
    const MeasureClipboard& clipboard() const { return clip_; }
    // True once any operation changed the song.
    bool songModified() const { return modified_; }
    const Song& song() const { return doc_.song(); }

private:
    bool setEnd(bool endA, std::int32_t measure, int part);
    void copySelection();
    void framed(const std::function<void()>& work);
    // Each operation that changes the song is one step of the history.
    bool step(const char* name, const std::function<void(Song&)>& change);

    SongDocument& doc_;
    std::int32_t firstShownMeasure_ = 0;
    std::int32_t pointerMeasure_ = 0;
    int pointerPart_ = 0;
    std::int32_t selectionA_ = -1;
    std::int32_t selectionB_ = -1;
    int selectionPart_ = -1;
    ClickMode mode_ = ClickMode::Pointer;
    MeasureClipboard clip_;
    bool modified_ = false;
};

} // namespace pokopen
