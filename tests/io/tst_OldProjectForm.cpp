// Projects of the older text form: which lines count and what is read from
// them, and what is refused (values the program cannot play) with a message
// that names the line.
#include "io/OldProjectForm.h"

#include <QtTest>

using namespace TW;

class tst_OldProjectForm : public QObject
{
    Q_OBJECT
private slots:
    void reads_data();
    void reads();
    void refuses_data();
    void refuses();
    void loopFrames();
};

void tst_OldProjectForm::reads_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("path");
    QTest::addColumn<double>("pitch");
    QTest::addColumn<double>("tempo");
    QTest::addColumn<int>("startMs");
    QTest::addColumn<int>("endMs");
    const QByteArray h = "[Tarnwell Project]\n";
    QTest::newRow("worked example") << h + "avifullpath=/m/a.avi\npitch=2\ntempo=-25\nstartloop=10\nendloop=20\n"
                                    << "/m/a.avi" << 2.0 << -25.0 << 10000 << 20000;
    QTest::newRow("keys in capitals, CR LF")
        << QByteArray("[Tarnwell Project]\r\nAVIFULLPATH=/m/a.avi\r\nPitch=-3\r\nTEMPO=50\r\nStartLoop=1\r\nEndLoop=2\r\n")
        << "/m/a.avi" << -3.0 << 50.0 << 1000 << 2000;
    QTest::newRow("unreadable numbers read as 0")
        << h + "avifullpath=/m/a.avi\npitch=high\ntempo=\nstartloop=soon\nendloop=4.5\n"
        << "/m/a.avi" << 0.0 << 0.0 << 0 << 4500;
    QTest::newRow("blanks after the equals sign stay in the value")
        << h + "avifullpath= /m/a.avi\npitch=1\ntempo=-25\nstartloop=0\nendloop=1\n"
        << " /m/a.avi" << 1.0 << -25.0 << 0 << 1000;
    QTest::newRow("a line holding = twice counts for nothing")
        << h + "avifullpath=/m/x=y.avi\nflvfullpath=/m/f.flv\npitch=0\ntempo=0\nstartloop=1.25\nendloop=3\n"
        << "/m/f.flv" << 0.0 << 0.0 << 1250 << 3000;
    QTest::newRow("the later line of a key wins")
        << h + "avifullpath=/m/a.avi\npitch=1\npitch=2\ntempo=0\nstartloop=0\nendloop=1\n"
        << "/m/a.avi" << 2.0 << 0.0 << 0 << 1000;
    QTest::newRow("loop times wrap at 24 hours")
        << h + "avifullpath=/a\npitch=0\ntempo=0\nstartloop=86401\nendloop=86402.5\n"
        << "/a" << 0.0 << 0.0 << 1000 << 2500;
    QTest::newRow("avi path wins, flv first") << h + "flvfullpath=/m/f.flv\navifullpath=/m/a.avi\npitch=0\ntempo=0\nstartloop=0\nendloop=1\n"
                                              << "/m/a.avi" << 0.0 << 0.0 << 0 << 1000;
    QTest::newRow("avi path wins, flv last") << h + "avifullpath=/m/a.avi\nflvfullpath=/m/f.flv\npitch=0\ntempo=0\nstartloop=0\nendloop=1\n"
                                             << "/m/a.avi" << 0.0 << 0.0 << 0 << 1000;
    QTest::newRow("flv path alone") << h + "flvfullpath=/m/f.flv\npitch=0\ntempo=0\nstartloop=0\nendloop=1\n"
                                    << "/m/f.flv" << 0.0 << 0.0 << 0 << 1000;
    QTest::newRow("unknown keys and stray lines") << h + "version=1\nsome words\n\navifullpath=/a\npitch=0\ntempo=0\nstartloop=0\nendloop=1\n"
                                                  << "/a" << 0.0 << 0.0 << 0 << 1000;
}

void tst_OldProjectForm::reads()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, path);
    QFETCH(double, pitch);
    QFETCH(double, tempo);
    QFETCH(int, startMs);
    QFETCH(int, endMs);
    OldProjectForm form;
    QString error;
    QVERIFY2(OldProjectForm::parse(text, &form, &error), qPrintable(error));
    QCOMPARE(form.mediaPath, path);
    QCOMPARE(form.pitch, pitch);
    QCOMPARE(form.tempo, tempo);
    QCOMPARE(QTime(0, 0).msecsTo(form.loopStart), startMs);
    QCOMPARE(QTime(0, 0).msecsTo(form.loopEnd), endMs);
}

void tst_OldProjectForm::refuses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    const QByteArray h = "[Tarnwell Project]\n";
    const QByteArray rest = "pitch=0\ntempo=0\nstartloop=1\n";
    QTest::newRow("not the old form") << QByteArray("avifullpath=/a\npitch=0\n") << "does not begin with";
    QTest::newRow("empty") << QByteArray() << "does not begin with";
    QTest::newRow("no media") << h + rest + "endloop=2\n" << "names no media file";
    QTest::newRow("loop without end") << h + "avifullpath=/a\n" + rest << "line 5: the loop that starts here has no end";
    QTest::newRow("no pitch") << h + "avifullpath=/a\ntempo=0\nstartloop=1\nendloop=2\n" << "no \"pitch\"";
    QTest::newRow("blanks around the equals sign") << h + "avifullpath=/a\npitch = 0\ntempo=0\nstartloop=1\nendloop=2\n"
                                                   << "no \"pitch\"";
    QTest::newRow("path holding an equals sign") << h + "avifullpath=/m/x=y.avi\n" + rest + "endloop=2\n"
                                                 << "names no media file";
    QTest::newRow("pitch out of range") << h + "avifullpath=/a\npitch=13\ntempo=0\nstartloop=1\nendloop=2\n"
                                        << "line 3: \"pitch\" is 13";
    QTest::newRow("tempo below 25 %") << h + "avifullpath=/a\npitch=0\ntempo=-80\nstartloop=1\nendloop=2\n"
                                      << "line 4: \"tempo\" is -80";
    QTest::newRow("negative start wraps past the end")
        << h + "avifullpath=/a\npitch=0\ntempo=0\nstartloop=-1\nendloop=2\n" << "line 6: the loop ends at 2 s";
    QTest::newRow("tempo 0 %") << h + "avifullpath=/a\npitch=0\ntempo=-100\nstartloop=1\nendloop=2\n"
                               << "line 4: \"tempo\" is -100";
    QTest::newRow("empty loop") << h + "avifullpath=/a\npitch=0\ntempo=0\nstartloop=2\nendloop=2\n"
                                << "line 6: the loop ends at 2 s";
    QTest::newRow("end before start") << h + "avifullpath=/a\npitch=0\ntempo=0\nstartloop=5\nendloop=2\n"
                                      << "line 6: the loop ends at 2 s";
    QTest::newRow("huge time") << h + "avifullpath=/a\npitch=0\ntempo=0\nstartloop=1\nendloop=1e30\n" << "line 6:";
    QTest::newRow("not finite") << h + "avifullpath=/a\npitch=nan\ntempo=0\nstartloop=1\nendloop=2\n" << "line 3:";
    QTest::newRow("truncated line") << h + "avifullpath=/a\npitch=0\ntempo=0\nstartloop=1\nendlo" << "has no end";
}

void tst_OldProjectForm::refuses()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    OldProjectForm form;
    QString error;
    QVERIFY(!OldProjectForm::parse(text, &form, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
}

// Loop times become frames from their whole seconds.
void tst_OldProjectForm::loopFrames()
{
    QCOMPARE(OldProjectForm::frameOf(OldProjectForm::timeOf(10), 25.0), 250);
    QCOMPARE(OldProjectForm::frameOf(OldProjectForm::timeOf(20), 25.0), 500);
    QCOMPARE(OldProjectForm::frameOf(OldProjectForm::timeOf(7.9), 25.0), 175);
    QCOMPARE(OldProjectForm::frameOf(OldProjectForm::timeOf(12.5), 25.0), 300);
    QCOMPARE(QTime(0, 0).msecsTo(OldProjectForm::timeOf(7.9)), 7900);
}

QTEST_APPLESS_MAIN(tst_OldProjectForm)
#include "tst_OldProjectForm.moc"
