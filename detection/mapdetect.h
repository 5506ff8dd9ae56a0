// Finds the drawn map inside a map image: the rectangle where the map begins
// and ends, ignoring the page around it (white or tinted), frame lines, ticks,
// titles, legends and colour bars. Parallels and meridians, where drawn, give
// the projection and the box; a whole-world Miller map, or a Mercator map cut
// symmetrically at a multiple of 5°, is recognised by the rectangle's shape
// once its land agrees. The land also tells where along the circle the map
// starts. Whatever is not read keeps the value it is given.
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
    // The margins found; projection and box as read, or the fallback's.
    ParamSet params;
    // The map spans the full circle of longitudes.
    bool wholeWorld = false;
    // Projection and latitudes read from the spacing of the map's parallels,
    // and how many parallels were read.
    bool fromGraticule = false;
    int parallels = 0;
    // Evenly spaced meridians read, and how the longitudes were found: matched
    // to the land, or a whole-world map taken to start at -180° because the
    // land did not decide.
    int meridians = 0;
    enum class Longitudes { Kept, Land, Assumed };
    Longitudes longitudes = Longitudes::Kept;
    // The projection whose whole-world outline the map has, where its edge
    // is curved (an ellipse, rounded sides); empty otherwise.
    QString outline;
    // How well the map's sea agrees with the world's at the box read (-1 … 1).
    double landScore = 0.0;
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
