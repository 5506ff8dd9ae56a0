// Reasons to refuse a whole batch run before any file is converted: the same
// settings apply to every file, so a run that could only produce blank images
// or none at all stops once, with the reason, instead of once per file.
#pragma once

#include <QString>
#include <QStringList>

struct BatchOptions;

// Empty when the run may start. Checks the output size, the parameters, and
// the margins against every input's size as its header gives it; a file
// whose header cannot be read is left for the run to report.
QString batchRefusal(const QStringList &inputs, const BatchOptions &options);
