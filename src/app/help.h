#pragma once

#include "ui/dialog_messages.h"

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace pokopen {

// Opens a URL in the user's browser; false when no program could be started for it.
using UrlOpener = std::function<bool(const QUrl&)>;

// The manual's first page inside its folder.
inline const QString MANUAL_INDEX = QStringLiteral("index.html");

// The help contents command: opens the user manual in the user's browser. `manualPath` is the
// manual's index page or the folder that holds it. A missing manual, or a browser that cannot be
// started, is told in a message box that names the path. `open` defaults to the desktop's
// opener (xdg-open, watched until it ends, or QDesktopServices::openUrl); a failure of xdg-open
// is told when it ends, after this has returned, unless `parent` has gone by then. Returns
// whether the manual was handed to the browser. `messages` must live as long as `parent`.
bool openHelp(const QString& manualPath, QWidget* parent, DialogMessages& messages = standardDialogMessages(),
              const UrlOpener& open = {});

} // namespace pokopen
