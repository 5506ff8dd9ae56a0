#include "batch/openfolder.h"

#include <QDesktopServices>
#include <QUrl>

void openFolderInFileBrowser(const QString &folder)
{
    // The desktop's own file browser on every system; a failure is not reported.
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
