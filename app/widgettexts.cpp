#include "app/widgettexts.h"

#include "logging/logging.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMenu>

bool applyLanguageText(const TextTargets &targets, const QString &key, const QString &text)
{
    QObject *target = targets.value(key);
    if (auto *label = qobject_cast<QLabel *>(target))
        label->setText(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(target))
        button->setText(text);
    else if (auto *action = qobject_cast<QAction *>(target)) {
        action->setText(text);
        action->setToolTip(text);
        action->setIconText(text);
    } else if (auto *menu = qobject_cast<QMenu *>(target))
        menu->setTitle(text);
    else if (auto *widget = qobject_cast<QWidget *>(target); widget && widget->isWindow())
        widget->setWindowTitle(text);
    else
        return false;
    return true;
}

void loadLanguageGroup(const QString &langFile, const QString &group, const QStringList &widgetKeys,
    const TextDefaults &tableDefaults, const TextTargets &targets, TextTable &table)
{
    LangTexts::readGroup(
        langFile, group, widgetKeys, tableDefaults,
        [&](const QString &key, const QString &text) {
            if (!applyLanguageText(targets, key, text))
                planoDebug() << group << " text without a widget: " << key;
        },
        table);
}
