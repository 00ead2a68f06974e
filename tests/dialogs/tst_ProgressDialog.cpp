// The progress dialog shown while importing or exporting: its look, its
// value handling, and how Cancel, Escape and closing reach its owner.
#include "dialogs/ProgressDialog.h"

#include "TestEnv.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using TW::ProgressDialog;

class ProgressDialogTest : public QObject
{
    Q_OBJECT

    static QPushButton *cancelButton(ProgressDialog &dialog)
    {
        return dialog.findChild<QPushButton *>("cancelPushButton");
    }

private slots:
    void initTestCase() { TW::test::isolateHome(); }

    void looksLikeAToolWindow()
    {
        ProgressDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Tarnwell"));
        QCOMPARE(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
        QVERIFY(!dialog.isVisible());
        auto *bar = dialog.findChild<QProgressBar *>("progressBar");
        QVERIFY(bar);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QVERIFY(cancelButton(dialog));
        QCOMPARE(cancelButton(dialog)->text(), QString("Cancel"));
    }

    void showsMessageAndProgress_data()
    {
        QTest::addColumn<int>("given");
        QTest::addColumn<int>("shown");
        QTest::newRow("start") << 0 << 0;
        QTest::newRow("middle") << 42 << 42;
        QTest::newRow("end") << 100 << 100;
        // A failed conversion reports -1; a bad estimate may pass 100.
        QTest::newRow("below range") << -1 << 0;
        QTest::newRow("above range") << 250 << 100;
    }
    void showsMessageAndProgress()
    {
        QFETCH(int, given);
        QFETCH(int, shown);
        ProgressDialog dialog;
        dialog.setProgress(57);
        dialog.setMessage("Importing video");
        dialog.setProgress(given);
        QCOMPARE(dialog.findChild<QProgressBar *>("progressBar")->value(), shown);
        QCOMPARE(dialog.findChild<QLabel *>("label")->text(), QString("Importing video"));
    }

    void cancelClickKeepsDialogOpen()
    {
        ProgressDialog dialog;
        QSignalSpy cancelled(&dialog, &ProgressDialog::cancelled);
        dialog.show();
        QTest::mouseClick(cancelButton(dialog), Qt::LeftButton);
        QCOMPARE(cancelled.count(), 1);
        QVERIFY(dialog.isVisible());
    }

    void rejectingCancelsAndCloses_data()
    {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("escape key") << true;
        QTest::newRow("close button") << false;
    }
    void rejectingCancelsAndCloses()
    {
        QFETCH(bool, byEscape);
        ProgressDialog dialog;
        QSignalSpy cancelled(&dialog, &ProgressDialog::cancelled);
        dialog.show();
        if (byEscape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            dialog.close();
        QCOMPARE(cancelled.count(), 1);
        QVERIFY(!dialog.isVisible());
    }

    // Owners end the modal run by hiding the dialog when their work is done;
    // that must not count as a cancel.
    void hidingEndsModalRunWithoutCancel()
    {
        ProgressDialog dialog;
        QSignalSpy cancelled(&dialog, &ProgressDialog::cancelled);
        QTimer::singleShot(0, &dialog, [&] {
            dialog.setProgress(100);
            dialog.hide();
        });
        dialog.exec();
        QCOMPARE(cancelled.count(), 0);
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(ProgressDialogTest)
#include "tst_ProgressDialog.moc"
