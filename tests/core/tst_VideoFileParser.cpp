// The ffprobe media probe: how its JSON is read, and real runs on generated
// media, awkward file names and a missing ffprobe.
#include "core/VideoFileParser.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using TW::VideoFileParser;
using TW::test::TestMedia;

class VideoFileParserTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static QByteArray stream(const QByteArray &body)
    {
        return "{\"streams\":[" + body + "],\"format\":{\"duration\":\"10.010000\"}}";
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
    }

    void descriptions_data()
    {
        QTest::addColumn<QByteArray>("tags");
        QTest::addColumn<QString>("description");
        QTest::newRow("language and title") << QByteArray(R"(,"tags":{"language":"eng","title":"Commentary"})")
                                            << "[eng] Commentary";
        QTest::newRow("title only") << QByteArray(R"(,"tags":{"title":"Director"})") << "Director";
        QTest::newRow("language only") << QByteArray(R"(,"tags":{"language":"deu"})") << "no description";
        QTest::newRow("no tags") << QByteArray() << "no description";
    }
    void descriptions()
    {
        QFETCH(QByteArray, tags);
        QFETCH(QString, description);
        VideoFileParser p;
        QVERIFY(!p.parseOutput(stream(R"({"codec_type":"audio","index":3,"channels":6,"sample_rate":"48000")"
                                      + tags + "}")));
        QCOMPARE(p.getAudioTracks().size(), 1);
        const TW::AudioTrackInfo a = p.getAudioTracks().first();
        QCOMPARE(a.description, description);
        QCOMPARE(a.trackId, 3);
        QCOMPARE(a.channels, 6);
        QCOMPARE(a.sampleRate, 48000);
    }

    void frameRates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<float>("rate");
        QTest::newRow("ntsc") << "30000/1001" << 30000.0f / 1001.0f;
        QTest::newRow("pal") << "25/1" << 25.0f;
        QTest::newRow("no slash") << "24" << 24.0f;
        QTest::newRow("zero denominator") << "0/0" << 0.0f;
        QTest::newRow("missing") << "" << 0.0f;
        // Found by fuzzing: no negative, infinite or undefined rate passes.
        QTest::newRow("negative") << "-25/1" << 0.0f;
        QTest::newRow("beyond a float") << "1e39/1" << 0.0f;
        QTest::newRow("infinite quotient") << "1e38/1e-38" << 0.0f;
        QTest::newRow("not a number") << "nan/1" << 0.0f;
        QTest::newRow("no picture rate") << "9999999999999" << 0.0f;
        QTest::newRow("attached picture") << "90000/1" << 0.0f;
        QTest::newRow("highest taken") << "240/1" << 240.0f;
    }
    void frameRates()
    {
        QFETCH(QString, text);
        QFETCH(float, rate);
        VideoFileParser p;
        QVERIFY(p.parseOutput(stream(QString(R"({"codec_type":"video","index":0,"width":640,"height":480,)"
                                             R"("r_frame_rate":"%1"})").arg(text).toUtf8())));
        QCOMPARE(p.getVideoTracks().size(), 1);
        QCOMPARE(p.getVideoTracks().first().frameRate, rate);
        QCOMPARE(p.getVideoTracks().first().width, 640);
    }

    void durations_data()
    {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<qint64>("micros");
        QTest::newRow("10.01 s") << "10.010000" << qint64(10010000);
        // Single precision before the truncation, as the project files expect.
        QTest::newRow("two hours") << "7200.123456" << qint64(7200123392);
        QTest::newRow("not a number") << "N/A" << qint64(0);
        // Found by fuzzing: a huge duration overflowed the microseconds
        // (undefined); it and a negative one read as unknown.
        QTest::newRow("huge") << "1e300" << qint64(0);
        QTest::newRow("beyond 30 days") << "2592001" << qint64(0);
        QTest::newRow("negative") << "-3.5" << qint64(0);
        QTest::newRow("infinite") << "inf" << qint64(0);
    }
    void durations()
    {
        QFETCH(QString, seconds);
        QFETCH(qint64, micros);
        VideoFileParser p;
        p.parseOutput(QString(R"({"streams":[],"format":{"duration":"%1"}})").arg(seconds).toUtf8());
        QCOMPARE(p.getDuration().unitCount, micros);
    }

    void streamOrderAndFirstVideo()
    {
        VideoFileParser p;
        QVERIFY(p.parseOutput(stream(
            R"({"codec_type":"video","index":0,"width":320,"height":240,"r_frame_rate":"25/1"},)"
            R"({"codec_type":"audio","index":1,"channels":2,"sample_rate":"44100"},)"
            R"({"codec_type":"subtitle","index":2},)"
            R"({"codec_type":"video","index":3,"width":64,"height":64,"r_frame_rate":"1/1"},)"
            R"({"codec_type":"audio","index":4,"channels":1,"sample_rate":"22050"})")));
        QCOMPARE(p.getVideoTracks().size(), 1);
        QCOMPARE(p.getVideoTracks().first().trackId, 0);
        QCOMPARE(p.getVideoTracks().first().width, 320);
        QCOMPARE(p.getAudioTracks().size(), 2);
        QCOMPARE(p.getAudioTracks().at(0).trackId, 1);
        QCOMPARE(p.getAudioTracks().at(1).trackId, 4);
        QCOMPARE(p.getAudioTracks().at(1).sampleRate, 22050);
    }

    void invalidOutput_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cut short") << QByteArray(R"({"streams":[{"codec_type":"video")");
        QTest::newRow("not json") << QByteArray("Segmentation fault");
    }
    void invalidOutput()
    {
        QFETCH(QByteArray, output);
        VideoFileParser p;
        QVERIFY(!p.parseOutput(output));
        QVERIFY(p.getAudioTracks().isEmpty());
        QVERIFY(p.getVideoTracks().isEmpty());
        QCOMPARE(p.getDuration().unitCount, qint64(0));
    }

    void realFiles_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("audioTracks");
        QTest::addColumn<int>("firstChannels");
        QTest::newRow("video stereo") << int(TestMedia::VideoStereo) << true << 1 << 2;
        QTest::newRow("audio only") << int(TestMedia::AudioOnly) << false << 1 << 2;
        QTest::newRow("two tracks") << int(TestMedia::TwoAudioTracks) << true << 2 << 2;
        QTest::newRow("cover art") << int(TestMedia::CoverArt) << true << 1 << 2;
        QTest::newRow("six channels") << int(TestMedia::SixChannel) << true << 1 << 6;
        QTest::newRow("silent video") << int(TestMedia::SilentVideo) << true << 0 << 0;
    }
    void realFiles()
    {
        QFETCH(int, kind);
        QFETCH(bool, result);
        QFETCH(int, audioTracks);
        QFETCH(int, firstChannels);
        const QString path = TestMedia::make(TestMedia::Kind(kind), m_dir.path(), 2.0);
        QVERIFY(!path.isEmpty());
        VideoFileParser p;
        QCOMPARE(p.parseFile(path), result);
        QCOMPARE(p.getAudioTracks().size(), audioTracks);
        if (audioTracks > 0) {
            QCOMPARE(p.getAudioTracks().first().channels, firstChannels);
            QCOMPARE(p.getAudioTracks().first().sampleRate, 44100);
        }
        QVERIFY2(qAbs(p.getDuration().unitCount - 2000000) < 200000,
                 qPrintable(QString::number(p.getDuration().unitCount)));
        if (kind == TestMedia::VideoStereo) {
            QCOMPARE(p.getVideoTracks().first().frameRate, 25.0f);
            QCOMPARE(p.getVideoTracks().first().width, 320);
            QCOMPARE(p.getVideoTracks().first().height, 240);
        }
        if (kind == TestMedia::TwoAudioTracks) {
            // Track ids are the streams' own indexes, counting the video.
            QCOMPARE(p.getAudioTracks().at(0).trackId, 1);
            QCOMPARE(p.getAudioTracks().at(1).trackId, 2);
        }
    }

    // Quotes, blanks, a leading "-" and a protocol-like colon must reach
    // ffprobe as one intact argument.
    void awkwardNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks and quotes") << R"(my "best" clip 'take 2'.mp4)";
        QTest::newRow("leading dash") << "-i.mp4";
        QTest::newRow("colon") << "file:clip.mp4";
        QTest::newRow("shell characters") << "$(touch x); `id` & | ; *.mp4";
        QTest::newRow("non-ASCII") << "Übung für Geige – ♪.mp4";
    }
    void awkwardNames()
    {
        QFETCH(QString, name);
        const QString source = TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 2.0);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(QFile::copy(source, path));
        VideoFileParser p;
        QVERIFY(p.parseFile(path));
        QCOMPARE(p.getAudioTracks().size(), 1);

        // A relative name is taken against our working folder, not ffprobe's.
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path());
        VideoFileParser relative;
        const bool ok = relative.parseFile(name);
        QDir::setCurrent(before);
        QVERIFY(ok);
    }

    void missingFile()
    {
        VideoFileParser p;
        QVERIFY(!p.parseFile(m_dir.filePath("does-not-exist.mp4")));
        QVERIFY(p.getAudioTracks().isEmpty());
    }

    // Without ffprobe the probe fails at once instead of waiting.
    void missingProgram()
    {
        const QString clip = TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 2.0);
        QVERIFY(!clip.isEmpty());
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", m_dir.filePath("empty-bin").toUtf8());
        QElapsedTimer timer;
        timer.start();
        VideoFileParser p;
        const bool ok = p.parseFile(clip);
        qputenv("PATH", path);
        QVERIFY(!ok);
        // The bound only catches a wait for the program, with room for a
        // loaded machine.
        QVERIFY(timer.elapsed() < 20000);
    }
};

QTEST_GUILESS_MAIN(VideoFileParserTest)
#include "tst_VideoFileParser.moc"
