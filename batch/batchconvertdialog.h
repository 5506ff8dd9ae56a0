// Modal dialog that gathers what a batch run needs: the input files, their
// processing order, the output folder and naming, and the two flags. It
// converts nothing; the caller reads every value back whatever exec() returns.
#pragma once

#include "app/langtexts.h"

#include <QDialog>
#include <QStringList>

#include <memory>

class QFileDialog;

namespace Ui {
class BatchConvertDialog;
}

struct BatchDialogValues
{
    QStringList files;
    QString outputFolder;
    QString inputFolder;
    int sortType = 0; // 0 by name ascending, 1 newest first, others keep the order
    int nameType = 0; // 0 input's base name, 1 numbered
    bool openFiler = true;
    bool overwrite = true;
    bool autoDetect = false; // each file's own map area
};

struct AppSettings;
// The settings' batch choices as the dialog shows them, with the files of the
// next run, and the dialog's choices back into the settings.
BatchDialogValues batchDialogValuesFrom(const AppSettings &settings, const QStringList &files);
void applyBatchDialogValues(const BatchDialogValues &values, AppSettings &settings);

class BatchConvertDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BatchConvertDialog(QWidget *parent = nullptr);
    ~BatchConvertDialog() override;

    void setLangFile(const QString &path);
    // Reads the group "batch_convert"; call after setLangFile and before exec().
    void loadTexts();

    // 1 only when left through the convert button.
    int exec() override;

    BatchDialogValues values() const;
    void setValues(const BatchDialogValues &values);

    // The images of a folder as full paths: every suffix the reader takes, in
    // any case, files only, ordered by name ignoring case.
    static QStringList listImageFolder(const QString &folder);

public slots:
    void on_btnSelectFiles_clicked();
    void on_btnSelectFolder_clicked();
    void on_btnOutputFolder_clicked();
    void on_btnConvert_clicked();
    void on_btnClose_clicked();

private:
    void showSelectCount();
    void takeChoices();
    void configurePicker(QFileDialog &picker, const QString &folder, const QString &titleKey);

    BatchDialogValues m_values;
    QString m_langFile;
    std::unique_ptr<Ui::BatchConvertDialog> m_ui;
    TextTable m_texts;
};
