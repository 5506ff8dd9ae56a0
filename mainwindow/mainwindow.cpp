#include "mainwindow/mainwindow.h"

#include "app/batchcommand.h"
#include "app/inifile.h"
#include "app/installpaths.h"
#include "app/languages.h"
#include "logging/logging.h"
#include "app/widgettexts.h"
#include "batch/batchcheck.h"
#include "batch/batchconvertdialog.h"
#include "batch/batchreport.h"
#include "batch/batchrun.h"
#include "batch/openfolder.h"
#include "batch/batchprogressdialog.h"
#include "imageio/imageload.h"
#include "imageio/imagesave.h"
#include "mainwindow/sourceview.h"
#include "imageio/outputnaming.h"
#include "mainwindow/overlay.h"
#include "options/optionsdialog.h"
#include "preview/previewwindow.h"
#include "projection/mapdetect.h"
#include "params/paramcheck.h"
#include "ui_mainwindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

constexpr int kMaxWidgetSize = 16777215;
// Without an image the margin boxes keep the range stored files were written in.
constexpr int kMarginLimitWithoutImage = 1024;

void printErr(const QString &line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

// The busy cursor for the life of a scope.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
{
    m_preview = new PreviewWindow(this);
    ui->setupUi(this);
    // The status line takes room from the panels only while it has something to say.
    QStatusBar *status = statusBar();
    status->hide();
    connect(status, &QStatusBar::messageChanged, status,
        [status](const QString &text) { status->setVisible(!text.isEmpty()); });

    resetParams();
    pushParamsToWidgets();

    // The selector's items are the projection names; the language step only
    // renames their texts, so the index keeps translating to a name.
    ui->cbFormatMapProj->clear();
    for (const QString &name : projectionList())
        ui->cbFormatMapProj->addItem(name);
    ui->cbFormatMapProj->setCurrentIndex(projectionList().indexOf(m_params.projection));

    ui->label->setAttribute(Qt::WA_MouseTracking);
    ui->label->setMouseTracking(true);

    connect(m_preview, &PreviewWindow::shown, this, &MainWindow::slotPreviewWindowShown);
    connect(m_preview, &PreviewWindow::hidden, this, &MainWindow::slotPreviewWindowHidden);

    m_startupTimer = new QTimer(this);
    connect(m_startupTimer, &QTimer::timeout, this, &MainWindow::startDeferred);
    m_startupTimer->start(1000);

    // Changes only mark the preview out of date; it is rebuilt once the queued
    // events are handled, so a burst of changes costs one remap.
    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(0);
    connect(m_previewTimer, &QTimer::timeout, this, [this] {
        if (m_preview->isVisible() && m_settings.autoPreview)
            makeOutputImage();
    });
}

MainWindow::~MainWindow() = default;

SourceView *MainWindow::sourceView() const
{
    return ui->label;
}

void MainWindow::cancelDeferredStart()
{
    m_startupTimer->stop();
}

void MainWindow::scheduleDeferredStart(int msec)
{
    m_startupTimer->start(msec);
}

void MainWindow::setPaths(const CommandLine::Paths &paths)
{
    m_paths = paths;
    m_besideLangFile = paths.langFile;
}

// ---------------------------------------------------------------- settings

void MainWindow::loadSettings()
{
    m_settings.params = m_params;
    m_settings.load(m_paths.settingsFile, m_paths.appDir);
    if (!m_settings.loadProblem.isEmpty())
        printErr(QStringLiteral("plano-miller: ") + m_settings.loadProblem);
    if (!m_settings.geometry.isEmpty())
        restoreGeometry(m_settings.geometry);
    if (!m_settings.previewGeometry.isEmpty())
        m_preview->restoreGeometry(m_settings.previewGeometry);
    m_params = m_settings.params;
    m_paramsRead = m_params;
    // The widgets bound and round the stored parameters; the members follow them.
    pushParamsToWidgets();
    m_paramsShown = m_params;
    redrawOverlay();
    updateSaveFilename();
}

ParamSet MainWindow::effectiveParams() const
{
    return keepUnreadableValues(m_params, m_paramsShown, m_paramsRead);
}

bool MainWindow::saveSettings(QString *error)
{
    m_settings.geometry = saveGeometry();
    m_settings.previewGeometry = m_preview->saveGeometry();
    m_settings.previewWindow = m_preview->isVisible();
    m_settings.params = effectiveParams();
    return m_settings.save(m_paths.settingsFile, error);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A file left alone was reported when it was read.
    QString error;
    if (!m_settings.leftAlone && !saveSettings(&error)) {
        if (isVisible()) {
            showMessage(QMessageBox::Warning, windowTitle(),
                m_paths.settingsFile + m_texts[QStringLiteral("settings_write_failed")]);
        } else {
            printErr(QStringLiteral("plano-miller: ") + error);
        }
    }
    QMainWindow::closeEvent(event);
}

// ---------------------------------------------------------------- language

void MainWindow::loadTexts()
{
    m_paths.langFile = Languages::chooseFile(m_settings.language, m_besideLangFile, languageDir());
    const TextTargets targets = {
        { QStringLiteral("lbl_1"), ui->labelOpenFile },
        { QStringLiteral("labelOpenFile"), ui->labelOpenFile },
        { QStringLiteral("lbl_3"), ui->labelPreview },
        { QStringLiteral("lbl_4"), ui->labelSaveFile },
        { QStringLiteral("lbl_4_2"), ui->labelSaveFileName },
        { QStringLiteral("btn_open"), ui->btnImageRead },
        { QStringLiteral("btn_preview"), ui->btnPreview },
        { QStringLiteral("btn_conv"), ui->btnConvert },
        { QStringLiteral("btn_browse"), ui->btnBrowse },
        { QStringLiteral("menu_file"), ui->menuFile },
        { QStringLiteral("menu_show"), ui->menuView },
        { QStringLiteral("cmd_load_param"), ui->actionLoad_Param },
        { QStringLiteral("cmd_save_param"), ui->actionSave_Param },
        { QStringLiteral("cmd_reset_param"), ui->actionParam_Reset },
        { QStringLiteral("cmd_batch_conv"), ui->actionBatch_Convert },
        { QStringLiteral("cmd_setting"), ui->actionSetting },
        { QStringLiteral("cmd_preview_window"), ui->actionPreview_Window },
        { QStringLiteral("cmd_auto_preview"), ui->actionAuto_Preview },
        { QStringLiteral("cmd_auto_size"), ui->actionAuto_Size },
        { QStringLiteral("lbl_2"), ui->labelReset },
        { QStringLiteral("btn_reset"), ui->btnReset },
        { QStringLiteral("lbl_2_1"), ui->labelSetMargin },
        { QStringLiteral("lbl_margin_top"), ui->labelMarginTop },
        { QStringLiteral("lbl_margin_left"), ui->labelMarginLeft },
        { QStringLiteral("lbl_margin_right"), ui->labelMarginRight },
        { QStringLiteral("lbl_margin_bottom"), ui->labelMarginBottom },
        { QStringLiteral("lbl_2_2"), ui->labelSetMapProj },
        { QStringLiteral("lbl_2_3"), ui->labelSetLonLat },
        { QStringLiteral("lbl_lat_max"), ui->labelLatMax },
        { QStringLiteral("lbl_lon_min"), ui->labelLonMin },
        { QStringLiteral("lbl_lon_max"), ui->labelLonMax },
        { QStringLiteral("lbl_lat_min"), ui->labelLatMin },
        { QStringLiteral("cmd_convert_save"), ui->actionConvert_Save },
        // Shown until an image is opened; loadTexts runs before that.
        { QStringLiteral("lbl_loaded_file"), ui->labelLoadedFilename },
        { QStringLiteral("btn_detect"), ui->btnDetect },
        { QStringLiteral("cmd_detect"), ui->actionDetect },
    };
    // The built-in texts come from the same table as the keys, not from the
    // form, so every key has its Japanese text even where the form differs.
    for (const auto &entry : LangTexts::mainWidgetTexts())
        applyLanguageText(targets, entry.first, entry.second);
    auto apply = [&targets](const QString &key, const QString &text) {
        applyLanguageText(targets, key, text);
    };
    LangTexts::readGroup(m_paths.langFile, QStringLiteral("main"), LangTexts::mainWidgetKeys(),
        LangTexts::mainTableDefaults(), apply, m_texts);

    // By position, not by the item's text, so a second reading finds them too.
    for (int i = 0; i < ui->cbFormatMapProj->count(); ++i) {
        const QString name = projectionList().value(i);
        if (!name.isEmpty())
            ui->cbFormatMapProj->setItemText(i, m_texts[QStringLiteral("map_proj_") + name]);
    }

    setWindowTitle(m_texts[QStringLiteral("title")] + QStringLiteral(" 1.0"));
    m_preview->setWindowTitle(m_texts[QStringLiteral("preview_window_title")]);
    buildLanguageMenu();
}

QString MainWindow::languageDir() const
{
    return InstallPaths::dataDir(m_paths.appDir) + QStringLiteral("/lang");
}

// The menu's title and entries stay the same in every language, so that a
// user who cannot read the current one still finds the way back.
void MainWindow::buildLanguageMenu()
{
    if (!m_languageMenu) {
        ui->menuView->addSeparator();
        m_languageMenu = ui->menuView->addMenu(QStringLiteral("Language / 言語"));
        m_languageMenu->setObjectName(QStringLiteral("menuLanguage"));
    }
    m_languageMenu->clear();
    auto *group = new QActionGroup(m_languageMenu);
    const QList<Languages::Language> languages = Languages::available(languageDir());
    for (const Languages::Language &language : languages) {
        QAction *action = m_languageMenu->addAction(language.name);
        action->setCheckable(true);
        action->setData(language.id);
        group->addAction(action);
        const bool current = m_settings.language.isEmpty() ? language.file == m_paths.langFile
                                                        : language.id == m_settings.language;
        action->setChecked(current);
        connect(action, &QAction::triggered, this, [this, id = language.id, file = language.file] {
            if (m_settings.language == id)
                return;
            m_settings.language = id;
            // Said in the language chosen, which the user reads from the next start on.
            TextTable chosen;
            LangTexts::readGroup(
                file, QStringLiteral("main"), {}, LangTexts::mainTableDefaults(), nullptr, chosen);
            showMessage(QMessageBox::Information, m_languageMenu->title(),
                chosen.value(QStringLiteral("language_restart")));
        });
    }
}

QString MainWindow::loadFailureText(const SourceImage &opened)
{
    switch (opened.fault) {
    case LoadFault::Missing:
        return m_texts[QStringLiteral("load_missing")];
    case LoadFault::NotImage:
        return m_texts[QStringLiteral("load_not_image")];
    case LoadFault::TooLarge:
        return m_texts[QStringLiteral("load_too_large")]
            .arg(QStringLiteral("%1 \u00d7 %2").arg(opened.size.width()).arg(opened.size.height()))
            .arg(opened.limit);
    case LoadFault::Damaged:
        return m_texts[QStringLiteral("load_damaged")];
    case LoadFault::NoMemory:
        return m_texts[QStringLiteral("load_no_memory")].arg(
            QStringLiteral("%1 \u00d7 %2").arg(opened.size.width()).arg(opened.size.height()));
    case LoadFault::None:
    case LoadFault::NotRegular:
    case LoadFault::Other:
        break;
    }
    return opened.error;
}

// ---------------------------------------------------------------- deferred start

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
    if (m_batchInputs.isEmpty()) {
        if (!m_settings.loadFilePath.isEmpty())
            openImage();
    } else if (m_batchInputs.size() == 1) {
        m_settings.loadFilePath = m_batchInputs.first();
        openImage();
    } else {
        startBatchConvert();
    }
    // Without an image the stored margins stay cut to the boxes' range.
    if (m_source.isNull() && m_params == m_paramsShown)
        pushParamsNamingCuts(m_paramsRead);
}

// ---------------------------------------------------------------- view switches

void MainWindow::applyAutoSize(bool checked)
{
    m_settings.autoSize = checked;
    if (checked) {
        ui->scrollArea_R->setWidgetResizable(true);
        ui->scrollAreaWidgetContents_R->setMinimumSize(0, 0);
        ui->scrollAreaWidgetContents_R->setMaximumSize(kMaxWidgetSize, kMaxWidgetSize);
        ui->label->setScaledContents(true);
    } else {
        ui->scrollArea_R->setWidgetResizable(false);
        ui->label->setScaledContents(false);
    }
    fixNaturalSize();
    ui->label->updateGeometry();
    ui->actionAuto_Size->setChecked(checked);
}

// At natural size the contents hold the image and, around it, the layout's
// margins and the file-name line, so all of it must fit for the last rows and
// columns to be reachable.
void MainWindow::fixNaturalSize()
{
    QWidget *contents = ui->scrollAreaWidgetContents_R;
    if (m_settings.autoSize) {
        contents->setMinimumSize(0, 0);
        contents->setMaximumSize(kMaxWidgetSize, kMaxWidgetSize);
        return;
    }
    QSize size(m_sourceWidth, m_sourceHeight);
    if (!size.isEmpty()) {
        const QMargins margins = contents->layout()->contentsMargins();
        size += QSize(margins.left() + margins.right(),
            margins.top() + margins.bottom() + contents->layout()->spacing()
                + ui->labelLoadedFilename->sizeHint().height());
    }
    contents->setMinimumSize(size);
    contents->setMaximumSize(size);
    contents->resize(size);
}

void MainWindow::on_actionAuto_Size_triggered(bool checked)
{
    applyAutoSize(checked);
}

void MainWindow::on_actionAuto_Preview_triggered(bool checked)
{
    m_settings.autoPreview = checked;
    if (checked && m_preview->isVisible())
        makeOutputImage();
}

void MainWindow::on_actionPreview_Window_triggered(bool checked)
{
    if (!checked) {
        m_preview->hide();
        return;
    }
    m_preview->show();
    if (isVisible())
        makeOutputImage();
}

void MainWindow::on_btnPreview_clicked()
{
    if (m_preview->isVisible()) {
        m_preview->hide();
        return;
    }
    m_preview->show();
    if (isVisible())
        makeOutputImage();
}

void MainWindow::slotPreviewWindowShown()
{
    ui->actionPreview_Window->setChecked(true);
}

void MainWindow::slotPreviewWindowHidden()
{
    ui->actionPreview_Window->setChecked(false);
}

// ---------------------------------------------------------------- parameters

void MainWindow::resetParams()
{
    m_converter.reset();
    m_params = ParamSet::fromTable(m_converter.exportParams());
}

void MainWindow::pushParamsToWidgets()
{
    m_widgetSync = false;
    ui->spinBoxMarginLeft->setValue(m_params.marginLeft);
    ui->spinBoxMarginRight->setValue(m_params.marginRight);
    ui->spinBoxMarginBottom->setValue(m_params.marginBottom);
    ui->spinBoxMarginTop->setValue(m_params.marginTop);
    ui->cbFormatMapProj->setCurrentIndex(projectionList().indexOf(m_params.projection));
    ui->doubleSpinBoxLonMin->setValue(m_params.lonMin);
    ui->doubleSpinBoxLonMax->setValue(m_params.lonMax);
    ui->doubleSpinBoxLatMin->setValue(m_params.latMin);
    ui->doubleSpinBoxLatMax->setValue(m_params.latMax);
    readParamsFromWidgets();
    m_widgetSync = true;
}

void MainWindow::readParamsFromWidgets()
{
    m_params.marginLeft = ui->spinBoxMarginLeft->value();
    m_params.marginRight = ui->spinBoxMarginRight->value();
    m_params.marginBottom = ui->spinBoxMarginBottom->value();
    m_params.marginTop = ui->spinBoxMarginTop->value();
    // An unknown name selects nothing; it stays as written, to be named in messages.
    if (ui->cbFormatMapProj->currentIndex() >= 0)
        m_params.projection = projectionList().value(ui->cbFormatMapProj->currentIndex());
    m_params.lonMin = ui->doubleSpinBoxLonMin->value();
    m_params.lonMax = ui->doubleSpinBoxLonMax->value();
    m_params.latMin = ui->doubleSpinBoxLatMin->value();
    m_params.latMax = ui->doubleSpinBoxLatMax->value();
}

void MainWindow::boundMargins()
{
    const int maxX = m_source.isNull() ? kMarginLimitWithoutImage : m_source.width() - 1;
    const int maxY = m_source.isNull() ? kMarginLimitWithoutImage : m_source.height() - 1;
    const bool sync = m_widgetSync;
    m_widgetSync = false;
    ui->spinBoxMarginLeft->setMaximum(maxX);
    ui->spinBoxMarginRight->setMaximum(maxX);
    ui->spinBoxMarginBottom->setMaximum(maxY);
    ui->spinBoxMarginTop->setMaximum(maxY);
    m_widgetSync = sync;
}

void MainWindow::pushParamsNamingCuts(const ParamSet &wanted)
{
    // Bounded first: a box cut by its new maximum reports the old value.
    boundMargins();
    m_params = wanted;
    pushParamsToWidgets();
    const struct
    {
        const QLabel *label;
        int wanted;
        int shown;
    } margins[] = {
        { ui->labelMarginLeft, wanted.marginLeft, m_params.marginLeft },
        { ui->labelMarginRight, wanted.marginRight, m_params.marginRight },
        { ui->labelMarginBottom, wanted.marginBottom, m_params.marginBottom },
        { ui->labelMarginTop, wanted.marginTop, m_params.marginTop },
    };
    QStringList cuts;
    for (const auto &m : margins) {
        if (m.wanted > m.shown)
            cuts << QStringLiteral("%1 %2 \u2192 %3")
                        .arg(m.label->text())
                        .arg(m.wanted)
                        .arg(m.shown);
    }
    if (!cuts.isEmpty()) {
        m_paramNotice.clear();
        const QString key = m_source.isNull() ? QStringLiteral("margins_cut_no_image")
                                              : QStringLiteral("margins_cut");
        statusBar()->showMessage(m_texts[key].arg(cuts.join(QStringLiteral(", "))));
    }
}

void MainWindow::showParamProblem()
{
    const QString wrong = paramProblem(effectiveParams(), m_source.size());
    if (!wrong.isEmpty() && !m_source.isNull()) {
        m_paramNotice = m_texts[QStringLiteral("param_invalid")] + QStringLiteral(" (") + wrong
            + QLatin1Char(')');
        statusBar()->showMessage(m_paramNotice);
    } else if (!m_paramNotice.isEmpty()) {
        if (statusBar()->currentMessage() == m_paramNotice)
            statusBar()->clearMessage();
        m_paramNotice.clear();
    }
}

void MainWindow::parameterChanged()
{
    if (!m_widgetSync)
        return;
    redrawOverlay();
    previewIfAuto();
}

void MainWindow::on_spinBoxMarginLeft_valueChanged(int margin_left)
{
    m_params.marginLeft = margin_left;
    parameterChanged();
}

void MainWindow::on_spinBoxMarginRight_valueChanged(int margin_right)
{
    m_params.marginRight = margin_right;
    parameterChanged();
}

void MainWindow::on_spinBoxMarginBottom_valueChanged(int margin_bottom)
{
    m_params.marginBottom = margin_bottom;
    parameterChanged();
}

void MainWindow::on_spinBoxMarginTop_valueChanged(int margin_top)
{
    m_params.marginTop = margin_top;
    parameterChanged();
}

void MainWindow::on_cbFormatMapProj_currentIndexChanged(int index)
{
    if (index >= 0)
        m_params.projection = projectionList().value(index);
    parameterChanged();
}

void MainWindow::on_doubleSpinBoxLonMin_valueChanged(double lon_min)
{
    m_params.lonMin = lon_min;
    parameterChanged();
}

void MainWindow::on_doubleSpinBoxLonMax_valueChanged(double lon_max)
{
    m_params.lonMax = lon_max;
    parameterChanged();
}

void MainWindow::on_doubleSpinBoxLatMin_valueChanged(double lat_min)
{
    m_params.latMin = lat_min;
    parameterChanged();
}

void MainWindow::on_doubleSpinBoxLatMax_valueChanged(double lat_max)
{
    m_params.latMax = lat_max;
    parameterChanged();
}

void MainWindow::on_actionParam_Reset_triggered()
{
    resetParams();
    setFrameActive(!m_source.isNull());
    pushParamsToWidgets();
    m_paramsRead = m_paramsShown = m_params;
    redrawOverlay();
}

void MainWindow::on_btnReset_clicked()
{
    on_actionParam_Reset_triggered();
}

void MainWindow::on_btnDetect_clicked()
{
    detectMapArea(ui->btnDetect->text());
}

void MainWindow::on_actionDetect_triggered()
{
    detectMapArea(ui->actionDetect->text());
}

void MainWindow::detectMapArea(const QString &title)
{
    if (m_source.isNull())
        return;
    readParamsFromWidgets();
    const MapDetection found = ::detectMapArea(m_source, effectiveParams());
    planoDebug() << "detect = " << found.summary(m_source.width(), m_source.height());
    if (!found.found) {
        showMessage(QMessageBox::Warning, title,
            m_texts[QStringLiteral("detect_failed")] + QStringLiteral(" (") + found.reason
                + QStringLiteral(")"));
        return;
    }
    setFrameActive(true);
    applyParamSet(found.params);
}

// A loaded or detected parameter set: the widgets take it whole, then the
// overlay and the preview follow once.
void MainWindow::applyParamSet(const ParamSet &params)
{
    m_paramsRead = params;
    pushParamsNamingCuts(params);
    m_paramsShown = m_params;
    redrawOverlay();
    previewIfAuto();
}

void MainWindow::setFrameActive(bool active)
{
    m_frameActive = active;
    ui->label->pointMode = active;
}

// ---------------------------------------------------------------- overlay and output

void MainWindow::redrawOverlay()
{
    drawOverlay(m_params.toTable());
    showParamProblem();
}

// Only the lines are placed here; the view draws them over its own picture at
// its next paint, so a run of pointer moves costs one paint.
void MainWindow::drawOverlay(const ConvertParams &params)
{
    if (m_source.isNull())
        return;
    ui->label->setOverlay(overlayLines(params, ui->label->pointMode, m_source.size(), m_converter),
        overlayPen(m_settings.penSize, m_settings.penColor));
}

// Runs to its end without yielding to the event loop: a change made meanwhile
// could otherwise start a newer remap inside this one, which would then hand
// its older picture to the preview last.
QImage MainWindow::makeOutputImage(QString *error)
{
    m_previewTimer->stop();
    if (m_source.isNull())
        return QImage();
    // The source is already 32-bit, which the remap reads as it is.
    QString why
        = outputSizeProblem(m_settings.outputSizeX, m_settings.outputSizeY, m_settings.maxImagePixels);
    QImage target;
    if (why.isEmpty())
        target = QImage(m_settings.outputSizeX, m_settings.outputSizeY, QImage::Format_ARGB32);
    if (target.isNull()) {
        if (why.isEmpty()) {
            why = QStringLiteral("not enough memory for the %1 \u00d7 %2 output image")
                      .arg(m_settings.outputSizeX)
                      .arg(m_settings.outputSizeY);
        }
        if (error)
            *error = why;
        if (m_preview->isVisible())
            m_preview->showProblem(why);
        return QImage();
    }
    target.fill(0);
    if (!effectiveParams().applyTo(m_converter))
        return target;
    m_converter.setResampling(resamplingFromInt(m_settings.resampling));
    m_converter.remap(m_source, target, false);
    if (m_preview->isVisible())
        m_preview->setImage(target);
    return target;
}

void MainWindow::previewIfAuto()
{
    if (m_preview->isVisible() && m_settings.autoPreview && !m_previewTimer->isActive())
        m_previewTimer->start();
}

bool MainWindow::previewPending() const
{
    return m_previewTimer->isActive();
}

// ---------------------------------------------------------------- opening

void MainWindow::on_btnImageRead_clicked()
{
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(
        imageNameFilter(m_texts[QStringLiteral("file_filter")], readableImageSuffixes()));
    dialog.setDirectory(QFileInfo(m_settings.loadFilePath).absolutePath());
    dialog.setWindowTitle(m_texts[QStringLiteral("open_file")]);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    m_settings.loadFilePath = dialog.selectedFiles().first();
    openImage();
}

void MainWindow::openImage()
{
    // The old image goes first, so old and new are never held together; its
    // result goes with it.
    m_source = QImage();
    ui->label->setImage(QImage());
    m_preview->clear();
    SourceImage opened;
    {
        const BusyCursor busy;
        opened = loadSourceImage(m_settings.loadFilePath, m_settings.maxImagePixels);
    }
    const bool loaded = !opened.image.isNull();
    m_source = opened.image;
    m_frameActive = false;

    if (!loaded) {
        boundMargins();
        const QString path = m_settings.loadFilePath;
        m_settings.loadFilePath.clear();
        showMessage(QMessageBox::Warning, ui->btnImageRead->text(),
            path + m_texts[QStringLiteral("open_error")] + QStringLiteral(" (")
                + loadFailureText(opened) + QStringLiteral(")"));
        return;
    }

    m_sourceWidth = m_source.width();
    m_sourceHeight = m_source.height();
    ui->label->setImage(m_source);
    fixNaturalSize();
    setFrameActive(true);
    // Margins as read that the boxes cut before there was an image to measure
    // them by are taken again, unless the user has changed them since.
    ParamSet wanted = m_params;
    if (m_params == m_paramsShown) {
        wanted.marginLeft = m_paramsRead.marginLeft;
        wanted.marginRight = m_paramsRead.marginRight;
        wanted.marginBottom = m_paramsRead.marginBottom;
        wanted.marginTop = m_paramsRead.marginTop;
    }
    pushParamsNamingCuts(wanted);
    m_paramsShown = m_params;
    redrawOverlay();
    previewIfAuto();

    const QFileInfo info(m_settings.loadFilePath);
    ui->labelLoadedFilename->setText(
        m_texts[QStringLiteral("opened_file")] + QStringLiteral(": ") + info.fileName());
    ui->labelLoadedFilename->setToolTip(info.absoluteFilePath());
    m_settings.saveBaseName = proposedSaveBaseName(m_settings.loadFilePath);
    if (m_settings.saveFolderName.isEmpty() && !m_settings.loadFilePath.isEmpty())
        m_settings.saveFolderName = info.absolutePath();
    updateSaveFilename();
}

void MainWindow::updateSaveFilename()
{
    ui->lineSaveFilename->setText(saveFileNameText(m_settings.saveBaseName, m_settings.outputFormat));
    ui->lineSaveFilename->setToolTip(
        saveFileToolTip(m_settings.saveFolderName, m_settings.saveBaseName, m_settings.outputFormat));
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    // Text or anything else without a file is not taken, so the source keeps it.
    const QMimeData *mime = event->mimeData();
    bool refused = !mime->hasUrls();
    for (const QUrl &url : mime->urls()) {
        const QString path = url.toLocalFile();
        if (path.isEmpty() || !isImageSuffix(path)) {
            refused = true;
            break;
        }
    }
    if (refused)
        event->ignore();
    else
        event->acceptProposedAction();
}

// Several images dropped at once go to the batch dialog, preloaded; only a
// drop in which every file passes touches the batch list.
void MainWindow::dropEvent(QDropEvent *event)
{
    const QMimeData *mime = event->mimeData();
    if (!mime->hasUrls()) {
        event->ignore();
        return;
    }
    const QList<QUrl> urls = mime->urls();
    QStringList paths;
    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        if (path.isEmpty() || !isImageSuffix(path)) {
            event->ignore();
            return;
        }
        paths << path;
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

// ---------------------------------------------------------------- frame dragging

Margins MainWindow::currentMargins() const
{
    Margins m;
    m.left = m_params.marginLeft;
    m.right = m_params.marginRight;
    m.bottom = m_params.marginBottom;
    m.top = m_params.marginTop;
    return m;
}

void MainWindow::drawTentativeFrame(const Margins &margins)
{
    ParamSet tentative = m_params;
    tentative.marginLeft = margins.left;
    tentative.marginRight = margins.right;
    tentative.marginBottom = margins.bottom;
    tentative.marginTop = margins.top;
    drawOverlay(tentative.toTable());
}

void MainWindow::on_label_mouseleftdown(int x, int y)
{
    m_drag.press(x, y, m_frameActive, currentMargins(), m_sourceWidth, m_sourceHeight,
        grabRadius(ui->label->imagePerViewPixel()));
    if (!m_frameActive || m_source.isNull())
        return;
    if (const auto margins
        = m_drag.step(x, y, m_frameActive, currentMargins(), m_sourceWidth, m_sourceHeight))
        drawTentativeFrame(*margins);
}

void MainWindow::on_label_size_changing(int, int, int, int, int, int, int x, int y)
{
    if (m_source.isNull())
        return;
    const auto margins
        = m_drag.step(x, y, m_frameActive, currentMargins(), m_sourceWidth, m_sourceHeight);
    if (!margins)
        return;
    if (!m_frameActive)
        ui->label->pointMode = true;
    drawTentativeFrame(*margins);
}

void MainWindow::on_label_mouseleftup(int x, int y)
{
    Margins committed;
    const bool hadImage = !m_source.isNull();
    const FrameDrag::Release outcome = m_drag.release(
        x, y, m_frameActive, currentMargins(), m_sourceWidth, m_sourceHeight, &committed);
    if (!hadImage)
        return;
    switch (outcome) {
    case FrameDrag::Release::Commit:
        setFrameActive(true);
        m_params.marginLeft = committed.left;
        m_params.marginRight = committed.right;
        m_params.marginBottom = committed.bottom;
        m_params.marginTop = committed.top;
        pushParamsToWidgets();
        redrawOverlay();
        previewIfAuto();
        break;
    case FrameDrag::Release::HideFrame:
        setFrameActive(false);
        redrawOverlay();
        break;
    case FrameDrag::Release::Nothing:
        break;
    }
}

// ---------------------------------------------------------------- converting and saving

void MainWindow::on_lineSaveFilename_editingFinished()
{
    const QString text = ui->lineSaveFilename->text();
    if (text.isEmpty()) {
        ui->lineSaveFilename->setToolTip(QString());
        return;
    }
    ui->lineSaveFilename->setToolTip(m_settings.saveFolderName + QLatin1Char('/') + text);
    m_settings.saveBaseName = QFileInfo(text).completeBaseName();
    m_settings.outputFormat = outputFormatForTypedName(text, m_settings.outputFormat);
}

void MainWindow::on_btnBrowse_clicked()
{
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (!m_settings.saveFolderName.isEmpty())
        dialog.setDirectory(m_settings.saveFolderName);
    else if (!m_settings.loadFilePath.isEmpty())
        dialog.setDirectory(QFileInfo(m_settings.loadFilePath).absolutePath());
    dialog.setWindowTitle(m_texts[QStringLiteral("save_image_title")]);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList folders = dialog.selectedFiles();
    planoDebug() << "foldernames = " << folders;
    planoDebug() << "foldernames.size() = " << folders.size();
    if (folders.isEmpty())
        return;
    m_settings.saveFolderName = folders.first();
    updateSaveFilename();
}

QString MainWindow::unknownProjectionText(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"')
        + m_texts[QStringLiteral("unknown_projection")];
}

void MainWindow::on_btnConvert_clicked()
{
    if (m_source.isNull() || m_converting)
        return;
    readParamsFromWidgets();
    const QString title = ui->btnConvert->text();

    if (!projectionList().contains(m_params.projection)) {
        showMessage(QMessageBox::Warning, title, unknownProjectionText(m_params.projection));
        return;
    }
    const QString paramsWrong = paramProblem(effectiveParams(), m_source.size());
    if (!paramsWrong.isEmpty()) {
        showMessage(QMessageBox::Warning, title,
            m_texts[QStringLiteral("param_invalid")] + QStringLiteral("\n(") + paramsWrong
                + QLatin1Char(')'));
        return;
    }
    // An empty folder would put the file at the filesystem root.
    if (m_settings.saveFolderName.isEmpty()) {
        showMessage(QMessageBox::Warning, title, m_texts[QStringLiteral("no_save_folder")]);
        return;
    }

    const QString target = m_settings.saveFolderName + QLatin1Char('/') + ui->lineSaveFilename->text();
    if (QFileInfo::exists(target)) {
        QMessageBox box(QMessageBox::Warning, title,
            ui->lineSaveFilename->text() + m_texts[QStringLiteral("overwrite_question")],
            QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return;
    }

    m_converting = true;
    QString error;
    const QImage output = makeOutputImage(&error);
    m_converting = false;
    if (!output.isNull()
        && saveImageAtomically(output, target, outputFormatName(m_settings.outputFormat),
            m_settings.outputQuality, &error)) {
        showMessage(
            QMessageBox::Information, title, target + m_texts[QStringLiteral("saved_file")]);
    } else {
        planoDebug() << "save failed:" << error;
        showMessage(QMessageBox::Warning, title,
            target + m_texts[QStringLiteral("save_failed")] + QStringLiteral(" (") + error
                + QLatin1Char(')'));
    }
}

void MainWindow::on_actionConvert_Save_triggered()
{
    on_btnConvert_clicked();
}

void MainWindow::showMessage(int icon, const QString &title, const QString &text)
{
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), title, text, QMessageBox::Ok, this);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

// ---------------------------------------------------------------- parameter files

void MainWindow::on_actionSave_Param_triggered()
{
    saveParameterFile();
}

void MainWindow::on_actionLoad_Param_triggered()
{
    loadParameterFile();
}

void MainWindow::saveParameterFile()
{
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(m_texts[QStringLiteral("inifile_filter")]);
    dialog.setDirectory(QFileInfo(m_settings.loadFilePath).absolutePath());
    dialog.selectFile(QStringLiteral("OX_map_param"));
    dialog.setWindowTitle(m_texts[QStringLiteral("save_inifile")]);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    readParamsFromWidgets();
    const QString title = m_texts[QStringLiteral("save_inifile_title")];

    // The other groups of the file are kept, so a file that is no INI text
    // must not be taken for one, and one in another encoding keeps a copy.
    const IniFileState state = iniFileState(path);
    if (state == IniFileState::NotText || state == IniFileState::NotSettings
        || state == IniFileState::NotRegular) {
        showMessage(
            QMessageBox::Warning, title, path + m_texts[QStringLiteral("param_file_not_text")]);
        return;
    }
    if (state == IniFileState::NotUtf8) {
        QMessageBox box(QMessageBox::Warning, title,
            path + m_texts[QStringLiteral("param_file_not_utf8")],
            QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return;
        if (keepDamagedCopy(path).isEmpty()) {
            showMessage(
                QMessageBox::Warning, title, path + m_texts[QStringLiteral("save_param_failed")]);
            return;
        }
    }

    bool written = false;
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        effectiveParams().writeConvertGroup(settings);
        written = syncAndCheck(settings, { QStringLiteral("Convert") });
    }
    if (written)
        showMessage(QMessageBox::Information, title, path + m_texts[QStringLiteral("saved_file")]);
    else
        showMessage(
            QMessageBox::Warning, title, path + m_texts[QStringLiteral("save_param_failed")]);
}

void MainWindow::loadParameterFile()
{
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(m_texts[QStringLiteral("inifile_filter")]);
    dialog.setDirectory(QFileInfo(m_settings.loadFilePath).absolutePath());
    dialog.setWindowTitle(m_texts[QStringLiteral("load_inifile")]);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    // A FIFO would never end, and an image or notes file holds no parameters.
    if (!checkIniFile(path).refusal(path).isEmpty()) {
        showMessage(QMessageBox::Warning, ui->actionLoad_Param->text(),
            path + m_texts[QStringLiteral("param_file_empty")]);
        return;
    }
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    // A file that is no parameter file at all should not look as if it loaded.
    settings.beginGroup(QStringLiteral("Convert"));
    const bool hasParameters = !settings.childKeys().isEmpty();
    settings.endGroup();
    if (!hasParameters) {
        showMessage(QMessageBox::Warning, ui->actionLoad_Param->text(),
            path + m_texts[QStringLiteral("param_file_empty")]);
        return;
    }
    ParamSet loaded = m_params;
    loaded.readConvertGroup(settings);
    applyParamSet(loaded);
}

// ---------------------------------------------------------------- options

void MainWindow::on_actionSetting_triggered()
{
    OptionsDialog dialog(this);
    dialog.setLangFile(m_paths.langFile);
    dialog.loadTexts();
    OptionValues values;
    values.outputWidth = m_settings.outputSizeX;
    values.outputHeight = m_settings.outputSizeY;
    values.quality = m_settings.outputQuality;
    values.formatIndex = m_settings.outputFormat;
    values.penWidth = m_settings.penSize;
    values.penColor = m_settings.penColor.name(QColor::HexArgb);
    values.resampling = m_settings.resampling;
    dialog.setValues(values);
    if (!dialog.exec())
        return;
    values = dialog.values();
    m_settings.outputSizeX = values.outputWidth;
    m_settings.outputSizeY = values.outputHeight;
    m_settings.outputQuality = values.quality;
    m_settings.outputFormat = values.formatIndex;
    m_settings.penSize = values.penWidth;
    m_settings.penColor.setNamedColor(values.penColor);
    m_settings.resampling = values.resampling;
    redrawOverlay();
    updateSaveFilename();
    // The preview shows what a save would write, method included.
    previewIfAuto();
}

// ---------------------------------------------------------------- batch

void MainWindow::on_actionBatch_Convert_triggered()
{
    startBatchConvert();
}

void MainWindow::startBatchConvert()
{
    BatchConvertDialog dialog(this);
    dialog.setLangFile(m_paths.langFile);
    dialog.loadTexts();
    BatchDialogValues values;
    values.sortType = m_settings.batchInputFileSortType;
    values.nameType = m_settings.batchOutputFileNameType;
    values.files = m_batchInputs;
    values.outputFolder = m_settings.batchOutputFolder;
    values.inputFolder = m_settings.batchInputFolder;
    values.overwrite = m_settings.overwrite;
    values.openFiler = m_settings.openFiler;
    values.autoDetect = m_settings.batchAutoDetect;
    dialog.setValues(values);
    const bool accepted = dialog.exec() == 1;
    if (accepted)
        readParamsFromWidgets();
    // Choices made in a cancelled dialog stay and are saved with the settings.
    values = dialog.values();
    m_settings.batchInputFileSortType = values.sortType;
    m_settings.batchOutputFileNameType = values.nameType;
    m_batchInputs = values.files;
    m_settings.batchOutputFolder = values.outputFolder;
    m_settings.batchInputFolder = values.inputFolder;
    m_settings.overwrite = values.overwrite;
    m_settings.openFiler = values.openFiler;
    m_settings.batchAutoDetect = values.autoDetect;
    if (accepted)
        batchConvert();
}

void MainWindow::batchConvert()
{
    BatchOptions options = BatchCommand::optionsFrom(m_settings);
    options.params = effectiveParams();

    // Refuse before anything is touched.
    if (!m_batchInputs.isEmpty()) {
        QString refusal;
        if (!projectionList().contains(m_params.projection))
            refusal = unknownProjectionText(m_params.projection);
        else if (m_settings.batchOutputFolder.isEmpty())
            refusal = m_texts[QStringLiteral("batch_no_output_folder")];
        else if (const QString wrong = batchRefusal(m_batchInputs, options); !wrong.isEmpty())
            refusal = m_texts[QStringLiteral("param_invalid")] + QStringLiteral("\n(") + wrong
                + QLatin1Char(')');
        if (!refusal.isEmpty()) {
            showMessage(QMessageBox::Warning, ui->actionBatch_Convert->text(), refusal);
            return;
        }
    }
    BatchProgressDialog status(this);
    status.setTotal(m_batchInputs.size());
    status.setStopButtonText(m_texts[QStringLiteral("batch_btn_stop")]);
    status.setWindowTitle(m_texts[QStringLiteral("batch_progress_title")]);

    BatchRunner runner;
    runner.processEvents = true;
    runner.stopRequested = [&status] { return status.stopRequested(); };
    runner.progress
        = [&status](int k, int, const QString &, const QString &) { status.setProgress(k); };
    status.show();

    setEnabled(false);
    status.setEnabled(true);
    const BatchResult result = runner.run(m_batchInputs, options, m_converter);
    // The run used the window's converter with its own settings; the open
    // image goes on with the window's.
    effectiveParams().applyTo(m_converter);
    m_converter.setResampling(resamplingFromInt(m_settings.resampling));
    redrawOverlay();
    setEnabled(true);

    status.hide();
    showBatchReport(result);
}

void MainWindow::showBatchReport(const BatchResult &result)
{
    const QString title = ui->actionBatch_Convert->text();
    const QString text = batchReportText(result, m_texts);
    // A run in which any file failed must not look like a success.
    showMessage(result.failed > 0 ? QMessageBox::Warning : QMessageBox::Information, title, text);
    if (m_settings.openFiler && result.refusal.isEmpty())
        openFolderInFileBrowser(m_settings.batchOutputFolder);
}
