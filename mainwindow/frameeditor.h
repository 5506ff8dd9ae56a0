// Drags on the source view turned into frames: a press on an edge or inside
// the frame moves it, a press beside it drags out a new one or hides it. The
// frame follows the pointer as a tentative one; only a release commits it.
#pragma once

#include "mainwindow/framedrag.h"

#include <QObject>
#include <QSize>

#include <functional>

class SourceView;

class FrameEditor : public QObject
{
    Q_OBJECT

public:
    // margins: the committed frame, asked at each step.
    FrameEditor(SourceView *view, std::function<Margins()> margins);

    // The image the view shows; an empty size ignores every drag.
    void setImageSize(const QSize &size) { m_size = size; }
    bool frameActive() const { return m_active; }
    void setFrameActive(bool active);

signals:
    void tentative(const Margins &margins);
    void committed(const Margins &margins);
    void hidden();

private:
    void press(int x, int y);
    void step(int x, int y);
    void release(int x, int y);

    SourceView *m_view;
    std::function<Margins()> m_margins;
    FrameDrag m_drag;
    QSize m_size;
    bool m_active = false;
};
