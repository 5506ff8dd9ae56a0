#include "batch/batchconvertdialog.h"

#include "app/settingsstore.h"
#include "app/widgettexts.h"
#include "imageio/outputnaming.h"
#include "logging/logging.h"
#include "ui_batchconvertdialog.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QLabel>

namespace {

// Checks the button of the given index, or none for any other value. An
// exclusive group refuses to uncheck its last checked button, so the group is
// opened up for the moment.
void checkOneOf(QButtonGroup *group, QAbstractButton *first, QAbstractButton *second, int index)
{
    group->setExclusive(false);
    first->setChecked(index == 0);
    second->setChecked(index == 1);
    group->setExclusive(true);
}

} // namespace

BatchConvertDialog::BatchConvertDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::BatchConvertDialog>())
{
    m_ui->setupUi(this);
}

BatchConvertDialog::~BatchConvertDialog() = default;

void BatchConvertDialog::setLangFile(const QString &path)
{
    m_langFile = path;
}

void BatchConvertDialog::loadTexts()
{
    const TextTargets targets {
        { QStringLiteral("title"), this },
        { QStringLiteral("lbl_1"), m_ui->label_1 },
        { QStringLiteral("lbl_2"), m_ui->label_2 },
        { QStringLiteral("lbl_3"), m_ui->label_3 },
        { QStringLiteral("lbl_4"), m_ui->label_4 },
        { QStringLiteral("lbl_5"), m_ui->label_5 },
        { QStringLiteral("btn_file"), m_ui->btnSelectFiles },
        { QStringLiteral("btn_folder"), m_ui->btnSelectFolder },
        { QStringLiteral("btn_output"), m_ui->btnOutputFolder },
        { QStringLiteral("btn_convert"), m_ui->btnConvert },
        { QStringLiteral("btn_cancel"), m_ui->btnClose },
        { QStringLiteral("btn_sort1"), m_ui->radioSortType1 },
        { QStringLiteral("btn_sort2"), m_ui->radioSortType2 },
        { QStringLiteral("btn_filename1"), m_ui->radioFilename1 },
        { QStringLiteral("btn_filename2"), m_ui->radioFilename2 },
        { QStringLiteral("chk_overwrite"), m_ui->checkOverwrite },
        { QStringLiteral("chk_open_filer"), m_ui->checkOpenFiler },
        { QStringLiteral("chk_auto_detect"), m_ui->checkAutoDetect },
    };
    loadLanguageGroup(m_langFile, QStringLiteral("batch_convert"), LangTexts::batchWidgetKeys(),
        LangTexts::batchTableDefaults(), targets, m_texts);
}

int BatchConvertDialog::exec()
{
    showSelectCount();
    m_ui->labelOutputFolder->setText(m_values.outputFolder);
    checkOneOf(m_ui->buttonGroup, m_ui->radioSortType1, m_ui->radioSortType2, m_values.sortType);
    checkOneOf(m_ui->buttonGroup_2, m_ui->radioFilename1, m_ui->radioFilename2, m_values.nameType);
    m_ui->checkOverwrite->setChecked(m_values.overwrite);
    m_ui->checkOpenFiler->setChecked(m_values.openFiler);
    m_ui->checkAutoDetect->setChecked(m_values.autoDetect);
    // Enter starts the run the dialog was opened for.
    m_ui->btnConvert->setDefault(true);
    return QDialog::exec();
}

BatchDialogValues BatchConvertDialog::values() const
{
    return m_values;
}

void BatchConvertDialog::setValues(const BatchDialogValues &values)
{
    m_values = values;
}

QStringList BatchConvertDialog::listImageFolder(const QString &folder)
{
    QDir dir(folder);
    QStringList patterns;
    for (const QString &suffix : readableImageSuffixes())
        patterns << QStringLiteral("*.") + suffix;
    dir.setNameFilters(patterns);
    dir.setFilter(QDir::Files);
    QStringList paths;
    const QStringList names = dir.entryList();
    for (const QString &name : names)
        paths << folder + QLatin1Char('/') + name;
    return paths;
}

void BatchConvertDialog::configurePicker(
    QFileDialog &picker, const QString &folder, const QString &titleKey)
{
    picker.setDirectory(folder);
    picker.setWindowTitle(m_texts[titleKey]);
}

void BatchConvertDialog::on_btnSelectFiles_clicked()
{
    QFileDialog picker(this, QString(), QString(), QString());
    picker.setFileMode(QFileDialog::ExistingFiles);
    picker.setNameFilter(
        imageNameFilter(m_texts[QStringLiteral("file_filter")], readableImageSuffixes()));
    configurePicker(picker, m_values.inputFolder, QStringLiteral("file_open_title"));
    if (picker.exec() != QDialog::Accepted)
        return;
    m_values.files = picker.selectedFiles();
    if (!m_values.files.isEmpty())
        m_values.inputFolder = QFileInfo(m_values.files.first()).absolutePath();
    showSelectCount();
}

void BatchConvertDialog::on_btnSelectFolder_clicked()
{
    QFileDialog picker(this, QString(), QString(), QString());
    picker.setFileMode(QFileDialog::Directory);
    configurePicker(picker, m_values.inputFolder, QStringLiteral("folder_open_title"));
    if (picker.exec() != QDialog::Accepted)
        return;
    const QStringList picked = picker.selectedFiles();
    if (picked.isEmpty())
        return;
    m_values.inputFolder = picked.first();
    m_values.files = listImageFolder(m_values.inputFolder);
    showSelectCount();
}

void BatchConvertDialog::on_btnOutputFolder_clicked()
{
    QFileDialog picker(this, QString(), QString(), QString());
    picker.setFileMode(QFileDialog::Directory);
    configurePicker(picker, m_values.outputFolder, QStringLiteral("output_open_title"));
    if (picker.exec() != QDialog::Accepted)
        return;
    const QStringList picked = picker.selectedFiles();
    if (picked.isEmpty())
        return;
    m_values.outputFolder = picked.first();
    m_ui->labelOutputFolder->setText(m_values.outputFolder);
}

void BatchConvertDialog::on_btnConvert_clicked()
{
    takeChoices();
    accept();
}

void BatchConvertDialog::on_btnClose_clicked()
{
    takeChoices();
    reject();
}

void BatchConvertDialog::showSelectCount()
{
    m_ui->labelSelectCount->setText(
        QString::number(m_values.files.size()) + m_texts[QStringLiteral("file_selected")]);
}

void BatchConvertDialog::takeChoices()
{
    // With neither radio button checked the value handed in stays.
    if (m_ui->radioSortType1->isChecked())
        m_values.sortType = 0;
    else if (m_ui->radioSortType2->isChecked())
        m_values.sortType = 1;
    if (m_ui->radioFilename1->isChecked())
        m_values.nameType = 0;
    else if (m_ui->radioFilename2->isChecked())
        m_values.nameType = 1;
    m_values.overwrite = m_ui->checkOverwrite->isChecked();
    m_values.openFiler = m_ui->checkOpenFiler->isChecked();
    m_values.autoDetect = m_ui->checkAutoDetect->isChecked();
}

BatchDialogValues batchDialogValuesFrom(const AppSettings &settings, const QStringList &files)
{
    BatchDialogValues values;
    values.sortType = settings.batchInputFileSortType;
    values.nameType = settings.batchOutputFileNameType;
    values.files = files;
    values.outputFolder = settings.batchOutputFolder;
    values.inputFolder = settings.batchInputFolder;
    values.overwrite = settings.overwrite;
    values.openFiler = settings.openFiler;
    values.autoDetect = settings.batchAutoDetect;
    return values;
}

void applyBatchDialogValues(const BatchDialogValues &values, AppSettings &settings)
{
    settings.batchInputFileSortType = values.sortType;
    settings.batchOutputFileNameType = values.nameType;
    settings.batchOutputFolder = values.outputFolder;
    settings.batchInputFolder = values.inputFolder;
    settings.overwrite = values.overwrite;
    settings.openFiler = values.openFiler;
    settings.batchAutoDetect = values.autoDetect;
}
