// Modal dialog for the output settings: image size, format, JPEG quality and the
// pen of the selection frame. The caller hands the values in before exec() and
// takes them back only when it returns 1.
#pragma once

#include "app/langtexts.h"
#include "options/optionvalues.h"

#include <QDialog>

#include <memory>

class QLineEdit;

namespace Ui {
class OptionsDialog;
}

class OptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OptionsDialog(QWidget *parent = nullptr);
    ~OptionsDialog() override;

    void setLangFile(const QString &path);
    // Reads the group "config"; call after setLangFile and before exec().
    void loadTexts();

    int exec() override;

    OptionValues values() const;
    void setValues(const OptionValues &values);

public slots:
    void on_btnDefault_clicked();
    void on_btnOk_clicked();
    void on_btnCancel_clicked();

private:
    void showValues(const OptionValues &values);
    QLineEdit *lineFor(OptionField field) const;

    OptionValues m_values;
    QString m_langFile;
    std::unique_ptr<Ui::OptionsDialog> m_ui;
    TextTable m_texts;
};
