#include "batch/openfolder.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

void openFolderInFileBrowser(const QString &folder)
{
#ifdef Q_OS_WIN
    QString native = folder;
    native.replace(QLatin1Char('/'), QLatin1Char('\\'));
    QProcess::startDetached(QStringLiteral("explorer.exe"), { QStringLiteral("/e,") + native });
#else
    // The desktop's own file manager; the result is ignored like the browser's.
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
#endif
}
