// The custom size dialog: what OK accepts, the complaints for missing,
// odd, too small and too large sides, and what the fields let in.
#include "dialogs/SizeCustomDialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolTip>

using TW::SizeCustomDialog;

class SizeCustomDialogTest : public QObject
{
    Q_OBJECT

private:
    static QLineEdit *width(SizeCustomDialog &d) { return d.findChild<QLineEdit *>("width"); }
    static QLineEdit *height(SizeCustomDialog &d) { return d.findChild<QLineEdit *>("height"); }
    static void pressOk(SizeCustomDialog &d)
    {
        for (QPushButton *b : d.findChildren<QPushButton *>()) {
            if (b->text() == QLatin1String("OK"))
                b->click();
        }
    }

private slots:
    void okChecksBothSides_data()
    {
        QTest::addColumn<QString>("w");
        QTest::addColumn<QString>("h");
        QTest::addColumn<QString>("complaint"); // empty: accepted
        const QString even = QStringLiteral("an even number from 16 to 8192.");
        QTest::newRow("both empty") << "" << "" << "Please enter width.";
        QTest::newRow("no height") << "640" << "" << "Please enter height.";
        QTest::newRow("a size") << "1024" << "576" << "";
        QTest::newRow("smallest and largest") << "16" << "8192" << "";
        QTest::newRow("zero width") << "0" << "576" << "Width: Please enter " + even;
        QTest::newRow("plus sign only") << "+" << "576" << "Width: Please enter " + even;
        QTest::newRow("odd width") << "641" << "480" << "Width: Please enter " + even;
        QTest::newRow("odd height") << "640" << "481" << "Height: Please enter " + even;
        QTest::newRow("too small") << "640" << "14" << "Height: Please enter " + even;
        QTest::newRow("too large") << "8194" << "480" << "Width: Please enter " + even;
    }
    void okChecksBothSides()
    {
        QFETCH(QString, w);
        QFETCH(QString, h);
        QFETCH(QString, complaint);
        SizeCustomDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Custom size"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        width(dialog)->setText(w);
        height(dialog)->setText(h);
        QToolTip::hideText();
        pressOk(dialog);
        if (complaint.isEmpty()) {
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.getSize(), QSize(w.toInt(), h.toInt()));
        } else {
            QVERIFY(dialog.isVisible());
            QCOMPARE(QToolTip::text(), complaint);
            QCOMPARE(dialog.getSize(), QSize(-1, -1));
        }
    }

    void fieldsTakeDigitsOnly()
    {
        SizeCustomDialog dialog;
        dialog.show();
        QTest::keyClicks(width(dialog), QStringLiteral("-a7b2c0"));
        QCOMPARE(width(dialog)->text(), QStringLiteral("720"));
    }
};

QTEST_MAIN(SizeCustomDialogTest)
#include "tst_SizeCustomDialog.moc"
