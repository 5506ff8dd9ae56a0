// Finds the drawn map inside a map image: the rectangle where the map begins
// and ends, ignoring the page around it (white or tinted), frame lines, ticks,
// titles, legends and colour bars. A whole-world Miller map, or a Mercator map
// cut symmetrically at a multiple of 5°, is recognised by the rectangle's
// shape; anything else keeps the projection and box it is given.
#pragma once

#include "projection/convertparams.h"

#include <QImage>
#include <QString>
#include <QStringList>

struct MapDetection
{
    bool found = false;
    // Why nothing map-like was found; empty when found.
    QString reason;
    // The margins found; projection and box either from the shape (wholeWorld)
    // or the fallback's.
    ParamSet params;
    bool wholeWorld = false;
    // Projection and latitudes read from the spacing of the map's parallels,
    // and how many parallels were read.
    bool fromGraticule = false;
    int parallels = 0;
    // 0 … 1: how full the rectangle is and how many of its sides ended at a
    // clear page or frame edge.
    double confidence = 0.0;
    int sidesAtEdge = 0;
    // The widest run of frame line pixels that the margins leave inside the
    // map area (the area ends in the middle of a frame line).
    int frameLine = 0;

    // One line about what was found, for a status line or the error stream.
    QString summary(int imageWidth, int imageHeight) const;
    // How each group of values was found, or that it was kept, one comment
    // line each ("; longitudes: kept"), for the top of a parameter file.
    QStringList sourceLines() const;
    // The groups whose values were read from the image, and those kept.
    enum class Group { Margins, ProjectionAndLatitudes, Longitudes };
    bool read(Group group) const;
};

// Works on 32-bit images (others are converted first). The fallback supplies
// the projection and box when the shape does not name them.
MapDetection detectMapArea(const QImage &image, const ParamSet &fallback);
