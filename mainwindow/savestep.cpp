#include "mainwindow/savestep.h"

#include "app/messages.h"
#include "app/settingsstore.h"
#include "imageio/imagesave.h"
#include "imageio/outputnaming.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>

SaveStep::SaveStep(
    QLineEdit *nameLine, AppSettings &settings, const TextTable &texts, QWidget *window)
    : QObject(window)
    , m_line(nameLine)
    , m_settings(settings)
    , m_texts(texts)
    , m_window(window)
{ }

void SaveStep::showName()
{
    m_line->setText(saveFileNameText(m_settings.saveBaseName, m_settings.outputFormat));
    m_line->setToolTip(saveFileToolTip(
        m_settings.saveFolderName, m_settings.saveBaseName, m_settings.outputFormat));
}

void SaveStep::imageOpened(const QString &path)
{
    m_settings.saveBaseName = proposedSaveBaseName(path);
    if (m_settings.saveFolderName.isEmpty() && !path.isEmpty())
        m_settings.saveFolderName = QFileInfo(path).absolutePath();
    showName();
}

void SaveStep::nameEdited()
{
    const QString text = m_line->text();
    m_line->setToolTip(
        text.isEmpty() ? QString() : m_settings.saveFolderName + QLatin1Char('/') + text);
    if (text.isEmpty())
        return;
    m_settings.saveBaseName = QFileInfo(text).completeBaseName();
    m_settings.outputFormat = outputFormatForTypedName(text, m_settings.outputFormat);
}

void SaveStep::browse()
{
    QFileDialog dialog(m_window, QString(), QString(), QString());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (!m_settings.saveFolderName.isEmpty())
        dialog.setDirectory(m_settings.saveFolderName);
    else if (!m_settings.loadFilePath.isEmpty())
        dialog.setDirectory(QFileInfo(m_settings.loadFilePath).absolutePath());
    dialog.setWindowTitle(m_texts[QStringLiteral("save_image_title")]);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    m_settings.saveFolderName = dialog.selectedFiles().first();
    showName();
}

void SaveStep::convertAndSave(
    const QString &title, const QString &refusal, const std::function<QImage(QString *error)> &make)
{
    if (m_busy)
        return;
    // An empty folder would put the file at the filesystem root.
    const QString why = !refusal.isEmpty()    ? refusal
        : m_settings.saveFolderName.isEmpty() ? m_texts[QStringLiteral("no_save_folder")]
                                              : QString();
    if (!why.isEmpty()) {
        tell(QMessageBox::Warning, title, why);
        return;
    }
    const QString name = m_line->text();
    const QString target = m_settings.saveFolderName + QLatin1Char('/') + name;
    if (QFileInfo::exists(target)) {
        QMessageBox box(QMessageBox::Warning, title,
            name + m_texts[QStringLiteral("overwrite_question")],
            QMessageBox::Yes | QMessageBox::No, m_window);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return;
    }
    m_busy = true;
    QString error;
    const QImage output = make(&error);
    m_busy = false;
    if (!output.isNull()
        && saveImageAtomically(output, target,
            outputFormatName(outputFormatFromInt(m_settings.outputFormat)),
            m_settings.outputQuality, &error)) {
        tell(QMessageBox::Information, title, target + m_texts[QStringLiteral("saved_file")]);
    } else {
        tell(QMessageBox::Warning, title,
            Messages::withReason(target + m_texts[QStringLiteral("save_failed")], error));
    }
}

void SaveStep::tell(int icon, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Icon(icon), title, text, QMessageBox::Ok, m_window);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}
