#include "mainwindow/paramfiledialogs.h"

#include "params/paramfile.h"

#include <QFileDialog>
#include <QMessageBox>

namespace ParamFileDialogs {

namespace {

QMessageBox::StandardButton tell(QWidget *parent, QMessageBox::Icon icon, const QString &title,
    const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(buttons & QMessageBox::No ? QMessageBox::No : QMessageBox::Ok);
    return QMessageBox::StandardButton(box.exec());
}

QString chosenFile(QWidget *parent, const TextTable &texts, const QString &folder, bool saving)
{
    QFileDialog dialog(parent, QString(), QString(), QString());
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(texts[QStringLiteral("inifile_filter")]);
    dialog.setDirectory(folder);
    if (saving)
        dialog.selectFile(QStringLiteral("OX_map_param"));
    dialog.setWindowTitle(
        texts[saving ? QStringLiteral("save_inifile") : QStringLiteral("load_inifile")]);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

} // namespace

void save(QWidget *parent, const TextTable &texts, const QString &folder, const ParamSet &params)
{
    const QString path = chosenFile(parent, texts, folder, true);
    if (path.isEmpty())
        return;
    const QString title = texts[QStringLiteral("save_inifile_title")];
    // The other groups of the file are kept, so a file that is no settings
    // text must not be taken for one, and one in another encoding keeps a copy.
    const IniFileState state = iniFileState(path);
    if (state == IniFileState::NotText || state == IniFileState::NotSettings
        || state == IniFileState::NotRegular) {
        tell(parent, QMessageBox::Warning, title,
            path + texts[QStringLiteral("param_file_not_text")]);
        return;
    }
    if (state == IniFileState::NotUtf8
        && tell(parent, QMessageBox::Warning, title,
               path + texts[QStringLiteral("param_file_not_utf8")],
               QMessageBox::Yes | QMessageBox::No)
            != QMessageBox::Yes)
        return;
    if (writeParamFile(path, params))
        tell(parent, QMessageBox::Information, title, path + texts[QStringLiteral("saved_file")]);
    else
        tell(
            parent, QMessageBox::Warning, title, path + texts[QStringLiteral("save_param_failed")]);
}

std::optional<ParamSet> load(QWidget *parent, const TextTable &texts, const QString &folder,
    const QString &title, const ParamSet &base)
{
    const QString path = chosenFile(parent, texts, folder, false);
    if (path.isEmpty())
        return std::nullopt;
    const ParamFileRead read = readParamFile(path, base);
    // A file that is no parameter file at all should not look as if it loaded;
    // an odd value or name is the fields' and the convert button's to show.
    if (read.fault == ParamFileRead::Fault::Missing
        || read.fault == ParamFileRead::Fault::NotSettings
        || read.fault == ParamFileRead::Fault::NoParameters) {
        tell(parent, QMessageBox::Warning, title, path + texts[QStringLiteral("param_file_empty")]);
        return std::nullopt;
    }
    return read.params;
}

} // namespace ParamFileDialogs
