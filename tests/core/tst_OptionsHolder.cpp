// Per-project settings: defaults, the "options" element both ways, copies
// and the stream form.
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"

#include "TestEnv.h"

#include <QDataStream>
#include <QDir>
#include <QDomDocument>
#include <QtTest>

using TW::OptionsHolder;

class OptionsHolderTest : public QObject
{
    Q_OBJECT

    static void verifyDefaults(const OptionsHolder &o)
    {
        QCOMPARE(o.m_originalvideoWidth, 720);
        QCOMPARE(o.m_originalvideoHeight, 480);
        QCOMPARE(o.m_originalfps, 25.0f);
        QCOMPARE(o.m_originalnumChannels, 1);
        QCOMPARE(o.m_originalvideoBitRate, 25);
        QCOMPARE(o.m_originalaudioSampleRate, 44100);
        QCOMPARE(o.m_videoWidth, 720);
        QCOMPARE(o.m_videoHeight, 480);
        QCOMPARE(o.m_fps, 25.0f);
        QCOMPARE(o.m_numChannels, 1);
        QCOMPARE(o.m_videoBitRate, 1500);
        QCOMPARE(o.m_audioBitRate, 128);
        QCOMPARE(o.m_audioSampleRate, 44100);
        QCOMPARE(o.m_volume, 100.0f);
        QCOMPARE(o.m_pitch, 0.0f);
        QCOMPARE(o.m_tempo, 100.0f);
        QCOMPARE(o.m_minZoom, 1.0f);
        QCOMPARE(o.m_maxZoom, 16.0f);
        QCOMPARE(o.m_numZoomSteps, 20);
        QCOMPARE(o.m_exportTempDirPath,
                 QDir::toNativeSeparators(TW::Options::instance()->getPath(TW::CacheFolder)
                                          + "/export/tmp/"));
        QCOMPARE(o.m_aspectRatio, QSize(16, 9));
        QCOMPARE(o.getZoomStep(), 0.75f);
    }

    static OptionsHolder changed()
    {
        OptionsHolder o;
        o.m_originalvideoWidth = 1920;
        o.m_originalvideoHeight = 1080;
        o.m_originalfps = 29.97f;
        o.m_originalnumChannels = 6;
        o.m_originalvideoBitRate = 2500;
        o.m_originalaudioSampleRate = 48000;
        o.m_videoWidth = 640;
        o.m_videoHeight = 360;
        o.m_fps = 30.0f;
        o.m_numChannels = 2;
        o.m_videoBitRate = 900;
        o.m_audioBitRate = 192;
        o.m_audioSampleRate = 22050;
        o.setProjectVolume(80.5f);
        o.setProjectPitch(-3.5f);
        o.setProjectTempo(75.0f);
        o.m_minZoom = 0.5f;
        o.m_maxZoom = 8.0f;
        o.m_numZoomSteps = 10;
        o.m_exportTempDirPath = "/tmp/x y/";
        o.m_aspectRatio = QSize(4, 3);
        return o;
    }

    static void verifySame(const OptionsHolder &a, const OptionsHolder &b, bool streamSubset = false)
    {
        QCOMPARE(a.m_originalvideoWidth, b.m_originalvideoWidth);
        QCOMPARE(a.m_originalvideoHeight, b.m_originalvideoHeight);
        QCOMPARE(a.m_originalfps, b.m_originalfps);
        QCOMPARE(a.m_originalnumChannels, b.m_originalnumChannels);
        QCOMPARE(a.m_originalvideoBitRate, b.m_originalvideoBitRate);
        QCOMPARE(a.m_originalaudioSampleRate, b.m_originalaudioSampleRate);
        QCOMPARE(a.m_videoWidth, b.m_videoWidth);
        QCOMPARE(a.m_videoHeight, b.m_videoHeight);
        QCOMPARE(a.m_fps, b.m_fps);
        QCOMPARE(a.m_numChannels, b.m_numChannels);
        QCOMPARE(a.m_videoBitRate, b.m_videoBitRate);
        QCOMPARE(a.m_audioSampleRate, b.m_audioSampleRate);
        QCOMPARE(a.m_volume, b.m_volume);
        QCOMPARE(a.m_pitch, b.m_pitch);
        QCOMPARE(a.m_tempo, b.m_tempo);
        QCOMPARE(a.m_minZoom, b.m_minZoom);
        QCOMPARE(a.m_maxZoom, b.m_maxZoom);
        QCOMPARE(a.m_numZoomSteps, b.m_numZoomSteps);
        if (streamSubset)
            return;
        QCOMPARE(a.m_audioBitRate, b.m_audioBitRate);
        QCOMPARE(a.m_exportTempDirPath, b.m_exportTempDirPath);
        QCOMPARE(a.m_aspectRatio, b.m_aspectRatio);
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QCoreApplication::setApplicationName("Tarnwell");
        QCoreApplication::setApplicationVersion("2");
        TW::Options::instance()->loadFromFile(true);
    }

    void defaults()
    {
        OptionsHolder fresh;
        verifyDefaults(fresh);
        OptionsHolder o = changed();
        o.reset();
        verifyDefaults(o);
        QVERIFY(TW::Singleton<OptionsHolder>::instance());
        verifyDefaults(*TW::Singleton<OptionsHolder>::instance());
    }

    void exportFolderFollowsCache()
    {
        TW::Options *options = TW::Options::instance();
        const QString before = options->getPath(TW::CacheFolder);
        options->setPath(TW::CacheFolder, before + "2");
        OptionsHolder o;
        QCOMPARE(o.m_exportTempDirPath, QDir::toNativeSeparators(before + "2/export/tmp/"));
        options->setPath(TW::CacheFolder, before);
    }

    void copies()
    {
        const OptionsHolder source = changed();
        OptionsHolder copy(source);
        verifySame(copy, source);
        QCOMPARE(copy.m_originalvideoBitRate, 2500);
        OptionsHolder assigned;
        assigned = source;
        verifySame(assigned, source);
        assigned = assigned; // self-assignment changes nothing
        verifySame(assigned, source);
    }

    void writtenAttributes()
    {
        QDomDocument doc;
        const QDomElement e = OptionsHolder().toDomElement(doc, "options");
        QCOMPARE(e.tagName(), QString("options"));
        QCOMPARE(e.attributes().count(), 22);
        QCOMPARE(e.attribute("fps"), QString("25"));
        QCOMPARE(e.attribute("pitch"), QString("0"));
        QCOMPARE(e.attribute("tempo"), QString("100"));
        QCOMPARE(e.attribute("num_zoom_steps"), QString("20"));
        QCOMPARE(e.attribute("aspect_ratio_x"), QString("16"));
        QCOMPARE(e.attribute("aspect_ratio_y"), QString("9"));
        QCOMPARE(e.attribute("original_video_bitrate"), QString("25"));
        QCOMPARE(e.attribute("max_zoom"), QString("16"));
        QCOMPARE(changed().toDomElement(doc, "options").attribute("original_fps"), QString("29.97"));
    }

    void xmlRoundTrip()
    {
        const OptionsHolder source = changed();
        QDomDocument doc;
        QDomElement root = doc.createElement("tarnwell_project");
        doc.appendChild(root);
        root.appendChild(source.toDomElement(doc, "options"));
        QDomDocument reread;
        QVERIFY(reread.setContent(doc.toString()));
        OptionsHolder back;
        back.fromDomElement(reread.documentElement().firstChildElement("options"));
        verifySame(back, source);
    }

    void partialAndBadAttributes_data()
    {
        QTest::addColumn<QString>("attribute");
        QTest::addColumn<QString>("text");
        QTest::newRow("fps only") << "fps" << "30";
        QTest::newRow("width not a number") << "video_width" << "abc";
        QTest::newRow("fps not a number") << "fps" << "x";
        QTest::newRow("aspect x only") << "aspect_ratio_x" << "4";
    }
    void partialAndBadAttributes()
    {
        QFETCH(QString, attribute);
        QFETCH(QString, text);
        QDomDocument doc;
        QDomElement e = doc.createElement("options");
        e.setAttribute(attribute, text);
        OptionsHolder o;
        o.fromDomElement(e);
        const OptionsHolder defaults;
        if (attribute == "fps") {
            bool ok = false;
            const float fps = text.toFloat(&ok);
            QCOMPARE(o.m_fps, ok ? fps : 0.0f);
        } else if (attribute == "video_width") {
            QCOMPARE(o.m_videoWidth, 0);
        } else {
            QCOMPARE(o.m_aspectRatio, QSize(4, 9));
        }
        // Everything else keeps its value.
        QCOMPARE(o.m_videoHeight, defaults.m_videoHeight);
        QCOMPARE(o.m_tempo, defaults.m_tempo);
        QCOMPARE(o.m_exportTempDirPath, defaults.m_exportTempDirPath);
    }

    void zoomStepWithoutSteps()
    {
        OptionsHolder o;
        o.m_numZoomSteps = 0;
        QCOMPARE(o.getZoomStep(), 0.75f);
        o.m_numZoomSteps = 5;
        QCOMPARE(o.getZoomStep(), 3.0f);
    }

    void stream()
    {
        const OptionsHolder source = changed();
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << source;
        }
        // 11 integers of 4 bytes and 7 floats written as doubles.
        QCOMPARE(bytes.size(), 11 * 4 + 7 * 8);
        QDataStream in(bytes);
        OptionsHolder back;
        in >> back;
        QCOMPARE(in.status(), QDataStream::Ok);
        verifySame(back, source, true);
        QCOMPARE(back.m_audioBitRate, OptionsHolder().m_audioBitRate); // not in the stream
    }

    void debugForm()
    {
        QString text;
        QDebug(&text) << changed();
        QVERIFY(text.startsWith("(OptionsHolder:"));
        QVERIFY(text.contains("m_fps 30"));
        QVERIFY(text.contains("\"/tmp/x y/\""));
        QVERIFY(text.contains("QSize(4, 3)"));
        QVERIFY(text.trimmed().endsWith(")"));
    }
};

QTEST_GUILESS_MAIN(OptionsHolderTest)
#include "tst_OptionsHolder.moc"
