// The preview label: shows the converted image fitted into the preview
// window, or, in place of a picture, the label's own text.
#pragma once

#include <QLabel>

class QPaintEvent;

class PreviewView : public QLabel
{
    Q_OBJECT

public:
    explicit PreviewView(QWidget *parent = nullptr);
    ~PreviewView() override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
