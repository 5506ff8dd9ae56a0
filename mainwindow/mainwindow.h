// The main window walks the user through the one-image workflow: open a map,
// fit the map area, preview, save. It wires the rooms that do the work: the
// parameter panel, the source view with its frame drag, the output image, the
// preview window, the dialogs and the batch controller.
#pragma once

#include "app/commandline.h"
#include "app/langtexts.h"
#include "app/settingsstore.h"
#include "imageio/imageload.h"
#include "mainwindow/frameeditor.h"
#include "mainwindow/parampanel.h"
#include "mainwindow/previewrefresh.h"
#include "mainwindow/savestep.h"
#include "preview/previewwindow.h"
#include "projection/convertparams.h"
#include "projection/projectionconverter.h"

#include <QFutureWatcher>
#include <QImage>
#include <QMainWindow>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <memory>

namespace Ui {
class MainWindow;
}
class LanguageMenu;
class SourceView;
struct BatchResult;

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

    // A big JPEG shows reduced at once and is decoded whole on a worker;
    // sourceImage() stays null until it is in.
    void openImage();
    bool imageLoading() const { return m_loading != nullptr; }
    void updateSaveFilename() { m_save->showName(); }
    void redrawOverlay();
    // Null, with the reason in *error, when the output cannot be made.
    QImage makeOutputImage(QString *error = nullptr);
    void previewIfAuto() { m_refresh->request(); }
    // A preview refresh is waiting for the queued events to be handled.
    bool previewPending() const { return m_refresh->pending(); }
    // A loaded or detected parameter set: the fields take it whole, then the
    // overlay and the preview follow once.
    void applyParamSet(const ParamSet &params);
    // Finds the map area of the open image and takes it as a loaded parameter
    // file would be; a failure is shown under `title` and changes nothing.
    void detectMapArea(const QString &title);
    void saveParameterFile();
    void loadParameterFile();
    void startBatchConvert();
    void batchConvert();

    // The deferred start is a one-shot timer; tests that build a window of
    // their own stop it so it never runs on the test's command line.
    void cancelDeferredStart() { m_startupTimer->stop(); }
    void scheduleDeferredStart(int msec) { m_startupTimer->start(msec); }

    // State reached by the start-up code and by tests.
    AppSettings &settings() { return m_settings; }
    // What the parameter fields show.
    const ParamSet &params() const { return m_panel->shown(); }
    const QImage &sourceImage() const { return m_source; }
    bool frameActive() const { return m_frame->frameActive(); }
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
    void startDeferred();
    void on_btnImageRead_clicked();
    void on_btnConvert_clicked();
    void on_actionConvert_Save_triggered() { on_btnConvert_clicked(); }
    void on_actionAuto_Preview_triggered(bool checked);
    void on_actionBatch_Convert_triggered() { startBatchConvert(); }
    void on_actionAuto_Size_triggered(bool checked) { applyAutoSize(checked); }
    void on_actionPreview_Window_triggered(bool checked);
    void on_actionSave_Param_triggered() { saveParameterFile(); }
    void on_actionLoad_Param_triggered() { loadParameterFile(); }
    void on_actionSetting_triggered();
    void on_actionParam_Reset_triggered();
    void on_btnPreview_clicked() { on_actionPreview_Window_triggered(!m_preview->isVisible()); }
    void on_btnBrowse_clicked() { m_save->browse(); }
    void on_btnReset_clicked() { on_actionParam_Reset_triggered(); }
    void on_btnDetect_clicked();
    void on_actionDetect_triggered();
    void on_lineSaveFilename_editingFinished() { m_save->nameEdited(); }

private:
    void parametersChanged();
    void applyAutoSize(bool checked);
    void fixNaturalSize();
    void imageOpened(const SourceImage &opened);
    void stopLoading();
    void showOpenedName(const QString &path);
    void restoreNameBeforeLoad();
    void noteCuts(const QStringList &cuts);
    void showParamProblem();
    void drawOverlay(const ParamSet &params);
    void showBatchReport(const BatchResult &result);
    void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text);
    QString languageDir() const;

    std::unique_ptr<Ui::MainWindow> ui;
    ParamPanel *m_panel = nullptr;
    SaveStep *m_save = nullptr;
    CommandLine::Paths m_paths;
    QString m_besideLangFile; // <exe>_lang.ini; m_paths.langFile is the one in use
    ProjectionConverter m_converter;
    QImage m_source;
    // The whole decode under way; a newer open replaces it, and the older
    // decode is then stopped and its result dropped unseen.
    QFutureWatcher<SourceImage> *m_loading = nullptr;
    std::shared_ptr<std::atomic<bool>> m_loadCancel;
    // The file name shown before the stand-in's, back should its decode fail.
    QString m_nameBeforeLoad;
    QString m_pathBeforeLoad;
    AppSettings m_settings;
    TextTable m_texts;
    QStringList m_batchInputs;
    PreviewWindow *m_preview = nullptr;
    QTimer *m_startupTimer = nullptr;
    PreviewRefresh *m_refresh = nullptr;
    LanguageMenu *m_languageMenu = nullptr;
    FrameEditor *m_frame = nullptr;
    // The parameter problem the status line shows, to clear once mended.
    QString m_paramNotice;
};
