// The main window walks the user through the one-image workflow (open, fit the
// map area, preview, save) and owns all state: the source image, the
// conversion parameters, the output settings, the paths and the converter.
#pragma once

#include "app/commandline.h"
#include "app/langtexts.h"
#include "app/settingsstore.h"
#include "mainwindow/framedrag.h"
#include "projection/convertparams.h"
#include "projection/projectionconverter.h"

#include <QImage>
#include <QMainWindow>
#include <QStringList>

#include <memory>

namespace Ui {
class MainWindow;
}
class PreviewWindow;
class QTimer;
class SourceView;
struct BatchResult;
struct SourceImage;
class QMenu;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Start-up: paths first, then the settings file and the language texts.
    void setPaths(const CommandLine::Paths &paths);
    void loadSettings();
    bool saveSettings(QString *error = nullptr);
    void loadTexts();

    void openImage();
    void updateSaveFilename();
    void pushParamsToWidgets();
    void readParamsFromWidgets();
    void redrawOverlay();
    void drawOverlay(const ConvertParams &params);
    // Null, with the reason in *error, when the output cannot be made.
    QImage makeOutputImage(QString *error = nullptr);
    // The parameters in force: the widgets' values, except a value read as
    // no number that the user has not replaced since.
    ParamSet effectiveParams() const;
    void previewIfAuto();
    // A preview refresh is waiting for the queued events to be handled.
    bool previewPending() const;
    void resetParams();
    // Finds the map area of the open image and takes it as a loaded parameter
    // file would be; a failure is shown under `title` and changes nothing.
    void detectMapArea(const QString &title);
    void applyParamSet(const ParamSet &params);
    void saveParameterFile();
    void loadParameterFile();
    void startBatchConvert();
    void batchConvert();

    // The deferred start is a one-shot timer; tests that build a window of
    // their own stop it so it never runs on the test's command line.
    void cancelDeferredStart();
    // A headless batch has no window to wait for and starts at once.
    void scheduleDeferredStart(int msec);

    // State reached by the start-up code and by tests.
    AppSettings &settings() { return m_settings; }
    const ParamSet &params() const { return m_params; }
    void setParams(const ParamSet &params) { m_params = params; }
    const QImage &sourceImage() const { return m_source; }
    bool frameActive() const { return m_frameActive; }
    QString loadPath() const { return m_settings.loadFilePath; }
    void setLoadPath(const QString &path) { m_settings.loadFilePath = path; }
    QString saveBaseName() const { return m_settings.saveBaseName; }
    QStringList &batchInputs() { return m_batchInputs; }
    TextTable &texts() { return m_texts; }
    PreviewWindow *previewWindow() const { return m_preview; }
    SourceView *sourceView() const;
    const CommandLine::Paths &paths() const { return m_paths; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void on_btnImageRead_clicked();
    void on_btnConvert_clicked();
    void on_label_size_changing(int cx, int cy, int x1, int y1, int x2, int y2, int x, int y);
    void on_label_mouseleftdown(int x, int y);
    void on_label_mouseleftup(int x, int y);
    void startDeferred();
    void on_actionConvert_Save_triggered();
    void on_actionAuto_Preview_triggered(bool checked);
    void on_actionBatch_Convert_triggered();
    void on_actionAuto_Size_triggered(bool checked);
    void on_actionPreview_Window_triggered(bool checked);
    void on_actionSave_Param_triggered();
    void on_actionLoad_Param_triggered();
    void on_actionSetting_triggered();
    void on_actionParam_Reset_triggered();
    void slotPreviewWindowShown();
    void slotPreviewWindowHidden();
    void on_btnPreview_clicked();
    void on_btnBrowse_clicked();
    void on_spinBoxMarginLeft_valueChanged(int margin_left);
    void on_spinBoxMarginRight_valueChanged(int margin_right);
    void on_spinBoxMarginBottom_valueChanged(int margin_bottom);
    void on_spinBoxMarginTop_valueChanged(int margin_top);
    void on_cbFormatMapProj_currentIndexChanged(int index);
    void on_doubleSpinBoxLonMin_valueChanged(double lon_min);
    void on_doubleSpinBoxLonMax_valueChanged(double lon_max);
    void on_doubleSpinBoxLatMin_valueChanged(double lat_min);
    void on_doubleSpinBoxLatMax_valueChanged(double lat_max);
    void on_btnReset_clicked();
    void on_btnDetect_clicked();
    void on_actionDetect_triggered();
    void on_lineSaveFilename_editingFinished();

private:
    void parameterChanged();
    // The margin boxes reach to the open image's last pixel, 1024 without one.
    void boundMargins();
    // Shows params bounded by the margin boxes and names any margin cut.
    void pushParamsNamingCuts(const ParamSet &wanted);
    // Names in the status line why the parameters give no image, if they do not.
    void showParamProblem();
    void applyAutoSize(bool checked);
    void fixNaturalSize();
    void setFrameActive(bool active);
    Margins currentMargins() const;
    void drawTentativeFrame(const Margins &margins);
    void showBatchReport(const BatchResult &result);
    void showMessage(int icon, const QString &title, const QString &text);
    QString unknownProjectionText(const QString &name);
    QString languageDir() const;
    void buildLanguageMenu();
    QString loadFailureText(const SourceImage &opened);

    std::unique_ptr<Ui::MainWindow> ui;
    CommandLine::Paths m_paths;
    QString m_besideLangFile; // <exe>_lang.ini; m_paths.langFile is the one in use
    ProjectionConverter m_converter;
    QImage m_source;
    int m_sourceWidth = 0;
    int m_sourceHeight = 0;
    ParamSet m_params;
    AppSettings m_settings;
    TextTable m_texts;
    QStringList m_batchInputs;
    PreviewWindow *m_preview = nullptr;
    QTimer *m_startupTimer = nullptr;
    QTimer *m_previewTimer = nullptr;
    QMenu *m_languageMenu = nullptr;
    FrameDrag m_drag;
    bool m_widgetSync = true;
    bool m_frameActive = false;
    bool m_converting = false;
    // The parameters as the settings file gave them, and as the widgets showed them.
    ParamSet m_paramsRead;
    ParamSet m_paramsShown;
    // The status line's reason for the parameters, to clear once it no longer holds.
    QString m_paramNotice;
};
