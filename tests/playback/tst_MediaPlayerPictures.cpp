#include "playback/MediaPlayer.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaTrack.h"
#include "playback/MediaTrackFragmentPlayer.h"
#include "playback/MemoryStreamPlayer.h"

#include "NumberedClip.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace TW;
using namespace TW::test;

// The picture on screen after seeks made while the player stands still:
// clicks on the transport bar inside a fragment and jumps from one
// fragment to another, as between bookmarks. Two fragments of a numbered
// clip of 12 s each; no sound device, so the presenter's own clock.
class tst_MediaPlayerPictures : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString numbered;
    static constexpr qint64 kClip = 12000000;

    // The frame number shown at a timeline time (-2 inside the black run).
    static int frameAt(qint64 timeline)
    {
        const int frame = int((timeline % kClip) / kNumberedFrame);
        return frame >= 200 && frame < 250 ? -2 : frame;
    }

    static int shown(MediaPlayer &player)
    {
        const QImage picture = player.getOutputPlayer()->currentPicture();
        if (picture.isNull() || picture.format() != QImage::Format_RGB32)
            return -1;
        VideoFrame v;
        v.width = quint32(picture.width());
        v.height = quint32(picture.height());
        v.bytesPerPixel = 4;
        v.bytesPerLine = int(picture.bytesPerLine());
        v.buffer = const_cast<char *>(reinterpret_cast<const char *>(picture.constBits()));
        v.size = picture.sizeInBytes();
        return shownFrame(v);
    }

    QSharedPointer<Media> project()
    {
        QSharedPointer<Media> media(new Media);
        for (int i = 0; i < 2; ++i)
            media->addTrack(QSharedPointer<MediaTrack>(new MediaTrack(numbered, 0, numbered)));
        media->updateFragmentPositions();
        return media;
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        qputenv("PULSE_SERVER", "unix:/nonexistent/tarnwell-test");
        QVERIFY(dir.isValid());
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        o->m_videoWidth = 320;
        o->m_videoHeight = 240;
        o->m_numChannels = 2;
        o->m_fps = 25.0f;
        numbered = makeNumberedClip(dir.path(), 12, 200, 250);
        QVERIFY(!numbered.isEmpty());
        const QString raw = dir.filePath("numbered.raw");
        QFile f(raw);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(TestMedia::decodeS16(numbered, 2));
        f.close();
        MediaTrackFragmentPlayer::setAudioSamplesFunction([raw](QSharedPointer<MediaTrack>) { return raw; });
    }

    void pausedSeekShowsTheNewPlace_data()
    {
        QTest::addColumn<bool>("playedFirst");
        QTest::newRow("opened, never played") << false;
        QTest::newRow("paused after playing") << true;
    }
    void pausedSeekShowsTheNewPlace()
    {
        QFETCH(bool, playedFirst);
        MediaPlayer player;
        QWidget view;
        view.resize(320, 240);
        player.setRenderingWidget(&view);
        player.resetMedia();
        player.openMedia(project());
        QTRY_COMPARE_WITH_TIMEOUT(player.getState(), int(MediaPlayer::Idle), 15000);
        if (playedFirst) {
            player.play();
            QTRY_VERIFY_WITH_TIMEOUT(player.getOutputPlayer()->currentPictureTime() > 200000, 15000);
            player.pause();
        }
        // Clicks on the bar inside each fragment, then jumps between places
        // in the two fragments back and forth, into and out of the black run.
        const qint64 places[] = {3000000,  7640000,  1000000, 5000000,  9200000,  480000,   2080000,  6000000,
                                 11960000, 4000000,  15000000, 2000000, 20000000, 8200000,  13000000, 9000000,
                                 21000000, 16000000, 12000000, 11000000};
        for (qint64 place : places) {
            const long frame = long(place / kNumberedFrame);
            player.seek(frame, true, true);
            const qint64 at = Time::fromFrameUnits(frame).unitCount;
            const qint64 expectedTime = at / kNumberedFrame * kNumberedFrame;
            QTRY_COMPARE_WITH_TIMEOUT(player.getOutputPlayer()->currentPictureTime(), expectedTime, 15000);
            QCOMPARE(shown(player), frameAt(at));
            QCOMPARE(player.getCurrentMediaTime().unitCount, at);
        }
        // Play goes on from the last place.
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(player.getOutputPlayer()->currentPictureTime() > 11000000 + 200000, 15000);
        const qint64 t = player.getOutputPlayer()->currentPictureTime();
        QCOMPARE(shown(player), frameAt(t));
    }

    // After playback has reached the end, a seek and Play bring moving
    // pictures of the new place back, and so do Stop and Play. (The end
    // once left the last picture frozen on screen.)
    void picturesComeBackAfterTheEnd()
    {
        MediaPlayer player;
        QWidget view;
        view.resize(320, 240);
        player.setRenderingWidget(&view);
        player.resetMedia();
        player.openMedia(project());
        QTRY_COMPARE_WITH_TIMEOUT(player.getState(), int(MediaPlayer::Idle), 15000);
        player.seek(long((2 * kClip - 600000) / kNumberedFrame), true, true);
        player.play();
        QTRY_COMPARE_WITH_TIMEOUT(player.getState(), int(MediaPlayer::Stopped), 15000);
        // The player then goes back to the start by itself; the seek below
        // comes after that.
        QTRY_COMPARE_WITH_TIMEOUT(player.getOutputPlayer()->currentPictureTime(), qint64(0), 15000);

        auto playsFrom = [&](qint64 from) {
            const MemoryStreamPlayer *out = player.getOutputPlayer();
            QTRY_VERIFY_WITH_TIMEOUT(out->currentPictureTime() >= from + 400000
                                         && out->currentPictureTime() < from + 5000000,
                                     15000);
            const qint64 t = out->currentPictureTime();
            QCOMPARE(shown(player), frameAt(t));
        };
        player.seek(long(3000000 / kNumberedFrame), true, true);
        player.play();
        playsFrom(3000000);
        player.stop();
        player.play();
        playsFrom(0);
    }
};

QTEST_MAIN(tst_MediaPlayerPictures)
#include "tst_MediaPlayerPictures.moc"
