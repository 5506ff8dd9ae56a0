// The map-area frame and the 30-degree grid drawn over the source image, so the
// user sees at once whether the parameters fit the drawn map. Pure: a new image
// from (image, parameters, pen), placed by the same maps the conversion uses.
#pragma once

#include "projection/convertparams.h"

#include <QColor>
#include <QImage>
#include <QPen>

class ProjectionConverter;

// Solid brush of the colour, square cap and bevel join.
QPen overlayPen(int width, const QColor &color);

// A 32-bit ARGB copy of the source; with pointMode the frame is drawn solid and
// the grid lines dotted inside it. The converter is reconfigured from params.
// An unknown projection draws the frame alone. A null source gives a null image.
QImage renderOverlay(const QImage &source, const ConvertParams &params, const QPen &pen,
    bool pointMode, ProjectionConverter &converter);
