// Settings and parameter files are INI text. Before the program reads or
// writes one it looks at what the path holds, so a mistyped --ini naming a
// device, an image or a notes file is never read past that look nor
// destroyed, a file saved in another encoding keeps a copy, and a write is
// judged by what reached the file rather than by an error left from reading.
#pragma once

#include <QString>
#include <QStringList>

class QSettings;

enum class IniFileState {
    Missing,
    Text, // settings text in UTF-8, or empty
    NotUtf8, // settings text, but its other bytes would turn into U+FFFD on the next write
    NotText, // NUL or other control bytes than tab, CR and LF: some other kind of file
    NotSettings, // text with a line that is no setting, group, comment or blank
    NotRegular, // a folder, device, FIFO or socket: never opened
};

struct IniFileCheck
{
    IniFileState state = IniFileState::Missing;
    int line = 0; // NotSettings: the first line that is no setting, counted from 1
    QString lineText; // and that line, shortened for a message

    // Empty unless the file must be neither read nor written: says why, after the path.
    QString refusal(const QString &path) const;
};
IniFileCheck checkIniFile(const QString &path);
inline IniFileState iniFileState(const QString &path)
{
    return checkIniFile(path).state;
}

// Whether every line is blank, a [group], a key=value or a ; or # comment.
// Returns 0 when it does, else the number of the first line that is not.
int firstLineNotSetting(const QByteArray &bytes, QString *lineText = nullptr);

// Copies the file to path + ".damaged", replacing an older copy; the copy's
// path, or an empty string when it could not be made.
QString keepDamagedCopy(const QString &path);

// Writes the settings out; true when the file now holds every value of the
// given groups.
bool syncAndCheck(QSettings &settings, const QStringList &groups);
