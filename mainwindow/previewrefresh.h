// Keeps the preview showing what a save would write: a change only marks it
// out of date, and it is made again once the queued events are handled, so a
// burst of changes costs one remap; only while the preview is shown and
// automatic preview is on.
#pragma once

#include <QObject>

#include <functional>

class PreviewWindow;
class QTimer;

class PreviewRefresh : public QObject
{
    Q_OBJECT

public:
    PreviewRefresh(PreviewWindow *preview, const bool &automatic, std::function<void()> refresh,
        QObject *parent);

    void request();
    void cancel();
    bool pending() const;

private:
    PreviewWindow *m_preview;
    const bool &m_automatic;
    QTimer *m_timer;
};
