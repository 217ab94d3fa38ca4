#include "app/help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>

namespace pokopen {

namespace {

const QString CAPTION = QStringLiteral("ヘルプ");

void tellBrowserFailed(QWidget* parent, DialogMessages& messages, const QString& shown) {
    messages.showWarning(parent, CAPTION,
                         QStringLiteral("ヘルプ（取扱説明書）をブラウザで開けませんでした。\n"
                                        "次のファイルをブラウザで直接開いてください。\n%1")
                             .arg(shown));
}

// On the free desktops QDesktopServices starts xdg-open and reports only that it started; when
// no browser is found, xdg-open fails on its own a moment later and only its log says so. This
// starts xdg-open itself and watches how it ends; `failed` runs when it cannot start or ends
// in failure. A browser that xdg-open waits for simply keeps it running. False when there is
// no xdg-open to start (the caller then asks QDesktopServices).
bool startXdgOpen(const QUrl& url, QWidget* parent, const std::function<void()>& failed) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (program.isEmpty())
        return false;
    auto* process = new QProcess(QCoreApplication::instance());
    // The report is dropped when the window it belongs to has gone meanwhile.
    QObject* context = parent ? static_cast<QObject*>(parent) : process;
    QObject::connect(process, &QProcess::finished, context,
                     [process, failed](int exitCode, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || exitCode != 0)
                             failed();
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, context,
                     [process, failed](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             failed();
                             process->deleteLater();
                         }
                     });
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program, {url.toString(QUrl::FullyEncoded)});
    return true;
#else
    (void)url;
    (void)parent;
    (void)failed;
    return false;
#endif
}

} // namespace

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
    if (!open && startXdgOpen(url, parent, [parent = QPointer<QWidget>(parent), &messages, shown] {
            tellBrowserFailed(parent, messages, shown);
        }))
        return true;
    const bool opened = open ? open(url) : QDesktopServices::openUrl(url);
    if (!opened)
        tellBrowserFailed(parent, messages, shown);
    return opened;
}

} // namespace pokopen
