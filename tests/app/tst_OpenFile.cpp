// Opening files through the controller, with a real clip: what the window
// shows after a good open, and the fresh project after a failed one.
#include "ModalAnswerer.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "io/InputController.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/VideoLoop.h"
#include "playback/MediaPlayer.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"
#include "ui/VideoControlsWidget.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

using namespace TW;

class tst_OpenFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void missingFileChangesNothing();
    void openClip();
    void tempoIsStoredWithTheProject();
    void zoomStepShowsOnTheSlider();
    void positionDisplay();
    void brokenFileLeavesAFreshProject();

private:
    MainController *m_controller = nullptr;
    MainWindow *m_window = nullptr;
    QTemporaryDir m_media;
    QString m_clip;
    QStringList m_informed;
    // Any other box is answered too: a test fails rather than waits.
    std::unique_ptr<test::ModalAnswerer> m_answers;
};

void tst_OpenFile::initTestCase()
{
    m_controller = Application::instance()->getMainController();
    m_controller->exec();
    m_window = m_controller->getMainWindow();
    // Boxes the import would show are answered here instead of by a user.
    InputController::Interaction answers = InputController::interaction();
    answers.inform = [this](const QString &title, const QString &text) { m_informed << title + QLatin1Char(':') + text; };
    InputController::setInteraction(answers);
    m_answers = std::make_unique<test::ModalAnswerer>();
    m_clip = test::TestMedia::make(test::TestMedia::VideoStereo, m_media.path(), 2.0);
    QVERIFY(!m_clip.isEmpty());
}

void tst_OpenFile::missingFileChangesNothing()
{
    const QSharedPointer<Media> project = m_controller->getMedia();
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    m_controller->openFile(QString());
    m_controller->openFile(m_media.filePath(QStringLiteral("absent.mp4")));
    QCOMPARE(m_controller->getMedia(), project);
    QCOMPARE(m_controller->getMediaPlayer(), player);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarnwell"));
    QVERIFY(Options::instance()->getOpenedFiles().isEmpty());
}

void tst_OpenFile::openClip()
{
    m_controller->openFile(m_clip);
    QVERIFY(!m_controller->getMedia()->isEmpty());
    QVERIFY2(m_window->windowTitle().startsWith(QStringLiteral("Tarnwell - ")), qPrintable(m_window->windowTitle()));
    QVERIFY(m_window->windowTitle().endsWith(QStringLiteral(" Hz")));
    QCOMPARE(Options::instance()->getOpenedFiles().value(0), m_clip);
    QVERIFY(m_controller->getUndoStack()->isClean());
    // Two seconds at 25 frames per second.
    QCOMPARE(m_window->getTimeArea()->getFrameCount(), 50);
    QCOMPARE(m_window->getMasterSlider()->maximum(), 50);
    QCOMPARE(m_window->getCurFrame(), 0);
}

void tst_OpenFile::tempoIsStoredWithTheProject()
{
    OptionsHolder *options = Singleton<OptionsHolder>::instance();
    m_window->getEditVideoWidget()->button(QStringLiteral("tempo75Btn"))->click();
    QCOMPARE(options->getProjectTempo(), 75.0f);
    m_window->getEditVideoWidget()->button(QStringLiteral("plusPitchBtn"))->click();
    QCOMPARE(options->getProjectPitch(), 1.0f);
}

void tst_OpenFile::zoomStepShowsOnTheSlider()
{
    QSlider *zoom = m_window->getVideoControls()->zoomSlider();
    // Zoom 1.0 to 16.0 in 20 steps: one step in is 1.75, 5 % of the range.
    m_controller->onVideoZoomIn();
    QCOMPARE(zoom->value(), 5);
    m_controller->onVideoZoomOut();
    QCOMPARE(zoom->value(), 0);
    m_controller->onVideoZoomOut(); // clamped at the minimum
    QCOMPARE(zoom->value(), 0);
}

void tst_OpenFile::positionDisplay()
{
    EditVideoWidget *panel = m_window->getEditVideoWidget();
    QSharedPointer<VideoLoop> loop(new VideoLoop);
    loop->setStartFrame(10);
    loop->setEndFrame(20);
    loop->setTempo(60.0f);
    loop->setPitch(-3.0f);
    m_controller->getMedia()->getTimeline()->addLoop(loop);
    m_window->addLoop(loop);

    // Inside the loop the panel shows the loop's values, outside the project's.
    m_window->setCurrentFrame(15);
    QCOMPARE(m_window->getCurFrame(), 15);
    QCOMPARE(m_window->getMasterSlider()->value(), 15);
    QCOMPARE(panel->tempoLabel()->text(), QStringLiteral("TEMPO: 60%"));
    QCOMPARE(panel->pitchLabel()->text(), QStringLiteral("PITCH: -3"));
    m_window->setCurrentFrame(30);
    QCOMPARE(panel->tempoLabel()->text(), QStringLiteral("TEMPO: 75%"));

    // The end of playback shows as the start.
    m_window->setCurrentFrame(50);
    QCOMPARE(m_window->getCurFrame(), 0);

    // A step of one second at 25 fps, and none past the last frame.
    m_window->getVideoControls()->button(QStringLiteral("ff1ToolButton"))->click();
    QCOMPARE(m_window->getCurFrame(), 25);
    m_window->getVideoControls()->button(QStringLiteral("ff1ToolButton"))->click();
    QCOMPARE(m_window->getCurFrame(), 50);
    m_window->getVideoControls()->button(QStringLiteral("ff1ToolButton"))->click();
    QCOMPARE(m_window->getCurFrame(), 50);
    m_window->getVideoControls()->button(QStringLiteral("ffmFToolButton"))->click();
    QCOMPARE(m_window->getCurFrame(), 49);

    // The loop's own tempo changes while the position is inside it.
    m_window->setCurrentFrame(12);
    panel->button(QStringLiteral("tempo40Btn"))->click();
    QCOMPARE(loop->getTempo(), 40.0f);
    QCOMPARE(Singleton<OptionsHolder>::instance()->getProjectTempo(), 75.0f);
}

void tst_OpenFile::brokenFileLeavesAFreshProject()
{
    const QString broken = m_media.filePath(QStringLiteral("noise.mp4"));
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QByteArray noise(4096, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919) % 251);
    f.write(noise);
    f.close();
    const QSharedPointer<MediaPlayer> before = m_controller->getMediaPlayer();
    // The tempo changes above are unsaved: close the project without saving.
    m_answers->answerBox(QMessageBox::Yes);
    m_answers->answerBox(QMessageBox::No);
    m_controller->openFile(broken);
    QVERIFY2(m_answers->unexpected().isEmpty(), qPrintable(m_answers->unexpected().join(QLatin1Char('|'))));
    QCOMPARE(m_answers->answersLeft(), 0);
    QVERIFY2(!m_informed.isEmpty(), "the user was not told why the file did not open");
    QVERIFY(m_controller->getMedia()->isEmpty());
    QVERIFY(m_controller->getMediaPlayer() != before);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarnwell"));
    QCOMPARE(m_window->getTimeArea()->getFrameCount(), 0);
    // The recent files keep only what opened.
    QCOMPARE(Options::instance()->getOpenedFiles(), QStringList{m_clip});
}

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_OpenFile tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_OpenFile.moc"
