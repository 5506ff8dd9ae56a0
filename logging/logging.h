// Diagnostic lines go through one category that is off unless the user turns
// it on (QT_LOGGING_RULES="plano.debug=true"), so a command-line user sees only
// what is meant for them.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPlano)

#define planoDebug() qCDebug(lcPlano).noquote()
