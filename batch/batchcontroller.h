// A batch run started from the window: refused at once with a message when it
// could only fail, else converted with the progress dialog in front of the
// disabled window, its stop button asked between files.
#pragma once

#include "app/langtexts.h"
#include "batch/batchrun.h"

#include <QString>
#include <QStringList>

class ProjectionConverter;
class QWidget;

namespace BatchController {

// Empty when the run may start; else the message that says why not.
QString refusal(const TextTable &texts, const QStringList &inputs, const BatchOptions &options);

// Converts inputs (reordered in place as the run takes them) with the
// window's converter, whose settings the caller puts back afterwards.
BatchResult run(QWidget *window, QStringList &inputs, const BatchOptions &options,
    ProjectionConverter &converter, const TextTable &texts);

} // namespace BatchController
