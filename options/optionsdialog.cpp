#include "options/optionsdialog.h"

#include "app/widgettexts.h"
#include "logging/logging.h"
#include "ui_optionsdialog.h"

#include <QAbstractButton>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

OptionsDialog::OptionsDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::OptionsDialog>())
{
    m_ui->setupUi(this);
}

OptionsDialog::~OptionsDialog() = default;

void OptionsDialog::setLangFile(const QString &path)
{
    m_langFile = path;
}

void OptionsDialog::loadTexts()
{
    const TextTargets targets {
        { QStringLiteral("title"), this },
        { QStringLiteral("lbl_2"), m_ui->label_2 },
        { QStringLiteral("lbl_3"), m_ui->label_3 },
        { QStringLiteral("lbl_3_2"), m_ui->label_3_2 },
        { QStringLiteral("lbl_4"), m_ui->label_4 },
        { QStringLiteral("lbl_4_2"), m_ui->label_4_2 },
        { QStringLiteral("lbl_5"), m_ui->label_5 },
        { QStringLiteral("chk_pole_fill"), m_ui->chkPoleFill },
        { QStringLiteral("btn_default"), m_ui->btnDefault },
        { QStringLiteral("btn_cancel"), m_ui->btnCancel },
        { QStringLiteral("btn_ok"), m_ui->btnOk },
    };
    loadLanguageGroup(m_langFile, QStringLiteral("config"), LangTexts::configWidgetKeys(),
        LangTexts::configTableDefaults(), targets, m_texts);
    const char *const methods[] = { "resampling_nearest", "resampling_bilinear",
        "resampling_bicubic", "resampling_lanczos" };
    for (int i = 0; i < m_ui->cbResampling->count(); ++i)
        m_ui->cbResampling->setItemText(i, m_texts[QLatin1String(methods[i])]);
}

int OptionsDialog::exec()
{
    showValues(m_values);
    // Enter in a field takes the values as OK would, checks included.
    m_ui->btnOk->setDefault(true);
    return QDialog::exec();
}

OptionValues OptionsDialog::values() const
{
    return m_values;
}

void OptionsDialog::setValues(const OptionValues &values)
{
    m_values = values;
}

void OptionsDialog::showValues(const OptionValues &values)
{
    m_ui->lineOutputSizeX->setText(QString::number(values.outputWidth));
    m_ui->lineOutputSizeY->setText(QString::number(values.outputHeight));
    m_ui->lineQuality->setText(QString::number(values.quality));
    m_ui->cbFormat->setCurrentIndex(values.formatIndex);
    m_ui->linePenSize->setText(QString::number(values.penWidth));
    // The caller hands the colour over as QColor::name() gives it, in lower case.
    m_ui->linePenColor->setText(values.penColor.toUpper());
    const bool known = values.resampling >= 0 && values.resampling < m_ui->cbResampling->count();
    m_ui->cbResampling->setCurrentIndex(known ? values.resampling : 0);
    m_ui->chkPoleFill->setChecked(values.poleFill);
}

void OptionsDialog::on_btnDefault_clicked()
{
    showValues(optionDefaults());
    repaint();
}

void OptionsDialog::on_btnOk_clicked()
{
    m_values.outputWidth = parseOptionInt(m_ui->lineOutputSizeX->text());
    m_values.outputHeight = parseOptionInt(m_ui->lineOutputSizeY->text());
    m_values.quality = parseOptionInt(m_ui->lineQuality->text());
    m_values.formatIndex = m_ui->cbFormat->currentIndex();
    m_values.penColor = m_ui->linePenColor->text();
    m_values.penWidth = parseOptionInt(m_ui->linePenSize->text());
    m_values.resampling = m_ui->cbResampling->currentIndex();
    m_values.poleFill = m_ui->chkPoleFill->isChecked();

    const QList<OptionField> failing = failingOptionFields(m_values);
    if (failing.isEmpty()) {
        accept();
        return;
    }
    // A line edit drops its selection when it loses the focus, so the focus
    // moves first and the selections are made afterwards: every failing field
    // stays marked and the focus ends on the last one.
    for (OptionField field : failing)
        lineFor(field)->setFocus(Qt::OtherFocusReason);
    for (OptionField field : failing)
        lineFor(field)->selectAll();

    QMessageBox box(QMessageBox::Warning, windowTitle(), m_texts[QStringLiteral("error_mess")],
        QMessageBox::Ok, this);
    box.exec();
}

void OptionsDialog::on_btnCancel_clicked()
{
    reject();
}

QLineEdit *OptionsDialog::lineFor(OptionField field) const
{
    switch (field) {
    case OptionField::OutputWidth:
        return m_ui->lineOutputSizeX;
    case OptionField::OutputHeight:
        return m_ui->lineOutputSizeY;
    case OptionField::Quality:
        return m_ui->lineQuality;
    case OptionField::PenWidth:
        return m_ui->linePenSize;
    }
    return m_ui->lineOutputSizeX;
}
