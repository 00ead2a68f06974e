// The requests answered before anything is made: "--help" and "--version"
// end the program with their text; everything else (the controller's "-log",
// "-p x y" and file names) goes on to the window.
#include "app/CommandLine.h"

#include <QtTest>

using TW::CommandLine;

class tst_CommandLine : public QObject
{
    Q_OBJECT
private slots:
    void answer_data();
    void answer();
    void helpNamesEveryOption();
};

void tst_CommandLine::answer_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("prints"); // empty: the program goes on

    const QString help = QStringLiteral("Usage: tarnwell");
    const QString version = QStringLiteral("Tarnwell " TW_VERSION "\n");
    QTest::newRow("no arguments") << QStringList{"/usr/bin/tarnwell"} << QString();
    QTest::newRow("--help") << QStringList{"/usr/bin/tarnwell", "--help"} << help;
    QTest::newRow("-h") << QStringList{"tarnwell", "-h"} << help;
    QTest::newRow("-help, a word after one dash") << QStringList{"tarnwell", "-help"} << help;
    QTest::newRow("--version") << QStringList{"tarnwell", "--version"} << version;
    QTest::newRow("-v") << QStringList{"tarnwell", "-v"} << version;
    QTest::newRow("help wins over version") << QStringList{"tarnwell", "--version", "--help"} << help;
    QTest::newRow("help after a file") << QStringList{"tarnwell", "clip.mp4", "--help"} << help;
    QTest::newRow("-log and -p go on") << QStringList{"tarnwell", "-log", "-p", "10", "20", "clip.mp4"}
                                       << QString();
    QTest::newRow("-p abc 200 goes on") << QStringList{"tarnwell", "-p", "abc", "200"} << QString();
    QTest::newRow("an unknown dash word is a file") << QStringList{"tarnwell", "-odd name.mp4"} << QString();
    QTest::newRow("-l is not -log, and no error") << QStringList{"tarnwell", "-l"} << QString();
    QTest::newRow("after --, --help is a file") << QStringList{"tarnwell", "--", "--help"} << QString();
}

void tst_CommandLine::answer()
{
    QFETCH(QStringList, args);
    QFETCH(QString, prints);
    const CommandLine::Answer a = CommandLine::answer(args);
    QCOMPARE(a.exit, !prints.isEmpty());
    QCOMPARE(a.code, 0);
    if (prints.isEmpty())
        QVERIFY(a.text.isEmpty());
    else
        QVERIFY2(a.text.startsWith(prints), qPrintable(a.text));
}

void tst_CommandLine::helpNamesEveryOption()
{
    const QString text = CommandLine::helpText(QStringLiteral("tarnwell"));
    QVERIFY2(text.startsWith(QStringLiteral("Usage: tarnwell [-log] [-p x y] [file]\n")), qPrintable(text));
    for (const char *option : {"--help", "--version", "\n  -log ", "-p <x y>", "file"})
        QVERIFY2(text.contains(QLatin1String(option)), option);
    // "--log" would be read as a file name.
    QVERIFY(!text.contains(QLatin1String("--log")));
    QVERIFY(text.endsWith(QLatin1Char('\n')));
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
