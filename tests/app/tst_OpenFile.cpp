// Opening files through the controller, with a real clip: what the window
// shows after a good open, the open project kept after a failed one, and
// the question about unsaved changes on closing.
#include "ModalAnswerer.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "core/Options.h"
#include "dialogs/OptionsDialog.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "io/InputController.h"
#include "model/Media.h"
#include "core/PathType.h"
#include "model/MediaTrackFragment.h"
#include "model/MediaTrack.h"
#include "model/MediaTimeLine.h"
#include "model/VideoLoop.h"
#include "playback/MediaPlayer.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"
#include "ui/VideoControlsWidget.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

using namespace TW;

class tst_OpenFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void missingFileChangesNothing();
    void undecodableNameOpens();
    void openClip();
    void tempoIsStoredWithTheProject();
    void zoomStepShowsOnTheSlider();
    void positionDisplay();
    void transportClickSeeks();
    void brokenFileKeepsTheOpenProject_data();
    void brokenFileKeepsTheOpenProject();
    void closingAsksAboutUnsavedChanges();
    void closingClearsUnusedConversions();

private:
    MainController *m_controller = nullptr;
    MainWindow *m_window = nullptr;
    QTemporaryDir m_media;
    QString m_clip;
    QString m_linked; // what undecodableNameOpens opened
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
    // A missing file is named to the user.
    m_answers->answerBox(QMessageBox::Ok);
    m_controller->openFile(m_media.filePath(QStringLiteral("absent.mp4")));
    QCOMPARE(m_answers->answersLeft(), 0);
    QVERIFY2(m_answers->boxes().constLast().contains(QStringLiteral("absent.mp4")),
             qPrintable(m_answers->boxes().constLast()));
    QCOMPARE(m_controller->getMedia(), project);
    QCOMPARE(m_controller->getMediaPlayer(), player);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarnwell"));
    QVERIFY(Options::instance()->getOpenedFiles().isEmpty());
}

// A clip whose name is not valid UTF-8 (Latin-1 bytes, as the command line
// hands it over) opens instead of being reported missing.
void tst_OpenFile::undecodableNameOpens()
{
    const QByteArray raw = QFile::encodeName(m_media.path()) + "/r\xe9p\xe9tition.mp4";
    QVERIFY(QFile::copy(m_clip, m_media.filePath(QStringLiteral("copy.mp4"))));
    QCOMPARE(::rename(QFile::encodeName(m_media.filePath(QStringLiteral("copy.mp4"))).constData(), raw.constData()),
             0);
    const QString decoded = QFile::decodeName(raw);
    QVERIFY(!QFileInfo::exists(decoded));
    const int boxes = m_answers->boxes().size();
    m_controller->openFile(decoded);
    QCOMPARE(m_answers->boxes().size(), boxes);
    QVERIFY(!m_controller->getMedia()->isEmpty());
    QCOMPARE(m_window->getTimeArea()->getFrameCount(), 50);
    // Remembered by a name that opens again.
    m_linked = Options::instance()->getOpenedFiles().value(0);
    char target[4096];
    const ssize_t n = ::readlink(QFile::encodeName(m_linked).constData(), target, sizeof target);
    QCOMPARE(QByteArray(target, int(qMax<ssize_t>(0, n))), raw);
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

// A click in the transport's groove seeks there: the slider, the ruler and
// the player agree on the place; arrow keys move all three together.
void tst_OpenFile::transportClickSeeks()
{
    QSlider *slider = m_window->getMasterSlider();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QVERIFY(slider->width() > 100);
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    m_window->setCurrentFrame(0);
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() * 3 / 4, slider->height() / 2));
    const int frame = slider->value();
    // Three quarters of 50 frames, give or take the handle's half width.
    QVERIFY2(qAbs(frame - 37) <= 2, qPrintable(QString::number(frame)));
    QCOMPARE(m_window->getCurFrame(), frame);
    QCOMPARE(player->getCurrentMediaTime().toFrameUnits(false), qint64(frame));

    QTest::keyClick(slider, Qt::Key_Left);
    const int back = slider->value();
    QVERIFY(back < frame);
    QCOMPARE(m_window->getCurFrame(), back);
    QCOMPARE(player->getCurrentMediaTime().toFrameUnits(false), qint64(back));
}

void tst_OpenFile::brokenFileKeepsTheOpenProject_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("told");
    QByteArray noise(4096, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919) % 251);
    QTest::newRow("noise named .mp4") << "noise.mp4" << noise << "";
    QTest::newRow("text named .mp4") << "text.mp4" << QByteArray("just some words\n") << "";
    // A damaged project says so, with the place of the fault, rather than
    // that it could not be converted as a video.
    QTest::newRow("broken project")
        << "broken.twp" << QByteArray("<?xml version=\"1.0\"?>\n<tarnwell_project version=\"2\">\n<media>\n</oops>")
        << "could not be read: ";
    QTest::newRow("binary project") << "binary.twp" << noise << "could not be read: ";
}

void tst_OpenFile::brokenFileKeepsTheOpenProject()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, told);
    const QString broken = m_media.filePath(name);
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    const QSharedPointer<Media> project = m_controller->getMedia();
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    const QString title = m_window->windowTitle();
    QVERIFY(!project->isEmpty());
    // The tempo changes above are unsaved: close the project without saving.
    m_answers->answerBox(QMessageBox::Yes);
    m_answers->answerBox(QMessageBox::No);
    m_informed.clear();
    const int boxesBefore = m_answers->boxes().size();
    if (!told.isEmpty())
        m_answers->answerBox(QMessageBox::Ok);
    m_controller->openFile(broken);
    QVERIFY2(m_answers->unexpected().isEmpty(), qPrintable(m_answers->unexpected().join(QLatin1Char('|'))));
    QCOMPARE(m_answers->answersLeft(), 0);
    const QStringList told_ = m_informed + m_answers->boxes().mid(boxesBefore + 2);
    QVERIFY2(!told_.isEmpty(), "the user was not told why the file did not open");
    if (!told.isEmpty()) {
        QVERIFY2(told_.join(QLatin1Char('|')).contains(told), qPrintable(told_.join(QLatin1Char('|'))));
        QVERIFY2(told_.join(QLatin1Char('|')).contains(QStringLiteral("line ")), qPrintable(told_.join(QLatin1Char('|'))));
    }
    // The open project is as it was: the same project, player and window.
    QCOMPARE(m_controller->getMedia(), project);
    QCOMPARE(m_controller->getMediaPlayer(), player);
    QVERIFY(!project->isEmpty());
    QCOMPARE(m_window->windowTitle(), title);
    QCOMPARE(m_window->getTimeArea()->getFrameCount(), 50);
    QCOMPARE(Singleton<OptionsHolder>::instance()->getProjectTempo(), 75.0f);
    QVERIFY(!m_controller->getUndoStack()->isClean());
    // The recent files keep only what opened.
    QCOMPARE(Options::instance()->getOpenedFiles(), (QStringList{m_clip, m_linked}));
}

void tst_OpenFile::closingAsksAboutUnsavedChanges()
{
    QVERIFY(!m_controller->getUndoStack()->isClean());
    QVERIFY(m_window->isWindowModified());
    QVERIFY(m_window->windowTitle().contains(QStringLiteral("[*]")));
    // Cancel keeps the window and the changes.
    m_answers->answerBox(QMessageBox::Cancel);
    QVERIFY(!m_window->close());
    QCOMPARE(m_answers->answersLeft(), 0);
    QVERIFY(m_answers->boxes().constLast().contains(QStringLiteral("not saved")));
    QVERIFY(!m_controller->getUndoStack()->isClean());
    // Save asks where, writes the project and lets the window close.
    const QString saved = m_media.filePath(QStringLiteral("closing.twp"));
    m_answers->answerBox(QMessageBox::Save);
    m_answers->answerFile(saved);
    QVERIFY(m_controller->confirmClose());
    QCOMPARE(m_answers->answersLeft(), 0);
    QVERIFY(QFileInfo::exists(saved));
    QVERIFY(m_controller->getUndoStack()->isClean());
    QVERIFY(!m_window->isWindowModified());
    // A clean project closes without a question; Discard closes a changed one.
    QVERIFY(m_controller->confirmClose());
    m_controller->onVoumeChanged(40);
    QVERIFY(m_window->isWindowModified());
    m_answers->answerBox(QMessageBox::Discard);
    QVERIFY(m_controller->confirmClose());
    QCOMPARE(m_answers->answersLeft(), 0);
    QVERIFY2(m_answers->unexpected().isEmpty(), qPrintable(m_answers->unexpected().join(QLatin1Char('|'))));
}

// With "clear unused files on closing" set, shutting down removes the
// conversions no project uses and keeps the open project's.
void tst_OpenFile::closingClearsUnusedConversions()
{
    const QString cache = Options::instance()->getPath(CacheFolder);
    const QString unused = QDir(cache).filePath(QString(48, QLatin1Char('0')) + QStringLiteral(".avi"));
    QFile f(unused);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(QFile::copy(unused, unused + QStringLiteral(".finished")));
    const QString open = m_controller->getMedia()->getTrackFragments().first()->track->getName();
    QVERIFY(QFile::exists(open));
    Options::instance()->setClearCacheOnExit(false);
    m_controller->release();
    QVERIFY(QFile::exists(unused));
    // Switched on as the user does: in the options dialog, then Save.
    {
        OptionsDialog dialog;
        dialog.findChild<QCheckBox *>(QStringLiteral("clearCacheCheckbox"))->setChecked(true);
        dialog.findChild<QPushButton *>(QStringLiteral("savePushButton"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    QVERIFY(Options::instance()->getClearCacheOnExit());
    m_controller->release();
    QVERIFY(!QFile::exists(unused));
    QVERIFY(!QFile::exists(unused + QStringLiteral(".finished")));
    QVERIFY(QFile::exists(open));
    QVERIFY(QFile::exists(open + QStringLiteral(".finished")));
    Options::instance()->setClearCacheOnExit(false);
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
