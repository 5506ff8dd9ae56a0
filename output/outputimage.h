// The output image of one source: the equirectangular target at the output
// size, transparent where the map does not reach (the pole caps filled when
// asked). The window's preview and its save share it.
#pragma once

#include "output/polefill.h"
#include "projection/convertparams.h"
#include "projection/resampling.h"

#include <QImage>
#include <QString>

class ProjectionConverter;

struct OutputSpec
{
    int width = 2048;
    int height = 1024;
    qint64 maxPixels = qint64(1) << 29;
    Resampling resampling = Resampling::Nearest;
    PoleFill poleFill = PoleFill::None;
};

// Null, with the reason in *error, when no image of that size can be made.
// An unknown projection gives the transparent image. Runs to its end without
// yielding to the event loop.
QImage makeOutputImage(const QImage &source, const ParamSet &params, const OutputSpec &spec,
    ProjectionConverter &converter, QString *error = nullptr);
