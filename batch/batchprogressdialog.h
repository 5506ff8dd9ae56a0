// Progress window of an interactive batch run. The run polls stopRequested()
// between files; closing the window only hides it, so the stop button is the
// one way to end a run early.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class BatchProgressDialog;
}

class BatchProgressDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BatchProgressDialog(QWidget *parent = nullptr);
    ~BatchProgressDialog() override;

    bool stopRequested() const { return m_stopRequested; }

    void setTotal(int total);
    void setStopButtonText(const QString &text);
    // n is the number of files handled so far.
    void setProgress(int n);

public slots:
    void on_btnStop_clicked();

private:
    bool m_stopRequested = false;
    int m_total = 0;
    int m_current = 0;
    std::unique_ptr<Ui::BatchProgressDialog> m_ui;
};
