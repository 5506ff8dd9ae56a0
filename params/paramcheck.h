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

// Why an output image of this size could not be allocated.
QString outputMemoryProblem(int width, int height);

// The ranges and the decimals of the parameter fields.
constexpr double kMaxLongitude = 180.0;
constexpr double kMaxLatitude = 90.0;
constexpr int kDegreeDecimals = 1;
// The margin fields' bound while no image measures the margins.
constexpr int kMarginLimitWithoutImage = 1024;

// The ranges and the rounding of the parameter fields, so that a batch
// converts a file as the window that loads it does. Margins only lose their
// sign: each image bounds them, and a batch checks them against it.
ParamSet boundedParams(ParamSet params);
