#pragma once

#include <QIcon>

namespace pokopen {

enum class ToolIcon {
    New,
    Open,
    Save,
    MidiOut,
    Settings,
    Fm,
    Editor,
    Divide,
    Find,
    JumpEnd,
    Play,
    PlayFrom,
    Help,
    Exit
};

// The toolbar's pictures, drawn by the program at 1x and 2x so they stay sharp on any screen.
QIcon toolIcon(ToolIcon kind);
// The 12 x 12 purple "R" of the drum part's button.
QIcon drumPartIcon();

} // namespace pokopen
