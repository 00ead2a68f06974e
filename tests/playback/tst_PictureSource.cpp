#include "playback/PictureSource.h"

#include "NumberedClip.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <vector>

using namespace TW;
using namespace TW::test;

namespace {

// What a source delivered: the time and the frame number each picture shows.
// Pictures are given back at once unless kept (then the test holds them,
// as a queue nobody reads would).
struct Collector
{
    struct Seen
    {
        qint64 time;
        int frame;
        int run;
        QSize size;
    };
    std::mutex mutex;
    std::vector<Seen> seen;
    std::vector<VideoFrame> kept;
    bool keep = false;
    std::atomic<int> prepared{0};
    std::atomic<int> ended{0};

    void attach(PictureSource &source)
    {
        source.setSink([this](const VideoFrame &v, int run) {
            std::lock_guard<std::mutex> lock(mutex);
            seen.push_back({v.timeStamp, shownFrame(v), run, QSize(int(v.width), int(v.height))});
            if (keep)
                kept.push_back(v);
            else
                freeSampleBuffer(v.buffer);
        });
        source.setPreparedHandler([this](int) { ++prepared; });
        source.setEndHandler([this](int) { ++ended; });
    }
    int count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return int(seen.size());
    }
    std::vector<Seen> take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::move(seen);
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const VideoFrame &v : kept)
            freeSampleBuffer(v.buffer);
        kept.clear();
    }
    ~Collector() { release(); }
};

} // namespace

class tst_PictureSource : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString numbered;

    // The picture on screen at `time`: the last frame that starts at or
    // before it.
    static qint64 frameAt(qint64 time) { return time / kNumberedFrame * kNumberedFrame; }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(dir.isValid());
        // 10 s; frames 150 to 199 (6 to 8 s) are one black stretch.
        numbered = makeNumberedClip(dir.path(), 10, 150, 200);
        QVERIFY(!numbered.isEmpty());
    }

    void cleanup() { PictureSource::setViewSize(QSize()); }

    // A seek lands on the picture on screen at its target, wherever the
    // target falls (key pictures every twelve frames), and the pictures go
    // on frame after frame with their own times.
    void seekIsExact_data()
    {
        QTest::addColumn<qint64>("target");
        QTest::newRow("start") << qint64(0);
        QTest::newRow("inside the first frame") << qint64(39999);
        QTest::newRow("key picture") << qint64(12 * kNumberedFrame);
        QTest::newRow("just after a key picture") << qint64(12 * kNumberedFrame + 1);
        QTest::newRow("frame before a key picture") << qint64(23 * kNumberedFrame);
        QTest::newRow("between key pictures, inside a frame") << qint64(4680000 + 17000);
        QTest::newRow("frame edge") << qint64(2000000);
        QTest::newRow("inside the black stretch") << qint64(6500000 + 5000);
        QTest::newRow("last picture before the stretch") << qint64(149 * kNumberedFrame + 39000);
        QTest::newRow("first picture after the stretch") << qint64(200 * kNumberedFrame);
        QTest::newRow("last frame") << qint64(249 * kNumberedFrame + 20000);
    }
    void seekIsExact()
    {
        QFETCH(qint64, target);
        Collector c; // outlives the source, whose thread calls it
        PictureSource source;
        c.attach(source);
        source.open(numbered);
        QVERIFY(source.waitOpened());
        QCOMPARE(source.frameDuration(), kNumberedFrame);
        QCOMPARE(source.sourceSize(), QSize(320, 240));
        const int run = source.seek(target);
        source.setDelivering(true);
        const int want = int(std::min<qint64>(8, 250 - frameAt(target) / kNumberedFrame));
        QTRY_VERIFY_WITH_TIMEOUT(c.count() >= want, 20000);
        const auto seen = c.take();
        for (int i = 0; i < want; ++i) {
            const qint64 t = frameAt(target) + i * kNumberedFrame;
            QCOMPARE(seen[size_t(i)].run, run);
            QCOMPARE(seen[size_t(i)].time, t);
            const int frame = int(t / kNumberedFrame);
            const int expected = frame >= 150 && frame < 200 ? -2 : frame;
            QCOMPARE(seen[size_t(i)].frame, expected);
        }
    }

    // Seeks following each other quickly, while pictures flow: every
    // picture delivered for the latest run is the latest target's.
    void seeksInARow()
    {
        Collector c; // outlives the source, whose thread calls it
        PictureSource source;
        c.attach(source);
        source.open(numbered);
        QVERIFY(source.waitOpened());
        source.setDelivering(true);
        int run = 0;
        qint64 last = 0;
        for (qint64 target : {4680000ll, 2000000ll, 6130000ll, 3200000ll, 7515000ll, 1040000ll, 8000000ll}) {
            run = source.seek(target);
            last = target;
        }
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            std::lock_guard<std::mutex> lock(c.mutex);
            return std::count_if(c.seen.begin(), c.seen.end(), [run](const auto &s) { return s.run == run; }) >= 5;
        }(), 20000);
        std::vector<Collector::Seen> mine;
        for (const auto &s : c.take())
            if (s.run == run)
                mine.push_back(s);
        for (size_t i = 0; i < mine.size(); ++i) {
            QCOMPARE(mine[i].time, frameAt(last) + qint64(i) * kNumberedFrame);
            QCOMPARE(mine[i].frame, int(mine[i].time / kNumberedFrame));
        }
    }

    // Not delivering, a seek decodes its first picture and keeps it; the
    // first picture delivered afterwards is that one.
    void parkedKeepsTheFirstPicture()
    {
        Collector c; // outlives the source, whose thread calls it
        PictureSource source;
        c.attach(source);
        source.open(numbered);
        source.seek(3000000 + 100);
        QTRY_COMPARE_WITH_TIMEOUT(c.prepared.load(), 1, 20000);
        QCOMPARE(c.count(), 0);
        source.setDelivering(true);
        QTRY_VERIFY_WITH_TIMEOUT(c.count() >= 2, 20000);
        const auto seen = c.take();
        QCOMPARE(seen[0].time, qint64(3000000));
        QCOMPARE(seen[0].frame, 75);
        QCOMPARE(seen[1].time, qint64(3040000));
    }

    // Nothing at or after the end position is delivered; the end is told
    // once, after the last picture.
    void endPosition()
    {
        Collector c; // outlives the source, whose thread calls it
        PictureSource source;
        c.attach(source);
        source.setEndPosition(2000000 + 20000);
        source.open(numbered);
        source.seek(1500000);
        source.setDelivering(true);
        QTRY_COMPARE_WITH_TIMEOUT(c.ended.load(), 1, 20000);
        const auto seen = c.take();
        QCOMPARE(int(seen.size()), 14); // 1.48 (on screen at 1.50) to 2.00 s
        QCOMPARE(seen.front().time, qint64(1480000));
        QCOMPARE(seen.back().time, qint64(2000000));
        QCOMPARE(seen.back().frame, 50);

        // A seek past the end has nothing to show and ends at once.
        source.seek(5000000);
        QTRY_COMPARE_WITH_TIMEOUT(c.ended.load(), 2, 20000);
        QCOMPARE(c.count(), 0);
    }

    // Pictures nobody takes stop the decoding at the pool's bounds: time
    // ahead, bytes and count, whichever comes first.
    void queueIsBounded_data()
    {
        QTest::addColumn<int>("maxPictures");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<qint64>("maxAhead");
        QTest::addColumn<int>("expected");
        const qint64 picture = 320 * 4 * 240; // rows of 1280 bytes are already aligned
        const qint64 unbounded = qint64(1) << 40;
        QTest::newRow("time ahead") << 50 << unbounded << qint64(400000) << 11;
        QTest::newRow("bytes") << 50 << 5 * picture << unbounded << 5;
        QTest::newRow("count") << 7 << unbounded << unbounded << 7;
        // The picture on screen and the next always fit.
        QTest::newRow("bytes below two pictures") << 50 << qint64(1) << unbounded << 2;
    }
    void queueIsBounded()
    {
        QFETCH(int, maxPictures);
        QFETCH(qint64, maxBytes);
        QFETCH(qint64, maxAhead);
        QFETCH(int, expected);
        PicturePool::Limits limits;
        limits.maxPictures = maxPictures;
        limits.maxBytes = maxBytes;
        limits.maxAhead = maxAhead;
        PictureSource source(limits);
        Collector c;
        c.keep = true;
        c.attach(source);
        source.open(numbered);
        source.seek(1000000);
        source.setDelivering(true);
        QTRY_COMPARE_WITH_TIMEOUT(c.count(), expected, 20000);
        // Held there: the decoder waits in the pool, it does not drop.
        QTest::qWait(300);
        QCOMPARE(c.count(), expected);
        QCOMPARE(source.pool().lentCount(), expected);
        // Giving the pictures back lets the next ones come, in order.
        c.release();
        QTRY_VERIFY_WITH_TIMEOUT(c.count() > expected, 20000);
        const auto seen = c.take();
        for (size_t i = 0; i < seen.size(); ++i)
            QCOMPARE(seen[i].time, 1000000 + qint64(i) * kNumberedFrame);
    }

    // Buffers are reused: many seeks and hundreds of pictures later the
    // pool has made no more buffers than its limit allows, and no new ones
    // once it has filled.
    void poolDoesNotGrow()
    {
        PicturePool::Limits limits;
        limits.maxPictures = 6;
        PictureSource source(limits);
        Collector c;
        c.attach(source);
        source.open(numbered);
        source.setDelivering(true);
        source.seek(0);
        QTRY_VERIFY_WITH_TIMEOUT(c.count() >= 20, 20000);
        const int afterFirstRun = source.pool().allocationCount();
        QVERIFY(afterFirstRun <= limits.maxPictures);
        int delivered = 0;
        for (int i = 0; i < 30; ++i) {
            const int run = source.seek(qint64((i * 7919) % 240) * kNumberedFrame + 1234);
            QTRY_VERIFY_WITH_TIMEOUT([&] {
                std::lock_guard<std::mutex> lock(c.mutex);
                return std::count_if(c.seen.begin(), c.seen.end(), [run](const auto &s) { return s.run == run; })
                       >= 3;
            }(), 20000);
            delivered += int(c.take().size());
        }
        QVERIFY(delivered >= 90);
        QCOMPARE(source.pool().allocationCount(), afterFirstRun);
        QVERIFY(source.pool().bufferCount() <= limits.maxPictures);
    }

    // The pictures are decoded no larger than the view shows them, keeping
    // the aspect, and never larger than the source.
    void fitSize_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("view");
        QTest::addColumn<double>("aspect");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("smaller view, same aspect") << QSize(1920, 1080) << QSize(960, 540) << 0.0 << QSize(960, 540);
        QTest::newRow("tall view") << QSize(1920, 1080) << QSize(800, 1000) << 0.0 << QSize(800, 450);
        QTest::newRow("wide view") << QSize(1920, 1080) << QSize(2000, 450) << 0.0 << QSize(800, 450);
        QTest::newRow("larger view") << QSize(640, 480) << QSize(1920, 1200) << 0.0 << QSize(640, 480);
        QTest::newRow("anamorphic") << QSize(720, 576) << QSize(512, 288) << 16.0 / 9.0 << QSize(512, 288);
        QTest::newRow("no view") << QSize(640, 480) << QSize() << 0.0 << QSize(640, 480);
    }
    void fitSize()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, view);
        QFETCH(double, aspect);
        QFETCH(QSize, expected);
        QCOMPARE(PictureSource::fitSize(source, view, aspect), expected);
    }

    // A view size told while pictures flow applies from the next picture;
    // the pictures stay readable and keep their times.
    void viewSizeScalesThePictures()
    {
        Collector c; // outlives the source, whose thread calls it
        PictureSource source;
        c.attach(source);
        source.open(numbered);
        PictureSource::setViewSize(QSize(160, 200));
        source.seek(400000);
        source.setDelivering(true);
        QTRY_VERIFY_WITH_TIMEOUT(c.count() >= 3, 20000);
        auto seen = c.take();
        QCOMPARE(seen[0].size, QSize(160, 120));
        QCOMPARE(seen[0].frame, 10);
        QCOMPARE(seen[0].time, qint64(400000));
    }

    // A file without pictures opens, says so, and ends every run at once.
    void fileWithoutPictures()
    {
        const QString audio = TestMedia::make(TestMedia::AudioOnly, dir.path(), 1.0);
        QVERIFY(!audio.isEmpty());
        Collector c; // outlives the source, whose thread calls it
        PictureSource source;
        c.attach(source);
        source.open(audio);
        QVERIFY(!source.waitOpened());
        source.seek(0);
        QTRY_COMPARE_WITH_TIMEOUT(c.prepared.load(), 1, 20000);
        source.setDelivering(true);
        QTRY_COMPARE_WITH_TIMEOUT(c.ended.load(), 1, 20000);
        QCOMPARE(c.count(), 0);
    }

    void missingFile()
    {
        PictureSource source;
        source.open(dir.filePath("nothing here.avi"));
        QVERIFY(!source.waitOpened());
        QVERIFY(!source.hasVideo());
    }
};

QTEST_MAIN(tst_PictureSource)
#include "tst_PictureSource.moc"
