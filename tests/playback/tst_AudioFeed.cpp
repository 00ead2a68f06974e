#include "playback/AudioFeed.h"
#include "playback/PitchTempoFilter.h"

#include "TestEnv.h"

#include <QProcess>
#include <QTemporaryDir>

#include <QtTest>

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
    float lastTempo = 0;
    float lastGain = -1;
    std::vector<qint64> restarts;
};

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
        size_t total = 0;
        for (;;) {
            AudioOutput::Block block;
            const size_t n = feed.pull(out.data() + total, out.size() - total, &block);
            if (n == 0)
                break;
            starts.push_back(block.mediaTime);
            QCOMPARE(block.mediaPerFrame, 1000.0);
            total += n;
        }
        // 50 ms of the first and 100 ms of the second at 1000 frames/s.
        QCOMPARE(total, size_t(150));
        QCOMPARE(starts.front(), qint64(50000));
        QVERIFY(std::find(starts.begin(), starts.end(), qint64(100000)) != starts.end());
        QCOMPARE(a.restarts, std::vector<qint64>{50000});
        QCOMPARE(b.restarts, std::vector<qint64>{500000});
        QCOMPARE(int(out[0]), 5);     // 50 ms into the first source
        QCOMPARE(int(out[50]), 50);   // 500 ms into the second
        QCOMPARE(b.lastGain, 0.5f);   // its own volume
    }

    // A seek lands inside the right fragment at the right source time; a
    // limit (a loop's end) holds the sound until the next seek; the tempo
    // sets how much timeline a frame stands for.
    void seekLimitAndTempo()
    {
        RampStage a(10000000), b(10000000);
        AudioFeed feed(1000, 1);
        feed.setEntries({{&a, 0, 0, 100000, 100, true}, {&b, 100000, 200000, 400000, 100, true}});
        feed.seek(150000);
        feed.setTempo(50);
        feed.setLimit(160000);
        std::vector<qint16> out(100);
        AudioOutput::Block block;
        size_t n = feed.pull(out.data(), out.size(), &block);
        QCOMPARE(b.restarts.back(), qint64(250000));
        QCOMPARE(block.mediaTime, qint64(150000));
        QCOMPARE(block.mediaPerFrame, 500.0);
        QCOMPARE(n, size_t(20)); // 10 ms of timeline at half speed
        QCOMPARE(b.lastTempo, 50.0f);
        QCOMPARE(feed.pull(out.data(), out.size(), &block), size_t(0));
        feed.setLimit(-1);
        feed.seek(20000);
        n = feed.pull(out.data(), 10, &block);
        QCOMPARE(n, size_t(10));
        QCOMPARE(a.restarts.back(), qint64(20000));
        feed.setMuted(true);
        feed.pull(out.data(), 10, &block);
        QCOMPARE(a.lastGain, 0.0f);
    }

    // After a tempo change the stage still gives what it holds at the old
    // tempo: the times the blocks carry follow what is heard, within a few
    // milliseconds (checked on a chirp whose pitch tells its time).
    void blockTimesFollowTheStageAcrossTempoChanges_data()
    {
        QTest::addColumn<float>("to");
        QTest::newRow("100 -> 50") << 50.0f;
        QTest::newRow("100 -> 25") << 25.0f;
        QTest::newRow("100 -> 200") << 200.0f;
    }
    void blockTimesFollowTheStageAcrossTempoChanges()
    {
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
        feed.seek(2000000);
        std::vector<qint16> out(44100 * 2 * 4);
        std::vector<double> mapped(44100 * 4);
        size_t at = 0;
        auto pull = [&](size_t frames) {
            while (frames > 0) {
                AudioOutput::Block block;
                const size_t got = feed.pull(out.data() + 2 * at, std::min<size_t>(frames, 441), &block);
                QVERIFY(got > 0);
                for (size_t k = 0; k < got; ++k)
                    mapped[at + k] = (double(block.mediaTime) + double(k) * block.mediaPerFrame) / 1e6;
                at += got;
                frames -= got;
            }
        };
        pull(44100);
        feed.setTempo(to);
        pull(44100 * 2);
        double worst = 0;
        for (size_t i = 44100 / 2; i + 882 < at; i += 4410) {
            const double heard = chirpTime(out.data() + 2 * (i - 882), 1764);
            QVERIFY(heard > 0);
            worst = std::max(worst, std::abs(mapped[i] - heard));
        }
        QVERIFY2(worst < 0.006, qPrintable(QString("%1 ms").arg(worst * 1000)));
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
