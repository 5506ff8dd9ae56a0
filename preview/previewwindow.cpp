#include "preview/previewwindow.h"

#include "preview/previewview.h"
#include "ui_previewwindow.h"

#include <QCloseEvent>
#include <QPixmap>

PreviewWindow::PreviewWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::PreviewWindow>())
{
    ui->setupUi(this);
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::setImage(QImage image)
{
    ui->label2->setPixmap(QPixmap::fromImage(image));
    ui->label2->setMinimumSize(320, 240);
    ui->label2->setScaledContents(true);
}

void PreviewWindow::showProblem(const QString &text)
{
    ui->label2->setScaledContents(false);
    ui->label2->setText(text);
}

void PreviewWindow::clear()
{
    ui->label2->clear();
}

PreviewView *PreviewWindow::imageLabel() const
{
    return ui->label2;
}

// The window is kept for the main window's whole life: closing only hides it.
void PreviewWindow::closeEvent(QCloseEvent *event)
{
    hide();
    event->accept();
}

void PreviewWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    emit shown();
}

void PreviewWindow::hideEvent(QHideEvent *event)
{
    QMainWindow::hideEvent(event);
    emit hidden();
}

void PreviewWindow::present(const QImage &image, const QString &problem)
{
    if (!isVisible())
        return;
    if (image.isNull())
        showProblem(problem);
    else
        setImage(image);
}
