#include "app/inifile.h"

#include <QFile>
#include <QSettings>
#include <QTextCodec>
#include <QVariant>

namespace {

// A settings file of this size is some other file named by mistake.
constexpr qint64 kMaxIniBytes = qint64(16) << 20;

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.type() == QVariant::ByteArray || b.type() == QVariant::ByteArray)
        return a.toByteArray() == b.toByteArray();
    return a.toString() == b.toString();
}

} // namespace

IniFileState iniFileState(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return IniFileState::Missing;
    if (file.size() > kMaxIniBytes)
        return IniFileState::NotText;
    // An unreadable file is left to the reader, which sees it as empty.
    if (!file.open(QIODevice::ReadOnly))
        return IniFileState::Text;
    const QByteArray bytes = file.readAll();
    for (const char c : bytes) {
        const uchar u = uchar(c);
        if ((u < 0x20 && u != '\t' && u != '\r' && u != '\n') || u == 0x7f)
            return IniFileState::NotText;
    }
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0)
        return IniFileState::NotUtf8;
    return IniFileState::Text;
}

QString keepDamagedCopy(const QString &path)
{
    const QString copy = path + QStringLiteral(".damaged");
    QFile::remove(copy);
    return QFile::copy(path, copy) ? copy : QString();
}

bool syncAndCheck(QSettings &settings, const QStringList &groups)
{
    // A file that failed to parse keeps FormatError after a good write, so
    // that status alone cannot tell; read the file back instead.
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    if (settings.status() != QSettings::FormatError)
        return false;
    QSettings check(settings.fileName(), QSettings::IniFormat);
    check.setIniCodec("UTF-8");
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys) {
        const QString group = key.section(QLatin1Char('/'), 0, 0);
        if (!groups.contains(group))
            continue;
        if (!check.contains(key) || !sameValue(check.value(key), settings.value(key)))
            return false;
    }
    return true;
}
