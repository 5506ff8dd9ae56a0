#include "mainwindow/frameeditor.h"

#include "mainwindow/sourceview.h"

FrameEditor::FrameEditor(SourceView *view, std::function<Margins()> margins)
    : QObject(view)
    , m_view(view)
    , m_margins(std::move(margins))
{
    connect(view, &SourceView::mouseleftdown, this, &FrameEditor::press);
    connect(view, &SourceView::size_changing, this,
        [this](int, int, int, int, int, int, int x, int y) { step(x, y); });
    connect(view, &SourceView::mouseleftup, this, &FrameEditor::release);
}

void FrameEditor::setFrameActive(bool active)
{
    m_active = active;
    m_view->pointMode = active;
}

void FrameEditor::press(int x, int y)
{
    m_drag.press(x, y, m_active, m_margins(), m_size.width(), m_size.height(),
        grabRadius(m_view->imagePerViewPixel()));
    // A press on a hidden frame draws nothing yet.
    if (m_active)
        step(x, y);
}

void FrameEditor::step(int x, int y)
{
    if (m_size.isEmpty())
        return;
    const auto margins = m_drag.step(x, y, m_active, m_margins(), m_size.width(), m_size.height());
    if (!margins)
        return;
    // A new frame is being dragged out.
    if (!m_active)
        m_view->pointMode = true;
    emit tentative(*margins);
}

void FrameEditor::release(int x, int y)
{
    Margins margins;
    const FrameDrag::Release outcome
        = m_drag.release(x, y, m_active, m_margins(), m_size.width(), m_size.height(), &margins);
    if (m_size.isEmpty() || outcome == FrameDrag::Release::Nothing)
        return;
    setFrameActive(outcome == FrameDrag::Release::Commit);
    if (outcome == FrameDrag::Release::Commit)
        emit committed(margins);
    else
        emit hidden();
}
