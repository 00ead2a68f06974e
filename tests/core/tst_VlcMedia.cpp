// The libvlc instance and media wrapper: option strings, parsing real
// files into track descriptions, clones and copies.
#include "core/LibvlcInstance.h"
#include "core/Logger.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QFile>
#include <QLocale>
#include <QPoint>
#include <QTemporaryDir>
#include <QtTest>

#include <vlc/vlc.h>

using TW::Time;
using TW::VlcMedia;
using TW::test::TestMedia;

class VlcMediaTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString clip()
    {
        return TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 2.0);
    }

    // A short video of the given size in the given container.
    QString sized(int width, int height, const QString &name)
    {
        const QString path = m_dir.filePath(name);
        if (!QFile::exists(path))
            TestMedia::ffmpeg({"-f", "lavfi", "-i", QString("testsrc=size=%1x%2:rate=25:duration=1").arg(width).arg(height),
                               "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=1",
                               "-c:v", "mpeg2video", "-c:a", "mp2", "-shortest", path});
        return path;
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
        // Numbers in option strings must not follow the user's locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(TW::Singleton<TW::LibvlcInstance>::instance()->getHandle());
    }

    void instanceArguments()
    {
        const QStringList args = TW::LibvlcInstance::arguments();
        const bool logging = TW::Singleton<TW::Logger>::instance()->isEnabled();
        QCOMPARE(args.mid(0, 13), QStringList({"--ignore-config", "--skip-frames", "--text-renderer", "dummy", "-I",
                                               "dumy", "--no-video-title-show", "--no-stats",
                                               "--no-sub-autodetect-file", "--no-disable-screensaver",
                                               logging ? "--verbose=3" : "--verbose=0", "--no-osd",
                                               "--input-fast-seek"}));
        // Tests run with TW_TEST_MODE=1: no sound card or display is touched.
        QVERIFY(args.contains("--aout=dummy"));
        QVERIFY(args.contains("--vout=dummy"));
    }

    void options_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("start 0") << 0 << qint64(0) << QStringList{":start-time=0.000"};
        QTest::newRow("start 2.5 s") << 0 << qint64(2500000) << QStringList{":start-time=2.500"};
        QTest::newRow("start rounded") << 0 << qint64(1234567) << QStringList{":start-time=1.235"};
        QTest::newRow("end 90 s") << 1 << qint64(90000000) << QStringList{":stop-time=90.000"};
        QTest::newRow("repeat 1") << 2 << qint64(1) << QStringList{":input-repeat=0"};
        QTest::newRow("repeat 0") << 2 << qint64(0) << QStringList{":input-repeat=0"};
        QTest::newRow("repeat -3") << 2 << qint64(-3) << QStringList{":input-repeat=0"};
        QTest::newRow("repeat 4") << 2 << qint64(4) << QStringList{":input-repeat=3"};
        QTest::newRow("frame location") << 3 << qint64(-7) << QStringList{":video-x=-7", ":video-y=12"};
    }
    void options()
    {
        QFETCH(int, operation);
        QFETCH(qint64, value);
        QFETCH(QStringList, options);
        VlcMedia media(VlcMedia::locationForFile(clip()));
        switch (operation) {
        case 0:
            media.setStartPosition(Time(value));
            QCOMPARE(media.getStartPosition().unitCount, value);
            break;
        case 1:
            media.setEndPosition(Time(value));
            QCOMPARE(media.getEndPosition().unitCount, value);
            break;
        case 2:
            media.setRepeatCount(int(value));
            QCOMPARE(media.getRepeatCount(), options.first().section('=', 1).toInt());
            break;
        case 3:
            media.setFrameLocation(QPoint(int(value), 12));
            break;
        }
        QCOMPARE(media.getOptions(), options);
    }

    void callbackPointersAreDecimal()
    {
        VlcMedia media("imem://");
        int a = 0;
        void *p = &a;
        const QString n = QString::number(qlonglong(reinterpret_cast<qintptr>(p)));
        media.setVideoLockCallback(p);
        media.setVideoUnlockCallback(p);
        media.setAudioLockCallback(p);
        media.setAudioUnlockCallback(p);
        media.setVideoDataContext(p);
        media.setAudioDataContext(p);
        media.addOption(":sout=#transcode");
        media.addOption(QString(":meta-title=Grüße"));
        QCOMPARE(media.getOptions(),
                 QStringList({":sout-smem-video-prerender-callback=" + n, ":sout-smem-video-postrender-callback=" + n,
                              ":sout-smem-audio-prerender-callback=" + n, ":sout-smem-audio-postrender-callback=" + n,
                              ":sout-smem-video-data=" + n, ":sout-smem-audio-data=" + n, ":sout=#transcode",
                              ":meta-title=Grüße"}));
    }

    void parseTracks()
    {
        VlcMedia media(VlcMedia::locationForFile(clip()));
        QVERIFY(media.getMedia());
        QVERIFY(media.getMediaInfo().audioTracks.isEmpty());
        media.parse();
        const TW::MediaInfo &info = media.getMediaInfo();
        QCOMPARE(info.audioTracks.size(), 1);
        QCOMPARE(info.videoTracks.size(), 1);
        QCOMPARE(info.audioTracks.first().channels, 2);
        QCOMPARE(info.audioTracks.first().sampleRate, 44100);
        QCOMPARE(info.audioTracks.first().description, QString());
        QCOMPARE(info.videoTracks.first().width, 320);
        QCOMPARE(info.videoTracks.first().height, 240);
        QCOMPARE(info.videoTracks.first().aspect, 1);
        QVERIFY(info.videoTracks.first().codec != 0);
        QCOMPARE(info.audioTracksById.value(info.audioTracks.first().trackId).channels, 2);
        // Only program streams get a frame rate.
        QCOMPARE(media.getFrameRate(), 0.0f);
        QVERIFY2(qAbs(media.getEndPosition().unitCount - 2000000) < 200000,
                 qPrintable(QString::number(media.getEndPosition().unitCount)));
        QCOMPARE(media.getEndPosition().unitCount % 1000, qint64(0));

        // A second parse replaces the entries of the same ids.
        media.parse();
        QCOMPARE(media.getMediaInfo().audioTracks.size(), 1);
        QCOMPARE(media.getMediaInfo().videoTracks.size(), 1);
    }

    void aspect_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("aspect");
        QTest::newRow("640x480") << 640 << 480 << 1;
        QTest::newRow("480x640") << 480 << 640 << 0;
        QTest::newRow("wide") << 704 << 240 << 2;
    }
    void aspect()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, aspect);
        VlcMedia media(VlcMedia::locationForFile(sized(width, height, QString("s%1x%2.mkv").arg(width).arg(height))));
        media.parse();
        QCOMPARE(media.getMediaInfo().videoTracks.size(), 1);
        QCOMPARE(media.getMediaInfo().videoTracks.first().aspect, aspect);
    }

    // A program stream's frame rate comes from the parse, which leaves no
    // option behind that would silence later playback. (libvlc 3's parse
    // finds neither the streams nor the rate of a program stream; any rate
    // it does give must be the stream's.)
    void programStreamParse()
    {
        const QString path = m_dir.filePath("program.mpg");
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=1", "-f", "lavfi",
                                   "-i", "sine=frequency=440:sample_rate=44100:duration=1", "-c:v", "mpeg2video",
                                   "-c:a", "mp2", "-shortest", path}));
        VlcMedia media(VlcMedia::locationForFile(path));
        media.parse();
        QVERIFY(media.getFrameRate() == 0.0f || qFuzzyCompare(media.getFrameRate(), 25.0f));
        for (const TW::VideoTrackInfo &v : media.getMediaInfo().videoTracks)
            QCOMPARE(v.frameRate, media.getFrameRate());
        QVERIFY(media.getOptions().isEmpty());
    }

    void unreadableLocation_data()
    {
        QTest::addColumn<QString>("location");
        QTest::newRow("missing file") << VlcMedia::locationForFile(m_dir.filePath("missing.avi"));
        QTest::newRow("garbage") << "no such scheme at all";
    }
    void unreadableLocation()
    {
        QFETCH(QString, location);
        VlcMedia media(location);
        media.parse();
        QVERIFY(media.getMediaInfo().audioTracks.isEmpty());
        QVERIFY(media.getMediaInfo().videoTracks.isEmpty());
        QCOMPARE(media.getEndPosition().unitCount, qint64(-1000));
    }

    void garbageFile()
    {
        const QString path = m_dir.filePath("random.mp4");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray bytes(100000, Qt::Uninitialized);
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 7919 + 13) % 251);
        f.write(bytes);
        f.close();
        VlcMedia media(VlcMedia::locationForFile(path));
        media.parse();
        QVERIFY(media.getMediaInfo().videoTracks.isEmpty());
    }

    void cloneAndCopy()
    {
        VlcMedia media(VlcMedia::locationForFile(clip()));
        media.parse();
        media.setStartPosition(Time(500000));
        media.setEndPosition(Time(1500000));
        media.setRepeatCount(3);

        std::unique_ptr<VlcMedia> clone(media.clone());
        QCOMPARE(clone->getLocation(), media.getLocation());
        QVERIFY(clone->getMedia() != media.getMedia());
        QVERIFY(clone->getOptions().isEmpty());
        QCOMPARE(clone->getStartPosition().unitCount, qint64(0));
        QCOMPARE(clone->getMediaInfo().audioTracks.size(), 1);
        QVERIFY(clone->getEndPosition().unitCount > 1500000);

        VlcMedia copy(media);
        QVERIFY(copy.getMedia() != media.getMedia());
        QVERIFY(copy.getOptions().isEmpty());
        QCOMPARE(copy.getStartPosition().unitCount, qint64(500000));
        QCOMPARE(copy.getEndPosition().unitCount, qint64(1500000));
        QCOMPARE(copy.getMediaInfo().videoTracks.size(), 1);
    }

    // The rate a track is told (the project's source rate) replaces what
    // libvlc reported: copies keep it, it adds no option, and a later parse
    // of a file that is no program stream leaves it and describes the video
    // track with it.
    void frameRateSet()
    {
        VlcMedia media(VlcMedia::locationForFile(clip()));
        media.parse();
        QCOMPARE(media.getMediaInfo().videoTracks.first().frameRate, 0.0f);
        media.setFrameRate(29.97f);
        QCOMPARE(media.getFrameRate(), 29.97f);
        QVERIFY(media.getOptions().isEmpty());
        QCOMPARE(media.getMediaInfo().videoTracks.first().frameRate, 0.0f);

        VlcMedia copy(media);
        QCOMPARE(copy.getFrameRate(), 29.97f);

        media.parse();
        QCOMPARE(media.getFrameRate(), 29.97f);
        QCOMPARE(media.getMediaInfo().videoTracks.size(), 1);
        QCOMPARE(media.getMediaInfo().videoTracks.first().frameRate, 29.97f);

        media.setFrameRate(0.0f);
        QCOMPARE(media.getFrameRate(), 0.0f);
    }

    void awkwardFileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks") << "my clip (1).mp4";
        QTest::newRow("hash and percent") << "take #2 at 100%.mp4";
        QTest::newRow("non-ASCII") << "Übung für Geige ♪.mp4";
    }
    void awkwardFileNames()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(QFile::copy(clip(), path));
        VlcMedia media(VlcMedia::locationForFile(path));
        media.parse();
        QCOMPARE(media.getMediaInfo().videoTracks.size(), 1);
    }
};

QTEST_GUILESS_MAIN(VlcMediaTest)
#include "tst_VlcMedia.moc"
