// Which language file the texts come from: the one chosen in the View menu
// (stored as Language in the settings file), else the one beside the
// executable, else the built-in Japanese texts.
#pragma once

#include <QList>
#include <QString>

namespace Languages {

struct Language
{
    QString id; // stored as the choice: "ja", or the file name before "_lang.ini"
    QString name; // the language's own name, from its file's main/language_name
    QString file; // empty for the built-in texts
};

// The built-in Japanese first, then every "*_lang.ini" of langDir by name.
QList<Language> available(const QString &langDir);

// An empty result means the built-in texts. A stored choice whose file is
// gone counts as no choice.
QString chooseFile(const QString &stored, const QString &besideExe, const QString &langDir);

// The toolkit's language for a language file: main/locale, "ja" built in.
QString localeOf(const QString &langFile);

} // namespace Languages
