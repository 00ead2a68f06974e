// Opening files through the controller, with a real clip: what the window
// shows after a good open, and the fresh project after a failed one.
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "app/SettingsStateFirst.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "playback/MediaPlayer.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"

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
    void brokenFileLeavesAFreshProject();

private:
    MainController *m_controller = nullptr;
    MainWindow *m_window = nullptr;
    QTemporaryDir m_media;
    QString m_clip;
};

void tst_OpenFile::initTestCase()
{
    m_controller = Application::instance()->getMainController();
    m_controller->exec();
    m_window = m_controller->getMainWindow();
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
    m_controller->openFile(broken);
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
