#include "mainwindow/mainwindow.h"

#include "app/batchcommand.h"
#include "app/installpaths.h"
#include "app/languages.h"
#include "app/messages.h"
#include "app/widgettexts.h"
#include "batch/batchcontroller.h"
#include "batch/batchconvertdialog.h"
#include "batch/batchreport.h"
#include "batch/openfolder.h"
#include "detection/mapdetect.h"
#include "imageio/imageload.h"
#include "logging/logging.h"
#include "mainwindow/languagemenu.h"
#include "mainwindow/openstep.h"
#include "mainwindow/overlay.h"
#include "mainwindow/paramfiledialogs.h"
#include "mainwindow/sourceview.h"
#include "mainwindow/windowtexts.h"
#include "options/optionsdialog.h"
#include "output/outputimage.h"
#include "params/paramcheck.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QStatusBar>
#include <QtConcurrent>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
{
    m_preview = new PreviewWindow(this);
    ui->setupUi(this);
    m_panel = ui->paramPanel;
    m_save = new SaveStep(ui->lineSaveFilename, m_settings, m_texts, this);
    // The status line takes room from the panels only while it has something to say.
    QStatusBar *status = statusBar();
    status->hide();
    connect(status, &QStatusBar::messageChanged, status,
        [status](const QString &text) { status->setVisible(!text.isEmpty()); });
    connect(m_panel, &ParamPanel::paramsChanged, this, &MainWindow::parametersChanged);
    m_languageMenu = new LanguageMenu(ui->menuView, this);
    connect(m_languageMenu, &LanguageMenu::languageChosen, this,
        [this](const QString &id) { m_settings.language = id; });

    ui->label->setMouseTracking(true);
    m_frame = new FrameEditor(ui->label, [this] { return m_panel->margins(); });
    connect(m_frame, &FrameEditor::tentative, this,
        [this](const Margins &m) { drawOverlay(m_panel->shownWith(m)); });
    connect(m_frame, &FrameEditor::committed, this, [this](const Margins &m) {
        m_panel->setMargins(m);
        parametersChanged();
    });
    connect(m_frame, &FrameEditor::hidden, this, &MainWindow::redrawOverlay);
    connect(m_preview, &PreviewWindow::shown, ui->actionPreview_Window,
        [this] { ui->actionPreview_Window->setChecked(true); });
    connect(m_preview, &PreviewWindow::hidden, ui->actionPreview_Window,
        [this] { ui->actionPreview_Window->setChecked(false); });

    m_startupTimer = new QTimer(this);
    connect(m_startupTimer, &QTimer::timeout, this, &MainWindow::startDeferred);
    m_startupTimer->start(1000);
    m_refresh = new PreviewRefresh(
        m_preview, m_settings.autoPreview, [this] { makeOutputImage(); }, this);
}

MainWindow::~MainWindow()
{
    stopLoading();
}

SourceView *MainWindow::sourceView() const
{
    return ui->label;
}

void MainWindow::on_btnDetect_clicked()
{
    detectMapArea(ui->btnDetect->text());
}

void MainWindow::on_actionDetect_triggered()
{
    detectMapArea(ui->actionDetect->text());
}

void MainWindow::setPaths(const CommandLine::Paths &paths)
{
    m_paths = paths;
    m_besideLangFile = paths.langFile;
}

void MainWindow::loadSettings()
{
    m_settings.params = m_panel->params();
    m_settings.load(m_paths.settingsFile, m_paths.appDir);
    if (!m_settings.geometry.isEmpty())
        restoreGeometry(m_settings.geometry);
    if (!m_settings.previewGeometry.isEmpty())
        m_preview->restoreGeometry(m_settings.previewGeometry);
    m_preview->setGlobeShown(m_settings.previewGlobe);
    m_panel->setParams(m_settings.params);
    redrawOverlay();
    updateSaveFilename();
}

bool MainWindow::saveSettings(QString *error)
{
    m_settings.geometry = saveGeometry();
    m_settings.previewGeometry = m_preview->saveGeometry();
    m_settings.previewWindow = m_preview->isVisible();
    m_settings.previewGlobe = m_preview->globeShown();
    m_settings.params = m_panel->params();
    return m_settings.save(m_paths.settingsFile, error);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A file left alone was reported when it was read; a window never shown
    // has nobody to answer a box.
    QString error;
    if (!m_settings.leftAlone && !saveSettings(&error)) {
        if (isVisible())
            showMessage(QMessageBox::Warning, windowTitle(),
                m_paths.settingsFile + m_texts[QStringLiteral("settings_write_failed")]);
        else
            planoDebug() << error;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::loadTexts()
{
    m_paths.langFile = Languages::chooseFile(m_settings.language, m_besideLangFile, languageDir());
    const TextTargets targets = mainWindowTextTargets(this);
    // The built-in texts come from the same table as the keys, not from the
    // form, so every key has its Japanese text even where the form differs.
    for (const auto &entry : LangTexts::mainWidgetTexts())
        applyLanguageText(targets, entry.first, entry.second);
    loadLanguageGroup(m_paths.langFile, QStringLiteral("main"), LangTexts::mainWidgetKeys(),
        LangTexts::mainTableDefaults(), targets, m_texts);
    m_panel->setProjectionNames(m_texts);
    setWindowTitle(m_texts[QStringLiteral("title")] + QStringLiteral(" 1.0"));
    m_preview->setWindowTitle(m_texts[QStringLiteral("preview_window_title")]);
    m_preview->setTexts(m_texts);
    m_languageMenu->rebuild(languageDir(), m_paths.langFile, m_settings.language);
}

QString MainWindow::languageDir() const
{
    return InstallPaths::dataDir(m_paths.appDir) + QStringLiteral("/lang");
}

void MainWindow::startDeferred()
{
    m_startupTimer->stop();
    // Said once the window is up; the defaults are in use meanwhile.
    if (!m_settings.loadProblem.isEmpty()) {
        showMessage(QMessageBox::Warning, windowTitle(),
            m_paths.settingsFile + m_texts[QStringLiteral("settings_unusable")]
                + QStringLiteral("\n(") + m_settings.loadProblem + QLatin1Char(')'));
    }
    applyAutoSize(m_settings.autoSize);
    if (m_settings.previewWindow)
        m_preview->show();
    if (m_settings.autoPreview)
        ui->actionAuto_Preview->setChecked(true);

    m_batchInputs
        = CommandLine::expandPatterns(CommandLine::parse(QCoreApplication::arguments()).inputs);
    if (m_batchInputs.size() == 1)
        m_settings.loadFilePath = m_batchInputs.first();
    if (m_batchInputs.size() > 1)
        startBatchConvert();
    else if (!m_settings.loadFilePath.isEmpty())
        openImage();
    // Without an image the stored margins stay cut to the fields' range.
    if (m_source.isNull() && !imageLoading())
        noteCuts(m_panel->setImageSize(QSize()));
}

void MainWindow::applyAutoSize(bool checked)
{
    m_settings.autoSize = checked;
    fixNaturalSize();
    ui->actionAuto_Size->setChecked(checked);
}

void MainWindow::fixNaturalSize()
{
    sizeSourcePane(ui->scrollArea_R, ui->label, m_settings.autoSize,
        ui->labelLoadedFilename->sizeHint().height());
}

void MainWindow::on_actionAuto_Preview_triggered(bool checked)
{
    m_settings.autoPreview = checked;
    if (checked && m_preview->isVisible())
        makeOutputImage();
}

void MainWindow::on_actionPreview_Window_triggered(bool checked)
{
    m_preview->setVisible(checked);
    if (checked && isVisible())
        makeOutputImage();
}

void MainWindow::parametersChanged()
{
    redrawOverlay();
    previewIfAuto();
}

void MainWindow::noteCuts(const QStringList &cuts)
{
    if (cuts.isEmpty())
        return;
    m_paramNotice.clear();
    statusBar()->showMessage(Messages::marginsCut(m_texts, cuts, !m_source.isNull()));
}

void MainWindow::showParamProblem()
{
    const QString wrong = paramProblem(m_panel->params(), m_source.size());
    if (!wrong.isEmpty() && !m_source.isNull()) {
        m_paramNotice = Messages::paramInvalidLine(m_texts, wrong);
        statusBar()->showMessage(m_paramNotice);
    } else if (!m_paramNotice.isEmpty()) {
        if (statusBar()->currentMessage() == m_paramNotice)
            statusBar()->clearMessage();
        m_paramNotice.clear();
    }
}

void MainWindow::on_actionParam_Reset_triggered()
{
    m_converter.reset();
    m_frame->setFrameActive(!m_source.isNull());
    m_panel->setParams(ParamSet::fromTable(m_converter.exportParams()));
    redrawOverlay();
}

void MainWindow::detectMapArea(const QString &title)
{
    if (m_source.isNull())
        return;
    const MapDetection found = ::detectMapArea(m_source, m_panel->params());
    planoDebug() << "detect = " << found.summary(m_source.width(), m_source.height());
    if (!found.found) {
        showMessage(QMessageBox::Warning, title,
            Messages::withReason(m_texts[QStringLiteral("detect_failed")], found.reason));
        return;
    }
    m_frame->setFrameActive(true);
    applyParamSet(found.params);
    // What was read and what stayed as it was, rather than a silent change.
    statusBar()->showMessage(Messages::detectSources(m_texts, found));
}

void MainWindow::applyParamSet(const ParamSet &params)
{
    noteCuts(m_panel->setParams(params));
    redrawOverlay();
    previewIfAuto();
}

void MainWindow::redrawOverlay()
{
    drawOverlay(m_panel->shown());
    showParamProblem();
}

// Only the lines are placed here; the view draws them over its own picture at
// its next paint, so a run of pointer moves costs one paint.
void MainWindow::drawOverlay(const ParamSet &params)
{
    // While a big image decodes, over its reduced stand-in at the full size.
    const QSize size = ui->label->imageSize();
    if (size.isEmpty())
        return;
    ui->label->setOverlay(overlayLines(params.toTable(), ui->label->pointMode, size, m_converter),
        overlayPen(m_settings.penSize, m_settings.penColor));
}

// Runs to its end without yielding to the event loop: a change made meanwhile
// could otherwise start a newer remap inside this one, which would then hand
// its older picture to the preview last.
QImage MainWindow::makeOutputImage(QString *error)
{
    m_refresh->cancel();
    if (m_source.isNull())
        return QImage();
    const OutputSpec spec { m_settings.outputSizeX, m_settings.outputSizeY,
        m_settings.maxImagePixels, resamplingFromInt(m_settings.resampling),
        poleFillFromInt(m_settings.poleFill) };
    QString why;
    const QImage target = ::makeOutputImage(m_source, m_panel->params(), spec, m_converter, &why);
    if (error)
        *error = why;
    m_preview->present(target, why);
    return target;
}

void MainWindow::on_btnImageRead_clicked()
{
    const QString path = OpenStep::askImageFile(this, m_texts, m_settings.loadFilePath);
    if (path.isEmpty())
        return;
    m_settings.loadFilePath = path;
    openImage();
}

void MainWindow::openImage()
{
    // The old image goes first, so old and new are never held together; its
    // result goes with it.
    m_source = QImage();
    ui->label->setImage(QImage());
    m_preview->clear();
    stopLoading();
    const QString path = m_settings.loadFilePath;
    const qint64 maxPixels = m_settings.maxImagePixels;
    const PreviewImage first = OpenStep::firstView(path, maxPixels);
    if (first.image.isNull()) {
        imageOpened(OpenStep::openWithBusyCursor(path, maxPixels));
        return;
    }
    ui->label->setStandIn(first.image, first.size);
    fixNaturalSize();
    // The frame and grid work on the stand-in meanwhile; converting waits.
    m_frame->setImageSize(first.size);
    m_frame->setFrameActive(true);
    noteCuts(m_panel->setImageSize(first.size));
    redrawOverlay();
    m_nameBeforeLoad = ui->labelLoadedFilename->text();
    m_pathBeforeLoad = ui->labelLoadedFilename->toolTip();
    showOpenedName(path);
    m_loading = new QFutureWatcher<SourceImage>(this);
    m_loadCancel = std::make_shared<std::atomic<bool>>(false);
    QFutureWatcher<SourceImage> *loading = m_loading;
    connect(loading, &QFutureWatcherBase::finished, this, [this, loading] {
        m_loading = nullptr;
        m_loadCancel.reset();
        loading->deleteLater();
        imageOpened(loading->result());
    });
    loading->setFuture(QtConcurrent::run([path, maxPixels, cancel = m_loadCancel] {
        return loadSourceImage(path, maxPixels, cancel.get());
    }));
}

void MainWindow::stopLoading()
{
    if (!m_loading)
        return;
    *m_loadCancel = true;
    m_loadCancel.reset();
    m_loading->disconnect(this);
    m_loading->deleteLater();
    m_loading = nullptr;
    restoreNameBeforeLoad();
}

void MainWindow::restoreNameBeforeLoad()
{
    if (m_nameBeforeLoad.isNull())
        return;
    ui->labelLoadedFilename->setText(m_nameBeforeLoad);
    ui->labelLoadedFilename->setToolTip(m_pathBeforeLoad);
    m_nameBeforeLoad = QString();
}

void MainWindow::showOpenedName(const QString &path)
{
    const QFileInfo info(path);
    ui->labelLoadedFilename->setText(
        m_texts[QStringLiteral("opened_file")] + QStringLiteral(": ") + info.fileName());
    ui->labelLoadedFilename->setToolTip(info.absoluteFilePath());
}

void MainWindow::imageOpened(const SourceImage &opened)
{
    m_source = opened.image;
    m_frame->setImageSize(m_source.size());
    m_frame->setFrameActive(false);
    if (m_source.isNull()) {
        ui->label->setImage(QImage());
        m_panel->setImageSize(QSize());
        const QString path = m_settings.loadFilePath;
        m_settings.loadFilePath.clear();
        restoreNameBeforeLoad();
        showMessage(QMessageBox::Warning, ui->btnImageRead->text(),
            Messages::openError(m_texts, path, opened));
        return;
    }
    ui->label->setImage(m_source);
    fixNaturalSize();
    m_frame->setFrameActive(true);
    noteCuts(m_panel->setImageSize(m_source.size()));
    redrawOverlay();
    previewIfAuto();

    showOpenedName(m_settings.loadFilePath);
    m_nameBeforeLoad = QString();
    m_save->imageOpened(m_settings.loadFilePath);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (OpenStep::droppedImages(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

// Several images dropped at once go to the batch dialog, preloaded; only a
// drop in which every file passes touches the batch list.
void MainWindow::dropEvent(QDropEvent *event)
{
    const QStringList paths = OpenStep::droppedImages(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (paths.size() == 1) {
        m_settings.loadFilePath = paths.first();
        openImage();
        return;
    }
    m_batchInputs << paths;
    startBatchConvert();
}

void MainWindow::on_btnConvert_clicked()
{
    if (m_source.isNull())
        return;
    const ParamSet params = m_panel->params();
    QString refusal;
    if (!projectionList().contains(params.projection))
        refusal = Messages::unknownProjection(m_texts, params.projection);
    else if (const QString wrong = paramProblem(params, m_source.size()); !wrong.isEmpty())
        refusal = Messages::paramInvalid(m_texts, wrong);
    m_save->convertAndSave(
        ui->btnConvert->text(), refusal, [this](QString *error) { return makeOutputImage(error); });
}

void MainWindow::showMessage(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, this);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

void MainWindow::saveParameterFile()
{
    ParamFileDialogs::save(
        this, m_texts, QFileInfo(m_settings.loadFilePath).absolutePath(), m_panel->params());
}

void MainWindow::loadParameterFile()
{
    if (const auto loaded
        = ParamFileDialogs::load(this, m_texts, QFileInfo(m_settings.loadFilePath).absolutePath(),
            ui->actionLoad_Param->text(), m_panel->shown()))
        applyParamSet(*loaded);
}

void MainWindow::on_actionSetting_triggered()
{
    OptionsDialog dialog(this);
    dialog.setLangFile(m_paths.langFile);
    dialog.loadTexts();
    dialog.setValues(optionValuesFrom(m_settings));
    if (!dialog.exec())
        return;
    applyOptionValues(dialog.values(), m_settings);
    redrawOverlay();
    updateSaveFilename();
    // The preview shows what a save would write, method included.
    previewIfAuto();
}

void MainWindow::startBatchConvert()
{
    BatchConvertDialog dialog(this);
    dialog.setLangFile(m_paths.langFile);
    dialog.loadTexts();
    dialog.setValues(batchDialogValuesFrom(m_settings, m_batchInputs));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // Choices made in a cancelled dialog stay and are saved with the settings.
    const BatchDialogValues values = dialog.values();
    applyBatchDialogValues(values, m_settings);
    m_batchInputs = values.files;
    if (accepted)
        batchConvert();
}

void MainWindow::batchConvert()
{
    BatchOptions options = BatchCommand::optionsFrom(m_settings);
    options.params = m_panel->params();
    if (const QString refusal = BatchController::refusal(m_texts, m_batchInputs, options);
        !refusal.isEmpty()) {
        showMessage(QMessageBox::Warning, ui->actionBatch_Convert->text(), refusal);
        return;
    }
    const BatchResult result
        = BatchController::run(this, m_batchInputs, options, m_converter, m_texts);
    // The run used the window's converter; the open image goes on with the
    // window's parameters.
    m_panel->params().applyTo(m_converter);
    redrawOverlay();
    showBatchReport(result);
}

void MainWindow::showBatchReport(const BatchResult &result)
{
    // A run in which any file failed must not look like a success.
    showMessage(result.failed > 0 ? QMessageBox::Warning : QMessageBox::Information,
        ui->actionBatch_Convert->text(), batchReportText(result, m_texts));
    if (m_settings.openFiler && result.refusal.isEmpty())
        openFolderInFileBrowser(m_settings.batchOutputFolder);
}
