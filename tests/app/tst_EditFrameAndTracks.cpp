// The frame size, the track flags and the tempo and pitch through the
// controller on a real clip, with redo, undo and redo again.
#include "EditFixture.h"

#include "model/PlaybackSettings.h"
#include "model/Project.h"

using namespace TW;
using namespace TW::test;

class tst_EditFrameAndTracks : public QObject, protected EditFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanupTestCase() { tearDownCase(); }

    void frameSizeUndoRestoresAspectRatio();
    void customSizeThroughTheDialog();
    void trackFlags();
    void tempoAndPitchThroughTheProject();
};


void tst_EditFrameAndTracks::frameSizeUndoRestoresAspectRatio()
{
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    o->m_videoWidth = 720;
    o->m_videoHeight = 480;
    o->m_aspectRatio = QSize(16, 9);
    m_window->setCurrentFrame(100);
    m_controller->onSizeClicked(QSize(640, 360));
    QCOMPARE(QSize(o->m_videoWidth, o->m_videoHeight), QSize(640, 360));
    QCOMPARE(o->m_aspectRatio, QSize(640, 360));
    QCOMPARE(Options::instance()->getSizeMostRecent(), QSize(640, 360));
    QCOMPARE(m_window->getCurFrame(), 0);
    m_controller->onSizeClicked(QSize(1280, 720));
    stack()->undo();
    QCOMPARE(QSize(o->m_videoWidth, o->m_videoHeight), QSize(640, 360));
    QCOMPARE(o->m_aspectRatio, QSize(640, 360));
    stack()->undo();
    QCOMPARE(QSize(o->m_videoWidth, o->m_videoHeight), QSize(720, 480));
    QCOMPARE(o->m_aspectRatio, QSize(16, 9));
    QCOMPARE(Options::instance()->getSizeMostRecent(), QSize(720, 480));
    // The source's own size.
    m_controller->onSizeOriginalClicked();
    QCOMPARE(QSize(o->m_videoWidth, o->m_videoHeight), QSize(320, 240));
}


void tst_EditFrameAndTracks::customSizeThroughTheDialog()
{
    answerDialog<SizeCustomDialog>([](SizeCustomDialog *dialog) {
        const auto fields = dialog->findChildren<QLineEdit *>();
        fields.at(0)->setText("1024");
        fields.at(1)->setText("576");
        for (QPushButton *b : dialog->findChildren<QPushButton *>())
            if (b->text() == "OK")
                b->click();
    });
    m_controller->onSizeCustomClicked();
    QCOMPARE(Options::instance()->getSizeCustom(), QSize(1024, 576));
    QCOMPARE(stack()->count(), 1);
    const OptionsHolder *o = Singleton<OptionsHolder>::instance();
    QCOMPARE(QSize(o->m_videoWidth, o->m_videoHeight), QSize(1024, 576));
}


void tst_EditFrameAndTracks::trackFlags()
{
    TimelineWidget *row = m_window->getTimeline();
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    row->onVideoPlayableClicked();
    QVERIFY(!timeline()->isVideoPlayable());
    row->onAudioPlayableClicked();
    QVERIFY(!timeline()->isAudioPlayable());
    row->onVideoLockClicked();
    QVERIFY(timeline()->isVideoLocked());
    QVERIFY(m_window->isVideoLocked());
    // A change to save.
    QVERIFY(!stack()->isClean());
    row->onVideoPlayableClicked();
    row->onAudioPlayableClicked();
    row->onVideoLockClicked();
    QVERIFY(timeline()->isVideoPlayable() && timeline()->isAudioPlayable() && !timeline()->isVideoLocked());

    // Saved with the project and back on open, in the window and the model.
    row->onVideoPlayableClicked();
    row->onAudioLockClicked();
    m_answers->answerFile(m_dir.filePath("flags"));
    m_controller->saveCurrentProjectAs();
    QVERIFY(QFileInfo::exists(m_dir.filePath("flags.twp")));
    m_window->setVideoPlayable(true);
    m_window->setAudioLocked(false);
    m_controller->openFile(m_dir.filePath("flags.twp"));
    QVERIFY(!timeline()->isVideoPlayable());
    QVERIFY(timeline()->isAudioLocked());
    QVERIFY(!m_window->getTimeline()->isVideoPlayable());
    QVERIFY(m_window->isAudioLocked());
    QVERIFY(timeline()->isAudioPlayable() && !timeline()->isVideoLocked());
    row->onVideoPlayableClicked();
    row->onAudioLockClicked();
    QVERIFY(timeline()->isVideoPlayable() && !timeline()->isAudioLocked());
    Q_UNUSED(player);
}

int main(int argc, char **argv)
{
    isolateHome();
    Q_INIT_RESOURCE(resources);
    // The test's own arguments (test functions to run) are no files to open.
    int appArgc = 1;
    Application app(appArgc, argv);
    tst_EditFrameAndTracks tc;
    return QTest::qExec(&tc, argc, argv);
}

// The side panel's tempo and pitch land in the project: outside the loops
// as the project's values, inside one as the loop's. The player is handed
// the new values at once and the window shows the values in force.
void tst_EditFrameAndTracks::tempoAndPitchThroughTheProject()
{
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    auto *tempoSlider = m_window->getEditVideoWidget()->findChild<QSlider *>(QStringLiteral("tempoSlider"));
    QVERIFY(tempoSlider);
    stack()->setClean();

    // Frame 100 lies between L0 [20, 80] and L1 [120, 260].
    moveTo(100);
    m_controller->onTempoChanged(80.0f);
    m_controller->onPitchChanged(-3.0f);
    QCOMPARE(o->getProjectTempo(), 80.0f);
    QCOMPARE(o->getProjectPitch(), -3.0f);
    QCOMPARE(player->getCommonTempo(), 80.0f);
    QCOMPARE(player->getCommonPitch(), -3.0f);
    QCOMPARE(player->getEffectiveTempo(), 80.0f);
    QCOMPARE(tempoSlider->value(), 8000);
    // Not an undo command, but a change to save.
    QVERIFY(!stack()->isClean());

    moveTo(50);
    const VideoLoopPtr loop = timeline()->getLoopByFrame(50);
    QVERIFY(loop);
    m_controller->onTempoChanged(60.0f);
    QCOMPARE(loop->getTempo(), 60.0f);
    QCOMPARE(o->getProjectTempo(), 80.0f);
    QCOMPARE(player->getPlaybackSettings()->loopWithId(loop->getID())->getTempo(), 60.0f);
    QCOMPARE(player->getCommonTempo(), 80.0f);
    QCOMPARE(m_controller->getProject()->valuesAt(50).tempo, 60.0f);
    QCOMPARE(tempoSlider->value(), 6000);

    // Back outside, the panel shows the project's tempo again.
    moveTo(100);
    QCOMPARE(tempoSlider->value(), 8000);
    m_controller->onTempoChanged(100.0f);
    m_controller->onPitchChanged(0.0f);
    QCOMPARE(player->getCommonTempo(), 100.0f);
}

#include "tst_EditFrameAndTracks.moc"
