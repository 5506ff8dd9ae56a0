// The second top-level window: shows the converted result that the main window
// hands it, flat or on a globe, and reports its showing and hiding so the main
// window's check mark follows it whichever way it was closed.
#pragma once

#include "app/langtexts.h"

#include <QImage>
#include <QMainWindow>

#include <memory>

namespace Ui {
class PreviewWindow;
}
class PreviewGlobe;
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
    PreviewGlobe *globe() const;

    // The globe in place of the flat picture; the globe needs an image to show.
    bool globeShown() const { return m_globeShown; }
    void setGlobeShown(bool globe);
    // The menu's texts and those of the save dialog and its messages.
    void setTexts(const TextTable &texts);
    // Writes the globe as shown to a PNG file, through a temporary file.
    bool saveGlobeView(const QString &path, QString *error = nullptr);

signals:
    void shown();
    void hidden();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showPage();
    void askAndSaveGlobeView();

    std::unique_ptr<Ui::PreviewWindow> ui;
    TextTable m_texts;
    bool m_globeShown = false;
};
