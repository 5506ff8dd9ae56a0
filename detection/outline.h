// Recognises the outline of a whole-world map in a projection whose edge is
// not a rectangle (an ellipse for Mollweide, flat poles with curved sides for
// Robinson and its kin, Winkel tripel's rounded sides) from where each row of
// the map begins and ends.
#pragma once

#include <QString>

#include <vector>

struct OutlineMatch
{
    QString projection;
    // The outline's bounding rectangle, inclusive, in image pixels.
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    // Mean distance in pixels between the rows' ends and the outline.
    double error = 0.0;
};

// first[k] and last[k] are the first and last map pixels of image row top + k
// (-1 where the row holds none). Matches the projections whose whole-world
// outline is curved; only one may fit, clearly closer than any other.
bool matchOutline(
    const std::vector<int> &first, const std::vector<int> &last, int top, OutlineMatch *match);
