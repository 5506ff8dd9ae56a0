#include "app/languages.h"

#include "app/langtexts.h"

#include <QDir>
#include <QFileInfo>

namespace Languages {

namespace {

const QString kBuiltIn = QStringLiteral("ja");
const QString kSuffix = QStringLiteral("_lang.ini");

QString mainText(const QString &langFile, const QString &key)
{
    TextTable table;
    LangTexts::readGroup(
        langFile, QStringLiteral("main"), {}, LangTexts::mainTableDefaults(), nullptr, table);
    return table.value(key);
}

} // namespace

QList<Language> available(const QString &langDir)
{
    QList<Language> languages { { kBuiltIn, mainText(QString(), QStringLiteral("language_name")),
        QString() } };
    const QStringList names = QDir(langDir).entryList(
        QStringList(QLatin1Char('*') + kSuffix), QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &name : names) {
        const QString file = QDir(langDir).filePath(name);
        const QString id = name.left(name.size() - kSuffix.size());
        const QString own = mainText(file, QStringLiteral("language_name"));
        // A file without its own name would read as Japanese in the menu.
        const bool named = own != languages.first().name;
        languages.append({ id, named ? own : id, file });
    }
    return languages;
}

QString chooseFile(const QString &stored, const QString &besideExe, const QString &langDir)
{
    if (stored == kBuiltIn)
        return QString();
    if (!stored.isEmpty() && !stored.contains(QLatin1Char('/'))) {
        const QString file = QDir(langDir).filePath(stored + kSuffix);
        if (QFileInfo(file).isFile())
            return file;
    }
    return QFileInfo(besideExe).isFile() ? besideExe : QString();
}

QString localeOf(const QString &langFile)
{
    return mainText(langFile, QStringLiteral("locale"));
}

} // namespace Languages
