#include "batch/batchcontroller.h"

#include "app/messages.h"
#include "batch/batchcheck.h"
#include "batch/batchprogressdialog.h"

#include <QWidget>

namespace BatchController {

QString refusal(const TextTable &texts, const QStringList &inputs, const BatchOptions &options)
{
    if (inputs.isEmpty())
        return QString();
    if (!projectionList().contains(options.params.projection))
        return Messages::unknownProjection(texts, options.params.projection);
    if (options.outputFolder.isEmpty())
        return texts[QStringLiteral("batch_no_output_folder")];
    if (const QString wrong = batchRefusal(inputs, options); !wrong.isEmpty())
        return Messages::paramInvalid(texts, wrong);
    return QString();
}

BatchResult run(QWidget *window, QStringList &inputs, const BatchOptions &options,
    ProjectionConverter &converter, const TextTable &texts)
{
    BatchProgressDialog progress(window);
    progress.setTotal(inputs.size());
    progress.setStopButtonText(texts[QStringLiteral("batch_btn_stop")]);
    progress.setWindowTitle(texts[QStringLiteral("batch_progress_title")]);

    BatchRunner runner;
    runner.processEvents = true;
    runner.stopRequested = [&progress] { return progress.stopRequested(); };
    runner.progress
        = [&progress](int k, int, const QString &, const QString &) { progress.setProgress(k); };
    progress.show();
    window->setEnabled(false);
    progress.setEnabled(true);
    const BatchResult result = runner.run(inputs, options, converter);
    window->setEnabled(true);
    progress.hide();
    return result;
}

} // namespace BatchController
