#include "output/outputimage.h"

#include "imageio/imagebuffer.h"
#include "params/paramcheck.h"
#include "projection/projectionconverter.h"

QImage makeOutputImage(const QImage &source, const ParamSet &params, const OutputSpec &spec,
    ProjectionConverter &converter, QString *error)
{
    QString why = outputSizeProblem(spec.width, spec.height, spec.maxPixels);
    QImage target;
    if (why.isEmpty())
        target = allocateImage(QSize(spec.width, spec.height), QImage::Format_ARGB32);
    if (target.isNull()) {
        if (error)
            *error = why.isEmpty() ? outputMemoryProblem(spec.width, spec.height) : why;
        return QImage();
    }
    target.fill(0);
    if (!params.applyTo(converter))
        return target;
    converter.setResampling(spec.resampling);
    // The source is already 32-bit, which the remap reads as it is.
    converter.remap(source, target, false);
    if (spec.poleFill == PoleFill::Mean)
        fillPoleCaps(target);
    return target;
}
