// Which of the main window's widgets, actions and menus shows which language
// text, found by object name so the parameter panel's labels are found too.
#pragma once

#include "app/widgettexts.h"

TextTargets mainWindowTextTargets(QObject *window);
