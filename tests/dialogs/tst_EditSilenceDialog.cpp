// The insert-silence dialog: its answers, which lengths OK takes, and a
// length typed with the locale's decimal comma.
#include "dialogs/EditSilenceDialog.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using TW::EditSilenceDialog;

class EditSilenceDialogTest : public QObject
{
    Q_OBJECT

private:
    static QLineEdit *field(EditSilenceDialog &d) { return d.findChild<QLineEdit *>("amountSilenceLineEdit"); }
    static void pressOk(EditSilenceDialog &d)
    {
        d.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
    }

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void form()
    {
        EditSilenceDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Insert Silence"));
        QCOMPARE(dialog.getPosition(), 0);
        dialog.findChild<QRadioButton *>("currentRadioButton")->setChecked(true);
        QCOMPARE(dialog.getPosition(), 2);
        dialog.findChild<QRadioButton *>("endRadioButton")->setChecked(true);
        QCOMPARE(dialog.getPosition(), 1);
        QVERIFY(!dialog.findChild<QRadioButton *>("beginningRadioButton")->isChecked());
    }

    void okTakesOnlyAcceptableLengths_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<float>("length");
        QTest::newRow("decimal") << "12.5" << true << 12.5f;
        QTest::newRow("zero") << "0" << true << 0.0f;
        QTest::newRow("largest") << "9999" << true << 9999.0f;
        QTest::newRow("too long") << "10000" << false << 0.0f;
        QTest::newRow("empty") << "" << false << 0.0f;
    }
    void okTakesOnlyAcceptableLengths()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(float, length);
        EditSilenceDialog dialog;
        dialog.show();
        field(dialog)->setText(text);
        pressOk(dialog);
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        QCOMPARE(dialog.isVisible(), !accepted);
        if (accepted)
            QCOMPARE(dialog.getLength(), length);
    }

    // The validator takes the locale's decimal sign; the length is read in
    // the same locale, so "12,5" is twelve and a half seconds, not 0.
    void lengthInTheValidatorsLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        EditSilenceDialog dialog;
        dialog.show();
        QTest::keyClicks(field(dialog), QStringLiteral("12,5"));
        QCOMPARE(field(dialog)->text(), QStringLiteral("12,5"));
        pressOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.getLength(), 12.5f);
    }
};

QTEST_MAIN(EditSilenceDialogTest)
#include "tst_EditSilenceDialog.moc"
