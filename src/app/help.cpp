#include "app/help.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace pokopen {

namespace {
const QString CAPTION = QStringLiteral("ヘルプ");
}

bool openHelp(const QString& manualPath, QWidget* parent, DialogMessages& messages, const UrlOpener& open) {
    QFileInfo page(manualPath);
    if (page.isDir())
        page.setFile(QDir(manualPath).filePath(MANUAL_INDEX));
    const QString shown = QDir::toNativeSeparators(page.absoluteFilePath());
    if (manualPath.isEmpty() || !page.isFile()) {
        messages.showWarning(
            parent, CAPTION,
            QStringLiteral("ヘルプ（取扱説明書）が見つかりません。\n%1\n"
                           "ぽこぺんシーケンサを入れ直すと、取扱説明書も元に戻ります。")
                .arg(manualPath.isEmpty() ? QStringLiteral("（場所が分かりません）") : shown));
        return false;
    }
    const QUrl url = QUrl::fromLocalFile(page.absoluteFilePath());
    const bool opened = open ? open(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        messages.showWarning(parent, CAPTION,
                             QStringLiteral("ヘルプ（取扱説明書）をブラウザで開けませんでした。\n"
                                            "次のファイルをブラウザで直接開いてください。\n%1")
                                 .arg(shown));
    }
    return opened;
}

} // namespace pokopen
