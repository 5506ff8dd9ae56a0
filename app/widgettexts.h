// Puts language texts on the widgets, actions and menus their keys name, so
// every window maps keys to its widgets and leaves the setting to one place.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>

using TextTargets = QHash<QString, QObject *>;

// Labels and buttons take the text, actions too, menus as their title and a
// window as its window title. Returns false for a key without a target.
bool applyLanguageText(const TextTargets &targets, const QString &key, const QString &text);
