#pragma once

#include "ui/dialog_messages.h"

#include <QString>

class QWidget;

namespace pokopen {

// The warning asked before FM-synth mode is switched on: with the mode on, dynamics are written as
// channel volume, so the parts' own volume settings no longer count.
inline const QString FM_MODE_CAPTION = QStringLiteral("警告");
inline const QString FM_MODE_QUESTION = QStringLiteral("FM音源モードにすると、\n"
                                                       "FM音源でも強弱が有効になりますが、\n"
                                                       "その代わりパートの音量の設定は無効になります。\n"
                                                       "FM音源モードをONにしますか？");

// Beeps and asks whether to switch FM-synth mode on; true only for Yes (No, Cancel and closing
// the box leave the mode off). Switching the mode off needs no question.
bool askFmModeOn(QWidget* parent, DialogMessages& messages = standardDialogMessages());

} // namespace pokopen
