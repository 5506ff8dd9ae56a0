#include "mainwindow/previewrefresh.h"

#include "preview/previewwindow.h"

#include <QTimer>

PreviewRefresh::PreviewRefresh(
    PreviewWindow *preview, const bool &automatic, std::function<void()> refresh, QObject *parent)
    : QObject(parent)
    , m_preview(preview)
    , m_automatic(automatic)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, [this, refresh] {
        if (m_preview->isVisible() && m_automatic)
            refresh();
    });
}

void PreviewRefresh::request()
{
    if (m_preview->isVisible() && m_automatic && !m_timer->isActive())
        m_timer->start();
}

void PreviewRefresh::cancel()
{
    m_timer->stop();
}

bool PreviewRefresh::pending() const
{
    return m_timer->isActive();
}
