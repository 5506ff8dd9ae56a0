#include "batch/batchreport.h"

#include "batch/batchrun.h"

QString batchReportText(const BatchResult &result, const TextTable &texts)
{
    if (!result.refusal.isEmpty())
        return result.refusal;
    // A stop is the user's choice, not a failure: it says what was left undone.
    if (result.stopped) {
        return texts.value(QStringLiteral("batch_stopped"))
            .arg(result.succeeded)
            .arg(result.total)
            .arg(result.total - result.succeeded);
    }
    return texts.value(QStringLiteral("batch_success")) + QLatin1Char('\n')
        + texts.value(QStringLiteral("batch_counts")).arg(result.succeeded).arg(result.failed);
}
