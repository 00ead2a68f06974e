// The frame size and the track flags through the controller on a real
// clip, with redo, undo and redo again.
#include "EditFixture.h"

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

#include "tst_EditFrameAndTracks.moc"
