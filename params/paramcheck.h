// Parameter sets and output sizes that leave nothing to convert are refused
// before any pixel is computed, with a reason that names the setting as the
// settings file spells it, instead of a blank image counted as converted.
#pragma once

#include "projection/convertparams.h"

#include <QSize>
#include <QString>

// Empty when the parameters can give an image. A longitude or latitude that is
// not a finite number, equal latitudes, and, for a valid sourceSize, margins
// that leave no column or row of the source.
QString paramProblem(const ParamSet &params, QSize sourceSize = QSize());

// Empty when an image of this size can exist and stays within maxPixels, the
// limit that also guards the source images; the settings file's 0 for a value
// that is not a number is refused here too.
QString outputSizeProblem(int width, int height, qint64 maxPixels);

// The widgets can show no NaN and turn it into a bound. Where the user has not
// touched such a value since loading, the value read stays the one in force,
// so it is refused and written back as it was instead of silently becoming 90.
ParamSet keepUnreadableValues(
    const ParamSet &current, const ParamSet &shownAtLoad, const ParamSet &asRead);
