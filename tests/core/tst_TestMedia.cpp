// Checks the test media generator itself: every kind of clip is made and
// has the streams the tests rely on.
#include "TestMedia.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using TW::test::TestMedia;

class TestMediaTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static QJsonArray streams(const QString &path)
    {
        QProcess p;
        p.start("ffprobe", {"-v", "error", "-print_format", "json", "-show_streams", path});
        p.waitForFinished();
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object().value("streams").toArray();
    }

private slots:
    void kinds_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("videoStreams");
        QTest::addColumn<int>("audioStreams");
        QTest::addColumn<int>("firstAudioChannels");
        QTest::newRow("video stereo") << int(TestMedia::VideoStereo) << 1 << 1 << 2;
        QTest::newRow("audio only") << int(TestMedia::AudioOnly) << 0 << 1 << 2;
        QTest::newRow("mono") << int(TestMedia::Mono) << 1 << 1 << 1;
        QTest::newRow("two tracks") << int(TestMedia::TwoAudioTracks) << 1 << 2 << 2;
        QTest::newRow("cover art") << int(TestMedia::CoverArt) << 1 << 1 << 2;
        QTest::newRow("silent video") << int(TestMedia::SilentVideo) << 1 << 0 << 0;
        QTest::newRow("six channels") << int(TestMedia::SixChannel) << 1 << 1 << 6;
    }
    void kinds()
    {
        QFETCH(int, kind);
        QFETCH(int, videoStreams);
        QFETCH(int, audioStreams);
        QFETCH(int, firstAudioChannels);
        const QString path = TestMedia::make(TestMedia::Kind(kind), m_dir.path(), 1.0);
        QVERIFY(!path.isEmpty());
        int v = 0, a = 0, channels = 0;
        for (const auto &s : streams(path)) {
            const QJsonObject o = s.toObject();
            if (o.value("codec_type") == "video")
                ++v;
            if (o.value("codec_type") == "audio" && a++ == 0)
                channels = o.value("channels").toInt();
        }
        QCOMPARE(v, videoStreams);
        QCOMPARE(a, audioStreams);
        QCOMPARE(channels, firstAudioChannels);
        // A second request reuses the file.
        QCOMPARE(TestMedia::make(TestMedia::Kind(kind), m_dir.path(), 1.0), path);
    }
    void decodeMatchesLength()
    {
        const QString path = TestMedia::make(TestMedia::AudioOnly, m_dir.path(), 1.0);
        const QByteArray raw = TestMedia::decodeS16(path);
        QCOMPARE(raw.size(), 44100 * 2 * 2);
    }
};

QTEST_GUILESS_MAIN(TestMediaTest)
#include "tst_TestMedia.moc"
