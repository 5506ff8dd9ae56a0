// The second top-level window: shows the converted result that the main window
// hands it, and reports its showing and hiding so the main window's check mark
// follows it whichever way it was closed.
#pragma once

#include <QImage>
#include <QMainWindow>

#include <memory>

namespace Ui {
class PreviewWindow;
}
class PreviewView;

class PreviewWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit PreviewWindow(QWidget *parent = nullptr);
    ~PreviewWindow() override;

    void setImage(QImage image);
    // Instead of an image: why there is none.
    void showProblem(const QString &text);
    // While shown: the image, or without one why there is none.
    void present(const QImage &image, const QString &problem);
    // Neither: the result shown belongs to no image open now.
    void clear();
    PreviewView *imageLabel() const;

signals:
    void shown();
    void hidden();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    std::unique_ptr<Ui::PreviewWindow> ui;
};
