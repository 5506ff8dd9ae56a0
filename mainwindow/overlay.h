// The map-area frame and the 30-degree grid drawn over the source image, so the
// user sees at once whether the parameters fit the drawn map. The lines are
// placed in image pixels by the same maps the conversion uses; the source view
// draws them over its display-size picture, renderOverlay onto a full copy.
#pragma once

#include "projection/convertparams.h"

#include <QColor>
#include <QImage>
#include <QLine>
#include <QPen>
#include <QRect>
#include <QVector>

class ProjectionConverter;
class QPainter;

// Solid brush of the colour, square cap and bevel join.
QPen overlayPen(int width, const QColor &color);

// What the overlay draws, in image pixels: the frame (solid) and the grid lines
// inside it (dotted). Nothing is drawn when it is not shown.
struct OverlayLines
{
    bool shown = false;
    // Corners on the map area's outer columns and rows, where the grid lines for
    // -180 and -90 fall.
    QRect frame;
    QVector<QLine> grid;
};

// The lines for an image of the given size; empty unless pointMode. The
// converter is reconfigured from params; an unknown projection gives the frame
// alone.
OverlayLines overlayLines(
    const ConvertParams &params, bool pointMode, QSize imageSize, ProjectionConverter &converter);

// A view coordinate for an image coordinate at viewPerImage view pixels per
// image pixel: the view pixel under the image pixel's centre. 1 is the identity.
int imageToView(int v, double viewPerImage);

// Draws the lines with the pen, its width in painter pixels, mapped by
// imageToView; at 1 this is the drawing onto the image itself.
void paintOverlay(
    QPainter &painter, const OverlayLines &lines, const QPen &pen, double viewPerImage = 1.0);

// A 32-bit ARGB copy of the source with the overlay drawn on it at natural
// size; a null source gives a null image.
QImage renderOverlay(const QImage &source, const ConvertParams &params, const QPen &pen,
    bool pointMode, ProjectionConverter &converter);
