// Input conversion: reading ffmpeg's description of an input and its
// progress lines, the conversion command line, and real conversions of
// generated media with ffmpeg.
#include "core/VideoInputConverter.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using TW::VideoInputConverter;
using TW::VideoInputFile;
using TW::test::TestMedia;

namespace {

// The streams of a file as ffprobe reports them.
QJsonArray streams(const QString &path)
{
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-print_format", "json", "-show_streams", path});
    p.waitForFinished();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object().value("streams").toArray();
}

// Sign changes of the first channel of interleaved stereo samples.
int zeroCrossings(const QByteArray &s16)
{
    const auto *s = reinterpret_cast<const qint16 *>(s16.constData());
    const qsizetype frames = s16.size() / 4;
    int crossings = 0;
    for (qsizetype i = 1; i < frames; ++i)
        if ((s[2 * (i - 1)] < 0) != (s[2 * i] < 0))
            ++crossings;
    return crossings;
}

// One converter on one record, with the states seen at each signal.
struct Run
{
    VideoInputFile file;
    QList<int> statuses;
    std::unique_ptr<VideoInputConverter> converter;

    Run(const QString &input, const QString &output, int audioStream = -1)
    {
        file.inputPath = input;
        file.outputPath = output;
        file.audioStream = audioStream;
        converter = std::make_unique<VideoInputConverter>(file);
        QObject::connect(converter.get(), &VideoInputConverter::progressUpdated, converter.get(),
                         [this] { statuses << file.status; });
    }
    // Ended once the final status has been reported, not merely set: the
    // record changes before its signal arrives.
    bool ended() const
    {
        return !statuses.isEmpty()
               && (statuses.last() == VideoInputFile::Failed || statuses.last() == VideoInputFile::Done);
    }
};

} // namespace

class VideoInputConverterTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // A converter whose check run is stopped at once, for feeding lines by hand.
    static std::unique_ptr<VideoInputConverter> idle(VideoInputFile &file)
    {
        auto c = std::make_unique<VideoInputConverter>(file);
        c->cancel();
        file.status = VideoInputFile::Checking;
        return c;
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
        // Numbers on ffmpeg's command line must not follow the user's locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void checkLines_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("audioStream");
        QTest::addColumn<float>("fps");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("aspect");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("sampleRate");

        const QString dur = "Duration: 00:01:00.50, start: 0.000000, bitrate: 1234 kb/s";
        const QString stereo = "Stream #0:1[0x2](und): Audio: aac (LC) (mp4a / 0x6134706D), 48000 Hz, stereo, fltp, 128 kb/s (default)";
        QTest::newRow("h264 25 fps")
            << QStringList{dur, "Stream #0:0[0x1](und): Video: h264 (High) (avc1 / 0x31637661), yuv420p(progressive), "
                                "1280x720 [SAR 1:1 DAR 16:9], 1000 kb/s, 25 fps, 25 tbr, 12800 tbn (default)", stereo}
            << -1 << 25.0f << QSize(1280, 720) << QSize(16, 9) << 2 << 48000;
        QTest::newRow("29.97 fps")
            << QStringList{dur, "Stream #0:0: Video: mpeg4 (Simple Profile), yuv420p, 640x480 [SAR 1:1 DAR 4:3], "
                                "29.97 fps, 29.97 tbr, 30k tbn", stereo}
            << -1 << 29.97f << QSize(640, 480) << QSize(4, 3) << 2 << 48000;
        QTest::newRow("only a base rate")
            << QStringList{"Stream #0:0: Video: mpeg4, yuv420p, 640x480, 30 tbr, 30 tbn"}
            << -1 << 30.0f << QSize(640, 480) << QSize(4, 3) << -1 << -1;
        QTest::newRow("cover art: no usable rate")
            << QStringList{"Duration: 00:03:10.12, start: 0.025057, bitrate: 129 kb/s",
                           "Stream #0:0: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s",
                           "Stream #0:1: Video: mjpeg (Baseline), yuvj420p(pc, bt470bg/unknown/unknown), 64x64 "
                           "[SAR 1:1 DAR 1:1], 90k tbr, 90k tbn (attached pic)"}
            << -1 << VideoInputConverter::DefaultFps << QSize(64, 64) << QSize(1, 1) << 2 << 44100;
        QTest::newRow("no DAR, 16:9 guessed")
            << QStringList{"Stream #0:0: Video: mpeg4, yuv420p, 1280x720, 25 fps, 25 tbr"}
            << -1 << 25.0f << QSize(1280, 720) << QSize(16, 9) << -1 << -1;
        QTest::newRow("no DAR, unknown shape")
            << QStringList{"Stream #0:0: Video: mpeg4, yuv420p, 720x576, 25 fps"}
            << -1 << 25.0f << QSize(720, 576) << QSize(-1, -1) << -1 << -1;
        QTest::newRow("zero height")
            << QStringList{"Stream #0:0: Video: rawvideo, 0x0, 25 fps"}
            << -1 << 25.0f << QSize(0, 0) << QSize(-1, -1) << -1 << -1;
        // Without a chosen stream the first audio stream is the one converted.
        QTest::newRow("second audio mono, first wins")
            << QStringList{"Stream #0:0: Video: mpeg4, yuv420p, 320x240, 25 fps", stereo,
                           "Stream #0:2(eng): Audio: pcm_s16le, 22050 Hz, mono, s16, 352 kb/s"}
            << -1 << 25.0f << QSize(320, 240) << QSize(4, 3) << 2 << 48000;
        QTest::newRow("chosen stream wins")
            << QStringList{"Stream #0:0: Video: mpeg4, yuv420p, 320x240, 25 fps", stereo,
                           "Stream #0:2(eng): Audio: pcm_s16le, 22050 Hz, mono, s16, 352 kb/s"}
            << 1 << 25.0f << QSize(320, 240) << QSize(4, 3) << 2 << 48000;
        QTest::newRow("first video only, metadata ignored")
            << QStringList{"Stream #0:0: Video: mpeg4, yuv420p, 320x240, 25 fps",
                           "    comment         : Video: fake, 99x99, 50 fps",
                           "Stream #0:1: Video: mjpeg, yuvj420p, 1920x1080, 50 fps"}
            << -1 << 25.0f << QSize(320, 240) << QSize(4, 3) << -1 << -1;
    }
    void checkLines()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, audioStream);
        QFETCH(float, fps);
        QFETCH(QSize, size);
        QFETCH(QSize, aspect);
        QFETCH(int, channels);
        QFETCH(int, sampleRate);
        VideoInputFile f;
        f.audioStream = audioStream;
        auto c = idle(f);
        for (const QString &line : lines)
            c->parseLine(line);
        // Nothing is guessed before the check has ended.
        if (lines.join(' ').contains("DAR"))
            QVERIFY(f.aspectRatio.width() > 0);
        else
            QCOMPARE(f.aspectRatio, QSize(-1, -1));
        c->completeCheck();
        QCOMPARE(f.status, int(VideoInputFile::Checking));
        QCOMPARE(f.fps, fps);
        QCOMPARE(QSize(f.width, f.height), size);
        QCOMPARE(f.aspectRatio, aspect);
        QCOMPARE(f.channels, channels);
        QCOMPARE(f.sampleRate, sampleRate);
    }

    void checkDetails()
    {
        VideoInputFile f;
        auto c = idle(f);
        c->parseLine("Duration: 01:02:03.45, start: 0.000000, bitrate: 1234 kb/s");
        c->parseLine("Stream #0:0(und): Video: h264 (High) (avc1 / 0x31637661), yuv420p, 720x480 "
                     "[SAR 32:27 DAR 16:9], 25 fps");
        c->parseLine("Stream #0:1: Audio: aac (LC), 44100 Hz, 5.1(side), fltp, 384 kb/s");
        QCOMPARE(f.duration, 3723.45);
        QCOMPARE(f.bitrate, 1234);
        QCOMPARE(f.videoCodec, QString("h264 (High) (avc1 / 0x31637661)"));
        QCOMPARE(f.parNum, 32);
        QCOMPARE(f.parDen, 27);
        QCOMPARE(f.darNum, 16);
        QCOMPARE(f.darDen, 9);
        QCOMPARE(f.audioCodec, QString("aac (LC)"));
        QCOMPARE(f.audioBitrate, 384);
        QCOMPARE(f.channels, 2);

        c->parseLine("/tmp/x.mp4: Invalid data found when processing input");
        QCOMPARE(f.status, int(VideoInputFile::Failed));
    }

    void progressLines_data()
    {
        QTest::addColumn<double>("duration");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("progress");
        QTest::newRow("half way") << 60.0 << "frame=  750 fps= 25 q=2.0 size=    1234kB time=00:00:30.00 bitrate=1234.5kbits/s speed=1x" << 50;
        QTest::newRow("ffmpeg 5 fractional fps") << 60.0 << "frame=  150 fps=5.9 q=2.0 size=     512kB time=00:00:06.00 bitrate= 699.1kbits/s speed=0.23x" << 10;
        QTest::newRow("ffmpeg 5 zero fps") << 60.0 << "frame=    1 fps=0.0 q=0.0 size=       6kB time=00:00:00.60 bitrate=N/A speed=   0x" << 1;
        QTest::newRow("last line") << 60.0 << "frame= 1500 fps=120 q=-1.0 Lsize=   10000kB time=00:01:00.00 bitrate=1365.3kbits/s speed=4.8x" << 100;
        QTest::newRow("audio only") << 60.0 << "size=     351kB time=00:00:15.00 bitrate=1438.1kbits/s speed= 795x" << 25;
        QTest::newRow("hours") << 7200.0 << "frame=90000 fps=500 q=2.0 size= 999999kB time=01:00:00.00 bitrate=1.0kbits/s" << 50;
        QTest::newRow("no size yet") << 60.0 << "frame=  100 fps= 25 q=2.0 size=N/A time=00:00:04.00 bitrate=N/A" << 0;
        QTest::newRow("negative time") << 60.0 << "size=       0kB time=-00:00:00.02 bitrate=N/A" << 0;
        QTest::newRow("unknown duration") << -1.0 << "frame=  750 fps= 25 q=2.0 size=  1234kB time=00:00:30.00 bitrate=1.0kbits/s" << 0;
        QTest::newRow("other text") << 60.0 << "Press [q] to stop, [?] for help" << 0;
    }
    void progressLines()
    {
        QFETCH(double, duration);
        QFETCH(QString, line);
        QFETCH(int, progress);
        VideoInputFile f;
        auto c = idle(f);
        f.duration = duration;
        f.status = VideoInputFile::Converting;
        QSignalSpy spy(c.get(), &VideoInputConverter::progressUpdated);
        c->parseLine(line);
        QCOMPARE(f.progress, progress);
        QCOMPARE(spy.count(), progress != 0 ? 1 : 0);
        // The same figure again is no news.
        c->parseLine(line);
        QCOMPARE(spy.count(), progress != 0 ? 1 : 0);
    }

    void conversionArguments()
    {
        VideoInputFile f;
        f.inputPath = "relative name.mp4";
        f.outputPath = "/cache/abc.avi";
        f.fps = 29.97f;
        f.channels = 1;
        QCOMPARE(VideoInputConverter::conversionArguments(f),
                 QStringList({"-i", QFileInfo("relative name.mp4").absoluteFilePath(), "-map", "0:v:0?", "-map",
                              "0:a:0?", "-vcodec", "mpeg2video", "-g",
                              "4", "-r", "29.9699993133544921875", "-vb", "10M", "-acodec", "pcm_s16le", "-ar",
                              "44100", "-ac", "1", "-y", "/cache/abc.avi"}));
        f.fps = 25.0f;
        f.channels = -1;
        f.audioStream = 3;
        const QStringList args = VideoInputConverter::conversionArguments(f);
        QCOMPARE(args.mid(2, 4), QStringList({"-map", "0:v:0?", "-map", "0:3"}));
        QCOMPARE(args.at(args.indexOf("-r") + 1), QString("25"));
        QCOMPARE(args.at(args.indexOf("-ac") + 1), QString("2"));
    }

    void convert_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("audioStream");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QSize>("aspect");
        QTest::newRow("video stereo") << int(TestMedia::VideoStereo) << -1 << 2 << QSize(4, 3);
        QTest::newRow("mono") << int(TestMedia::Mono) << -1 << 1 << QSize(4, 3);
        QTest::newRow("cover art") << int(TestMedia::CoverArt) << -1 << 2 << QSize(1, 1);
        QTest::newRow("six channels") << int(TestMedia::SixChannel) << -1 << 2 << QSize(4, 3);
        QTest::newRow("second of two tracks") << int(TestMedia::TwoAudioTracks) << 2 << 2 << QSize(4, 3);
    }
    void convert()
    {
        QFETCH(int, kind);
        QFETCH(int, audioStream);
        QFETCH(int, channels);
        QFETCH(QSize, aspect);
        const QString input = TestMedia::make(TestMedia::Kind(kind), m_dir.path(), 2.0);
        QVERIFY(!input.isEmpty());
        QTemporaryDir out;
        Run run(input, out.filePath("converted.avi"), audioStream);
        QCOMPARE(run.file.status, int(VideoInputFile::Checking));
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), 60000);
        QCOMPARE(run.file.status, int(VideoInputFile::Done));
        QCOMPARE(run.file.progress, 100);
        QCOMPARE(run.statuses.first(), int(VideoInputFile::CheckPassed));
        QCOMPARE(run.statuses.at(1), int(VideoInputFile::Converting));
        QCOMPARE(run.statuses.last(), int(VideoInputFile::Done));
        QVERIFY(qAbs(run.file.duration - 2.0) < 0.2);
        QCOMPARE(run.file.fps, 25.0f);
        QCOMPARE(run.file.aspectRatio, aspect);
        QCOMPARE(run.file.channels, channels);
        // The marker follows the signal.
        QTRY_VERIFY(QFile::exists(run.file.outputPath + ".finished"));

        int video = 0, audio = 0;
        for (const auto &s : streams(run.file.outputPath)) {
            const QJsonObject o = s.toObject();
            if (o.value("codec_type") == "video") {
                ++video;
                QCOMPARE(o.value("codec_name").toString(), QString("mpeg2video"));
            } else if (o.value("codec_type") == "audio") {
                ++audio;
                QCOMPARE(o.value("codec_name").toString(), QString("pcm_s16le"));
                QCOMPARE(o.value("sample_rate").toString(), QString("44100"));
                QCOMPARE(o.value("channels").toInt(), channels);
            }
        }
        QCOMPARE(video, 1);
        QCOMPARE(audio, 1);
        if (kind == TestMedia::TwoAudioTracks) {
            // The chosen stream is the 880 Hz one, not ffmpeg's own pick.
            const int crossings = zeroCrossings(TestMedia::decodeS16(run.file.outputPath));
            QVERIFY2(crossings > 3000, qPrintable(QString::number(crossings)));
        }
    }

    // Awkward names reach ffmpeg intact, as one argument each.
    void awkwardNames()
    {
        QTemporaryDir dir;
        const QString input = dir.filePath(R"(-my "clip" $(id) & more.mp4)");
        QVERIFY(QFile::copy(TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 2.0), input));
        Run run(input, dir.filePath("out 'x'.avi"));
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), 60000);
        QCOMPARE(run.file.status, int(VideoInputFile::Done));
        QVERIFY(QFileInfo(run.file.outputPath).size() > 0);
    }

    // An output with its marker is reused without a conversion run; one
    // without a marker is a leftover and is converted again.
    void existingOutput_data()
    {
        QTest::addColumn<bool>("marker");
        QTest::newRow("finished") << true;
        QTest::newRow("left over") << false;
    }
    void existingOutput()
    {
        QFETCH(bool, marker);
        QTemporaryDir out;
        const QString output = out.filePath("existing.avi");
        QFile f(output);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("converted before");
        f.close();
        if (marker)
            QVERIFY(QFile(output + ".finished").open(QIODevice::WriteOnly));
        Run run(TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 2.0), output);
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), 60000);
        QCOMPARE(run.file.status, int(VideoInputFile::Done));
        QCOMPARE(run.file.progress, 100);
        if (marker) {
            QCOMPARE(run.statuses, QList<int>({VideoInputFile::CheckPassed, VideoInputFile::Done}));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("converted before"));
        } else {
            QVERIFY(run.statuses.contains(VideoInputFile::Converting));
            QVERIFY(QFileInfo(output).size() > 10000);
            QTRY_VERIFY(QFile::exists(output + ".finished"));
        }
    }

    void failures_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("progress");
        QTest::newRow("missing file") << "missing.mp4" << -1;
        QTest::newRow("random bytes") << "random.mp4" << 0; // "Invalid data" during the check
        QTest::newRow("chosen stream is no audio") << "chosen video" << -1;
    }
    void failures()
    {
        QFETCH(QString, input);
        QFETCH(int, progress);
        QTemporaryDir out;
        int audioStream = -1;
        QString path = out.filePath(input);
        if (input == "random.mp4") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            for (int i = 0; i < 50000; ++i)
                f.putChar(char((i * 7919 + 13) % 251));
        } else if (input == "chosen video") {
            path = TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 2.0);
            audioStream = 0;
        }
        Run run(path, out.filePath("out.avi"), audioStream);
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), 30000);
        QCOMPARE(run.file.status, int(VideoInputFile::Failed));
        QCOMPARE(run.file.progress, progress);
        QCOMPARE(run.statuses, QList<int>({VideoInputFile::Failed}));
        QVERIFY(!QFile::exists(out.filePath("out.avi.finished")));
    }

    // A failed check removes a leftover output but keeps a finished one.
    void failedCheckAndExistingOutput_data()
    {
        QTest::addColumn<bool>("marker");
        QTest::newRow("finished output") << true;
        QTest::newRow("leftover") << false;
    }
    void failedCheckAndExistingOutput()
    {
        QFETCH(bool, marker);
        QTemporaryDir out;
        const QString output = out.filePath("existing.avi");
        QVERIFY(QFile(output).open(QIODevice::WriteOnly));
        if (marker)
            QVERIFY(QFile(output + ".finished").open(QIODevice::WriteOnly));
        Run run(out.filePath("missing input.mp4"), output);
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), 30000);
        QCOMPARE(run.file.status, int(VideoInputFile::Failed));
        QCOMPARE(QFile::exists(output), marker);
    }

    // A conversion run that fails removes its partial output.
    void failedConversionCleansUp()
    {
        QTemporaryDir out;
        const QString input = out.filePath("huge.mkv");
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "color=c=red:size=8192x4320:rate=25:duration=0.08",
                                   "-c:v", "libx264", "-preset", "ultrafast", input}));
        Run run(input, out.filePath("out.avi"));
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), 60000);
        QCOMPARE(run.file.status, int(VideoInputFile::Failed));
        QCOMPARE(run.file.progress, -1);
        QCOMPARE(run.statuses, QList<int>({VideoInputFile::CheckPassed, VideoInputFile::Failed}));
        QVERIFY(!QFile::exists(run.file.outputPath));
        QVERIFY(!QFile::exists(run.file.outputPath + ".finished"));
    }

    // Without ffmpeg the failure is reported at once, after the owner has
    // had the chance to connect, and nothing is left open (QProcess leaks a
    // pipe for each start of a program that is not there).
    void missingProgram()
    {
        const QString media = TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 2.0);
        const QByteArray path = qgetenv("PATH");
        auto openDescriptors = [] {
            return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
        };
        const qsizetype before = openDescriptors();
        for (int i = 0; i < 20; ++i) {
            qputenv("PATH", m_dir.filePath("empty-bin").toUtf8());
            QElapsedTimer timer;
            timer.start();
            Run run(media, m_dir.filePath("never.avi"));
            qputenv("PATH", path);
            QTRY_VERIFY_WITH_TIMEOUT(run.ended(), 5000);
            QVERIFY(timer.elapsed() < 5000);
            QCOMPARE(run.file.status, int(VideoInputFile::Failed));
            QCOMPARE(run.file.progress, -1);
            QCOMPARE(run.statuses, QList<int>({VideoInputFile::Failed}));
        }
        QCOMPARE(openDescriptors(), before);
    }

    void cancelStopsEverything()
    {
        const QString input = TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 30.0);
        QTemporaryDir out;
        Run run(input, out.filePath("cancelled.avi"));
        QTRY_VERIFY_WITH_TIMEOUT(run.file.status == VideoInputFile::Converting, 30000);
        run.converter->cancel();
        const VideoInputFile before = run.file;
        const int reported = run.statuses.size();
        QTest::qWait(500);
        QCOMPARE(run.statuses.size(), reported);
        QCOMPARE(run.file.status, before.status);
        QCOMPARE(run.file.progress, before.progress);
        QVERIFY(!QFile::exists(run.file.outputPath + ".finished"));
    }
};

QTEST_GUILESS_MAIN(VideoInputConverterTest)
#include "tst_VideoInputConverter.moc"
