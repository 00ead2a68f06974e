// Segments: deep copies, the video and audio flags that follow the
// fragments, volume, and the debug form.
#include "ModelFixtures.h"
#include "TestEnv.h"

#include "model/MediaSegment.h"

#include <QtTest>

using namespace TW;
using namespace TW::test;

class MediaSegmentTest : public QObject
{
    Q_OBJECT

    static QString debugForm(const MediaSegment &segment)
    {
        QString text;
        QDebug(&text) << segment;
        return text.trimmed();
    }

private slots:
    void initTestCase()
    {
        isolateHome();
    }

    void freshSegment()
    {
        const auto segment = MediaSegment::createSilence();
        QCOMPARE(debugForm(*segment),
                 QStringLiteral("MediaSegment(start:0 end:0 volume:-1 video:true audio:true tracks:0)"));
        QCOMPARE(segment->getVolume(), -1.0f);
        segment->addMediaTracks({});
        QVERIFY(segment->video);
        QVERIFY(segment->audio);
    }

    void debugFormInFrames()
    {
        MediaSegment segment;
        segment.start = Time(2 * Second);
        segment.length = Time(1 * Second);
        segment.setVolume(50);
        segment.addTrack(fragment("a", 0, Second));
        QCOMPARE(debugForm(segment),
                 QStringLiteral("MediaSegment(start:50 end:75 volume:50 video:true audio:true tracks:1)"));
    }

    void copyIsDeep()
    {
        MediaSegment source;
        source.start = Time(5);
        source.length = Time(7);
        source.volume = 30;
        auto a = fragment("a", 1, 2, 3);
        a->repeatCount = 4;
        a->playAudio = false;
        a->volume = 20;
        source.addTrack(a);
        source.addTrack(fragment("b", 5, 9, 4));

        MediaSegment copy(source);
        QCOMPARE(copy.start, Time(5));
        QCOMPARE(copy.length, Time(7));
        QCOMPARE(copy.volume, 30.0f);
        QCOMPARE(copy.fragments.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const auto &c = copy.fragments.at(i);
            const auto &s = source.fragments.at(i);
            QVERIFY(c != s);
            QVERIFY(c->track != s->track);
            QCOMPARE(c->track->getName(), s->track->getName());
            QCOMPARE(c->startPosition, s->startPosition);
            QCOMPARE(c->endPosition, s->endPosition);
            QCOMPARE(c->timelinePosition, s->timelinePosition);
            QCOMPARE(c->repeatCount, s->repeatCount);
            QCOMPARE(c->playVideo, s->playVideo);
            QCOMPARE(c->playAudio, s->playAudio);
            QCOMPARE(c->volume, s->volume);
        }
        copy.setAudioEnabled(false, true);
        copy.fragments.at(1)->endPosition = Time(100);
        QVERIFY(source.fragments.at(1)->playAudio);
        QCOMPARE(source.fragments.at(1)->endPosition, Time(9));

        MediaSegment &self = source;
        source = self; // self-assignment adds nothing
        QCOMPARE(source.fragments.size(), 2);
    }

    void flagsFollowFragments()
    {
        MediaSegment segment;
        auto audioOnly = fragment("a", 0, 1);
        audioOnly->playVideo = false;
        segment.addTrack(audioOnly);
        QVERIFY(!segment.video);
        QVERIFY(segment.audio);
        segment.addTrack(fragment("b", 0, 1));
        QVERIFY(segment.video);
    }

    void switchingFlags()
    {
        MediaSegment segment;
        for (int i = 0; i < 3; ++i)
            segment.addTrack(fragment("a", 0, 1));
        segment.setAudioEnabled(false, false);
        QVERIFY(!segment.audio);
        for (const auto &f : segment.fragments)
            QVERIFY(f->playAudio);
        segment.addTrack(fragment("b", 0, 1)); // recomputed from the fragments
        QVERIFY(segment.audio);

        segment.setAudioEnabled(false, true);
        QVERIFY(!segment.audio);
        for (const auto &f : segment.fragments)
            QVERIFY(!f->playAudio);
        segment.setVideoEnabled(false, true);
        for (const auto &f : segment.fragments)
            QVERIFY(!f->playVideo);
    }

    void volumeReachesFragments()
    {
        MediaSegment segment;
        segment.addTrack(fragment("a", 0, 1));
        segment.addTrack(fragment("b", 0, 1));
        segment.setVolume(50);
        QCOMPARE(segment.getVolume(), 50.0f);
        for (const auto &f : segment.fragments)
            QCOMPARE(f->volume, 50.0f);
    }
};

QTEST_GUILESS_MAIN(MediaSegmentTest)
#include "tst_MediaSegment.moc"
