// Puts language texts on the widgets, actions and menus their keys name, so
// every window maps keys to its widgets and leaves the setting to one place.
#pragma once

#include "app/langtexts.h"

#include <QHash>
#include <QObject>
#include <QString>

using TextTargets = QHash<QString, QObject *>;

// Labels and buttons take the text, actions too, menus as their title and a
// window as its window title. Returns false for a key without a target.
bool applyLanguageText(const TextTargets &targets, const QString &key, const QString &text);

// Reads one group of the language file onto its targets and into the table:
// the dialogs' and the window's one way of taking their texts.
void loadLanguageGroup(const QString &langFile, const QString &group, const QStringList &widgetKeys,
    const TextDefaults &tableDefaults, const TextTargets &targets, TextTable &table);
