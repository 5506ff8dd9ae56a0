#include "batch/batchreport.h"

#include "batch/batchrun.h"

QString batchReportText(const BatchResult &result, const TextTable &texts)
{
    if (!result.refusal.isEmpty())
        return result.refusal;
    if (result.succeeded == result.total)
        return texts.value(QStringLiteral("batch_success"));
    return texts.value(QStringLiteral("batch_fail1")) + QString::number(result.succeeded)
        + texts.value(QStringLiteral("batch_fail2")) + QString::number(result.failed)
        + texts.value(QStringLiteral("batch_fail3"));
}
