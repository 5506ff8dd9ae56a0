// Settings and parameter files are INI text. Before the program writes over
// one it looks at what the file holds, so a mistyped /ini= or a file saved in
// another encoding is never destroyed, and a write is judged by what reached
// the file rather than by an error left over from reading it.
#pragma once

#include <QString>
#include <QStringList>

class QSettings;

enum class IniFileState {
    Missing,
    Text, // UTF-8 text, or empty
    NotUtf8, // text, but its other bytes would turn into U+FFFD on the next write
    NotText, // NUL or other control bytes than tab, CR and LF: some other kind of file
};
IniFileState iniFileState(const QString &path);

// Copies the file to path + ".damaged", replacing an older copy; the copy's
// path, or an empty string when it could not be made.
QString keepDamagedCopy(const QString &path);

// Writes the settings out; true when the file now holds every value of the
// given groups.
bool syncAndCheck(QSettings &settings, const QStringList &groups);
