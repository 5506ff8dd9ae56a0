// File → save and load a parameter file: the file dialog, the questions and
// the report, over the checks of the parameter-file reader and writer.
#pragma once

#include "app/langtexts.h"
#include "projection/convertparams.h"

#include <QString>

#include <optional>

class QWidget;

namespace ParamFileDialogs {

// Asks where, then saves, telling the user how it went.
void save(QWidget *parent, const TextTable &texts, const QString &folder, const ParamSet &params);
// Asks which file and reads it over `base`; nothing when cancelled, or when
// the file holds no parameters, which the user is told under `title`.
std::optional<ParamSet> load(QWidget *parent, const TextTable &texts, const QString &folder,
    const QString &title, const ParamSet &base);

} // namespace ParamFileDialogs
