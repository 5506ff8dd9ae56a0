#include "preview/previewwindow.h"

#include "app/messages.h"
#include "imageio/imagesave.h"
#include "preview/previewglobe.h"
#include "preview/previewview.h"
#include "ui_previewwindow.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QPixmap>

PreviewWindow::PreviewWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::PreviewWindow>())
{
    ui->setupUi(this);
    auto *modes = new QActionGroup(this);
    modes->addAction(ui->actionFlatView);
    modes->addAction(ui->actionGlobeView);
    connect(ui->actionFlatView, &QAction::triggered, this, [this] { setGlobeShown(false); });
    connect(ui->actionGlobeView, &QAction::triggered, this, [this] { setGlobeShown(true); });
    connect(ui->actionGraticule, &QAction::toggled, ui->globe, &PreviewGlobe::setGraticule);
    connect(ui->actionSaveView, &QAction::triggered, this, &PreviewWindow::askAndSaveGlobeView);
    showPage();
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::setImage(QImage image)
{
    ui->label2->setPixmap(QPixmap::fromImage(image));
    ui->label2->setMinimumSize(320, 240);
    ui->label2->setScaledContents(true);
    ui->globe->setImage(image);
    showPage();
}

void PreviewWindow::showProblem(const QString &text)
{
    ui->label2->setScaledContents(false);
    ui->label2->setText(text);
    ui->globe->setImage(QImage());
    showPage();
}

void PreviewWindow::clear()
{
    ui->label2->clear();
    ui->globe->setImage(QImage());
    showPage();
}

PreviewView *PreviewWindow::imageLabel() const
{
    return ui->label2;
}

PreviewGlobe *PreviewWindow::globe() const
{
    return ui->globe;
}

void PreviewWindow::setGlobeShown(bool globe)
{
    m_globeShown = globe;
    (globe ? ui->actionGlobeView : ui->actionFlatView)->setChecked(true);
    ui->actionGraticule->setEnabled(globe);
    showPage();
    if (globe)
        ui->globe->setFocus();
}

// Without an image the flat page stays, since it is the one that says why.
void PreviewWindow::showPage()
{
    const bool globe = m_globeShown && ui->globe->hasImage();
    ui->stackedViews->setCurrentWidget(globe ? ui->pageGlobe : ui->pageFlat);
    ui->actionSaveView->setEnabled(globe);
}

void PreviewWindow::setTexts(const TextTable &texts)
{
    m_texts = texts;
    ui->menuPreview->setTitle(texts[QStringLiteral("preview_menu")]);
    ui->actionFlatView->setText(texts[QStringLiteral("preview_flat")]);
    ui->actionGlobeView->setText(texts[QStringLiteral("preview_globe")]);
    ui->actionGraticule->setText(texts[QStringLiteral("preview_graticule")]);
    ui->actionSaveView->setText(texts[QStringLiteral("preview_save_view")]);
}

bool PreviewWindow::saveGlobeView(const QString &path, QString *error)
{
    const QImage shown = ui->globe->frame();
    if (shown.isNull()) {
        if (error)
            *error = QStringLiteral("no globe is shown");
        return false;
    }
    return saveImageAtomically(shown, path, "png", -1, error);
}

void PreviewWindow::askAndSaveGlobeView()
{
    QFileDialog dialog(this, m_texts[QStringLiteral("preview_save_view")]);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(m_texts[QStringLiteral("preview_png_filter")]);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(QStringLiteral("globe.png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    QString error;
    if (saveGlobeView(path, &error))
        return;
    QMessageBox box(QMessageBox::Warning, ui->actionSaveView->text(),
        Messages::withReason(path + m_texts[QStringLiteral("save_failed")], error), QMessageBox::Ok,
        this);
    box.exec();
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
