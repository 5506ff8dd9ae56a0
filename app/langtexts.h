// Language texts: every user-visible text has a built-in Japanese default that
// a language file (INI, one group per window) may replace without a rebuild.
#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

// A window's table of texts looked up by key after start. Looking up a key the
// table lacks inserts it with an empty text.
class TextTable
{
public:
    QString operator[](const QString &key) const { return m_texts.value(key); }
    QString value(const QString &key) const { return m_texts.value(key); }
    void insert(const QString &key, const QString &text) { m_texts.insert(key, text); }
    bool contains(const QString &key) const { return m_texts.contains(key); }
    QStringList keys() const { return m_texts.keys(); }

private:
    QMap<QString, QString> m_texts;
};

using TextDefaults = QList<QPair<QString, QString>>; // key, built-in text, in reading order

namespace LangTexts {

// Widget keys of each group in reading order, and table keys with defaults.
const QStringList &mainWidgetKeys();
const TextDefaults &mainTableDefaults();
const QStringList &batchWidgetKeys();
const TextDefaults &batchTableDefaults();
const QStringList &configWidgetKeys();
const TextDefaults &configTableDefaults();

// Widget keys with the built-in texts of their widgets (the form texts), in the
// same reading order as the key lists above.
const TextDefaults &mainWidgetTexts();
const TextDefaults &batchWidgetTexts();
const TextDefaults &configWidgetTexts();

// Reads one group of the language file. For each widget key with a non-empty
// value, applyWidgetText(key, text) is called in reading order; each table key
// is stored in table with its value, or its default when the value is empty.
// A value the INI reader does not return as one string (an unquoted comma
// makes a list) counts as empty. A missing file reads as an empty one.
void readGroup(const QString &langFile, const QString &group, const QStringList &widgetKeys,
    const TextDefaults &tableDefaults,
    const std::function<void(const QString &key, const QString &text)> &applyWidgetText,
    TextTable &table);

} // namespace LangTexts
