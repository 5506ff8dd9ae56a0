#include "batch/status.h"

#include "ui_status.h"

Status::Status(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::Status>())
{
    m_ui->setupUi(this);
}

Status::~Status() = default;

void Status::setTotal(int total)
{
    m_total = total;
    m_ui->progStatus->setRange(0, 100);
    m_ui->progStatus->setValue(0);
}

void Status::setStopButtonText(const QString &text)
{
    m_ui->btnStop->setText(text);
}

void Status::setProgress(int n)
{
    m_current = n;
    // A run of no files has nothing left to do.
    const int percent
        = m_total > 0 ? static_cast<int>(static_cast<double>(n) / m_total * 100.0) : 100;
    m_ui->progStatus->setValue(percent);
    m_ui->lblCount->setText(QString::number(n) + QStringLiteral(" / ") + QString::number(m_total));
}

void Status::on_btnStop_clicked()
{
    m_stopRequested = true;
}
