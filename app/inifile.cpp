#include "app/inifile.h"

#include <QFile>
#include <QFileInfo>
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

int firstLineNotSetting(const QByteArray &bytes, QString *lineText)
{
    const QList<QByteArray> lines = bytes.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (i == 0 && line.startsWith("\xEF\xBB\xBF"))
            line = line.mid(3);
        line = line.trimmed();
        const bool setting = line.isEmpty() || line.startsWith(';') || line.startsWith('#')
            || (line.startsWith('[') && line.endsWith(']'))
            || !line.left(qMax(0, line.indexOf('='))).trimmed().isEmpty();
        if (!setting) {
            if (lineText) {
                *lineText = QString::fromUtf8(line.left(60))
                    + (line.size() > 60 ? QStringLiteral("\u2026") : QString());
            }
            return i + 1;
        }
    }
    return 0;
}

QString IniFileCheck::refusal(const QString &path) const
{
    switch (state) {
    case IniFileState::NotRegular:
        return QStringLiteral("%1 is not a regular file").arg(path);
    case IniFileState::NotText:
        return QStringLiteral("%1 is not a settings file (it holds binary data)").arg(path);
    case IniFileState::NotSettings:
        return QStringLiteral("%1 is not a settings file (line %2, \"%3\", is no setting)")
            .arg(path)
            .arg(line)
            .arg(lineText);
    case IniFileState::Missing:
    case IniFileState::Text:
    case IniFileState::NotUtf8:
        break;
    }
    return QString();
}

IniFileCheck checkIniFile(const QString &path)
{
    IniFileCheck check;
    const QFileInfo info(path);
    if (!info.exists())
        return check;
    // A device or FIFO could block or never end: look no further.
    if (!info.isFile()) {
        check.state = IniFileState::NotRegular;
        return check;
    }
    check.state = IniFileState::Text;
    if (info.size() > kMaxIniBytes) {
        check.state = IniFileState::NotText;
        return check;
    }
    QFile file(path);
    // An unreadable file is left to the reader, which sees it as empty.
    if (!file.open(QIODevice::ReadOnly))
        return check;
    const QByteArray bytes = file.read(kMaxIniBytes + 1);
    if (bytes.size() > kMaxIniBytes) {
        check.state = IniFileState::NotText;
        return check;
    }
    for (const char c : bytes) {
        const uchar u = uchar(c);
        if ((u < 0x20 && u != '\t' && u != '\r' && u != '\n') || u == 0x7f) {
            check.state = IniFileState::NotText;
            return check;
        }
    }
    check.line = firstLineNotSetting(bytes, &check.lineText);
    if (check.line > 0) {
        check.state = IniFileState::NotSettings;
        return check;
    }
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0)
        check.state = IniFileState::NotUtf8;
    return check;
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
