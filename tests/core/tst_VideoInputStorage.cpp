// The converted-input cache: content names, the queue, reuse of finished
// conversions, deletion, cancelling, and a table of bad inputs run end to
// end through the probe and the conversion.
#include "core/Options.h"
#include "core/VideoFileParser.h"
#include "core/VideoInputStorage.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using TW::VideoInputFile;
using TW::VideoInputStorage;
using TW::test::TestMedia;

namespace {

QString hexName(const QByteArray &digest)
{
    return QString::fromLatin1(digest.toBase64().toHex());
}

QByteArray md5(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), qint64(data.size()));
}

// Everything a cache reports, in order.
struct Events
{
    QList<QPair<QString, VideoInputFile>> all;

    explicit Events(VideoInputStorage &storage)
    {
        QObject::connect(&storage, &VideoInputStorage::currentFileProgress, &storage,
                         [this](const VideoInputFile &f) { all << qMakePair(QString("progress"), f); });
        QObject::connect(&storage, &VideoInputStorage::conversionFinished, &storage,
                         [this](const VideoInputFile &f) { all << qMakePair(QString("finished"), f); });
        QObject::connect(&storage, &VideoInputStorage::conversionFailed, &storage,
                         [this](const VideoInputFile &f) { all << qMakePair(QString("failed"), f); });
    }
    // The final reports (finished or failed), as "kind:input file name".
    QStringList ends() const
    {
        QStringList out;
        for (const auto &e : all)
            if (e.first != "progress")
                out << e.first + ":" + QFileInfo(e.second.inputPath).fileName();
        return out;
    }
};

} // namespace

class VideoInputStorageTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_cache;

    QString clip(double seconds = 2.0)
    {
        return TestMedia::make(TestMedia::VideoStereo, m_dir.path(), seconds);
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
        m_cache = m_dir.filePath("cache");
        TW::Options::instance()->setPath(TW::CacheFolder, m_cache);
        QCOMPARE(QDir(TW::Options::instance()->getPath(TW::CacheFolder)).absolutePath(), QDir(m_cache).absolutePath());
    }

    void names_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("name");
        QTest::newRow("abc") << QByteArray("abc") << "6b4146516d447a53543744576c6a39394b4f462f63673d3d";
        QTest::newRow("empty") << QByteArray() << "3142324d325938417367547067416d593750684366673d3d";
        QByteArray block(1048576, 'x');
        for (int i = 0; i < block.size(); i += 4099)
            block[i] = char(i);
        QTest::newRow("exactly one block") << block << hexName(md5(block));
        QTest::newRow("one byte more") << block + "y" << hexName(md5(md5(block) + md5("y")));
        QTest::newRow("three blocks")
            << block + block + "z" << hexName(md5(md5(block) + md5(block) + md5("z")));
    }
    void names()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, name);
        const QString path = m_dir.filePath("source.bin");
        writeFile(path, content);
        QCOMPARE(VideoInputStorage::contentName(path), name);
        QCOMPARE(VideoInputStorage::getTempFilename(path), m_cache + QDir::separator() + name + ".avi");
        QCOMPARE(VideoInputStorage::getTempFilename(path, 2), m_cache + QDir::separator() + name + "_2.avi");
    }

    void unreadableSourceHasEmptyName()
    {
        const QString missing = m_dir.filePath("gone.mp4");
        QCOMPARE(VideoInputStorage::contentName(missing), QString());
        QCOMPARE(VideoInputStorage::getTempFilename(missing), m_cache + QDir::separator() + ".avi");
    }

    void sameContentSameName()
    {
        const QString a = clip();
        QTemporaryDir other;
        const QString b = other.filePath("renamed copy.mp4");
        QVERIFY(QFile::copy(a, b));
        QCOMPARE(VideoInputStorage::getTempFilename(b), VideoInputStorage::getTempFilename(a));
    }

    void convertThenReuse()
    {
        const QString source = clip();
        QString output;
        {
            VideoInputStorage storage;
            Events events(storage);
            VideoInputFile &record = storage.addInputFile(source);
            QCOMPARE(record.status, int(VideoInputFile::Checking));
            QCOMPARE(record.outputPath, VideoInputStorage::getTempFilename(source));
            // The same path again is the same record and starts nothing.
            QCOMPARE(&storage.addInputFile(source), &record);
            QTRY_COMPARE_WITH_TIMEOUT(events.ends(), QStringList{"finished:" + QFileInfo(source).fileName()}, 60000);
            const VideoInputFile done = events.all.last().second;
            QCOMPARE(done.status, int(VideoInputFile::Done));
            QCOMPARE(done.progress, 100);
            QCOMPARE(storage.getInputFiles().value(source).status, int(VideoInputFile::Done));
            QCOMPARE(storage.getInputFiles().value("not registered").status, int(VideoInputFile::Waiting));
            for (const auto &e : events.all.mid(0, events.all.size() - 1))
                QVERIFY(e.second.status == VideoInputFile::CheckPassed || e.second.status == VideoInputFile::Converting);
            output = done.outputPath;
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(output + ".finished"), 60000);
        }
        const QDateTime written = QFileInfo(output).lastModified();

        // A new cache (a later run) finds it finished, also under another name.
        QTemporaryDir moved;
        const QString renamed = moved.filePath("moved.mp4");
        QVERIFY(QFile::copy(source, renamed));
        VideoInputStorage storage;
        Events events(storage);
        storage.addInputFile(renamed);
        QTRY_COMPARE_WITH_TIMEOUT(events.ends(), QStringList{"finished:moved.mp4"}, 30000);
        QCOMPARE(events.all.last().second.outputPath, output);
        QCOMPARE(events.all.last().second.progress, 100);
        QCOMPARE(QFileInfo(output).lastModified(), written);
    }

    // One conversion at a time; of those waiting, the path that sorts first
    // starts first, whatever the order of registration.
    void queueOrder()
    {
        QTemporaryDir dir;
        const QString m = dir.filePath("m.mp4");
        const QString z = dir.filePath("z.mp4");
        const QString a = dir.filePath("a.mp4");
        QVERIFY(QFile::copy(clip(1.0), m));
        // Different contents, so that each has a file of its own.
        QVERIFY(TestMedia::ffmpeg({"-i", m, "-c:v", "mpeg4", "-c:a", "aac", "-t", "0.8", z}));
        QVERIFY(TestMedia::ffmpeg({"-i", m, "-c:v", "mpeg4", "-c:a", "aac", "-t", "0.6", a}));
        VideoInputStorage storage;
        Events events(storage);
        VideoInputFile &running = storage.addInputFile(m);
        VideoInputFile &last = storage.addInputFile(z);
        VideoInputFile &next = storage.addInputFile(a);
        QCOMPARE(running.status, int(VideoInputFile::Checking));
        QCOMPARE(last.status, int(VideoInputFile::Waiting));
        QCOMPARE(next.status, int(VideoInputFile::Waiting));
        QTRY_COMPARE_WITH_TIMEOUT(events.ends(), QStringList({"finished:m.mp4", "finished:a.mp4", "finished:z.mp4"}),
                                  60000);
    }

    void failedRecordIsNotRetried()
    {
        const QString bad = m_dir.filePath("garbage.mp4");
        writeFile(bad, QByteArray(20000, '\x7f'));
        VideoInputStorage storage;
        Events events(storage);
        storage.addInputFile(bad);
        QTRY_COMPARE_WITH_TIMEOUT(events.ends(), QStringList{"failed:garbage.mp4"}, 30000);
        QCOMPARE(storage.addInputFile(bad).status, int(VideoInputFile::Failed));
        QTest::qWait(200);
        QCOMPARE(events.ends().size(), 1);
    }

    void cancelWhileConverting()
    {
        const QString source = clip(30.0);
        VideoInputStorage storage;
        Events events(storage);
        VideoInputFile &record = storage.addInputFile(source);
        QTRY_VERIFY_WITH_TIMEOUT(record.status == VideoInputFile::Converting, 30000);
        const QString output = record.outputPath;
        storage.cancel();
        const int reported = events.all.size();
        QVERIFY(storage.getInputFiles().isEmpty());
        QTest::qWait(500);
        QCOMPARE(events.all.size(), reported);
        QVERIFY(!QFile::exists(output + ".finished"));

        // Registering again starts afresh and the leftover is redone.
        VideoInputFile &again = storage.addInputFile(source);
        QCOMPARE(again.status, int(VideoInputFile::Checking));
        QTRY_COMPARE_WITH_TIMEOUT(events.ends(), QStringList{"finished:" + QFileInfo(source).fileName()}, 120000);
        QVERIFY(QFile::exists(output + ".finished"));
    }

    void deleteCached()
    {
        const QString source = m_dir.filePath("to delete.bin");
        writeFile(source, "some content");
        const QString path = VideoInputStorage::getTempFilename(source);
        const QString variant = VideoInputStorage::getTempFilename(source, 1);
        QDir().mkpath(m_cache);
        for (const QString &p : {path, path + ".finished", path + ".info", variant, variant + ".finished", variant + ".info"})
            writeFile(p, "x");
        const QString unrelated = m_cache + "/unrelated.avi";
        writeFile(unrelated, "x");
        QCOMPARE(VideoInputStorage::deleteCached(source), path);
        for (const QString &p : {path, path + ".finished", path + ".info", variant, variant + ".finished", variant + ".info"})
            QVERIFY2(!QFile::exists(p), qPrintable(p));
        QVERIFY(QFile::exists(unrelated));

        // A source that is gone names the file ".avi".
        const QString empty = m_cache + QDir::separator() + ".avi";
        writeFile(empty, "x");
        writeFile(empty + ".finished", "");
        QCOMPARE(VideoInputStorage::deleteCached(m_dir.filePath("gone")), empty);
        QVERIFY(!QFile::exists(empty));
        QVERIFY(!QFile::exists(empty + ".finished"));
    }

    // Unusual and broken inputs, end to end: the probe and the conversion
    // give a clear result, never a crash or a hang.
    void badInput_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("probeOk");
        QTest::addColumn<bool>("converts");
        QTest::newRow("empty file") << "empty" << false << false;
        QTest::newRow("random bytes named .mp4") << "random" << false << false;
        QTest::newRow("truncated file") << "truncated" << false << false;
        QTest::newRow("missing file") << "missing" << false << false;
        QTest::newRow("no audio") << "silent" << true << true;
        QTest::newRow("no video") << "audio" << false << true;
        QTest::newRow("six channels") << "six" << true << true;
        QTest::newRow("eight audio tracks") << "eight" << true << true;
        QTest::newRow("huge frame size") << "huge" << true << false;
    }
    void badInput()
    {
        QFETCH(QString, kind);
        QFETCH(bool, probeOk);
        QFETCH(bool, converts);
        QTemporaryDir dir;
        QString path = dir.filePath(kind + ".mp4");
        if (kind == "empty") {
            writeFile(path, QByteArray());
        } else if (kind == "random") {
            QByteArray bytes(300000, Qt::Uninitialized);
            quint32 x = 12345;
            for (char &c : bytes)
                c = char((x = x * 1103515245u + 12345u) >> 24);
            writeFile(path, bytes);
        } else if (kind == "truncated") {
            QFile full(clip());
            QVERIFY(full.open(QIODevice::ReadOnly));
            writeFile(path, full.read(full.size() / 2));
        } else if (kind == "missing") {
            path = dir.filePath("not here.mp4");
        } else if (kind == "silent") {
            path = TestMedia::make(TestMedia::SilentVideo, dir.path(), 1.0);
        } else if (kind == "audio") {
            path = TestMedia::make(TestMedia::AudioOnly, dir.path(), 1.0);
        } else if (kind == "six") {
            path = TestMedia::make(TestMedia::SixChannel, dir.path(), 1.0);
        } else if (kind == "eight") {
            path = dir.filePath("eight.mkv");
            QStringList args{"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=1", "-f", "lavfi", "-i",
                             "sine=frequency=440:sample_rate=44100:duration=1", "-map", "0:v"};
            for (int i = 0; i < 8; ++i)
                args << "-map" << "1:a";
            QVERIFY(TestMedia::ffmpeg(args << "-c:v" << "mpeg4" << "-c:a" << "pcm_s16le" << path));
        } else if (kind == "huge") {
            path = dir.filePath("huge.mkv");
            QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "color=c=blue:size=8192x4320:rate=25:duration=0.08",
                                       "-c:v", "libx264", "-preset", "ultrafast", path}));
        }

        TW::VideoFileParser parser;
        QCOMPARE(parser.parseFile(path), probeOk);
        if (kind == "eight")
            QCOMPARE(parser.getAudioTracks().size(), 8);

        VideoInputStorage storage;
        Events events(storage);
        // The chosen track of an eight-track file is converted alone.
        storage.addInputFile(path, kind == "eight" ? 6 : -1);
        QTRY_COMPARE_WITH_TIMEOUT(events.ends().size(), 1, 60000);
        const VideoInputFile end = events.all.last().second;
        QCOMPARE(events.all.last().first, QString(converts ? "finished" : "failed"));
        if (converts) {
            QCOMPARE(end.status, int(VideoInputFile::Done));
            QVERIFY(QFileInfo(end.outputPath).size() > 0);
            QVERIFY(end.fps > 0.0f);
        } else {
            QCOMPARE(end.status, int(VideoInputFile::Failed));
            QVERIFY(end.progress <= 0);
            QVERIFY(!QFile::exists(end.outputPath + ".finished"));
        }
    }
};

QTEST_GUILESS_MAIN(VideoInputStorageTest)
#include "tst_VideoInputStorage.moc"
