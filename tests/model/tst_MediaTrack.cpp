// Source tracks loaded from real files (libvlc parse plus ffprobe probe),
// their clones, the factory, and fragments and edit lists over them.
#include "TestEnv.h"
#include "TestMedia.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "model/Media.h"
#include "model/MediaTrackFactory.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

using namespace TW;
using TW::test::TestMedia;

class MediaTrackTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;   // 320x240, 25 fps, stereo, 2 s
    QString m_silent; // video without audio

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        m_clip = TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 2.0);
        m_silent = TestMedia::make(TestMedia::SilentVideo, m_dir.path(), 1.0);
        QVERIFY(!m_clip.isEmpty());
        QVERIFY(!m_silent.isEmpty());
    }

    void defaults()
    {
        MediaTrack track;
        QVERIFY(!track.isLoaded());
        QVERIFY(!track.getMedia());
        QVERIFY(track.getName().isNull());
        QCOMPARE(track.getTrackIndex(), 0);
        QCOMPARE(track.getDuration(), Time(0));
        QVERIFY(!track.hasAudioTrack());
        track.setRepeatCount(3); // nothing to hand it to

        MediaTrackFragment f;
        QVERIFY(f.track && !f.track->isLoaded());
        QCOMPARE(f.startPosition, Time(0));
        QCOMPARE(f.repeatCount, 1);
        QVERIFY(f.playVideo && f.playAudio);
        QCOMPARE(f.volume, 100.0f);
    }

    void loadsWhatTheFileHolds()
    {
        MediaTrack track(m_clip, 1, QStringLiteral("/home/u/orig.mov"));
        QVERIFY(track.isLoaded());
        QVERIFY(track.getMedia());
        QCOMPARE(track.getName(), QDir::toNativeSeparators(m_clip));
        QCOMPARE(track.getOrigName(), QStringLiteral("/home/u/orig.mov"));
        QCOMPARE(track.getTrackIndex(), 1);
        QVERIFY(qAbs(track.getDuration().unitCount - 2000000) < 100000);
        QCOMPARE(track.getWidth(), 320);
        QCOMPARE(track.getHeight(), 240);
        QCOMPARE(track.getChannels(), 2);
        QCOMPARE(track.getAspect(), 320.0f / 240.0f);
        QCOMPARE(track.getFrameRate(), 25.0f);
        QVERIFY(track.hasAudioTrack());

        track.clear();
        QVERIFY(!track.isLoaded());
        QVERIFY(!track.getMedia());
        QVERIFY(track.getName().isNull());
        QCOMPARE(track.getWidth(), 0);
        QCOMPARE(track.getTrackIndex(), 1); // index and frame rate stay
        QCOMPARE(track.getFrameRate(), 25.0f);
    }

    void withoutAudio()
    {
        MediaTrack track(m_silent, 1, m_silent);
        QVERIFY(!track.hasAudioTrack());
        QCOMPARE(track.getChannels(), 0);
    }

    void missingFileStillLoads()
    {
        MediaTrack track(m_dir.filePath("gone.avi"), 0, QString());
        QVERIFY(track.isLoaded());
        QCOMPARE(track.getWidth(), 0);
        QCOMPARE(track.getChannels(), 0);
        QVERIFY(std::isnan(track.getAspect()));
        QVERIFY(!track.hasAudioTrack());
    }

    void nameWithBlanksAndNonAscii()
    {
        const QString odd = m_dir.filePath(QStringLiteral("a b ü#1.mp4"));
        QFile::remove(odd);
        QVERIFY(QFile::copy(m_clip, odd));
        MediaTrack track(odd, 1, odd);
        QVERIFY(track.getMedia()->getLocation().contains(QStringLiteral("/a%20b%20%C3%BC%231.mp4")));
        QVERIFY(track.getMedia()->getLocation().startsWith(QStringLiteral("file://")));
        QVERIFY(track.getDuration().unitCount > 1000000);
        QCOMPARE(track.getChannels(), 2);
    }

    void clonesLoadAgain()
    {
        MediaTrack track(m_clip, 1, QStringLiteral("/o.mov"));
        std::unique_ptr<MediaTrack> copy(track.clone());
        QVERIFY(copy->isLoaded());
        QVERIFY(copy->getMedia() != track.getMedia());
        QCOMPARE(copy->getName(), track.getName());
        QCOMPARE(copy->getOrigName(), track.getOrigName());
        QCOMPARE(copy->getTrackIndex(), 1);
        QCOMPARE(copy->getDuration(), track.getDuration());

        MediaTrackFragment f;
        f.track = QSharedPointer<MediaTrack>(new MediaTrack(m_clip, 1, m_clip));
        f.startPosition = Time(100);
        f.endPosition = Time(900);
        f.timelinePosition = Time(50);
        f.repeatCount = 3;
        f.playAudio = false;
        f.volume = 20;
        std::unique_ptr<MediaTrackFragment> fc(f.clone());
        QVERIFY(fc->track != f.track);
        QCOMPARE(fc->track->getName(), f.track->getName());
        QVERIFY(fc->track->isLoaded());
        QCOMPARE(fc->startPosition, f.startPosition);
        QCOMPARE(fc->endPosition, f.endPosition);
        QCOMPARE(fc->timelinePosition, f.timelinePosition);
        QCOMPARE(fc->repeatCount, 3);
        QCOMPARE(fc->playAudio, false);
        QCOMPARE(fc->volume, 20.0f);
    }

    void factory()
    {
        auto *holder = Singleton<OptionsHolder>::instance();
        holder->m_originalfps = 29.97f;
        const auto track = MediaTrackFactory::createMediaTrackFromFile(m_clip, 1);
        QVERIFY(track->isLoaded());
        QCOMPARE(track->getName(), track->getOrigName());
        QCOMPARE(track->getTrackIndex(), 1);
        QCOMPARE(track->getMedia()->getFrameRate(), 29.97f); // not libvlc's 0
        holder->reset();
    }

    void mediaOverLoadedTracks()
    {
        const auto track = MediaTrackFactory::createMediaTrackFromFile(m_clip, 1);
        Media media;
        media.addTrack(track);
        QCOMPARE(media.getTrackFragments().size(), 1);
        const auto f = media.getTrackFragments().at(0);
        QCOMPARE(f->track, track);
        QCOMPARE(f->startPosition, Time(0));
        QCOMPARE(f->endPosition, track->getDuration());
        QCOMPARE(media.getDuration(), track->getDuration());
        QVERIFY(media.hasAudio());
        QCOMPARE(media.getMaxFps(), 25.0f);

        // A second track follows the first on the timeline instead of
        // lying over it at 0.
        const auto second = MediaTrackFactory::createMediaTrackFromFile(m_silent, 0);
        media.addTrack(second);
        QCOMPARE(media.getTrackFragments().size(), 2);
        QCOMPARE(media.getTrackFragments().at(1)->timelinePosition, track->getDuration());
        QCOMPARE(media.getDuration(), track->getDuration() + second->getDuration());

        Media silent;
        silent.addTrack(MediaTrackFactory::createMediaTrackFromFile(m_silent, 0));
        QVERIFY(!silent.hasAudio());
        QCOMPARE(Media().getMaxFps(), 0.0f);
    }

    void trackElementWithLoading()
    {
        QDomDocument doc;
        QDomElement e = doc.createElement("track");
        e.setAttribute("name", m_clip);
        e.setAttribute("index", "1");
        e.setAttribute("orig_name", "/o.mov");
        MediaTrack track;
        track.fromDomElement(e, true);
        QVERIFY(track.isLoaded());
        QCOMPARE(track.getName(), QDir::toNativeSeparators(m_clip));
        QCOMPARE(track.getOrigName(), QStringLiteral("/o.mov"));
        QCOMPARE(track.getChannels(), 2);
    }

    void projectReadWithLoading()
    {
        const QString xml = QStringLiteral(
            "<media><tracks>"
            "<track_fragment><end units=\"500000\"/><track name=\"%1\" index=\"1\" orig_name=\"/o.mov\"/></track_fragment>"
            "<track_fragment><end units=\"300000\"/><track name=\"%1\" index=\"1\" orig_name=\"/o.mov\"/></track_fragment>"
            "</tracks></media>").arg(m_clip.toHtmlEscaped());
        QDomDocument doc;
        QVERIFY(bool(doc.setContent(xml)));
        Media media;
        QVERIFY(media.fromDomElement(doc.documentElement(), true));
        const auto list = media.getTrackFragments();
        QCOMPARE(list.size(), 2);
        QVERIFY(list.at(0)->track->isLoaded());
        QCOMPARE(list.at(0)->track, list.at(1)->track);
        QCOMPARE(list.at(0)->track->getChannels(), 2);
    }
};

QTEST_GUILESS_MAIN(MediaTrackTest)
#include "tst_MediaTrack.moc"
