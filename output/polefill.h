// The caps a map leaves short of the poles: the target rows above its first
// and below its last row with any map pixel. Left transparent they show as
// holes on the globe; filled with the edge row's mean colour they do not.
#pragma once

#include <QImage>

// The settings value PoleFill: 0 none, 1 mean.
enum class PoleFill { None = 0, Mean = 1 };

// Anything unknown is none, the output as it was before the option existed.
PoleFill poleFillFromInt(int value);

// Fills each cap of an ARGB32 target with the mean colour (rounded, opaque) of
// the opaque pixels of the map row next to it, in the columns where that row
// is opaque. A row with any pixel of nonzero alpha is a map row, not a cap. A
// target without map pixels, or of another format, is left as it is.
void fillPoleCaps(QImage &target);
