#include "batch/batchcheck.h"

#include "batch/batchrun.h"
#include "params/paramcheck.h"

#include <QFileInfo>
#include <QImageReader>

QString batchRefusal(const QStringList &inputs, const BatchOptions &options)
{
    QString problem
        = outputSizeProblem(options.outputSizeX, options.outputSizeY, options.maxImagePixels);
    if (!problem.isEmpty())
        return problem;
    problem = paramProblem(options.params);
    if (!problem.isEmpty())
        return problem;
    // Each file's own margins replace these; its detection reports its failure.
    if (options.autoDetect)
        return QString();
    for (const QString &input : inputs) {
        // A FIFO would block the header read; the run reports such a file.
        if (!QFileInfo(input).isFile())
            continue;
        const QSize size = QImageReader(input).size();
        problem = paramProblem(options.params, size);
        if (!problem.isEmpty())
            return QStringLiteral("%1: %2").arg(QFileInfo(input).fileName(), problem);
    }
    return QString();
}
