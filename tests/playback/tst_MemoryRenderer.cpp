#include "playback/MemoryRenderer.h"

#include "model/MediaTrack.h"
#include "playback/SampleBuffer.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

using namespace TW;
using TW::test::TestMedia;

class tst_MemoryRenderer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
    }

    void emptyListsGiveNullRecords()
    {
        MemoryRenderer r;
        const VideoFrame f = r.getNextFrame();
        QVERIFY(f.buffer == nullptr);
        QVERIFY(!f.resync);
        QVERIFY(r.getNextAudioFragment().buffer == nullptr);
        QVERIFY(r.getAudioFragmentList().isEmpty());
        QVERIFY(!r.decodeMediaTrack(nullptr));
    }

    // A whole clip decodes into pictures 480 wide and mono blocks; the
    // first block has duration and time 0, the next the difference of the
    // presentation times as both.
    void decodesTrackIntoMemory()
    {
        QTemporaryDir dir;
        const QString clip = TestMedia::make(TestMedia::VideoStereo, dir.path(), 2.0);
        QVERIFY(!clip.isEmpty());
        MediaTrack track;
        track.setSource(clip, 0, clip);
        MemoryRenderer r;
        QVERIFY(r.decodeMediaTrack(&track));
        QTRY_VERIFY_WITH_TIMEOUT(r.getAudioFragmentList().size() >= 3, 15000);
        const QList<AudioFragment> blocks = r.getAudioFragmentList();
        QCOMPARE(blocks.at(0).duration, 0);
        QCOMPARE(blocks.at(0).timeStamp, 0);
        QCOMPARE(blocks.at(0).channels, 1u);
        QVERIFY(blocks.at(1).duration > 0);
        QCOMPARE(blocks.at(1).timeStamp, blocks.at(1).duration);
        QVERIFY(!r.getRawAudio().isEmpty());

        VideoFrame f;
        QElapsedTimer waited;
        waited.start();
        while (!(f = r.getNextFrame()).buffer && waited.elapsed() < 15000)
            QTest::qWait(20);
        QVERIFY(f.buffer);
        // Rows of 480 packed RGB pixels (libvlc reports a padded height).
        QCOMPARE(f.width, 480u);
        QCOMPARE(f.bytesPerPixel, 3);
        QVERIFY(f.size >= 480 * 320 * 3);
        QCOMPARE(f.size % (480 * 3), 0);
        freeSampleBuffer(f.buffer);
        AudioFragment a = r.getNextAudioFragment();
        QVERIFY(a.buffer);
        freeSampleBuffer(a.buffer);
        r.stop();
    }
};

QTEST_MAIN(tst_MemoryRenderer)
#include "tst_MemoryRenderer.moc"
