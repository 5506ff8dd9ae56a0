// Progress window of a batch run: the percentage and count it shows, and the
// stop flag that the run polls between files.
#include "batch/batchprogressdialog.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

class TestBatchProgressDialog : public QObject
{
    Q_OBJECT

private slots:
    void progressOfThreeFiles();
    void emptyRunDoesNotDivideByZero();
    void stopButtonSetsTheFlag();
    void closingOnlyHides();
};

void TestBatchProgressDialog::progressOfThreeFiles()
{
    BatchProgressDialog status;
    auto *bar = status.findChild<QProgressBar *>(QStringLiteral("progStatus"));
    auto *count = status.findChild<QLabel *>(QStringLiteral("lblCount"));
    QVERIFY(bar && count);
    QCOMPARE(count->text(), QString());

    status.setTotal(3);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);

    // 33.3 is truncated, not rounded.
    status.setProgress(1);
    QCOMPARE(bar->value(), 33);
    QCOMPARE(count->text(), QStringLiteral("1 / 3"));
    status.setProgress(2);
    QCOMPARE(bar->value(), 66);
    status.setProgress(3);
    QCOMPARE(bar->value(), 100);
    QCOMPARE(count->text(), QStringLiteral("3 / 3"));
}

void TestBatchProgressDialog::emptyRunDoesNotDivideByZero()
{
    BatchProgressDialog status;
    status.setTotal(0);
    status.setProgress(0);
    QCOMPARE(status.findChild<QProgressBar *>(QStringLiteral("progStatus"))->value(), 100);
    QCOMPARE(
        status.findChild<QLabel *>(QStringLiteral("lblCount"))->text(), QStringLiteral("0 / 0"));
}

void TestBatchProgressDialog::stopButtonSetsTheFlag()
{
    BatchProgressDialog status;
    auto *stop = status.findChild<QPushButton *>(QStringLiteral("btnStop"));
    QVERIFY(stop);
    QCOMPARE(stop->text(), QStringLiteral("中止"));
    status.setStopButtonText(QStringLiteral("Stop"));
    QCOMPARE(stop->text(), QStringLiteral("Stop"));

    status.show();
    QVERIFY(!status.stopRequested());
    QTest::mouseClick(stop, Qt::LeftButton);
    QVERIFY(status.stopRequested());
}

void TestBatchProgressDialog::closingOnlyHides()
{
    QPointer<BatchProgressDialog> status = new BatchProgressDialog;
    status->setTotal(2);
    status->show();
    status->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(status);
    QVERIFY(status->isHidden());
    QVERIFY(!status->stopRequested());
    delete status;
}

QTEST_MAIN(TestBatchProgressDialog)
#include "tst_batchprogressdialog.moc"
