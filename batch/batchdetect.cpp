// The per-file parameters of a batch run: one shared set, or each file's own
// map area when the run detects it.
#include "batch/batchrun.h"
#include "detection/mapdetect.h"

bool paramsForInput(
    const QImage &source, const BatchOptions &options, ParamSet *params, QString *reason)
{
    *params = options.params;
    if (!options.autoDetect)
        return true;
    const MapDetection found = detectMapArea(source, options.params);
    if (!found.found) {
        *reason = QStringLiteral("no map area found: ") + found.reason;
        return false;
    }
    *params = found.params;
    return true;
}
