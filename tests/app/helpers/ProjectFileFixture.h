#pragma once

// The ground the project file tests share: two clips and a saved project
// over the first, opened through the controller, every log message kept,
// and the dialogs answered by a stand-in. Included only by those tests.
#include "ModalAnswerer.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/AddBookmarkCommand.h"
#include "app/AddLoopCommand.h"
#include "app/Application.h"
#include "app/MainController.h"
#include "app/RemoveAllLoopsCommand.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/ProgressMonitor.h"
#include "core/Singleton.h"
#include "io/InputController.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"
#include "model/VideoLoop.h"
#include "model/VideoMarker.h"
#include "playback/MediaPlayer.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"

#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoCommand>
#include <QUndoStack>
#include <QDialog>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <sys/resource.h>


using namespace TW;
using test::ModalAnswerer;
using test::TestMedia;

namespace {

QMutex g_mutex;
QStringList g_messages;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker lock(&g_mutex);
        g_messages << message;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

bool logged(const QString &text)
{
    QMutexLocker lock(&g_mutex);
    for (const QString &m : g_messages) {
        if (m.contains(text))
            return true;
    }
    return false;
}

using TW::test::readFile;
using TW::test::writeFile;

OptionsHolder *projectOptions()
{
    return Singleton<OptionsHolder>::instance();
}

bool allTracksLoaded(const Media &media)
{
    for (const auto &fragment : media.getTrackFragments()) {
        if (!fragment->track || !fragment->track->isLoaded())
            return false;
    }
    return true;
}

// The import's progress dialog, when one is on screen.
QDialog *visibleProgressDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->inherits("TW::ProgressDialog") && w->isVisible())
            return qobject_cast<QDialog *>(w);
    }
    return nullptr;
}

// Limits the size of files this process writes, as a full disk would.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_signal);
    }
    bool isActive() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_signal)(int) = nullptr;
    bool m_active = false;
};

} // namespace

class ProjectFileFixture
{
protected:
    // What initTestCase, init and cleanupTestCase of each test do.
    void setUpCase();
    void setUp();
    void tearDownCase();
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Opens through the controller once the running output has started:
    // libvlc can deadlock when an output is stopped while still starting.
    void open(const QString &file);
    // Opens with a clean undo stack, so no question is asked.
    bool openQuietly(const QString &file);
    // Leaves the fresh empty project a failed open installs.
    void makeEmpty();
    // What a failed open must leave: a fresh project and player, the user told why.
    // After a failed open: the project, player and window as they were.
    void verifyProjectKept(const QSharedPointer<Media> &mediaBefore, const QSharedPointer<MediaPlayer> &playerBefore,
                           const QString &titleBefore);
    // The project as a save would write it.
    QByteArray projectText() const;

    MainController *m_controller = nullptr;
    MainWindow *m_window = nullptr;
    std::unique_ptr<ModalAnswerer> m_answers;
    QTemporaryDir m_dir;
    QString m_clip;
    QString m_otherClip;
    QString m_project; // a saved project over m_clip
};

inline void ProjectFileFixture::setUpCase()
{
    QVERIFY(m_dir.isValid());
    m_controller = Application::instance()->getMainController();
    m_controller->exec();
    m_window = m_controller->getMainWindow();
    g_previousHandler = qInstallMessageHandler(recordMessage);
    m_answers = std::make_unique<ModalAnswerer>();
    QDir().mkpath(path("a"));
    QDir().mkpath(path("b"));
    m_clip = TestMedia::make(TestMedia::VideoStereo, path("a"), 2.0);
    m_otherClip = TestMedia::make(TestMedia::VideoStereo, path("b"), 1.0);
    QVERIFY(!m_clip.isEmpty());
    QVERIFY(!m_otherClip.isEmpty());
    Options::instance()->setPath(SaveProjectFolder, path("saved"));

    QVERIFY(openQuietly(m_clip));
    m_answers->answerFile(path("base"));
    m_controller->saveCurrentProjectAs();
    m_project = path("base.twp");
    QVERIFY(QFile::exists(m_project));
}


inline void ProjectFileFixture::setUp()
{
    m_answers->clear();
    QMutexLocker lock(&g_mutex);
    g_messages.clear();
}


inline void ProjectFileFixture::tearDownCase()
{
    m_answers.reset();
    qInstallMessageHandler(g_previousHandler);
}


inline void ProjectFileFixture::open(const QString &file)
{
    m_controller->openFile(file);
}


inline bool ProjectFileFixture::openQuietly(const QString &file)
{
    m_controller->getUndoStack()->clear();
    m_controller->getUndoStack()->setClean();
    open(file);
    const QSharedPointer<Media> media = m_controller->getMedia();
    return !media->isEmpty() && allTracksLoaded(*media);
}


// A failed open keeps the open project, so an empty project comes from a
// project file that holds no media.
inline void ProjectFileFixture::makeEmpty()
{
    const QString empty = writeFile(path("nothing.twp"),
                                    "<tarnwell_project version=\"2\">\n <media/>\n <options/>\n</tarnwell_project>\n");
    m_controller->getUndoStack()->clear();
    m_controller->getUndoStack()->setClean();
    open(empty);
    m_answers->clear();
}


inline void ProjectFileFixture::verifyProjectKept(const QSharedPointer<Media> &mediaBefore,
                                        const QSharedPointer<MediaPlayer> &playerBefore, const QString &titleBefore)
{
    QCOMPARE(m_controller->getMedia(), mediaBefore);
    QVERIFY(!mediaBefore->isEmpty());
    QVERIFY(allTracksLoaded(*mediaBefore));
    QCOMPARE(m_controller->getMediaPlayer(), playerBefore);
    QCOMPARE(m_window->windowTitle(), titleBefore);
    QCOMPARE(m_window->getTimeArea()->getFrameCount(), 50);
    QVERIFY(!InputController::isBusy());
    QVERIFY2(!visibleProgressDialog(), "\"Importing video\" stayed on screen");
}


inline QByteArray ProjectFileFixture::projectText() const
{
    QDomDocument document;
    QDomElement root = document.createElement(QStringLiteral("tarnwell_project"));
    document.appendChild(root);
    root.appendChild(m_controller->getMedia()->toDomElement(document, QStringLiteral("media")));
    root.appendChild(projectOptions()->toDomElement(document, QStringLiteral("options")));
    return document.toByteArray(1);
}

