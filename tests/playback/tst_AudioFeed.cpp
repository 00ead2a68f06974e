#include "playback/AudioFeed.h"
#include "playback/PitchTempoFilter.h"

#include "AudioSignals.h"
#include "TestEnv.h"

#include <QProcess>
#include <QTemporaryDir>

#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace TW;

namespace {

// A stage whose every sample is its source time in milliseconds / 10, so
// what comes out says where it was read.
class RampStage : public AudioStage
{
public:
    explicit RampStage(qint64 length) : length(length) {}
    void restartAt(qint64 sourceTime) override
    {
        at = sourceTime;
        restarts.push_back(sourceTime);
    }
    size_t pullAudio(qint16 *out, size_t frames, float tempo, float, float gain) override
    {
        lastTempo = tempo;
        lastGain = gain;
        size_t n = 0;
        for (; n < frames && at < length; ++n) {
            out[n] = qint16(at / 10000);
            at += qint64(1e6 / 1000.0 * double(tempo) / 100.0); // 1000 frames a second
        }
        return n;
    }
    qint64 length;
    qint64 at = 0;
    std::atomic<float> lastTempo{0};
    std::atomic<float> lastGain{-1};
    std::vector<qint64> restarts;
};

// A ramp whose pulls wait while its gate is closed: a disk that stalls.
class GateStage : public RampStage
{
public:
    using RampStage::RampStage;
    size_t pullAudio(qint16 *out, size_t frames, float tempo, float pitch, float gain) override
    {
        std::unique_lock<std::mutex> locker(mutex);
        if (closed)
            waiting = true;
        opened.wait(locker, [this] { return !closed; });
        waiting = false;
        return RampStage::pullAudio(out, frames, tempo, pitch, gain);
    }
    void setClosed(bool c)
    {
        std::lock_guard<std::mutex> locker(mutex);
        closed = c;
        opened.notify_all();
    }
    std::mutex mutex;
    std::condition_variable opened;
    bool closed = false;
    std::atomic<bool> waiting{false};
};

// A device that asks for `request` frames at a time and, like a real one
// between its requests, gives the reader time to keep the ring topped up.
struct PacedDevice
{
    AudioFeed &feed;
    int channels;
    size_t request;
    std::vector<qint16> heard;
    struct Piece
    {
        size_t first; // index of its first frame in heard
        size_t frames;
        AudioOutput::Block block;
    };
    std::vector<Piece> pieces;

    // One request; false when the feed gave nothing.
    bool tick()
    {
        if (!QTest::qWaitFor([this] { return feed.isFilled(); }, 10000))
            return false;
        size_t done = 0;
        while (done < request) {
            std::vector<qint16> part((request - done) * size_t(channels));
            AudioOutput::Block block;
            const size_t n = feed.pull(part.data(), request - done, &block);
            if (n == 0)
                break;
            pieces.push_back({heard.size() / size_t(channels), n, block});
            heard.insert(heard.end(), part.begin(), part.begin() + qsizetype(n) * channels);
            done += n;
        }
        return done > 0;
    }
    // Timeline time of a heard frame, from the block it came in.
    double timeOf(size_t frame) const
    {
        for (const Piece &p : pieces)
            if (frame >= p.first && frame < p.first + p.frames)
                return double(p.block.mediaTime) + double(frame - p.first) * p.block.mediaPerFrame;
        return -1;
    }
};

// Pulls until the feed has nothing more to give (the reader has made all
// there is), waiting for the reader where it is behind.
size_t pullAll(AudioFeed &feed, qint16 *out, size_t frames, std::vector<qint64> *starts = nullptr)
{
    size_t total = 0;
    while (total < frames) {
        AudioOutput::Block block;
        const size_t n = feed.pull(out + total, frames - total, &block);
        if (n == 0) {
            if (feed.isFilled())
                break;
            (void)QTest::qWaitFor([&] { return feed.isFilled(); }, 10000);
            continue;
        }
        if (starts)
            starts->push_back(block.mediaTime);
        total += n;
    }
    return total;
}

// The real tempo and pitch stage over a raw sample file.
class FilterStage : public AudioStage
{
public:
    explicit FilterStage(const QString &file) : filter(44100, 2, 2)
    {
        filter.initialise();
        filter.setSourceFileName(file);
    }
    void restartAt(qint64 sourceTime) override { filter.setStartPosition(Time(sourceTime)); }
    size_t pullAudio(qint16 *out, size_t frames, float tempo, float, float) override
    {
        if (tempo != current) {
            current = tempo;
            filter.setTempo(tempo);
        }
        return filter.pullInterleaved(out, frames);
    }
    size_t latencyFrames() const override { return filter.latencyFrames(); }
    PitchTempoFilter filter;
    float current = 100.0f;
};

// The media time a stretch of a chirp (200 Hz rising 200 Hz a second) was
// made from, by its frequency.
double chirpTime(const qint16 *stereo, size_t frames)
{
    int crossings = 0;
    double first = -1, last = -1;
    for (size_t i = 1; i < frames; ++i) {
        const int a = stereo[2 * (i - 1)], b = stereo[2 * i];
        if (a < 0 && b >= 0) {
            const double x = double(i - 1) + double(-a) / double(b - a);
            if (first < 0)
                first = x;
            last = x;
            ++crossings;
        }
    }
    if (crossings < 2)
        return -1;
    const double frequency = 44100.0 / ((last - first) / (crossings - 1));
    return (frequency - 200.0) / 200.0;
}

} // namespace

class tst_AudioFeed : public QObject
{
    Q_OBJECT

private slots:
    // Two fragments back to back (the second from the middle of its
    // source): the sound runs on from one into the other with no gap, every
    // block saying its timeline time, and stops at the end.
    void runsAcrossFragmentsToTheEnd()
    {
        RampStage a(10000000), b(10000000);
        AudioFeed feed(1000, 1);
        feed.setEntries({{&a, 0, 0, 100000, 100, true}, {&b, 100000, 500000, 600000, 50, true}});
        feed.seek(50000);
        std::vector<qint16> out(1000);
        std::vector<qint64> starts;
        const size_t total = pullAll(feed, out.data(), out.size(), &starts);
        // 50 ms of the first and 100 ms of the second at 1000 frames/s.
        QCOMPARE(total, size_t(150));
        QCOMPARE(starts.front(), qint64(50000));
        QVERIFY(std::find(starts.begin(), starts.end(), qint64(100000)) != starts.end());
        // The reader may have acted on the requests before the seek (the
        // start at 0 with the new list); the seek's own restart comes last.
        QVERIFY(!a.restarts.empty());
        QCOMPARE(a.restarts.back(), qint64(50000));
        for (const qint64 place : a.restarts)
            QVERIFY2(place == 0 || place == 50000, qPrintable(QString::number(place)));
        // The second from its own start, each time the sound ran into it
        // (once more if the reader ran into it before the seek).
        QVERIFY(!b.restarts.empty());
        for (const qint64 place : b.restarts)
            QCOMPARE(place, qint64(500000));
        QCOMPARE(int(out[0]), 5);     // 50 ms into the first source
        QCOMPARE(int(out[50]), 50);   // 500 ms into the second
        QCOMPARE(b.lastGain.load(), 0.5f);   // its own volume
    }

    // A seek lands inside the right fragment at the right source time; a
    // limit (a loop's end) holds the sound until the next seek; the tempo
    // sets how much timeline a frame stands for.
    void seekLimitAndTempo()
    {
        RampStage a(10000000), b(10000000);
        AudioFeed feed(1000, 1);
        feed.setEntries({{&a, 0, 0, 100000, 100, true}, {&b, 100000, 200000, 400000, 100, true}});
        feed.setTempo(50);
        feed.setLimit(160000);
        feed.seek(150000);
        QTRY_VERIFY_WITH_TIMEOUT(feed.isFilled(), 10000);
        std::vector<qint16> out(100);
        AudioOutput::Block block;
        size_t n = feed.pull(out.data(), out.size(), &block);
        QCOMPARE(b.restarts.back(), qint64(250000));
        QCOMPARE(block.mediaTime, qint64(150000));
        QCOMPARE(block.mediaPerFrame, 500.0);
        QCOMPARE(n, size_t(20)); // 10 ms of timeline at half speed
        QCOMPARE(b.lastTempo.load(), 50.0f);
        QCOMPARE(feed.pull(out.data(), out.size(), &block), size_t(0));
        feed.setLimit(-1);
        feed.seek(20000);
        n = feed.pull(out.data(), 10, &block);
        QCOMPARE(n, size_t(10));
        QCOMPARE(a.restarts.back(), qint64(20000));
        QCOMPARE(int(out[0]), 2); // 20 ms into the first source
        // Muted: made afresh from where the device is, silent.
        feed.setMuted(true);
        QTRY_VERIFY_WITH_TIMEOUT(feed.isFilled(), 10000);
        QCOMPARE(a.lastGain.load(), 0.0f);
    }

    // After a tempo change the stage still gives what it holds at the old
    // tempo: the times the blocks carry follow what is heard, within a few
    // milliseconds (checked on a chirp whose pitch tells its time).
    void blockTimesFollowTheStageAcrossTempoChanges_data()
    {
        QTest::addColumn<float>("from");
        QTest::addColumn<float>("to");
        // 100 % passes the engine by: these cross in and out of the copy.
        QTest::newRow("100 -> 50") << 100.0f << 50.0f;
        QTest::newRow("100 -> 25") << 100.0f << 25.0f;
        QTest::newRow("100 -> 200") << 100.0f << 200.0f;
        QTest::newRow("50 -> 100") << 50.0f << 100.0f;
        QTest::newRow("200 -> 100") << 200.0f << 100.0f;
        QTest::newRow("75 -> 150") << 75.0f << 150.0f;
    }
    void blockTimesFollowTheStageAcrossTempoChanges()
    {
        QFETCH(float, from);
        QFETCH(float, to);
        QTemporaryDir dir;
        const QString raw = dir.filePath("chirp.raw");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                "aevalsrc='0.5*sin(2*PI*(200*t+100*t*t))|0.5*sin(2*PI*(200*t+100*t*t))':s=44100:d=12",
                                "-f", "s16le", "-acodec", "pcm_s16le", raw});
        QVERIFY(ffmpeg.waitForFinished(30000) && ffmpeg.exitCode() == 0);
        FilterStage stage(raw);
        AudioFeed feed(44100, 2);
        feed.setEntries({{&stage, 0, 0, 12000000, 100, true}});
        feed.setTempo(from);
        feed.seek(2000000);
        PacedDevice device{feed, 2, 441, {}, {}};
        for (int i = 0; i < 100; ++i)
            QVERIFY(device.tick());
        const size_t changedAt = device.heard.size() / 2;
        feed.setTempo(to);
        for (int i = 0; i < 200; ++i)
            QVERIFY(device.tick());
        // Heard at the new tempo from the next request on (a device asks
        // every 10 ms: well within the 100 ms asked of a tempo change).
        const double perFrame = double(to) / 100.0 * 1e6 / 44100.0;
        size_t firstNew = 0;
        for (const PacedDevice::Piece &p : device.pieces) {
            if (p.first >= changedAt && std::abs(p.block.mediaPerFrame - perFrame) < 1e-6) {
                firstNew = p.first;
                break;
            }
        }
        QVERIFY(firstNew >= changedAt);
        QVERIFY2(firstNew - changedAt <= 441, qPrintable(QString::number(firstNew - changedAt)));
        // No time is skipped or heard twice at the change, but for the few
        // milliseconds (5 ms of sound at most) the join moves to where the
        // new sound matches the old.
        const double jump = device.timeOf(firstNew) - device.timeOf(firstNew - 1) - 1e6 / 44100.0;
        QVERIFY2(std::abs(jump) <= 222 * perFrame, qPrintable(QString("%1 us").arg(jump)));
        // What is heard is what the blocks say, within a few milliseconds,
        // before and after the change.
        const size_t at = device.heard.size() / 2;
        double worst = 0;
        for (size_t i = 44100 / 2; i + 882 < at; i += 4410) {
            if (i + 882 > firstNew && i < firstNew + 882)
                continue; // two tempi in one window give no one frequency
            const double heard = chirpTime(device.heard.data() + 2 * (i - 882), 1764);
            QVERIFY(heard > 0);
            worst = std::max(worst, std::abs(device.timeOf(i) / 1e6 - heard));
        }
        QVERIFY2(worst < 0.006, qPrintable(QString("%1 ms").arg(worst * 1000)));
        // No click where the new sound takes over: no step between samples
        // there is larger than the sound's own steps around it.
        auto largestStep = [&](size_t a, size_t b) {
            int step = 0;
            for (size_t i = a + 1; i < b; ++i)
                step = std::max(step, std::abs(int(device.heard[2 * i]) - int(device.heard[2 * (i - 1)])));
            return step;
        };
        const int around = std::max(largestStep(firstNew - 8820, firstNew - 882), largestStep(firstNew + 882, firstNew + 8820));
        const int across = largestStep(firstNew - 882, firstNew + 882);
        QVERIFY2(across <= around * 5 / 4, qPrintable(QString("step %1 across, %2 around").arg(across).arg(around)));
    }

    // The device's pulls never wait for the reader: with the stage stalled
    // (a slow disk) the device gets what the ring holds, then nothing (the
    // output pads), and not one pull waits for the stage.
    void deviceNeverWaitsForAStalledReader()
    {
        GateStage stage(100000000);
        AudioFeed feed(44100, 1);
        feed.setEntries({{&stage, 0, 0, 100000000, 100, true}});
        feed.seek(0);
        QTRY_VERIFY_WITH_TIMEOUT(feed.isFilled(), 10000);
        const size_t buffered = feed.bufferedFrames();
        QVERIFY(buffered >= feed.aheadFrames() * 9 / 10);
        stage.setClosed(true);
        // Whatever the reader makes next waits at the gate.
        std::atomic<bool> done{false};
        size_t got = 0;
        int empty = 0;
        std::thread device([&] {
            std::vector<qint16> out(441);
            while (empty < 20) {
                AudioOutput::Block block;
                const size_t n = feed.pull(out.data(), out.size(), &block);
                got += n;
                empty = n == 0 ? empty + 1 : 0;
            }
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
        device.join();
        // The device may have run dry before the reader, on a slow machine,
        // got to the gate: it gets there in the end.
        QTRY_VERIFY_WITH_TIMEOUT(stage.waiting, 10000);
        // Every frame made before the stall, and at most the one chunk the
        // reader had finished as the gate closed.
        QVERIFY2(got >= buffered && got <= buffered + 512, qPrintable(QString("%1 of %2").arg(got).arg(buffered)));
        stage.setClosed(false);
        QTRY_VERIFY_WITH_TIMEOUT(feed.isFilled(), 10000);
    }

    // A seek drops everything made for the old place: the next frame the
    // device gets is the new place's, even while the reader is stalled
    // (the device then gets nothing rather than old sound).
    void seekDropsWhatWasMade()
    {
        GateStage stage(100000000);
        AudioFeed feed(1000, 1);
        feed.setEntries({{&stage, 0, 0, 100000000, 100, true}});
        feed.seek(1000000);
        QTRY_VERIFY_WITH_TIMEOUT(feed.isFilled(), 10000);
        std::vector<qint16> out(50);
        AudioOutput::Block block;
        QCOMPARE(feed.pull(out.data(), out.size(), &block), size_t(50));
        QCOMPARE(block.mediaTime, qint64(1000000));
        QCOMPARE(feed.position(), qint64(1050000));

        feed.seek(5000000);
        QCOMPARE(feed.position(), qint64(5000000));
        QCOMPARE(feed.pull(out.data(), out.size(), &block), size_t(50));
        QCOMPARE(block.mediaTime, qint64(5000000));
        QCOMPARE(int(out[0]), 500); // the ramp at 5 s
        QTRY_VERIFY_WITH_TIMEOUT(feed.isFilled(), 10000);

        stage.setClosed(true);
        // The device plays on; the reader, making more, gets stuck.
        for (int i = 0; i < 40 && !stage.waiting; ++i) {
            QCOMPARE(feed.pull(out.data(), out.size(), &block), size_t(50));
            QTest::qWait(5);
        }
        QTRY_VERIFY_WITH_TIMEOUT(stage.waiting, 10000);
        std::thread seeker([&] { feed.seek(9000000); });
        QTRY_COMPARE_WITH_TIMEOUT(feed.position(), qint64(9000000), 10000);
        // Nothing old is heard while the new place cannot be made.
        for (int i = 0; i < 5; ++i)
            QCOMPARE(feed.pull(out.data(), out.size(), &block), size_t(0));
        stage.setClosed(false);
        seeker.join();
        QTRY_VERIFY_WITH_TIMEOUT(feed.isFilled(), 10000);
        QVERIFY(feed.pull(out.data(), out.size(), &block) > 0);
        QCOMPARE(block.mediaTime, qint64(9000000));
        QCOMPARE(int(out[0]), 900);
    }

    // A reader too slow to make the new sound before the old one runs out
    // (here: stalled across a change to 25 %): the device then gets
    // nothing, and joins the new sound at the time it had reached, never
    // going back to where the change was asked.
    void starvedChangeNeverGoesBack()
    {
        GateStage stage(100000000);
        AudioFeed feed(1000, 1);
        feed.setEntries({{&stage, 0, 0, 100000000, 100, true}});
        feed.seek(1000000);
        QTRY_VERIFY_WITH_TIMEOUT(feed.isFilled(), 10000);
        stage.setClosed(true);
        feed.setTempo(25);
        QTRY_VERIFY_WITH_TIMEOUT(stage.waiting, 10000);
        std::vector<qint16> out(50);
        AudioOutput::Block block;
        double reached = 0;
        for (;;) {
            const size_t n = feed.pull(out.data(), out.size(), &block);
            if (n == 0)
                break;
            reached = double(block.mediaTime) + double(n) * block.mediaPerFrame;
        }
        QVERIFY(reached >= 1300000); // all that was made at 100 %
        stage.setClosed(false);
        QVERIFY(QTest::qWaitFor([&] { return feed.pull(out.data(), out.size(), &block) > 0; }, 10000));
        QCOMPARE(block.mediaPerFrame, 250.0);
        QVERIFY2(std::abs(double(block.mediaTime) - reached) <= 250.0,
                 qPrintable(QString("joined at %1, had reached %2").arg(block.mediaTime).arg(reached)));
    }

    // A steady tone keeps its level across tempo changes: the sound made
    // afresh for the new tempo starts in its own phase, and a plain
    // crossfade from the old sound into one in opposite phase would be
    // heard as a dip (or a hole). Several changes each way, at places
    // spread over the tone's period, so that every phase is met.
    void steadyToneKeepsItsLevelAcrossTempoChanges_data()
    {
        QTest::addColumn<float>("from");
        QTest::addColumn<float>("to");
        QTest::newRow("100 <-> 50") << 100.0f << 50.0f;
        QTest::newRow("100 <-> 25") << 100.0f << 25.0f;
        QTest::newRow("75 <-> 150") << 75.0f << 150.0f;
        QTest::newRow("50 <-> 200") << 50.0f << 200.0f;
        QTest::newRow("90 <-> 110") << 90.0f << 110.0f;
    }
    void steadyToneKeepsItsLevelAcrossTempoChanges()
    {
        QFETCH(float, from);
        QFETCH(float, to);
        QTemporaryDir dir;
        const QString raw = dir.filePath("tone.raw");
        // 300 Hz: a period of 147 frames.
        QVERIFY(TW::test::writeRaw(raw, TW::test::sine(300.0, 30.0, 2, 0.4)));
        FilterStage stage(raw);
        AudioFeed feed(44100, 2);
        feed.setEntries({{&stage, 0, 0, 30000000, 100, true}});
        feed.setTempo(from);
        feed.seek(1000000);
        PacedDevice device{feed, 2, 441, {}, {}};
        std::vector<size_t> changes;
        for (int i = 0; i < 12; ++i) {
            // 0.5 s and a few ms more each time between changes.
            for (int k = 0; k < 50 + (i % 5); ++k)
                QVERIFY(device.tick());
            changes.push_back(device.heard.size() / 2);
            feed.setTempo(i % 2 == 0 ? to : from);
        }
        for (int k = 0; k < 50; ++k)
            QVERIFY(device.tick());

        // The level over one period of the tone, every few frames.
        const int period = 147;
        auto level = [&](size_t first) {
            double energy = 0;
            for (size_t i = first; i < first + size_t(period); ++i)
                energy += double(device.heard[2 * i]) * device.heard[2 * i];
            return std::sqrt(energy / period);
        };
        for (size_t c : changes) {
            // Steady: the level a quarter of a second before the change.
            double steady = 0;
            int n = 0;
            for (size_t f = c - 11025; f < c - 4410; f += 21, ++n)
                steady += level(f);
            steady /= n;
            QVERIFY(steady > 3000);
            // Across the change: from just before it until well after the
            // new sound has been crossed over to (the device's next pulls).
            double low = steady, high = steady;
            for (size_t f = c - 441; f < c + 4410; f += 7) {
                low = std::min(low, level(f));
                high = std::max(high, level(f));
            }
            QVERIFY2(low >= 0.85 * steady && high <= 1.15 * steady,
                     qPrintable(QString("change at frame %1: level %2..%3 around %4")
                                    .arg(c).arg(low, 0, 'f', 0).arg(high, 0, 'f', 0).arg(steady, 0, 'f', 0)));
        }
    }

    // A loop repeated by the sound itself: the device hears exactly the
    // jumps asked for, each from the loop's end straight to its start (no
    // frame missing or heard twice, every block's time saying what it
    // holds), then the sound runs on past the end. A change of tempo or a
    // seek remakes what the reader made ahead, jumps included; the jumps
    // left follow what the device had taken, however far the reader was
    // ahead (a loop shorter than its lead is made several passes ahead).
    void loopJumpsFollowWhatTheDeviceTook_data()
    {
        QTest::addColumn<int>("jumps");
        QTest::addColumn<qint64>("loopStart");
        QTest::addColumn<qint64>("loopEnd");
        QTest::addColumn<QString>("action"); // "", "slower" (to 50 %) or "seek"
        QTest::addColumn<int>("actionPass");  // after this many jumps heard
        QTest::addColumn<qint64>("actionAt"); // once this time is heard
        QTest::addColumn<qint64>("seekTo");
        const qint64 s = 1000000, e = 2000000;
        QTest::newRow("no jumps") << 0 << s << e << QString() << 0 << qint64(0) << qint64(0);
        QTest::newRow("one jump") << 1 << s << e << QString() << 0 << qint64(0) << qint64(0);
        QTest::newRow("three jumps") << 3 << s << e << QString() << 0 << qint64(0) << qint64(0);
        // The reader is then 300-800 ms ahead: short of the end at 1.1 s,
        // past the jump at 1.9 s.
        QTest::newRow("slower before the jump is made") << 3 << s << e << "slower" << 0 << qint64(1100000) << qint64(0);
        QTest::newRow("slower after the jump is made") << 3 << s << e << "slower" << 1 << qint64(1900000) << qint64(0);
        QTest::newRow("seek inside the loop after the next jump is made")
            << 3 << s << e << "seek" << 1 << qint64(1900000) << qint64(1300000);
        QTest::newRow("short loop, slower after two") << 6 << s << qint64(1100000) << "slower" << 2 << qint64(1050000) << qint64(0);
        QTest::newRow("short loop, seek inside after two")
            << 4 << s << qint64(1100000) << "seek" << 2 << qint64(1080000) << qint64(1020000);
    }
    void loopJumpsFollowWhatTheDeviceTook()
    {
        QFETCH(int, jumps);
        QFETCH(qint64, loopStart);
        QFETCH(qint64, loopEnd);
        QFETCH(QString, action);
        QFETCH(int, actionPass);
        QFETCH(qint64, actionAt);
        QFETCH(qint64, seekTo);
        RampStage stage(100000000);
        AudioFeed feed(1000, 1);
        feed.setEntries({{&stage, 0, 0, 100000000, 100, true}});
        feed.setLoopJumps(loopStart, loopEnd, jumps);
        feed.seek(800000);
        PacedDevice device{feed, 1, 10, {}, {}};
        int heardJumps = 0;
        bool acted = action.isEmpty();
        bool sought = false;
        int sinceChange = 1000; // pieces heard since a change of tempo
        double reached = -1;    // the time after the last frame heard
        size_t seen = 0;
        for (int tick = 0; tick < 5000; ++tick) {
            // At 1000 frames a second one chunk the reader makes is more than
            // its lead: the device waits until it has made the next.
            QVERIFY(QTest::qWaitFor([&] { return feed.bufferedFrames() >= device.request; }, 10000));
            QVERIFY(device.tick());
            for (; seen < device.pieces.size(); ++seen, ++sinceChange) {
                const PacedDevice::Piece &p = device.pieces[seen];
                const double t0 = double(p.block.mediaTime);
                // What is heard is what the block says (the ramp gives its
                // source time in 10 ms steps).
                QVERIFY2(std::abs(int(device.heard[p.first]) - int(t0 / 10000)) <= 1,
                         qPrintable(QString("%1 heard at %2 us").arg(device.heard[p.first]).arg(t0)));
                if (sought) {
                    QCOMPARE(t0, double(seekTo));
                    sought = false;
                } else if (reached >= 0 && t0 < reached - 50000) {
                    ++heardJumps;
                    QVERIFY2(std::abs(reached - double(loopEnd)) <= p.block.mediaPerFrame,
                             qPrintable(QString("jumped back from %1 us").arg(reached)));
                    QCOMPARE(t0, double(loopStart));
                } else if (reached >= 0) {
                    // The join after a change moves by 5 frames at most.
                    const double tolerance = sinceChange < 30 ? 6 * 1000.0 : 2.0;
                    QVERIFY2(std::abs(t0 - reached) <= tolerance,
                             qPrintable(QString("%1 us after %2 us").arg(t0).arg(reached)));
                }
                reached = t0 + double(p.frames) * p.block.mediaPerFrame;
            }
            if (!acted && heardJumps == actionPass && reached >= double(actionAt)) {
                acted = true;
                if (action == "seek") {
                    feed.seek(seekTo);
                    sought = true;
                } else {
                    feed.setTempo(50);
                    sinceChange = 0;
                }
            }
            if (acted && heardJumps >= jumps && reached >= double(loopEnd) + 200000)
                break;
        }
        QVERIFY(acted);
        QCOMPARE(heardJumps, jumps);
        QVERIFY(reached >= double(loopEnd) + 200000); // on past the end
        QCOMPARE(feed.loopJumpsPulled(), jumps);
    }

    // An empty edit list, or a place outside it, gives nothing.
    void nothingToPlay()
    {
        AudioFeed feed(1000, 1);
        std::vector<qint16> out(10);
        AudioOutput::Block block;
        QCOMPARE(feed.pull(out.data(), out.size(), &block), size_t(0));
        RampStage a(1000000);
        feed.setEntries({{&a, 0, 0, 100000, 100, true}});
        feed.seek(200000);
        QCOMPARE(feed.pull(out.data(), out.size(), &block), size_t(0));
    }
};

QTEST_MAIN(tst_AudioFeed)
#include "tst_AudioFeed.moc"
