#include "mainwindow/languagemenu.h"

#include "app/langtexts.h"
#include "app/languages.h"

#include <QActionGroup>
#include <QMenu>
#include <QMessageBox>

LanguageMenu::LanguageMenu(QMenu *parentMenu, QWidget *window)
    : QObject(window)
    , m_window(window)
{
    parentMenu->addSeparator();
    m_menu = parentMenu->addMenu(QStringLiteral("Language / 言語"));
    m_menu->setObjectName(QStringLiteral("menuLanguage"));
}

void LanguageMenu::rebuild(
    const QString &languageDir, const QString &fileInUse, const QString &chosen)
{
    m_chosen = chosen;
    m_menu->clear();
    auto *group = new QActionGroup(m_menu);
    for (const Languages::Language &language : Languages::available(languageDir)) {
        QAction *action = m_menu->addAction(language.name);
        action->setCheckable(true);
        action->setData(language.id);
        group->addAction(action);
        action->setChecked(chosen.isEmpty() ? language.file == fileInUse : language.id == chosen);
        connect(action, &QAction::triggered, this, [this, id = language.id, file = language.file] {
            if (m_chosen == id)
                return;
            m_chosen = id;
            emit languageChosen(id);
            // Said in the language chosen, which the user reads from the next start on.
            TextTable texts;
            LangTexts::readGroup(
                file, QStringLiteral("main"), {}, LangTexts::mainTableDefaults(), nullptr, texts);
            QMessageBox box(QMessageBox::Information, m_menu->title(),
                texts.value(QStringLiteral("language_restart")), QMessageBox::Ok, m_window);
            box.setDefaultButton(QMessageBox::Ok);
            box.exec();
        });
    }
}
