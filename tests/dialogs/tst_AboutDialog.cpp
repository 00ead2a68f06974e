// The About box: its version line, its fixed size and how it closes.
#include "dialogs/AboutDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

using TW::AboutDialog;

class tst_AboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("Tarnwell"));
        QCoreApplication::setApplicationVersion(QStringLiteral("2"));
    }

    void showsNameAndVersion()
    {
        AboutDialog::setLinks(QUrl(QStringLiteral("file:///guide.html#guide")),
                              QUrl(QStringLiteral("file:///guide.html#help")));
        AboutDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About Tarnwell"));
        QStringList texts;
        for (const QLabel *label : dialog.findChildren<QLabel *>())
            texts << label->text();
        QVERIFY(texts.contains(QStringLiteral("Tarnwell Version: 2.0.0.806")));
        QVERIFY(texts.contains(QStringLiteral("Website: ")));
        QVERIFY(texts.contains(QStringLiteral("Help Desk: ")));
        QVERIFY(texts.filter(QStringLiteral("href=\"file:///guide.html#help\"")).size() == 1);
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
        QCOMPARE(dialog.minimumSize(), QSize(405, 280));
        QCOMPARE(dialog.maximumSize(), QSize(405, 280));
    }

    void closesByOkAndEscape()
    {
        AboutDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.findChild<QPushButton *>()->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(tst_AboutDialog)
#include "tst_AboutDialog.moc"
