// Utilities: RMS values, unit conversions, the position test, size texts,
// folder trees (symbolic links included), folders and identifiers, and the
// single-frame snapshot through ffmpeg.
#include "core/Options.h"
#include "core/ProgressMonitor.h"
#include "core/Singleton.h"
#include "core/Util.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QReadWriteLock>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>
#include <cmath>
#include <sys/stat.h>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {
bool isZombie(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close > 0 && text.size() > close + 2 && text.at(close + 2) == 'Z';
}
} // namespace

using TW::Util;

namespace {

QByteArray samples(const QVector<qint16> &values)
{
    QByteArray bytes;
    for (qint16 v : values) {
        bytes.append(char(quint16(v) & 0xff));
        bytes.append(char(quint16(v) >> 8));
    }
    return bytes;
}

void touch(const QString &path, const QByteArray &content = "x")
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

class UtilTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QCoreApplication::setApplicationName("Tarnwell");
        QCoreApplication::setApplicationVersion("2");
        TW::Options::instance()->loadFromFile(false);
        Util::init();
    }
    void cleanupTestCase() { Util::release(); }

    void rmsOfFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("block");
        QTest::addColumn<int>("largest");
        QTest::addColumn<QVector<qint16>>("values");
        const QByteArray s34 = samples({3, 4});
        QTest::newRow("3 and 4") << s34 << 0 << 4 << 4 << 3 << QVector<qint16>{3};
        QTest::newRow("empty range") << s34 << 2 << 2 << 4 << 0 << QVector<qint16>{};
        QTest::newRow("from after to") << s34 << 4 << 0 << 4 << 0 << QVector<qint16>{};
        QTest::newRow("three bytes: one whole sample") << samples({-5, 7}) << 0 << 3 << 3 << 5
                                                       << QVector<qint16>{5};
        QTest::newRow("one-byte blocks") << s34 << 0 << 2 << 1 << 0 << QVector<qint16>{0, 0};
        // The last block reads past to and past the end of the file.
        QTest::newRow("past the end") << samples({10, 10, 6}) << 0 << 12 << 4 << 10
                                      << QVector<qint16>{10, 6, 0};
        QTest::newRow("blocks by range") << samples({1, 1, 100, 100, 2, 2}) << 4 << 8 << 4 << 100
                                         << QVector<qint16>{100};
        // The largest value is the last one at least as large.
        QTest::newRow("largest") << samples({-300, 300, 20, 20, 300, -300}) << 0 << 12 << 4 << 300
                                 << QVector<qint16>{300, 20, 300};
        // Full scale: sqrt(32768^2) does not fit a 16-bit value; it must not
        // wrap to a negative level.
        QTest::newRow("full scale") << samples({-32768, -32768}) << 0 << 4 << 4 << 32767
                                    << QVector<qint16>{32767};
        QTest::newRow("full scale positive") << samples({32767, 32767}) << 0 << 4 << 4 << 32767
                                             << QVector<qint16>{32767};
    }
    void rmsOfFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, block);
        QFETCH(int, largest);
        QFETCH(QVector<qint16>, values);
        const QString path = m_dir.filePath("samples.raw");
        touch(path, content);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QReadWriteLock lock;
        TW::ProgressMonitor *progress = TW::Singleton<TW::ProgressMonitor>::instance();
        const int before = progress->value();
        const RmsSet set = Util::calcRMS(&file, &lock, from, to, block);
        QCOMPARE(set.first, largest);
        QCOMPARE(set.second, values);
        QCOMPARE(progress->value() - before, values.size()); // one step a block
    }

    void rmsSharedFileAcrossJobs()
    {
        // Several jobs over one file object, each slice must read its own bytes.
        QVector<qint16> all;
        for (int i = 0; i < 4000; ++i)
            all << qint16((i / 100) * 10);
        const QString path = m_dir.filePath("shared.raw");
        touch(path, samples(all));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QReadWriteLock lock;
        QList<QFuture<RmsSet>> jobs;
        for (int slice = 0; slice < 8; ++slice) {
            jobs << QtConcurrent::run([&, slice] {
                return Util::calcRMS(&file, &lock, slice * 1000, (slice + 1) * 1000, 200);
            });
        }
        for (int slice = 0; slice < 8; ++slice) {
            const RmsSet set = jobs[slice].result();
            QCOMPARE(set.second.size(), 5);
            for (int b = 0; b < 5; ++b)
                QCOMPARE(int(set.second[b]), ((slice * 1000 + b * 200) / 200) * 10);
        }
    }

    // Byte offsets past 2 GB and past 4 GB (about 3.4 and 6.8 hours of
    // stereo): a narrower offset would wrap to the start of the file (or
    // below it) and read the wrong samples. The file is sparse: only the few
    // samples written take disk space.
    void rmsBeyondTwoGigabytes_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::newRow("2 GB + 4 KB") << (qint64(1) << 31) + 4096;
        QTest::newRow("3 GB") << qint64(3) * (qint64(1) << 30);
        QTest::newRow("4 GB + 4 KB") << (qint64(1) << 32) + 4096;
    }
    void rmsBeyondTwoGigabytes()
    {
        QFETCH(qint64, offset);
        const QString path = m_dir.filePath("long.raw");
        QFile::remove(path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        // Loud samples at the start, where a wrapped offset would land.
        QVERIFY(file.write(samples({-9000, 9000, -9000, 9000})) == 8);
        QVERIFY(file.resize(offset + 4096));
        struct stat st = {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0 || qint64(st.st_blocks) * 512 > (1 << 20)) {
            file.close();
            QFile::remove(path);
            QSKIP("no sparse files on this file system");
        }
        QVERIFY(file.seek(offset));
        QVERIFY(file.write(samples({3, 4, 30, 40})) == 8);
        QVERIFY(file.flush());
        QReadWriteLock lock;
        const RmsSet set = Util::calcRMS(&file, &lock, offset, offset + 12, 4);
        QCOMPARE(set.second, (QVector<qint16>{3, 35, 0}));
        QCOMPARE(set.first, 35);
        file.close();
        QFile::remove(path);
    }

    void rmsOfBuffer()
    {
        QCOMPARE(Util::calcRMS(samples({3, 4})), 3);
        QCOMPARE(Util::calcRMS(samples({-32768})), 32767);
        QCOMPARE(Util::calcRMS(QByteArray()), 0);
        QCOMPARE(Util::calcRMS(QByteArray(1, 'x')), 0);
    }

    void tempoAndPitch_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<double>("in");
        QTest::addColumn<double>("out");
        QTest::newRow("tempo 100") << "guiTempo" << 100.0 << 1.0;
        QTest::newRow("tempo 200") << "guiTempo" << 200.0 << 0.5;
        QTest::newRow("tempo 25") << "guiTempo" << 25.0 << 4.0;
        QTest::newRow("tempo 50") << "guiTempo" << 50.0 << 2.0;
        QTest::newRow("tempo 0 guarded") << "guiTempo" << 0.0 << 1.0;
        QTest::newRow("factor 0.5") << "veltorTempo" << 0.5 << 200.0;
        QTest::newRow("factor 4") << "veltorTempo" << 4.0 << 25.0;
        QTest::newRow("pitch 0") << "guiPitch" << 0.0 << 1.0;
        QTest::newRow("pitch +12") << "guiPitch" << 12.0 << 2.0;
        QTest::newRow("pitch -12") << "guiPitch" << -12.0 << 0.5;
        // The true semitone factor, not a linear approximation.
        QTest::newRow("pitch +7") << "guiPitch" << 7.0 << std::pow(2.0, 7.0 / 12.0);
        QTest::newRow("pitch -6") << "guiPitch" << -6.0 << std::sqrt(0.5);
        QTest::newRow("pitch +1") << "guiPitch" << 1.0 << 1.0594630943592953;
        QTest::newRow("factor 1") << "veltorPitch" << 1.0 << 0.0;
        QTest::newRow("factor 2") << "veltorPitch" << 2.0 << 12.0;
        QTest::newRow("factor 0.5") << "veltorPitch" << 0.5 << -12.0;
        QTest::newRow("factor 0 guarded") << "veltorPitch" << 0.0 << 0.0;
    }
    void tempoAndPitch()
    {
        QFETCH(QString, op);
        QFETCH(double, in);
        QFETCH(double, out);
        double got = 0;
        if (op == "guiTempo")
            got = Util::fromGuiTempo(in);
        else if (op == "veltorTempo")
            got = Util::fromVeltorTempo(in);
        else if (op == "guiPitch")
            got = Util::fromGuiPitch(in);
        else
            got = Util::fromVeltorPitch(in);
        QVERIFY2(std::abs(got - out) < 1e-9, qPrintable(QString::number(got, 'g', 17)));
    }

    void conversionsAreInverse()
    {
        for (double s = -12.0; s <= 12.0; s += 0.5)
            QVERIFY(std::abs(Util::fromVeltorPitch(Util::fromGuiPitch(s)) - s) < 1e-9);
        for (double t = 25.0; t <= 200.0; t += 5.0)
            QVERIFY(std::abs(Util::fromVeltorTempo(Util::fromGuiTempo(t)) - t) < 1e-9);
    }

    void positionIsInSegment_data()
    {
        QTest::addColumn<qint64>("position");
        QTest::addColumn<quint64>("start");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<bool>("inside");
        QTest::newRow("at start") << qint64(100) << quint64(100) << qint64(50) << true;
        QTest::newRow("at end") << qint64(150) << quint64(100) << qint64(50) << true;
        QTest::newRow("inside") << qint64(120) << quint64(100) << qint64(50) << true;
        QTest::newRow("before") << qint64(99) << quint64(100) << qint64(50) << false;
        QTest::newRow("after") << qint64(151) << quint64(100) << qint64(50) << false;
        QTest::newRow("empty span") << qint64(100) << quint64(100) << qint64(0) << true;
        QTest::newRow("negative position is huge") << qint64(-1) << quint64(0) << qint64(1000) << false;
    }
    void positionIsInSegment()
    {
        QFETCH(qint64, position);
        QFETCH(quint64, start);
        QFETCH(qint64, length);
        QFETCH(bool, inside);
        QCOMPARE(Util::positionIsInSegment(position, start, length), inside);
    }

    void sizeString_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        const qint64 k = 1024;
        QTest::newRow("0") << qint64(0) << "0 bytes";
        QTest::newRow("1023") << qint64(1023) << "1023 bytes";
        QTest::newRow("-5") << qint64(-5) << "-5 bytes";
        QTest::newRow("1024") << k << "1.00 kB";
        QTest::newRow("1536") << qint64(1536) << "1.50 kB";
        QTest::newRow("1 MB") << k * k << "1.00 MB";
        QTest::newRow("2.5 GB") << k * k * k * 5 / 2 << "2.50 GB";
        QTest::newRow("TB") << k * k * k * k << "1.00 TB";
        QTest::newRow("just under 1024^5") << k * k * k * k * k - 1 << "1024.00 TB";
        QTest::newRow("1024^5") << k * k * k * k * k << "";
    }
    void sizeString()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(Util::getSizeString(bytes), text);
    }

    void totalSize()
    {
        const QString a = m_dir.filePath("a.bin"), b = m_dir.filePath("b.bin");
        touch(a, QByteArray(1000, 'a'));
        touch(b, QByteArray(24, 'b'));
        QCOMPARE(Util::getTotalSize(QStringList{a, b, a, m_dir.filePath("gone")}), qint64(1024));
        QCOMPARE(Util::getTotalSize(QStringList()), qint64(0));
    }

    void removeDirectoryKeepsLinkTargets()
    {
        const QString outside = m_dir.filePath("outside");
        QVERIFY(QDir().mkpath(outside + "/inner"));
        touch(outside + "/keep.txt");
        touch(outside + "/inner/keep-too.txt");

        const QString tree = m_dir.filePath("tree");
        QVERIFY(QDir().mkpath(tree + "/sub/deeper"));
        touch(tree + "/file.txt");
        touch(tree + "/.hidden");
        touch(tree + "/sub/deeper/x.txt");
        QVERIFY(QFile::link(outside, tree + "/sub/link-to-folder"));
        QVERIFY(QFile::link(outside + "/keep.txt", tree + "/link-to-file"));
        QVERIFY(QFile::link(tree + "/nowhere", tree + "/broken-link"));

        QVERIFY(Util::removeDirectory(tree));
        QVERIFY(!QFileInfo::exists(tree));
        QVERIFY(QFile::exists(outside + "/keep.txt"));
        QVERIFY(QFile::exists(outside + "/inner/keep-too.txt"));

        // A link given as the folder itself goes; its target stays.
        const QString link = m_dir.filePath("folder-link");
        QVERIFY(QFile::link(outside, link));
        QVERIFY(Util::removeDirectory(link));
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(QFile::exists(outside + "/keep.txt"));

        QVERIFY(Util::removeDirectory(m_dir.filePath("never-there")));
    }

    void removeDirectoryStopsAtFailure()
    {
        if (geteuid() == 0)
            QSKIP("permissions do not stop the superuser");
        const QString tree = m_dir.filePath("locked");
        QVERIFY(QDir().mkpath(tree + "/sub"));
        touch(tree + "/sub/file.txt");
        chmod(QFile::encodeName(tree + "/sub").constData(), 0500);
        QVERIFY(!Util::removeDirectory(tree));
        QVERIFY(QFile::exists(tree + "/sub/file.txt"));
        chmod(QFile::encodeName(tree + "/sub").constData(), 0700);
        QVERIFY(Util::removeDirectory(tree));
    }

    void getFiles()
    {
        const QString root = m_dir.filePath("listing");
        QVERIFY(QDir().mkpath(root + "/sub/deep"));
        touch(root + "/a.txt");
        touch(root + "/b.wav");
        touch(root + "/sub/c.txt");
        touch(root + "/sub/deep/e.txt");
        QVERIFY(QFile::link(root, root + "/sub/loop")); // never entered

        QCOMPARE(Util::getFiles(root, {"*.txt"}, false), QStringList{root + "/a.txt"});
        const QStringList all = Util::getFiles(root, {"*.txt"}, true);
        QCOMPARE(all.size(), 3);
        QCOMPARE(all.first(), root + "/a.txt"); // own files first
        QVERIFY(all.contains(root + "/sub/c.txt"));
        QVERIFY(all.contains(root + "/sub/deep/e.txt"));
        QVERIFY(all.indexOf(root + "/sub/c.txt") < all.indexOf(root + "/sub/deep/e.txt"));
        QCOMPARE(Util::getFiles(root, {"*.*"}, true).size(), 4);
        QVERIFY(Util::getFiles(m_dir.filePath("missing"), {"*"}, true).isEmpty());
    }

    void foldersAndIdentifiers()
    {
        const QString twoDown = m_dir.filePath("one/two");
        QCOMPARE(Util::verifiedPath(twoDown), twoDown);
        QVERIFY(!QFileInfo::exists(m_dir.filePath("one")));
        const QString one = m_dir.filePath("one");
        QCOMPARE(Util::verifiedPath(one), one);
        QVERIFY(QFileInfo(one).isDir());
        QCOMPARE(Util::verifiedPath(one), one);

        QCOMPARE(Util::getAppDocDirPath(), QDir::homePath() + "/Tarnwell 2");
        QVERIFY(QFileInfo(Util::getAppDocDirPath()).isDir());
        QVERIFY(QFileInfo(Util::getAppDataDirPath()).isDir());
        QVERIFY(QFileInfo(Util::getAppDirPath()).isDir());

        const QRegularExpression guid(
                "^\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}$");
        const QString g1 = Util::generateGUID(), g2 = Util::generateGUID();
        QCOMPARE(g1.size(), 38);
        QVERIFY(guid.match(g1).hasMatch());
        QVERIFY(guid.match(g2).hasMatch());
        QVERIFY(g1 != g2);
    }

    void snapshot()
    {
        const QString clip = TW::test::TestMedia::make(TW::test::TestMedia::VideoStereo, m_dir.path(), 2.0);
        QVERIFY(!clip.isEmpty());
        const QString output = TW::Options::instance()->getPath(TW::TempFolder) + "/tmp.png";
        const QImage frame = Util::getSnapshot(clip, QTime(0, 0, 0, 500));
        QCOMPARE(frame.size(), QSize(320, 240));
        QVERIFY(QFile::exists(output));

        // A failed run never hands back the previous picture.
        const QImage failed = Util::getSnapshot(m_dir.filePath("no-such-file.mp4"), QTime(0, 0));
        QVERIFY(failed.isNull());
        QVERIFY(!QFile::exists(output));
    }

    // A tool started with endWithThisProgram dies with the program that
    // started it, even when that program is killed.
    void toolsDieWithTheProgram()
    {
        int pipeEnds[2];
        QCOMPARE(::pipe(pipeEnds), 0);
        const pid_t program = ::fork();
        QVERIFY(program >= 0);
        if (program == 0) {
            // The "program": starts its tool, says its pid, and is killed.
            ::close(pipeEnds[0]);
            QProcess tool;
            TW::Util::endWithThisProgram(tool);
            tool.start("sleep", {"30"});
            const qint64 pid = tool.waitForStarted(5000) ? tool.processId() : -1;
            (void)!::write(pipeEnds[1], &pid, sizeof pid);
            ::kill(::getpid(), SIGKILL);
            ::_exit(1);
        }
        ::close(pipeEnds[1]);
        qint64 tool = -1;
        QCOMPARE(::read(pipeEnds[0], &tool, sizeof tool), ssize_t(sizeof tool));
        ::close(pipeEnds[0]);
        int status = 0;
        QCOMPARE(::waitpid(program, &status, 0), program);
        QVERIFY(tool > 0);
        // The tool is gone (or a zombie about to be reaped by init) soon after.
        QTRY_VERIFY_WITH_TIMEOUT(::kill(pid_t(tool), 0) != 0 || isZombie(pid_t(tool)), 5000);
    }

    void snapshotTimeLimit()
    {
        // ffmpeg blocks opening a pipe nobody writes to.
        const QString fifo = m_dir.filePath("stuck.fifo");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QElapsedTimer timer;
        timer.start();
        const QImage image = Util::getSnapshot(fifo, QTime(0, 0), 1000);
        QVERIFY(image.isNull());
        QVERIFY(timer.elapsed() < 15000);
    }
};

QTEST_MAIN(UtilTest)
#include "tst_Util.moc"
