#include "detection/landmask.h"

#include <QImage>

#include <algorithm>
#include <cmath>

// Outside any namespace, as the resource initialiser's declaration requires.
static void initLandMaskResource()
{
    Q_INIT_RESOURCE(landmask);
}

const LandMask &LandMask::world()
{
    static const LandMask mask;
    return mask;
}

LandMask::LandMask()
{
    initLandMaskResource();
    const QImage image = QImage(QStringLiteral(":/landmask/world-land.png"))
                             .convertToFormat(QImage::Format_Grayscale8);
    if (image.width() != kColumns || image.height() != kRows)
        return;
    m_cells.resize(size_t(kColumns) * kRows);
    for (int y = 0; y < kRows; ++y) {
        const uchar *line = image.constScanLine(y);
        for (int x = 0; x < kColumns; ++x)
            m_cells[size_t(y) * kColumns + size_t(x)] = line[x] >= 128 ? 1 : 0;
    }
}

int LandMask::column(double lon)
{
    double turns = std::fmod(lon + 180.0, 360.0);
    if (turns < 0.0)
        turns += 360.0;
    return std::min(kColumns - 1, int(turns * kCellsPerDegree));
}

int LandMask::row(double lat)
{
    const double fromNorth = (90.0 - std::clamp(lat, -90.0, 90.0)) * kCellsPerDegree;
    return std::min(kRows - 1, int(fromNorth));
}

bool LandMask::land(double lon, double lat) const
{
    if (isNull() || !std::isfinite(lon) || !std::isfinite(lat))
        return false;
    return cell(column(lon), row(lat));
}
