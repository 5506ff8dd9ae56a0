#include "batch/batchprogressdialog.h"

#include "ui_batchprogressdialog.h"

BatchProgressDialog::BatchProgressDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::BatchProgressDialog>())
{
    m_ui->setupUi(this);
}

BatchProgressDialog::~BatchProgressDialog() = default;

void BatchProgressDialog::setTotal(int total)
{
    m_total = total;
    m_ui->progStatus->setRange(0, 100);
    m_ui->progStatus->setValue(0);
}

void BatchProgressDialog::setStopButtonText(const QString &text)
{
    m_ui->btnStop->setText(text);
}

void BatchProgressDialog::setProgress(int n)
{
    m_current = n;
    // A run of no files has nothing left to do.
    const int percent
        = m_total > 0 ? static_cast<int>(static_cast<double>(n) / m_total * 100.0) : 100;
    m_ui->progStatus->setValue(percent);
    m_ui->lblCount->setText(QString::number(n) + QStringLiteral(" / ") + QString::number(m_total));
}

void BatchProgressDialog::on_btnStop_clicked()
{
    m_stopRequested = true;
}
