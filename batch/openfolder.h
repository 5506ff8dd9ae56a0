// Shows a folder in the platform's file browser after a batch run.
#pragma once

#include <QString>

void openFolderInFileBrowser(const QString &folder);
