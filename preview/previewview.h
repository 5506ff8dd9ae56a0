// The preview label: shows the converted image fitted into the preview window.
// It reports mouse drags like the source view, but nothing listens to them; a
// drag smaller than 8 x 8 label pixels is taken for a click and not reported.
#pragma once

#include "mainwindow/sourceview.h"

#include <QLabel>

class QMouseEvent;
class QPaintEvent;

class PreviewView : public QLabel
{
    Q_OBJECT

public:
    explicit PreviewView(QWidget *parent = nullptr);
    ~PreviewView() override;

    bool pointMode = false;

signals:
    void mouseleftdown(int x, int y);
    void mouseleftup(int x, int y);
    void mouserightup();
    void size_changed(int x, int y, int r);
    void size_changing(int cx, int cy, int x1, int y1, int x2, int y2, int x, int y);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int toImage(int v, double scale) const;

    LabelDrag m_drag;
};
