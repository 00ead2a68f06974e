// The window with an opened clip: the position shown in slider, ruler and
// transport, the tempo and pitch shown for the loop under the position, the
// thumbnails on the rows, and loops and bookmarks drawn on the ruler taking
// the road of undoable commands through the controller.
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "io/InputController.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/VideoLoop.h"
#include "model/VideoMarker.h"
#include "playback/MediaPlayer.h"
#include "ui/AudioThumbnailWidget.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/MediaTrackWidget.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TimelineViewportOverlay.h"
#include "ui/TimelineViewportWidget.h"
#include "ui/TimelineWidget.h"
#include "ui/VideoControlsWidget.h"
#include "ui/VideoThumbnailWidget.h"

#include <QSlider>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

using namespace TW;

class tst_TimelineDisplay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void viewportFitsTheOpenedClip();
    void endOfPlaybackShowsTheStart();
    void heldSliderIsLeftAlone();
    void setCurrentTimeMovesTheSlider();
    void tempoAndPitchFollowTheLoop_data();
    void tempoAndPitchFollowTheLoop();
    void thumbnails();
    void loopDrawnOnTheRulerIsUndoable();
    void bookmarkClickAndRemoval();
    void deletingALoopFromTheRuler();

private:
    void waitForPlayer();
    TimeAreaWidget *ruler() const { return m_window->getTimeArea(); }
    QSharedPointer<MediaTimeLine> timeline() const { return m_controller->getMedia()->getTimeline(); }
    int rulerX(int frame) const
    {
        // The ruler's origin is at x 60 and its span a quarter of its width.
        const int span = ruler()->width() / 4;
        return 60 + int(qint64(frame) * span / qMax(1, ruler()->getFrameCount()));
    }

    MainController *m_controller = nullptr;
    MainWindow *m_window = nullptr;
    QTemporaryDir m_media;
};

void tst_TimelineDisplay::initTestCase()
{
    m_controller = Application::instance()->getMainController();
    m_controller->exec();
    m_window = m_controller->getMainWindow();
    QVERIFY(m_window);
    InputController::Interaction answers = InputController::interaction();
    answers.inform = [](const QString &, const QString &) {};
    InputController::setInteraction(answers);
    const QString clip = test::TestMedia::make(test::TestMedia::VideoStereo, m_media.path(), 4.0);
    QVERIFY(!clip.isEmpty());
    m_controller->openFile(clip);
    QVERIFY(!m_controller->getMedia()->isEmpty());
    QVERIFY(ruler()->getFrameCount() > 50);
    waitForPlayer();
}

void tst_TimelineDisplay::cleanupTestCase()
{
    // No preload may still be under way when the process ends.
    waitForPlayer();
}

void tst_TimelineDisplay::waitForPlayer()
{
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    QVERIFY(player);
    QTRY_VERIFY_WITH_TIMEOUT(player->getState() != MediaPlayer::Preparing, 60000);
}

void tst_TimelineDisplay::init()
{
    m_controller->getUndoStack()->clear();
    timeline()->clearLoops();
    for (const VideoMarkerPtr &m : timeline()->getMarkers())
        timeline()->removeMarker(m);
    m_window->clearLoops();
    m_window->clearBookmarks();
    m_window->clearTmpLoops();
    m_window->setCurrentFrame(0);
}

void tst_TimelineDisplay::viewportFitsTheOpenedClip()
{
    TimelineWidget *frame = m_window->getTimeline();
    TimelineViewportWidget *viewport = frame->getViewport();
    const int visible = viewport->parentWidget()->width();
    QCOMPARE(viewport->width(), qMax(visible, visible * 4 - 240));
    QCOMPARE(viewport->getVideoTrack()->getFrameCount(), ruler()->getFrameCount());
    ruler()->setCurrentFrame(ruler()->getFrameCount());
    const QRect indicator = ruler()->getPosIndicatorGeom();
    QCOMPARE(indicator.left() + indicator.width() / 2, visible);
}

void tst_TimelineDisplay::endOfPlaybackShowsTheStart()
{
    const long length = long(m_controller->getMedia()->getDuration().toFrameUnits(false));
    m_window->setCurrentFrame(30);
    QCOMPARE(ruler()->getCurFrame(), 30);
    QCOMPARE(m_window->getMasterSlider()->sliderPosition(), 30);
    m_window->setCurrentFrame(length);
    QCOMPARE(ruler()->getCurFrame(), 0);
    QCOMPARE(m_window->getMasterSlider()->sliderPosition(), 0);
}

void tst_TimelineDisplay::heldSliderIsLeftAlone()
{
    QSlider *slider = m_window->getMasterSlider();
    m_window->setCurrentFrame(10);
    slider->setSliderDown(true);
    m_window->setCurrentFrame(40);
    QCOMPARE(slider->sliderPosition(), 10);
    QCOMPARE(ruler()->getCurFrame(), 10);
    slider->setSliderDown(false);
    m_window->setCurrentFrame(40);
    QCOMPARE(ruler()->getCurFrame(), 40);
}

void tst_TimelineDisplay::setCurrentTimeMovesTheSlider()
{
    m_window->setCurrentTime(QTime(0, 0, 2));
    QCOMPARE(m_window->getMasterSlider()->sliderPosition(), int(ruler()->getFps() * 2));
}

void tst_TimelineDisplay::tempoAndPitchFollowTheLoop_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("inside");
    QTest::newRow("inside") << 30 << true;
    QTest::newRow("on the end frame") << 40 << true;
    QTest::newRow("one after the end") << 41 << false;
    QTest::newRow("before") << 5 << false;
}

void tst_TimelineDisplay::tempoAndPitchFollowTheLoop()
{
    QFETCH(int, frame);
    QFETCH(bool, inside);
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    o->setProjectTempo(100.0f);
    o->setProjectPitch(0.0f);
    VideoLoopPtr loop = timeline()->allocLoop(20, 40);
    loop->setTempo(75.0f);
    loop->setPitch(2.0f);
    timeline()->addLoop(loop);
    m_window->addLoop(loop);
    m_window->setCurrentFrame(frame);
    // The side panel's sliders hold hundredths.
    EditVideoWidget *panel = m_window->getEditVideoWidget();
    auto *tempo = panel->findChild<QSlider *>(QStringLiteral("tempoSlider"));
    auto *pitch = panel->findChild<QSlider *>(QStringLiteral("pitchSlider"));
    QVERIFY(tempo && pitch);
    QCOMPARE(tempo->value(), inside ? 7500 : 10000);
    QCOMPARE(pitch->value(), inside ? 200 : 0);
}

void tst_TimelineDisplay::thumbnails()
{
    VideoThumbnailWidget *video = m_window->addThumbnail(50, 20, QStringLiteral("Clip"), QImage());
    AudioThumbnailWidget *audio = m_window->addThumbnail(0, 50, QImage());
    QVERIFY(video && audio);
    TimelineViewportWidget *viewport = m_window->getTimeline()->getViewport();
    // Beside the project's own thumbnails, each on its own row.
    QVERIFY(viewport->getVideoTrack()->getThumbnails().contains(video));
    QVERIFY(!viewport->getVideoTrack()->getThumbnails().contains(audio));
    QVERIFY(viewport->getAudioTrack()->getThumbnails().contains(audio));
    QVERIFY(!viewport->getAudioTrack()->getThumbnails().contains(video));
    // The row lays its thumbnails side by side in start order: this one
    // after the project's own, which starts at frame 0.
    QVERIFY(video->x() >= viewport->getVideoTrack()->positionFromValue(50));

    // A click on a thumbnail starting at frame 50 moves to frame 51.
    emit video->clicked(Qt::LeftButton);
    QCOMPARE(ruler()->getCurFrame(), 51);

    QPointer<AbstractThumbnail> videoGuard = video;
    QPointer<AbstractThumbnail> audioGuard = audio;
    m_window->removeThumbnail(video);
    QVERIFY(!videoGuard);
    QVERIFY(audioGuard);
    m_window->updateThumbnails();
    m_window->removeThumbnail(audio);
    QVERIFY(!audioGuard);
}

void tst_TimelineDisplay::loopDrawnOnTheRulerIsUndoable()
{
    QUndoStack *stack = m_controller->getUndoStack();
    // Left click places the start, right click the end; the loop command
    // travels queued through the window to the controller.
    QTest::mouseClick(ruler(), Qt::LeftButton, Qt::NoModifier, QPoint(rulerX(20), 40));
    QTest::mouseClick(ruler(), Qt::RightButton, Qt::NoModifier, QPoint(rulerX(60), 40));
    QTRY_COMPARE(stack->count(), 1);
    QCOMPARE(stack->command(0)->text(), QStringLiteral("AddLoopCommand"));
    QCOMPARE(timeline()->getLoops().size(), 1);
    const VideoLoopPtr loop = timeline()->getLoops().constFirst();
    QVERIFY(loop->getStartFrame() < loop->getEndFrame());
    QCOMPARE(ruler()->getLoops(), QVector<VideoLoopPtr>{loop});
    TimelineViewportOverlay *overlay = m_window->getTimeline()->getViewport()->getOverlay();
    QCOMPARE(overlay->getLoops(), QVector<VideoLoopPtr>{loop});

    stack->undo();
    QVERIFY(timeline()->getLoops().isEmpty());
    QVERIFY(ruler()->getLoops().isEmpty());
    QVERIFY(overlay->getLoops().isEmpty());
    stack->redo();
    QCOMPARE(timeline()->getLoops(), QVector<VideoLoopPtr>{loop});
    QCOMPARE(overlay->getLoops(), QVector<VideoLoopPtr>{loop});

    // Ctrl+Delete removes every loop, undoably.
    QTest::keyClick(m_window, Qt::Key_Delete, Qt::ControlModifier);
    QTRY_COMPARE(stack->count(), 2);
    QVERIFY(timeline()->getLoops().isEmpty());
    QVERIFY(overlay->getLoops().isEmpty());
    stack->undo();
    QCOMPARE(timeline()->getLoops(), QVector<VideoLoopPtr>{loop});
    QCOMPARE(overlay->getLoops(), QVector<VideoLoopPtr>{loop});
}

void tst_TimelineDisplay::bookmarkClickAndRemoval()
{
    QUndoStack *stack = m_controller->getUndoStack();
    QTest::mouseClick(ruler(), Qt::LeftButton, Qt::NoModifier, QPoint(rulerX(50), 8));
    QTRY_COMPARE(stack->count(), 1);
    QCOMPARE(stack->command(0)->text(), QStringLiteral("AddBookmarkCommand"));
    QCOMPARE(timeline()->getMarkers().size(), 1);
    const VideoMarkerPtr bookmark = timeline()->getMarkers().constFirst();
    QCOMPARE(bookmark->getName(), QStringLiteral("M1"));
    QCOMPARE(ruler()->getBookmarks(), QVector<VideoMarkerPtr>{bookmark});
    stack->undo();
    QVERIFY(timeline()->getMarkers().isEmpty());
    QVERIFY(ruler()->getBookmarks().isEmpty());
    stack->redo();
    QCOMPARE(timeline()->getMarkers(), QVector<VideoMarkerPtr>{bookmark});
    QCOMPARE(ruler()->getBookmarks(), QVector<VideoMarkerPtr>{bookmark});
}

void tst_TimelineDisplay::deletingALoopFromTheRuler()
{
    QUndoStack *stack = m_controller->getUndoStack();
    const VideoLoopPtr loop = timeline()->allocLoop(20, 60);
    timeline()->addLoop(loop);
    m_window->addLoop(loop);
    // The ruler's loop menu "Delete" asks for the removal.
    emit ruler()->removeLoopRequested(loop);
    QTRY_COMPARE(stack->count(), 1);
    QCOMPARE(stack->command(0)->text(), QStringLiteral("RemoveLoopCommand"));
    QVERIFY(timeline()->getLoops().isEmpty());
    QVERIFY(m_window->getTimeline()->getViewport()->getOverlay()->getLoops().isEmpty());
    stack->undo();
    QCOMPARE(timeline()->getLoops(), QVector<VideoLoopPtr>{loop});

    // An edit request becomes a fitted, undoable edit.
    const VideoLoopPtr before(new VideoLoop(*loop));
    const VideoLoopPtr after(new VideoLoop(*loop));
    after->setEndFrame(90);
    emit ruler()->editLoopRequested(before, loop, after);
    QTRY_COMPARE(loop->getEndFrame(), 90);
    QCOMPARE(stack->command(stack->index() - 1)->text(), QStringLiteral("EditLoopCommand"));
    stack->undo();
    QCOMPARE(loop->getEndFrame(), 60);
}

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_TimelineDisplay tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_TimelineDisplay.moc"
