// The project's "media" element and the data-stream forms: round trips,
// tag names in any case, missing and unusable values, unknown elements,
// shared tracks, fragment volumes, and clipboard bytes that are broken.
#include "ModelFixtures.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaSegment.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace TW;
using namespace TW::test;

namespace {

QDomElement parse(QDomDocument &doc, const QString &xml)
{
    const auto result = doc.setContent(xml);
    Q_UNUSED(result);
    return doc.documentElement();
}

QString loopText(const VideoLoop &l)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
        .arg(l.getName()).arg(l.getStartFrame()).arg(l.getEndFrame()).arg(l.getTempo())
        .arg(l.getPitch()).arg(l.getLoopCount()).arg(l.getDelay()).arg(l.getVolume());
}

QString fragmentText(const MediaTrackFragment &f)
{
    return QStringLiteral("%1|%2|%3 %4 %5 %6 %7 %8 %9")
        .arg(f.track->getName(), f.track->getOrigName())
        .arg(f.track->getTrackIndex())
        .arg(f.startPosition.unitCount).arg(f.endPosition.unitCount).arg(f.timelinePosition.unitCount)
        .arg(f.repeatCount).arg(QStringLiteral("%1%2").arg(f.playVideo).arg(f.playAudio))
        .arg(f.volume);
}

// A project with two sources, three fragments (two share a source), odd
// volumes and flags, two loops and two bookmarks.
QSharedPointer<Media> sampleProject()
{
    const auto media = mediaOf({{"/cache/a b.avi", 10 * Second}, {"/cache/c.avi", 5 * Second}});
    auto list = media->getTrackFragments();
    list.at(0)->volume = 35.5f;
    list.at(0)->repeatCount = 2;
    list.at(1)->playAudio = false;
    auto third = fragment("/cache/a b.avi", 2 * Second, 3 * Second);
    third->track = list.at(0)->track;
    list.append(third);
    media->replaceTrackFragments(list);
    media->updateFragmentPositions();
    media->setFilePath("/projects/song.twp");

    const auto t = media->getTimeline();
    VideoLoopPtr l1(new VideoLoop);
    l1->setName("verse");
    l1->setStartFrame(300);
    l1->setEndFrame(400);
    l1->setTempo(72.3f);
    l1->setPitch(-2.25f);
    l1->setLoopCount(4);
    l1->setDelay(3);
    l1->setVolume(80.25);
    t->addLoop(l1);
    t->addLoop(t->allocLoop(10, 20));
    VideoMarkerPtr m(new VideoMarker(77));
    m->setName(QStringLiteral("Prüfung"));
    t->addMarker(m);
    t->addMarker(t->allocBookmark(5));
    t->setBookmarksCreated(6);
    t->setLoopsCreated(9);
    t->setVideoLocked(true);
    t->setAudioPlayable(false);
    return media;
}

void compareProjects(const Media &read, const Media &written)
{
    QCOMPARE(read.getFilePath(), written.getFilePath());
    QCOMPARE(read.getDuration(), written.getDuration());
    const auto r = read.getTrackFragments(), w = written.getTrackFragments();
    QCOMPARE(r.size(), w.size());
    for (int i = 0; i < r.size(); ++i)
        QCOMPARE(fragmentText(*r.at(i)), fragmentText(*w.at(i)));
    const auto rt = read.getTimeline(), wt = written.getTimeline();
    QCOMPARE(rt->getLoopCount(), wt->getLoopCount());
    for (int i = 0; i < rt->getLoopCount(); ++i)
        QCOMPARE(loopText(*rt->getLoops().at(i)), loopText(*wt->getLoops().at(i)));
    QCOMPARE(rt->getMarkers().size(), wt->getMarkers().size());
    for (int i = 0; i < rt->getMarkers().size(); ++i) {
        QCOMPARE(rt->getMarkers().at(i)->getName(), wt->getMarkers().at(i)->getName());
        QCOMPARE(rt->getMarkers().at(i)->getFrame(), wt->getMarkers().at(i)->getFrame());
    }
    QCOMPARE(rt->getBookmarksCreated(), wt->getBookmarksCreated());
    QCOMPARE(rt->getLoopsCreated(), wt->getLoopsCreated());
    QCOMPARE(rt->isVideoLocked(), wt->isVideoLocked());
    QCOMPARE(rt->isVideoPlayable(), wt->isVideoPlayable());
    QCOMPARE(rt->isAudioLocked(), wt->isAudioLocked());
    QCOMPARE(rt->isAudioPlayable(), wt->isAudioPlayable());
}

QStringList childTags(const QDomElement &e)
{
    QStringList tags;
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        tags << c.tagName();
    return tags;
}

} // namespace

class ProjectFormsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_clip;

private slots:
    void initTestCase()
    {
        isolateHome();
        quietDebugOutput();
        m_clip = TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 1.0);
        QVERIFY(!m_clip.isEmpty());
    }
    void init()
    {
        Singleton<OptionsHolder>::instance()->reset();
    }

    void xmlRoundTrip()
    {
        const auto written = sampleProject();
        QDomDocument doc;
        QDomElement root = doc.createElement("tarnwell_project");
        doc.appendChild(root);
        const QDomElement element = written->toDomElement(doc, "media");
        root.appendChild(element);

        QCOMPARE(childTags(element), QStringList({"file", "duration", "info", "timeline", "tracks"}));
        QCOMPARE(childTags(element.firstChildElement("timeline")), QStringList({"loops", "markers"}));
        const QDomElement first = element.firstChildElement("tracks").firstChildElement();
        QCOMPARE(first.tagName(), QStringLiteral("track_fragment"));
        QCOMPARE(childTags(first), QStringList({"start", "end", "position", "track"}));
        QCOMPARE(first.attribute("play_video"), QStringLiteral("1"));
        QCOMPARE(first.firstChildElement("track").attribute("orig_name"), QStringLiteral("/cache/a b.avi"));
        const QDomElement loop = element.firstChildElement("timeline").firstChildElement("loops").firstChildElement();
        QCOMPARE(loop.attribute("start"), QStringLiteral("10")); // loops in start order
        const QDomElement verse = loop.nextSiblingElement();
        QCOMPARE(verse.attribute("tempo"), QStringLiteral("72.3"));
        QCOMPARE(verse.attribute("pitch"), QStringLiteral("-2.25"));
        QCOMPARE(first.attribute("volume"), QStringLiteral("35.5"));
        QCOMPARE(element.firstChildElement("timeline").attribute("video_locked"), QStringLiteral("1"));

        // Through text, as a saved file goes.
        QDomDocument reread;
        QVERIFY(bool(reread.setContent(doc.toString(1))));
        Media read;
        QVERIFY(read.fromDomElement(reread.documentElement().firstChildElement("media"), false));
        compareProjects(read, *written);
        // Fragments naming the same file share one track object.
        const auto r = read.getTrackFragments();
        QCOMPARE(r.at(0)->track, r.at(2)->track);
        QVERIFY(r.at(0)->track != r.at(1)->track);
        QVERIFY(!r.at(0)->track->isLoaded());
    }

    void tagsInAnyCaseAndUnknownElements()
    {
        QDomDocument doc;
        const auto element = parse(doc, R"(
            <Media>
              <Something unknown="1"><tracks/></Something>
              <FILE path="/p.twp"/>
              <Duration units="7000000"/>
              <INFO/>
              <TimeLine Video_Locked="1" audio_locked="1">
                <Loops><whatever start="5" end="9"/><loop start="1" end="2"/></Loops>
                <MARKERS><m frame="3" name="x"/></MARKERS>
                <comment/>
              </TimeLine>
              <Tracks>
                <anything repeat="3">
                  <Start units="1000000"/><END units="4000000"/><Position units="0"/>
                  <Track name="/x.avi" index="1" orig_name="/x.mp4"/>
                  <extra units="5"/>
                </anything>
                <TRACK_FRAGMENT>
                  <end units="2000000"/>
                  <track name="/x.avi" Index="7"/>
                </TRACK_FRAGMENT>
              </Tracks>
            </Media>)");
        Media media;
        QVERIFY(media.fromDomElement(element, false));
        QCOMPARE(media.getFilePath(), QStringLiteral("/p.twp"));
        QCOMPARE(media.getDuration(), Time(7000000));
        const auto t = media.getTimeline();
        QVERIFY(t->isAudioLocked());
        QVERIFY(!t->isVideoLocked()); // attribute names are exact
        QCOMPARE(t->getLoopCount(), 2);
        QCOMPARE(t->getLoops().at(0)->getStartFrame(), 5); // file order kept
        QCOMPARE(t->getLoops().at(1)->getStartFrame(), 1);
        QCOMPARE(t->getMarkers().size(), 1);
        QCOMPARE(t->getMarkers().at(0)->getFrame(), quint64(3));
        const auto f = media.getTrackFragments();
        QCOMPARE(f.size(), 2);
        QCOMPARE(fragmentText(*f.at(0)), QStringLiteral("/x.avi|/x.mp4|1 1000000 4000000 0 3 11 100"));
        QCOMPARE(f.at(1)->track, f.at(0)->track); // same name: shared
        QCOMPARE(f.at(1)->endPosition, Time(2000000));
    }

    void missingAttributesKeepDefaults()
    {
        Singleton<OptionsHolder>::instance()->setProjectTempo(90);
        QDomDocument doc;
        const auto element = parse(doc, R"(
            <media>
              <timeline><loops><loop/><loop count="x" tempo="fast"/></loops><markers><marker/></markers></timeline>
              <tracks><track_fragment/></tracks>
            </media>)");
        Media media;
        media.fromDomElement(element, false);
        QCOMPARE(media.getDuration(), Time(0)); // not computed from the fragments
        const auto loops = media.getTimeline()->getLoops();
        QCOMPARE(loopText(*loops.at(0)), QStringLiteral(" -1 -1 90 0 999 -1 100"));
        QCOMPARE(loops.at(1)->getLoopCount(), 0);
        QCOMPARE(loops.at(1)->getTempo(), 0.0f);
        QCOMPARE(media.getTimeline()->getMarkers().at(0)->getFrame(), quint64(0));
        const auto f = media.getTrackFragments().at(0);
        QCOMPARE(f->repeatCount, 1);
        QVERIFY(f->playVideo && f->playAudio);
        QCOMPARE(f->volume, 100.0f); // older files carry no volume
        QVERIFY(media.getTimeline()->isVideoPlayable());
    }

    void readingAppendsToWhatIsThere()
    {
        const auto written = sampleProject();
        QDomDocument doc;
        const auto element = written->toDomElement(doc, "media");
        Media media;
        media.fromDomElement(element, false);
        media.fromDomElement(element, false);
        QCOMPARE(media.getTrackFragments().size(), 6);
        QCOMPARE(media.getTimeline()->getLoopCount(), 4);
    }

    void unusableValues_data()
    {
        QTest::addColumn<QString>("fragment");
        QTest::addColumn<bool>("usable");
        QTest::newRow("fine") << R"(<f><start units="0"/><end units="5"/></f>)" << true;
        QTest::newRow("end before start") << R"(<f><start units="9"/><end units="5"/></f>)" << false;
        QTest::newRow("negative start") << R"(<f><start units="-9"/><end units="5"/></f>)" << false;
        QTest::newRow("negative position") << R"(<f><end units="5"/><position units="-1"/></f>)" << false;
        QTest::newRow("not a number") << R"(<f><start units="zero"/><end units="5"/></f>)" << false;
        QTest::newRow("odd repeat and flags") << R"(<f repeat="-4" play_video="yes"><end units="5"/></f>)" << true;
    }
    void unusableValues()
    {
        QFETCH(QString, fragment);
        QFETCH(bool, usable);
        QDomDocument doc;
        const auto element = parse(doc, "<media><tracks>" + fragment + "</tracks>"
                                        R"(<timeline><loops><loop start="50" end="10"/></loops></timeline></media>)");
        Media media;
        QCOMPARE(media.fromDomElement(element, false), usable);
        QCOMPARE(media.getTrackFragments().size(), 1);
        QCOMPARE(media.getTimeline()->getLoops().at(0)->getEndFrame(), 10);
        // Edits on what was read must not crash.
        media.updateFragmentPositions();
        media.getSegment(Time(0), Time(1));
        media.deleteSegment(Time(0), Time(3));
    }

    void loopAndBookmarkStreams()
    {
        const auto project = sampleProject();
        const auto t = project->getTimeline();
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << *t;
        }
        MediaTimeLine read;
        QDataStream in(bytes);
        in >> read;
        QCOMPARE(in.status(), QDataStream::Ok);
        QVERIFY(in.atEnd());
        QCOMPARE(read.getLoopCount(), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(loopText(*read.getLoops().at(i)), loopText(*t->getLoops().at(i)));
            QVERIFY(read.getLoops().at(i)->getID() != t->getLoops().at(i)->getID());
        }
        QCOMPARE(read.getMarkers().at(0)->getName(), QStringLiteral("Prüfung"));
        QCOMPARE(read.getLoopsCreated(), 9);
        QVERIFY(read.isVideoLocked());
        QVERIFY(!read.isAudioPlayable());

        // A loop's layout: name, two 32-bit frames, tempo and pitch and
        // volume as 8-byte numbers, count and delay.
        VideoLoop loop;
        loop.setName("");
        QByteArray one;
        {
            QDataStream out(&one, QIODevice::WriteOnly);
            out << loop;
        }
        QCOMPARE(one.size(), 4 + 4 + 4 + 8 + 8 + 4 + 4 + 8);

        // Truncated: the timeline stays as it was.
        for (int n = 0; n < bytes.size(); ++n) {
            MediaTimeLine partial;
            QDataStream cut(bytes.left(n));
            cut >> partial;
            QVERIFY(cut.status() != QDataStream::Ok);
            QCOMPARE(partial.getLoopCount(), 0);
            QCOMPARE(partial.getMarkers().size(), 0);
        }
    }

    void clipboardRoundTripKeepsVolumes()
    {
        MediaSegment segment;
        segment.start = Time(2 * Second);
        segment.length = Time(700000);
        segment.setVolume(60); // the segment's own volume does not travel
        auto a = fragment(m_clip, 0, 300000, 2 * Second);
        a->volume = 25;
        a->playVideo = false;
        segment.addTrack(a);
        segment.addTrack(fragment(m_clip, 100000, 500000, 2300000));

        const QByteArray bytes = segment.toByteArray();
        MediaSegment pasted;
        QVERIFY(MediaSegment::fromByteArray(bytes, pasted));
        QCOMPARE(pasted.start, segment.start);
        QCOMPARE(pasted.length, segment.length);
        QCOMPARE(pasted.video, segment.video);
        QCOMPARE(pasted.getVolume(), -1.0f);
        QCOMPARE(pasted.fragments.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(fragmentText(*pasted.fragments.at(i)), fragmentText(*segment.fragments.at(i)));
            QVERIFY(pasted.fragments.at(i)->track->isLoaded()); // reading opens the file
        }
        QCOMPARE(pasted.fragments.at(0)->volume, 25.0f);
    }

    void olderClipboardFormWithoutVolumes()
    {
        // Start, length, flags, one fragment without the volume field.
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << Time(0) << Time(400000) << true << false << qint32(1);
            out << Time(0) << Time(400000) << Time(0) << qint32(1) << true << false
                << m_clip << qint32(0) << m_clip;
        }
        MediaSegment pasted;
        QVERIFY(MediaSegment::fromByteArray(bytes, pasted));
        QCOMPARE(pasted.fragments.size(), 1);
        QCOMPARE(pasted.fragments.at(0)->volume, 100.0f);
        QCOMPARE(pasted.fragments.at(0)->endPosition, Time(400000));
        QVERIFY(!pasted.audio);
    }

    // Times that no project can hold are refused as the project reader
    // refuses them: negative, reversed or beyond any media.
    void clipboardTimesOutOfRangeRefused_data()
    {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<qint64>("at");
        QTest::addColumn<bool>("accepted");
        const qint64 huge = std::numeric_limits<qint64>::max() - 5;
        QTest::newRow("ordinary") << qint64(0) << qint64(300000) << qint64(0) << qint64(300000) << qint64(0) << true;
        QTest::newRow("negative start") << qint64(-40000) << qint64(300000) << qint64(0) << qint64(300000) << qint64(0) << false;
        QTest::newRow("negative length") << qint64(0) << qint64(-1) << qint64(0) << qint64(300000) << qint64(0) << false;
        QTest::newRow("fragment reversed") << qint64(0) << qint64(300000) << qint64(300000) << qint64(0) << qint64(0) << false;
        QTest::newRow("fragment negative") << qint64(0) << qint64(300000) << qint64(-300000) << qint64(0) << qint64(0) << false;
        QTest::newRow("fragment at negative place") << qint64(0) << qint64(300000) << qint64(0) << qint64(300000) << qint64(-1) << false;
        QTest::newRow("fragment end huge") << qint64(0) << qint64(300000) << qint64(0) << huge << qint64(0) << false;
        QTest::newRow("length huge") << qint64(0) << huge << qint64(0) << qint64(300000) << qint64(0) << false;
    }
    void clipboardTimesOutOfRangeRefused()
    {
        QFETCH(qint64, start);
        QFETCH(qint64, length);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(qint64, at);
        QFETCH(bool, accepted);
        MediaSegment segment;
        segment.start = Time(start);
        segment.length = Time(length);
        segment.addTrack(fragment(m_clip, from, to, at));
        MediaSegment pasted;
        QCOMPARE(MediaSegment::fromByteArray(segment.toByteArray(), pasted), accepted);
        QCOMPARE(pasted.fragments.isEmpty(), !accepted);
    }

    void brokenClipboardRefused()
    {
        MediaSegment segment;
        segment.length = Time(300000);
        segment.addTrack(fragment(m_clip, 0, 300000));
        const QByteArray good = segment.toByteArray();
        // Without the trailing volume field the form is the older, valid one.
        const int olderForm = good.size() - 4 - 8;

        auto refused = [](const QByteArray &bytes) {
            MediaSegment target;
            target.start = Time(42);
            const bool ok = MediaSegment::fromByteArray(bytes, target);
            return !ok && target.start == Time(42) && target.fragments.isEmpty();
        };
        for (int n = 0; n < good.size(); ++n) {
            if (n != olderForm)
                QVERIFY2(refused(good.left(n)), qPrintable(QString::number(n)));
        }
        QVERIFY(refused(good + QByteArray(3, 'x'))); // trailing bytes

        auto withCount = [&good](qint32 count) {
            QByteArray bytes = good;
            QDataStream patch(&bytes, QIODevice::ReadWrite);
            patch.device()->seek(8 + 8 + 1 + 1);
            patch << count;
            return bytes;
        };
        QVERIFY(refused(withCount(0x7fffffff)));
        QVERIFY(refused(withCount(-1)));
        QVERIFY(refused(withCount(2)));

        // A string length far past the end of the bytes.
        QByteArray hugeName = good;
        {
            QDataStream patch(&hugeName, QIODevice::ReadWrite);
            patch.device()->seek(8 + 8 + 1 + 1 + 4 + 8 * 3 + 4 + 1 + 1);
            patch << quint32(0x7ffffff0);
        }
        QVERIFY(refused(hugeName));
        QVERIFY(refused(QByteArray()));
        QVERIFY(refused(QByteArray(64, char(0xff))));
    }

    void mediaStreamRoundTrip()
    {
        const auto written = mediaOf({{m_clip, 400000}});
        written->setFilePath("/p.twp");
        written->getTrackFragments().at(0)->volume = 70;
        written->getTimeline()->addLoop(written->getTimeline()->allocLoop(1, 5));
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << *written;
        }
        Media read;
        QDataStream in(bytes);
        in >> read;
        QCOMPARE(in.status(), QDataStream::Ok);
        QVERIFY(in.atEnd());
        compareProjects(read, *written);

        Media untouched;
        QDataStream cut(bytes.left(bytes.size() - 20));
        cut >> untouched;
        QVERIFY(cut.status() != QDataStream::Ok);
        QVERIFY(untouched.isEmpty());
        QCOMPARE(untouched.getTimeline()->getLoopCount(), 0);
        QVERIFY(untouched.getFilePath().isNull());
    }
};

QTEST_GUILESS_MAIN(ProjectFormsTest)
#include "tst_ProjectForms.moc"
