// The timeline: loop order, lookups at the boundaries, names of new loops
// and bookmarks, shifts at the boundaries, and a lookup racing with edits.
#include "ModelFixtures.h"
#include "TestEnv.h"

#include "model/MediaTimeLine.h"

#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <atomic>

using namespace TW;

namespace {

VideoLoopPtr loop(int start, int end, const QString &name = QString())
{
    VideoLoopPtr l(new VideoLoop);
    l->setStartFrame(start);
    l->setEndFrame(end);
    l->setName(name);
    return l;
}

QString spans(const MediaTimeLine &timeline)
{
    QStringList parts;
    for (const auto &l : timeline.getLoops())
        parts << QStringLiteral("[%1,%2]").arg(l->getStartFrame()).arg(l->getEndFrame());
    return parts.join(' ');
}

} // namespace

class MediaTimeLineTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        TW::test::quietDebugOutput();
    }

    void fresh()
    {
        MediaTimeLine t;
        QCOMPARE(t.getLoopCount(), 0);
        QVERIFY(t.getMarkers().isEmpty());
        QCOMPARE(t.getBookmarksCreated(), 0);
        QCOMPARE(t.getLoopsCreated(), 0);
        QVERIFY(!t.isVideoLocked());
        QVERIFY(!t.isAudioLocked());
        QVERIFY(t.isVideoPlayable());
        QVERIFY(t.isAudioPlayable());
    }

    void loopsKeptInStartOrder()
    {
        MediaTimeLine one;
        one.addLoop(loop(300, 310));
        one.addLoop(loop(100, 110));
        one.addLoop(loop(200, 210));
        one.addLoop({});
        QCOMPARE(spans(one), QStringLiteral("[100,110] [200,210] [300,310]"));

        MediaTimeLine many;
        many.addLoops({loop(300, 310), {}, loop(100, 110), loop(200, 210)});
        QCOMPARE(spans(many), QStringLiteral("[100,110] [200,210] [300,310]"));

        auto copy = many.getLoops();
        copy.append(loop(1, 2));
        QCOMPARE(many.getLoopCount(), 3);
    }

    void loopByFrame_data()
    {
        QTest::addColumn<long>("frame");
        QTest::addColumn<QString>("found");
        QTest::newRow("before") << 99L << "";
        QTest::newRow("start") << 100L << "[100,300]";
        QTest::newRow("overlap: earliest start wins") << 250L << "[100,300]";
        QTest::newRow("end of the first") << 300L << "[100,300]";
        QTest::newRow("only the second") << 301L << "[200,400]";
        QTest::newRow("end of the second") << 400L << "[200,400]";
        QTest::newRow("after") << 401L << "";
    }
    void loopByFrame()
    {
        QFETCH(long, frame);
        QFETCH(QString, found);
        MediaTimeLine t;
        t.addLoop(loop(200, 400));
        t.addLoop(loop(100, 300));
        const auto l = t.getLoopByFrame(frame);
        QCOMPARE(l ? QStringLiteral("[%1,%2]").arg(l->getStartFrame()).arg(l->getEndFrame()) : QString(), found);
    }

    void removeByObjectNotByValue()
    {
        MediaTimeLine t;
        const auto a = loop(10, 20);
        t.addLoop(a);
        t.removeLoop(VideoLoopPtr(new VideoLoop(*a))); // same id and values, other object
        QCOMPARE(t.getLoopCount(), 1);
        QCOMPARE(t.getLoopByID(a->getID()), a);
        t.removeLoop({});
        t.removeLoop(a);
        QCOMPARE(t.getLoopCount(), 0);
        QVERIFY(!t.getLoopByID(a->getID()));
    }

    void loopNames()
    {
        MediaTimeLine t;
        QCOMPARE(t.allocLoop(1, 2)->getName(), QStringLiteral("L1"));
        t.addLoop(loop(1, 2, "L1"));
        t.addLoop(loop(3, 4, "L2"));
        t.addLoop(loop(5, 6, "L4"));
        t.addLoop(loop(7, 8, "intro"));
        const auto next = t.allocLoop(30, 40);
        QCOMPARE(next->getName(), QStringLiteral("L3"));
        QCOMPARE(next->getStartFrame(), 30);
        QCOMPARE(next->getEndFrame(), 40);
        QCOMPARE(next->getLoopCount(), 999);
        QCOMPARE(t.getLoopCount(), 4); // not added
        t.addLoop(next);
        QCOMPARE(t.allocLoop(0, 1)->getName(), QStringLiteral("L5"));
    }

    void bookmarkNames()
    {
        MediaTimeLine t;
        VideoMarkerPtr m2(new VideoMarker(500));
        m2->setName("M2");
        t.addMarker(m2);
        QVERIFY(!t.allocBookmark(500));
        const auto m = t.allocBookmark(501);
        QCOMPARE(m->getName(), QStringLiteral("M1"));
        QCOMPARE(m->getFrame(), quint64(501));
        QCOMPARE(t.getMarkers().size(), 1);
        QCOMPARE(t.getMarkerByFrame(500), m2);
        QVERIFY(!t.getMarkerByFrame(501));
        QCOMPARE(t.getMarkerByID(m2->getID()), m2);
        t.addMarker({});
        t.removeMarker(m);
        QCOMPARE(t.getMarkers().size(), 1);
        t.removeMarker(m2);
        QVERIFY(t.getMarkers().isEmpty());
    }

    void shiftLoops_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<qint64>("amount");
        QTest::addColumn<QString>("result");
        QTest::newRow("ends before") << 50 << 80 << qint64(50) << "[50,80]";
        QTest::newRow("ends at the position") << 50 << 100 << qint64(50) << "[50,100]";
        QTest::newRow("straddles: grows") << 50 << 150 << qint64(50) << "[50,200]";
        QTest::newRow("starts at the position") << 100 << 150 << qint64(50) << "[100,200]";
        QTest::newRow("after: moves whole") << 120 << 150 << qint64(50) << "[170,200]";
        QTest::newRow("after, backwards") << 120 << 150 << qint64(-30) << "[90,120]";
        QTest::newRow("straddles, shrinks past its start") << 90 << 110 << qint64(-30) << "[90,80]";
    }
    void shiftLoops()
    {
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(qint64, amount);
        QFETCH(QString, result);
        MediaTimeLine t;
        t.addLoop(loop(start, end));
        t.shiftLoops(100, amount);
        QCOMPARE(spans(t), result);
    }

    void shiftBookmarks()
    {
        MediaTimeLine t;
        VideoMarkerPtr at(new VideoMarker(100)), after(new VideoMarker(101));
        t.addMarker(at);
        t.addMarker(after);
        t.shiftBookmarks(100, 50);
        QCOMPARE(at->getFrame(), quint64(100));
        QCOMPARE(after->getFrame(), quint64(151));
    }

    // Cutting frames 100 .. 200 out, as deleting that span of the recording.
    void cutFramesLoops_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("result");
        QTest::newRow("before") << 10 << 50 << "[10,50]";
        QTest::newRow("ends at the span's start") << 50 << 100 << "[50,100]";
        QTest::newRow("ends inside: cut at the start") << 50 << 150 << "[50,100]";
        QTest::newRow("covers the span: shrinks by it") << 50 << 250 << "[50,150]";
        QTest::newRow("starts inside: starts at the cut") << 150 << 250 << "[100,150]";
        QTest::newRow("starts at the span's end: moves") << 200 << 250 << "[100,150]";
        QTest::newRow("after: moves whole") << 300 << 350 << "[200,250]";
        QTest::newRow("wholly inside: removed") << 120 << 180 << "";
        QTest::newRow("the span itself: removed") << 100 << 200 << "";
    }
    void cutFramesLoops()
    {
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(QString, result);
        MediaTimeLine t;
        const VideoLoopPtr l = loop(start, end);
        t.addLoop(l);
        const MediaTimeLine::FrameState before = t.getFrameState();
        QVector<VideoLoopPtr> removedLoops;
        QVector<VideoMarkerPtr> removedBookmarks;
        t.cutFrames(100, 200, &removedLoops, &removedBookmarks);
        QCOMPARE(spans(t), result);
        QCOMPARE(removedLoops.isEmpty(), !result.isEmpty());
        t.restoreFrameState(before);
        QCOMPARE(t.getLoops(), QVector<VideoLoopPtr>{l});
        QCOMPARE(l->getStartFrame(), start);
        QCOMPARE(l->getEndFrame(), end);
    }

    void cutFramesBookmarks_data()
    {
        QTest::addColumn<int>("frame");
        QTest::addColumn<int>("result"); // -1: removed
        QTest::newRow("before") << 50 << 50;
        QTest::newRow("at the span's start") << 100 << 100;
        QTest::newRow("inside") << 150 << -1;
        QTest::newRow("at the span's end") << 200 << 100;
        QTest::newRow("after") << 500 << 400;
        QTest::newRow("near the old end") << 950 << 850;
    }
    void cutFramesBookmarks()
    {
        QFETCH(int, frame);
        QFETCH(int, result);
        MediaTimeLine t;
        const VideoMarkerPtr m(new VideoMarker(frame));
        t.addMarker(m);
        const MediaTimeLine::FrameState before = t.getFrameState();
        QVector<VideoMarkerPtr> removed;
        t.cutFrames(100, 200, nullptr, &removed);
        if (result < 0) {
            QVERIFY(t.getMarkers().isEmpty());
            QCOMPARE(removed, QVector<VideoMarkerPtr>{m});
        } else {
            QCOMPARE(t.getMarkers(), QVector<VideoMarkerPtr>{m});
            QCOMPARE(m->getFrame(), quint64(result));
        }
        t.restoreFrameState(before);
        QCOMPARE(t.getMarkers(), QVector<VideoMarkerPtr>{m});
        QCOMPARE(m->getFrame(), quint64(frame));
    }

    // Random loops, bookmarks and spans: every cut matches the plain rule,
    // and cut, restore, cut again gives exactly the same timelines each time.
    void cutRestoreCutIsExact()
    {
        struct Item
        {
            bool isLoop;
            long long a, b;
        };
        auto land = [](long long f, long long first, long long last) {
            return f <= first ? f : (f >= last ? f - (last - first) : first);
        };
        for (int seq = 0; seq < 2000; ++seq) {
            QRandomGenerator rng(quint32(seq) * 2246822519u + 5);
            MediaTimeLine t;
            QVector<VideoLoopPtr> loops;
            QVector<VideoMarkerPtr> marks;
            const int total = 50 + int(rng.bounded(2000));
            const int loopCount = int(rng.bounded(6));
            const int markCount = int(rng.bounded(8));
            for (int i = 0; i < loopCount; ++i) {
                const int a = int(rng.bounded(total));
                const VideoLoopPtr l = loop(a, a + 1 + int(rng.bounded(total - a)));
                loops << l;
                t.addLoop(l);
            }
            for (int i = 0; i < markCount; ++i) {
                const VideoMarkerPtr m(new VideoMarker(rng.bounded(total + 1)));
                marks << m;
                t.addMarker(m);
            }
            long long first = rng.bounded(total), last = rng.bounded(total + 1);
            if (first > last)
                std::swap(first, last);
            if (first == last)
                ++last;
            const QByteArray where = QByteArray("sequence ") + QByteArray::number(seq) + " cut "
                                     + QByteArray::number(first) + ".." + QByteArray::number(last);

            const auto describeAll = [&] {
                QStringList parts;
                for (const auto &l : t.getLoops())
                    parts << QStringLiteral("L%1[%2,%3]").arg(loops.indexOf(l)).arg(l->getStartFrame()).arg(l->getEndFrame());
                for (const auto &m : t.getMarkers())
                    parts << QStringLiteral("M%1@%2").arg(marks.indexOf(m)).arg(m->getFrame());
                return parts.join(' ');
            };
            const QString original = describeAll();
            const MediaTimeLine::FrameState before = t.getFrameState();

            // The plain rule.
            QStringList expected;
            QVector<VideoLoopPtr> sortedLoops = t.getLoops();
            QVector<std::pair<VideoLoopPtr, std::pair<long long, long long>>> kept;
            for (const auto &l : sortedLoops) {
                const long long s = l->getStartFrame(), e = l->getEndFrame();
                if (s >= first && e <= last)
                    continue;
                kept.push_back({l, {land(s, first, last), land(e, first, last)}});
            }
            std::stable_sort(kept.begin(), kept.end(),
                             [](const auto &x, const auto &y) { return x.second.first < y.second.first; });
            for (const auto &k : kept)
                expected << QStringLiteral("L%1[%2,%3]").arg(loops.indexOf(k.first)).arg(k.second.first).arg(k.second.second);
            for (const auto &m : marks) {
                const long long f = (long long)m->getFrame();
                if (f > first && f < last)
                    continue;
                expected << QStringLiteral("M%1@%2").arg(marks.indexOf(m)).arg(land(f, first, last));
            }

            QVector<VideoLoopPtr> removedLoops;
            QVector<VideoMarkerPtr> removedMarks;
            t.cutFrames(first, last, &removedLoops, &removedMarks);
            const QString once = describeAll();
            // Loops starting on the same frame may come in either order.
            QStringList gotSorted = once.split(' ', Qt::SkipEmptyParts), wantSorted = expected;
            gotSorted.sort();
            wantSorted.sort();
            QVERIFY2(gotSorted == wantSorted, (where + "\n got: " + once.toUtf8() + "\n want: " + expected.join(' ').toUtf8()).constData());
            QCOMPARE(removedLoops.size() + t.getLoopCount(), loopCount);
            QCOMPARE(removedMarks.size() + t.getMarkers().size(), markCount);

            t.restoreFrameState(before);
            QVERIFY2(describeAll() == original, (where + "\n undo: " + describeAll().toUtf8() + "\n was: " + original.toUtf8()).constData());

            QVector<VideoLoopPtr> removedAgain;
            QVector<VideoMarkerPtr> removedMarksAgain;
            t.cutFrames(first, last, &removedAgain, &removedMarksAgain);
            QVERIFY2(describeAll() == once, where.constData());
            QCOMPARE(removedAgain, removedLoops);
            QCOMPARE(removedMarksAgain, removedMarks);
        }
    }

    void lookupWhileEditing()
    {
        // The player looks loops up from another thread while the graphical
        // thread adds and removes them.
        MediaTimeLine t;
        std::atomic<bool> stop{false};
        std::atomic<int> found{0};
        QThread *reader = QThread::create([&] {
            while (!stop) {
                if (t.getLoopByFrame(150))
                    ++found;
            }
        });
        reader->start();
        for (int i = 0; i < 20000; ++i) {
            const auto l = loop(i % 200, i % 200 + 100);
            t.addLoop(l);
            if (i % 3)
                t.removeLoop(l);
            if (i % 500 == 0)
                t.clearLoops();
        }
        stop = true;
        reader->wait();
        delete reader;
        QVERIFY(found > 0);
    }
};

QTEST_GUILESS_MAIN(MediaTimeLineTest)
#include "tst_MediaTimeLine.moc"
