#pragma once

class QCoreApplication;

namespace pokopen {

// Loads Qt's own Japanese texts (qtbase_ja: the file dialogs, the standard buttons and Qt's own
// questions) into `app`, whatever the system's locale: the program speaks Japanese throughout.
// The translator lives as long as the application. False when the translation is not installed
// (Debian package qt6-translations-l10n); the dialogs then stay in English.
bool installQtTranslations(QCoreApplication& app);

} // namespace pokopen
