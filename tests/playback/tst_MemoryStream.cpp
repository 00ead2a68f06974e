#include "playback/MemoryStream.h"

#include <QtTest>

#include <atomic>
#include <cstring>
#include <thread>

using namespace TW;

namespace {

AudioFragment audioBlock(qint64 bytes, char fill = 1, qint64 duration = 1000)
{
    AudioFragment a;
    a.sampleRate = 44100;
    a.channels = 2;
    a.bytesPerSample = 2;
    a.buffer = allocateSampleBuffer(size_t(bytes));
    std::memset(a.buffer, fill, size_t(bytes));
    a.size = bytes;
    a.duration = duration;
    return a;
}

VideoFrame picture(qint64 stamp)
{
    VideoFrame v;
    v.width = 4;
    v.height = 2;
    v.bytesPerPixel = 3;
    v.size = 24;
    v.buffer = allocateSampleBuffer(24);
    v.timeStamp = stamp;
    return v;
}

} // namespace

class tst_MemoryStream : public QObject
{
    Q_OBJECT

private slots:
    // A data provider takes back its own blocks (after a seek) and leaves
    // the others' in order; the byte total follows.
    void removeSamplesTakesOnlyMatches()
    {
        AudioStream audio;
        int mine = 0, other = 0;
        for (int i = 0; i < 6; ++i) {
            AudioFragment a = audioBlock(100 + i, char(i + 1));
            a.producer = i % 2 ? &mine : &other;
            audio.enqueueSample(a);
        }
        QCOMPARE(audio.removeSamples([&mine](const AudioFragment &a) { return a.producer == &mine; }), 3);
        QCOMPARE(audio.getSampleCount(), 3);
        QCOMPARE(audio.getQueuedBytes(), 100 + 102 + 104);
        for (char fill : {'\1', '\3', '\5'}) {
            AudioFragment a = audio.getSample(true);
            QCOMPARE(a.buffer[0], fill);
            freeSampleBuffer(a.buffer);
        }
        QCOMPARE(audio.removeSamples([](const AudioFragment &) { return true; }), 0);
    }

    void emptyQueueGivesNullRecord()
    {
        AudioStream audio;
        const AudioFragment a = audio.getSample(true);
        QVERIFY(a.buffer == nullptr);
        QCOMPARE(a.size, 0);
        QCOMPARE(a.duration, 0);
        QCOMPARE(audio.getSampleCount(), 0);
        QCOMPARE(audio.getQueuedBytes(), 0);

        VideoStream video;
        const VideoFrame v = video.getSample(false);
        QVERIFY(v.buffer == nullptr);
        QCOMPARE(v.timeStamp, 0);
        QCOMPARE(v.resync, false);
        const VideoFrame c = video.copySample();
        QVERIFY(c.buffer == nullptr);
    }

    void byteAccountingAndOrder()
    {
        AudioStream audio;
        audio.enqueueSample(audioBlock(4, 'a'));
        audio.enqueueSample(audioBlock(8, 'b'));
        audio.enqueueSample(audioBlock(16, 'c'));
        QCOMPARE(audio.getQueuedBytes(), 28);

        AudioFragment first = audio.getSample(true);
        QCOMPARE(first.size, 4);
        QCOMPARE(first.buffer[0], 'a');
        freeSampleBuffer(first.buffer);
        QCOMPARE(audio.getQueuedBytes(), 24);
        QCOMPARE(audio.getSampleCount(), 2);

        // Peeking leaves the queue as it is and shows the same oldest sample.
        const AudioFragment p1 = audio.getSample(false);
        const AudioFragment p2 = audio.getSample(false);
        QVERIFY(p1.buffer == p2.buffer);
        QCOMPARE(p1.buffer[0], 'b');
        QCOMPARE(audio.getSampleCount(), 2);
        QCOMPARE(audio.getQueuedBytes(), 24);
    }

    void copiedPeekSurvivesClear()
    {
        AudioStream audio;
        audio.enqueueSample(audioBlock(8, 'x', 777));
        AudioFragment copy = audio.copySample();
        QVERIFY(copy.buffer != audio.getSample(false).buffer);
        QCOMPARE(audio.getSampleCount(), 1);
        audio.clear();
        QCOMPARE(copy.size, 8);
        QCOMPARE(copy.duration, 777);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(copy.buffer[i], 'x');
        freeSampleBuffer(copy.buffer);
    }

    void clearKeepsStateAndHoldRestores()
    {
        VideoStream video;
        QCOMPARE(video.getState(), StreamInitial);
        video.setState(StreamPlaying);
        video.enqueueSample(picture(1));
        video.enqueueSample(picture(2));
        video.clear();
        QCOMPARE(video.getSampleCount(), 0);
        QCOMPARE(video.getQueuedBytes(), 0);
        QCOMPARE(video.getState(), StreamPlaying);

        video.setState(StreamHeld);
        QCOMPARE(video.getPreviousState(), StreamPlaying);
        video.restorePreviousState();
        QCOMPARE(video.getState(), StreamPlaying);
    }

    void nullBufferSamplesAreQueuedAndCleared()
    {
        VideoStream video;
        VideoFrame v;
        v.resync = true;
        video.enqueueSample(v);
        QCOMPARE(video.getSampleCount(), 1);
        QVERIFY(video.getSample(true).resync);
        video.enqueueSample(v);
        video.clear(); 
        QCOMPARE(video.getSampleCount(), 0);
    }

    // Producer, consumer, peeking consumer and a clearing controller race on
    // one queue. Run under ThreadSanitizer (and ASan) to catch unlocked
    // access, double frees and use of freed buffers; the byte total must
    // stay consistent with what is queued.
    void producerConsumerClearRace()
    {
        AudioStream audio;
        audio.setState(StreamPlaying);
        std::atomic<bool> stop{false};
        std::atomic<long> produced{0};
        std::atomic<int> tornCopies{0};

        std::thread producer([&] {
            for (int i = 0; i < 20000; ++i) {
                audio.enqueueSample(audioBlock(64 + (i % 7) * 16, char(i)));
                ++produced;
            }
            stop = true;
        });
        std::thread consumer([&] {
            while (!stop) {
                AudioFragment a = audio.getSample(true);
                if (a.buffer) {
                    // The removed buffer is ours: touch all of it, then free.
                    volatile char sink = 0;
                    for (qint64 i = 0; i < a.size; ++i)
                        sink = sink + a.buffer[i];
                    (void)sink;
                }
                freeSampleBuffer(a.buffer);
            }
        });
        std::thread peeker([&] {
            while (!stop) {
                AudioFragment a = audio.copySample();
                if (a.buffer) {
                    const char first = a.buffer[0];
                    for (qint64 i = 1; i < a.size; ++i)
                        if (a.buffer[i] != first)
                            ++tornCopies;
                }
                freeSampleBuffer(a.buffer);
                (void)audio.getQueuedBytes();
                (void)audio.getState();
            }
        });
        std::thread controller([&] {
            while (!stop) {
                audio.setState(StreamHeld);
                audio.clear();
                audio.restorePreviousState();
                std::this_thread::yield();
            }
        });
        producer.join();
        consumer.join();
        peeker.join();
        controller.join();

        QCOMPARE(produced.load(), 20000L);
        QCOMPARE(tornCopies.load(), 0);
        QCOMPARE(audio.getState(), StreamPlaying);
        qint64 bytes = 0;
        const int count = audio.getSampleCount();
        for (int i = 0; i < count; ++i) {
            AudioFragment a = audio.getSample(true);
            bytes += a.size;
            freeSampleBuffer(a.buffer);
        }
        QCOMPARE(audio.getQueuedBytes(), 0);
        QVERIFY(bytes >= 0);
    }
};

QTEST_GUILESS_MAIN(tst_MemoryStream)
#include "tst_MemoryStream.moc"
