// DVD conversion: ffmpeg's progress lines, free names, and whole batches run
// against a stand-in ffmpeg (success, failure, crash, slow runs and cancel),
// then one real conversion of a small DVD file.
#include "ModalAnswerer.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include "core/WorkingFiles.h"
#include "dialogs/ConvertProgressDialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace TW;

namespace {

// What the stand-in does depends on the first word of its source file:
// "ok" writes the output, "fail" exits with 1, "crash" kills itself,
// "slow" reports half its time and waits. Every run appends its arguments
// to calls.log beside the script. Progress lines end with a carriage
// return, as ffmpeg's do.
const char *const StandIn = R"(#!/bin/sh
here=$(dirname "$0")
for a in "$@"; do printf '%s\n' "$a"; done >> "$here/calls.log"
echo "--" >> "$here/calls.log"
src=$3
for last in "$@"; do :; done
mode=$(head -c 5 "$src" | tr -d '\n ')
printf '  Duration: 00:00:10.00, start: 0.000000, bitrate: 100 kb/s\n' >&2
case "$mode" in
  slow)
    printf 'frame=  125 fps=0.0 q=2.0 size=      64kB time=00:00:05.00 bitrate= 1.0kbits/s speed=1x\r' >&2
    exec sleep 60 ;;
  fail)
    printf '%s: Invalid data found when processing input\n' "$src" >&2
    exit 1 ;;
  crash)
    printf 'frame=  125 fps=0.0 q=2.0 size=      64kB time=00:00:05.00 bitrate= 1.0kbits/s speed=1x\r' >&2
    kill -SEGV $$ ;;
esac
printf 'frame=  125 fps=0.0 q=2.0 size=      64kB time=00:00:05.00 bitrate= 1.0kbits/s speed=1x\r' >&2
printf 'frame=  250 fps=0.0 q=-1.0 Lsize=     128KiB time=00:00:10.00 bitrate= 1.0kbits/s speed=1x\r\n' >&2
printf 'converted from %s\n' "$src" > "$last"
exit 0
)";

QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

class tst_ConvertProgressDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void readsProgressLines_data();
    void readsProgressLines();
    void freeNames_data();
    void freeNames();
    void emptyBatchShowsNothing();
    void batchRisesToTheEnd();
    void failuresAreToldAndLeaveNoOutput();
    void cancelKeepsEarlierAndOlderFiles();
    void sourcesAndRepeatedNamesAreNotOverwritten();
    void dashedNamesReachFfmpegAsFiles();
    void realConversion();

private:
    QString source(const QString &name, const QByteArray &mode);
    QStringList calls() const;

    QTemporaryDir m_dir;
    QString m_work;
    QByteArray m_path;
};

void tst_ConvertProgressDialog::initTestCase()
{
    test::isolateHome();
    QVERIFY(m_dir.isValid());
    m_path = qgetenv("PATH");
    const QString bin = m_dir.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    const QString script = bin + QStringLiteral("/ffmpeg");
    writeFile(script, StandIn);
    QVERIFY(QFile::setPermissions(script, QFile::permissions(script) | QFile::ExeOwner));
    QVERIFY2(!QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/ffmpeg")),
             "an ffmpeg beside the test would stand in front of the stand-in");
}

void tst_ConvertProgressDialog::init()
{
    qputenv("PATH", m_dir.filePath(QStringLiteral("bin")).toUtf8() + ':' + m_path);
    QFile::remove(m_dir.filePath(QStringLiteral("bin/calls.log")));
    static int n = 0;
    m_work = m_dir.filePath(QStringLiteral("work%1").arg(++n));
    QVERIFY(QDir().mkpath(m_work));
}

void tst_ConvertProgressDialog::cleanup() { qputenv("PATH", m_path); }

QString tst_ConvertProgressDialog::source(const QString &name, const QByteArray &mode)
{
    const QString path = QDir(m_work).filePath(name);
    writeFile(path, mode + "\n");
    return path;
}

QStringList tst_ConvertProgressDialog::calls() const
{
    return readAll(m_dir.filePath(QStringLiteral("bin/calls.log"))).split(QStringLiteral("--\n"), Qt::SkipEmptyParts);
}

void tst_ConvertProgressDialog::readsProgressLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("reached");
    QTest::newRow("duration") << "Duration: 00:01:30.50, start: 0.280000, bitrate: 9800 kb/s" << 90.5 << -1.0;
    QTest::newRow("ffmpeg 5 progress")
        << "frame=  150 fps=5.9 q=2.0 size=     512kB time=00:00:06.00 bitrate= 699.1kbits/s speed=0.23x" << -1.0
        << 6.0;
    QTest::newRow("later ffmpeg, KiB") << "frame= 1500 fps= 25 q=28.0 size=    1024KiB time=01:02:03.04 bitrate=1k"
                                       << -1.0 << 3723.04;
    QTest::newRow("last line") << "frame=  250 fps=0.0 q=-1.0 Lsize=     128kB time=00:00:10.00 bitrate=" << -1.0
                               << 10.0;
    QTest::newRow("no time yet") << "frame=    0 fps=0.0 q=0.0 size=       0kB time=N/A bitrate=N/A" << -1.0 << -1.0;
    QTest::newRow("other text") << "Stream #0:0: Video: mpeg2video" << -1.0 << -1.0;
}

void tst_ConvertProgressDialog::readsProgressLines()
{
    QFETCH(QString, line);
    QFETCH(double, duration);
    QFETCH(double, reached);
    QCOMPARE(ConvertProgressDialog::durationTime(line), duration);
    QCOMPARE(ConvertProgressDialog::progressTime(line), reached);
}

void tst_ConvertProgressDialog::freeNames_data()
{
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("result");
    QTest::newRow("free") << "/r/a.mp4" << QStringList{"/r/b.mp4"} << "/r/a.mp4";
    QTest::newRow("taken once") << "/r/a.mp4" << QStringList{"/r/a.mp4"} << "/r/a (2).mp4";
    QTest::newRow("taken twice") << "/r/a.mp4" << QStringList{"/r/a.mp4", "/r/a (2).mp4"} << "/r/a (3).mp4";
    QTest::newRow("same file, other spelling") << "/r/x/../a.mp4" << QStringList{"/r/a.mp4"} << "/r/a (2).mp4";
    QTest::newRow("no suffix") << "/r/a" << QStringList{"/r/a"} << "/r/a (2)";
}

void tst_ConvertProgressDialog::freeNames()
{
    QFETCH(QString, wanted);
    QFETCH(QStringList, taken);
    QFETCH(QString, result);
    QCOMPARE(ConvertProgressDialog::freeName(wanted, taken), result);
}

void tst_ConvertProgressDialog::emptyBatchShowsNothing()
{
    ConvertProgressDialog dialog;
    dialog.process({}, {});
    QVERIFY(!dialog.isVisible());
    QVERIFY(calls().isEmpty());
    QCOMPARE(dialog.result(), 0);
}

void tst_ConvertProgressDialog::batchRisesToTheEnd()
{
    const QStringList sources{source("a.vob", "ok"), source("b.vob", "ok"), source("c.vob", "ok")};
    const QStringList outputs{m_work + "/a.mp4", m_work + "/b.mp4", m_work + "/c.mov"};
    ConvertProgressDialog dialog;
    QList<int> values;
    auto *bar = dialog.findChild<QProgressBar *>();
    QVERIFY(bar);
    connect(bar, &QProgressBar::valueChanged, this, [&](int v) { values << v; });
    test::ModalAnswerer answers;
    dialog.process(sources, outputs);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    // Half of each file, then the whole: 1/6, 1/3, 1/2, 2/3, 5/6, 1.
    QCOMPARE(values, (QList<int>{17, 33, 50, 67, 83, 100}));
    QCOMPARE(dialog.getWrittenFiles(), outputs);
    QVERIFY(dialog.getFailedSources().isEmpty());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(readAll(outputs.at(i)), QStringLiteral("converted from %1\n").arg(sources.at(i)));
    QVERIFY(answers.boxes().isEmpty());
    // The command line, argument by argument (the output is a working file
    // beside the destination, with its suffix).
    const QStringList first = calls().first().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(first.mid(0, 9), (QStringList{"-y", "-i", sources.at(0), "-strict", "-2", "-vcodec", "h264", "-preset",
                                          "slow"}));
    QCOMPARE(QFileInfo(first.at(9)).absolutePath(), m_work);
    QVERIFY(first.at(9).endsWith(QLatin1String(".mp4")));
    // No working file is left behind.
    QCOMPARE(QDir(m_work).entryList(QDir::Files | QDir::Hidden).size(), 6);
}

void tst_ConvertProgressDialog::failuresAreToldAndLeaveNoOutput()
{
    const QStringList sources{source("a.vob", "fail"), source("b.vob", "crash"), source("c.vob", "ok")};
    const QStringList outputs{m_work + "/a.mp4", m_work + "/b.mp4", m_work + "/c.mp4"};
    // A file that was at a failed run's destination stays as it was.
    writeFile(outputs.at(1), "older file");
    ConvertProgressDialog dialog;
    test::ModalAnswerer answers;
    answers.answerBox(QMessageBox::Ok);
    dialog.process(sources, outputs);
    QCOMPARE(dialog.getFailedSources(), (QStringList{sources.at(0), sources.at(1)}));
    QCOMPARE(dialog.getWrittenFiles(), QStringList{outputs.at(2)});
    QVERIFY(!QFile::exists(outputs.at(0)));
    QCOMPARE(readAll(outputs.at(1)), QStringLiteral("older file"));
    QVERIFY(QFile::exists(outputs.at(2)));
    QCOMPARE(answers.boxes().size(), 1);
    QVERIFY(answers.boxes().first().startsWith(QLatin1String("Rip DVD Files: These files could not be converted:")));
    QVERIFY(answers.boxes().first().contains(sources.at(1)));
    QCOMPARE(QDir(m_work).entryList(QDir::Files | QDir::Hidden).size(), 5);
}

void tst_ConvertProgressDialog::cancelKeepsEarlierAndOlderFiles()
{
    const QStringList sources{source("a.vob", "ok"), source("b.vob", "slow"), source("c.vob", "ok")};
    const QStringList outputs{m_work + "/a.mp4", m_work + "/b.mp4", m_work + "/c.mp4"};
    writeFile(outputs.at(1), "older file");
    ConvertProgressDialog dialog;
    auto *bar = dialog.findChild<QProgressBar *>();
    test::ModalAnswerer answers;
    answers.answerBox(QMessageBox::Ok);
    // While a run writes, its working file is recorded for the next start
    // to remove should this program be killed.
    const QString journal = QDir(WorkingFiles::folder())
                                .filePath(QString::number(QCoreApplication::applicationPid()) + ".list");
    QStringList recorded;
    // Cancel once the second run reported half its time: 50 % of two of three.
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (bar->value() == 50) {
            poll.stop();
            for (const QByteArray &line : readAll(journal).toUtf8().split('\n'))
                if (!line.isEmpty())
                    recorded << QFile::decodeName(QByteArray::fromPercentEncoding(line));
            for (QPushButton *b : dialog.findChildren<QPushButton *>())
                if (b->text() == QLatin1String("Cancel"))
                    b->click();
        }
    });
    poll.start(10);
    QElapsedTimer clock;
    clock.start();
    dialog.process(sources, outputs);
    QVERIFY(clock.elapsed() < 30000);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(answers.boxes(), QStringList{"Rip DVD Files: Rip DVD Files has been cancelled"});
    QVERIFY(QFile::exists(outputs.at(0)));
    QCOMPARE(readAll(outputs.at(1)), QStringLiteral("older file"));
    QVERIFY(!QFile::exists(outputs.at(2)));
    QCOMPARE(calls().size(), 2);
    QCOMPARE(QDir(m_work).entryList(QDir::Files | QDir::Hidden).size(), 5);
    QCOMPARE(recorded.size(), 1);
    QVERIFY2(QFileInfo(recorded.first()).fileName().startsWith(".b."), qPrintable(recorded.first()));
    QVERIFY(!QFile::exists(recorded.first()));
    QVERIFY(!QFile::exists(journal));
}

void tst_ConvertProgressDialog::sourcesAndRepeatedNamesAreNotOverwritten()
{
    QVERIFY(QDir().mkpath(m_work + "/disc2"));
    const QString a = source("VTS_01_1.vob", "ok");
    const QString b = source("disc2/VTS_01_1.vob", "ok");
    const QString c = source("movie.mp4", "ok");
    // Two titles of the same name into one folder, and a file into itself.
    const QStringList outputs{m_work + "/VTS_01_1.mp4", m_work + "/VTS_01_1.mp4", c};
    ConvertProgressDialog dialog;
    test::ModalAnswerer answers;
    dialog.process({a, b, c}, outputs);
    QCOMPARE(dialog.getWrittenFiles(),
             (QStringList{m_work + "/VTS_01_1.mp4", m_work + "/VTS_01_1 (2).mp4", m_work + "/movie (2).mp4"}));
    QCOMPARE(readAll(m_work + "/VTS_01_1.mp4"), QStringLiteral("converted from %1\n").arg(a));
    QCOMPARE(readAll(m_work + "/VTS_01_1 (2).mp4"), QStringLiteral("converted from %1\n").arg(b));
    QCOMPARE(readAll(c), QStringLiteral("ok\n"));
}

void tst_ConvertProgressDialog::dashedNamesReachFfmpegAsFiles()
{
    const QString src = source("-i.vob", "ok");
    const QString current = QDir::currentPath();
    QDir::setCurrent(m_work);
    ConvertProgressDialog dialog;
    test::ModalAnswerer answers;
    dialog.process({QStringLiteral("-i.vob")}, {QStringLiteral("-y.mp4")});
    QDir::setCurrent(current);
    const QStringList args = calls().first().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(args.at(2), src);
    QVERIFY(args.at(9).startsWith(m_work + QLatin1Char('/')));
    QCOMPARE(dialog.getWrittenFiles(), QStringList{m_work + QStringLiteral("/-y.mp4")});
    QVERIFY(QFile::exists(m_work + QStringLiteral("/-y.mp4")));
}

void tst_ConvertProgressDialog::realConversion()
{
    qputenv("PATH", m_path);
    const QString vob = QDir(m_work).filePath(QStringLiteral("VTS_01_1.VOB"));
    QVERIFY(test::TestMedia::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=720x576:rate=25:duration=1", "-f", "lavfi",
                                     "-i", "sine=frequency=440:duration=1", "-target", "pal-dvd", "-f", "vob", vob}));
    const QString out = QDir(m_work).filePath(QStringLiteral("VTS_01_1.mp4"));
    ConvertProgressDialog dialog;
    auto *bar = dialog.findChild<QProgressBar *>();
    test::ModalAnswerer answers;
    dialog.process({vob}, {out});
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY2(dialog.getFailedSources().isEmpty(), qPrintable(answers.boxes().join(QLatin1Char('|'))));
    QCOMPARE(bar->value(), 100);
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                            "stream=codec_name,width,height", "-of", "csv=p=0", out});
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), QStringLiteral("h264,720,576"));
}

QTEST_MAIN(tst_ConvertProgressDialog)
#include "tst_ConvertProgressDialog.moc"
