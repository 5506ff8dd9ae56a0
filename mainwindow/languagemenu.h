// View → "Language / 言語": the language files found, the one in use checked.
// The menu's title and entries are the same in every language, so that a user
// who cannot read the current one still finds the way back. A choice applies
// at the next start, which a box says in the language chosen.
#pragma once

#include <QObject>
#include <QString>

class QMenu;
class QWidget;

class LanguageMenu : public QObject
{
    Q_OBJECT

public:
    // Adds the menu at the end of `parentMenu`.
    LanguageMenu(QMenu *parentMenu, QWidget *window);

    // chosen: the stored choice ("ja", a file's name before "_lang.ini"),
    // empty when none was made, then the file in use is checked.
    void rebuild(const QString &languageDir, const QString &fileInUse, const QString &chosen);

signals:
    void languageChosen(const QString &id);

private:
    QMenu *m_menu = nullptr;
    QWidget *m_window = nullptr;
    QString m_chosen;
};
