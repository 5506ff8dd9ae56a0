// Where an installed program finds its sample map, language files and
// settings file; in a build tree everything lies beside the executable.
#pragma once

#include <QString>

namespace InstallPaths {

// appDir itself when the sample map or the language files lie beside the
// executable, else the installed data folder relative to it, when present.
QString dataDir(const QString &appDir);

// The settings file beside the executable stays wherever it can be written.
// Otherwise it is configDir/plano-miller.ini, which on first use is seeded
// from the first of seeds that exists. Returns the path to use.
QString settingsFile(const QString &besideExe, bool besideExeWritable, const QString &configDir,
    const QStringList &seeds);

// Whether the file, or the folder it would be created in, can be written.
bool canWrite(const QString &file);

} // namespace InstallPaths
