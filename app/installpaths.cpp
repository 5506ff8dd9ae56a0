#include "app/installpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#ifndef PLANO_DATA_REL
#define PLANO_DATA_REL "../share/plano-miller"
#endif

namespace InstallPaths {

QString dataDir(const QString &appDir)
{
    const QDir beside(appDir);
    if (beside.exists(QStringLiteral("sample_images")) || beside.exists(QStringLiteral("lang")))
        return appDir;
    const QString installed = QDir::cleanPath(appDir + QStringLiteral("/" PLANO_DATA_REL));
    return QFileInfo(installed).isDir() ? installed : appDir;
}

QString settingsFile(const QString &besideExe, bool besideExeWritable, const QString &configDir,
    const QStringList &seeds)
{
    if (besideExeWritable)
        return besideExe;
    const QString file = configDir + QStringLiteral("/plano-miller.ini");
    if (QFileInfo::exists(file) || !QDir().mkpath(configDir))
        return file;
    for (const QString &seed : seeds) {
        if (QFileInfo(seed).isFile()) {
            // Copied under another name first: a half-copied file is never read.
            const QString part = file + QStringLiteral(".part");
            QFile::remove(part);
            if (QFile::copy(seed, part)) {
                QFile(part).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
                QFile::rename(part, file);
            }
            break;
        }
    }
    return file;
}

bool canWrite(const QString &file)
{
    const QFileInfo info(file);
    return info.exists() ? info.isWritable() : QFileInfo(info.absolutePath()).isWritable();
}

} // namespace InstallPaths
