#include "app/fm_mode.h"

namespace pokopen {

bool askFmModeOn(QWidget* parent, DialogMessages& messages) {
    messages.beep();
    return messages.askWarning(parent, FM_MODE_CAPTION, FM_MODE_QUESTION) == DialogMessages::Answer::Yes;
}

} // namespace pokopen
