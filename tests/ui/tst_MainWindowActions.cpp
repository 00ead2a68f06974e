// The main window made with a stand-in for the application's actions: each
// user gesture reaches the actions as the call it stands for, with the
// loops and bookmarks it names, and the undo commands the actions make for
// loop and bookmark gestures leave on the window's execute signal. No
// controller exists in this program.
#include "TestEnv.h"

#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/VideoLoop.h"
#include "model/VideoMarker.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowActions.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TopToolbarWidget.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUndoCommand>
#include <QtTest>

using namespace TW;

namespace {

QString describe(const QSharedPointer<VideoLoop> &loop)
{
    return loop ? QStringLiteral("%1-%2").arg(loop->getStartFrame()).arg(loop->getEndFrame())
                : QStringLiteral("none");
}

QString describe(const QSharedPointer<VideoMarker> &bookmark)
{
    return bookmark ? QString::number(bookmark->getFrame()) : QStringLiteral("none");
}

// Records every call as one line; the command calls return a command whose
// text is that line (or none while refusing).
class RecordingActions : public MainWindowActions
{
public:
    QStringList calls;
    bool playing = false;
    bool refuseCommands = false;
    QSharedPointer<Media> openMedia = QSharedPointer<Media>::create();
    // The loops and bookmarks of the last command calls, to check identity.
    QSharedPointer<VideoLoop> lastLoop, lastLoopBefore;
    QSharedPointer<VideoMarker> lastBookmark;

    QSharedPointer<Media> media() const override { return openMedia; }
    QSharedPointer<MediaTimeLine> timeline() const override { return openMedia->getTimeline(); }
    const Project *project() const override { return nullptr; }
    bool isPlaying() const override { return playing; }

    void openFile(const QString &path) override { record(QStringLiteral("openFile ") + path); }
    void saveProject() override { record(QStringLiteral("saveProject")); }
    void saveProjectAs() override { record(QStringLiteral("saveProjectAs")); }
    void ripFiles(const QStringList &, const QStringList &) override { record(QStringLiteral("ripFiles")); }
    void exportAll(const ExportOptions &) override { record(QStringLiteral("exportAll")); }
    void exportCurrentLoop(const ExportOptions &) override { record(QStringLiteral("exportCurrentLoop")); }
    void exportAllLoops(const ExportOptions &) override { record(QStringLiteral("exportAllLoops")); }
    void print() override { record(QStringLiteral("print")); }
    void clearCachedData(const QString &path) override { record(QStringLiteral("clearCachedData ") + path); }
    bool confirmClose() override { return true; }
    void openVideoDownloader() override { record(QStringLiteral("openVideoDownloader")); }

    void setTempo(float tempo) override { record(QStringLiteral("setTempo %1").arg(tempo)); }
    void setPitch(float pitch) override { record(QStringLiteral("setPitch %1").arg(pitch)); }
    void setVolume(int volume) override { record(QStringLiteral("setVolume %1").arg(volume)); }

    void deleteSelection() override { record(QStringLiteral("deleteSelection")); }
    void cutSelection() override { record(QStringLiteral("cutSelection")); }
    void copySelection() override { record(QStringLiteral("copySelection")); }
    void paste() override { record(QStringLiteral("paste")); }
    void changeSelectionVolume() override { record(QStringLiteral("changeSelectionVolume")); }
    void insertSilence() override { record(QStringLiteral("insertSilence")); }
    void silenceSelection() override { record(QStringLiteral("silenceSelection")); }
    void undo() override { record(QStringLiteral("undo")); }
    void redo() override { record(QStringLiteral("redo")); }

    void play() override { record(QStringLiteral("play")); }
    void pause() override { record(QStringLiteral("pause")); }
    void stop() override { record(QStringLiteral("stop")); }
    void seekToFrame(quint32 frame) override { record(QStringLiteral("seekToFrame %1").arg(frame)); }
    void seekToTime(QTime time) override { record(QStringLiteral("seekToTime ") + time.toString()); }
    void positionSliderPressed() override { record(QStringLiteral("positionSliderPressed")); }
    void positionSliderReleased() override { record(QStringLiteral("positionSliderReleased")); }
    void selectionChanged(PairInt selection) override
    {
        record(QStringLiteral("selectionChanged %1-%2").arg(selection.first).arg(selection.second));
    }

    void zoomIn() override { record(QStringLiteral("zoomIn")); }
    void zoomOut() override { record(QStringLiteral("zoomOut")); }
    void zoomToArea(QRectF) override { record(QStringLiteral("zoomToArea")); }
    void setZoom(float value) override { record(QStringLiteral("setZoom %1").arg(value)); }
    void useCustomSize() override { record(QStringLiteral("useCustomSize")); }
    void useMostRecentSize() override { record(QStringLiteral("useMostRecentSize")); }
    void useOriginalSize() override { record(QStringLiteral("useOriginalSize")); }
    void useSize(QSize size) override { record(QStringLiteral("useSize %1x%2").arg(size.width()).arg(size.height())); }

    void setVideoPlayable(bool on) override { record(QStringLiteral("setVideoPlayable %1").arg(on)); }
    void setAudioPlayable(bool on) override { record(QStringLiteral("setAudioPlayable %1").arg(on)); }
    void setVideoLocked(bool on) override { record(QStringLiteral("setVideoLocked %1").arg(on)); }
    void setAudioLocked(bool on) override { record(QStringLiteral("setAudioLocked %1").arg(on)); }

    QUndoCommand *addBookmarkCommand(const QSharedPointer<VideoMarker> &bookmark) override
    {
        lastBookmark = bookmark;
        return command(QStringLiteral("addBookmark ") + describe(bookmark));
    }
    QUndoCommand *editBookmarkCommand(const QSharedPointer<VideoMarker> &before,
                                      const QSharedPointer<VideoMarker> &bookmark,
                                      const QSharedPointer<VideoMarker> &after) override
    {
        lastBookmark = bookmark;
        return command(QStringLiteral("editBookmark %1 %2 %3").arg(describe(before), describe(bookmark), describe(after)));
    }
    QUndoCommand *removeBookmarkCommand(const QSharedPointer<VideoMarker> &bookmark) override
    {
        lastBookmark = bookmark;
        return command(QStringLiteral("removeBookmark ") + describe(bookmark));
    }
    QUndoCommand *addLoopCommand(const QSharedPointer<VideoLoop> &loop) override
    {
        lastLoop = loop;
        return command(QStringLiteral("addLoop ") + describe(loop));
    }
    QUndoCommand *editLoopCommand(const QSharedPointer<VideoLoop> &before, const QSharedPointer<VideoLoop> &loop,
                                  const QSharedPointer<VideoLoop> &after) override
    {
        lastLoopBefore = before;
        lastLoop = loop;
        return command(QStringLiteral("editLoop %1 %2 %3").arg(describe(before), describe(loop), describe(after)));
    }
    QUndoCommand *removeLoopCommand(const QSharedPointer<VideoLoop> &loop) override
    {
        lastLoop = loop;
        return command(QStringLiteral("removeLoop ") + describe(loop));
    }
    QUndoCommand *removeAllLoopsCommand() override { return command(QStringLiteral("removeAllLoops")); }

    void showUserGuide() override { record(QStringLiteral("showUserGuide")); }
    void showQuickStartGuide() override { record(QStringLiteral("showQuickStartGuide")); }
    void showTrainingVideos() override { record(QStringLiteral("showTrainingVideos")); }
    void showHelpDesk() override { record(QStringLiteral("showHelpDesk")); }
    void showAbout() override { record(QStringLiteral("showAbout")); }
    void openNewInstance() override { record(QStringLiteral("openNewInstance")); }
    void toggleLogger() override { record(QStringLiteral("toggleLogger")); }

private:
    void record(const QString &call) { calls << call; }
    QUndoCommand *command(const QString &call)
    {
        record(call);
        if (refuseCommands)
            return nullptr;
        auto *c = new QUndoCommand;
        c->setText(call);
        return c;
    }
};

QSharedPointer<VideoLoop> makeLoop(int start, int end)
{
    auto loop = QSharedPointer<VideoLoop>::create();
    loop->setStartFrame(start);
    loop->setEndFrame(end);
    return loop;
}

// Accepts the next modal dialog as soon as it shows.
void acceptNextDialog()
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            dialog->accept();
            timer->deleteLater();
        }
    });
    timer->start();
}

} // namespace

class tst_MainWindowActions : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void loopAndBookmarkGestures_data();
    void loopAndBookmarkGestures();
    void refusedCommandIsNotSent();
    void editedLoopKeepsItsOldValuesApart();
    void otherGestures_data();
    void otherGestures();
    void rulerOutlivesTheWindow();

private:
    // Runs a gesture by name on the window.
    void perform(const QString &gesture);

    RecordingActions *m_actions = nullptr;
    MainWindow *m_window = nullptr;
    QStringList m_sent;
};

void tst_MainWindowActions::initTestCase() { test::isolateHome(); }

void tst_MainWindowActions::init()
{
    m_actions = new RecordingActions;
    m_window = new MainWindow(m_actions);
    m_window->setDuration(QTime(0, 0, 10), 10.0); // frames 0..100
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_sent.clear();
    connect(m_window, &MainWindow::execute, this, [this](QUndoCommand *command) {
        m_sent << (command ? command->text() : QStringLiteral("null"));
        delete command;
    });
    m_actions->calls.clear();
}

void tst_MainWindowActions::cleanup()
{
    delete m_window;
    m_window = nullptr;
    delete m_actions;
    m_actions = nullptr;
}

void tst_MainWindowActions::perform(const QString &gesture)
{
    TimeAreaWidget *ruler = m_window->getTimeArea();
    EditVideoWidget *panel = m_window->getEditVideoWidget();
    const auto loop = makeLoop(10, 40);
    const auto bookmark = QSharedPointer<VideoMarker>::create(30);
    if (gesture == QLatin1String("bookmark button")) {
        m_window->setCurrentFrame(50);
        m_window->getTopToolbar()->button(QStringLiteral("markerBtn"))->click();
    } else if (gesture == QLatin1String("loop start and end buttons")) {
        m_window->setCurrentFrame(25);
        panel->button(QStringLiteral("startLoopBtn"))->click();
        m_window->setCurrentFrame(75);
        panel->button(QStringLiteral("endLoopBtn"))->click();
    } else if (gesture == QLatin1String("remove loop button")) {
        m_window->addLoop(loop);
        m_window->setCurrentFrame(20);
        panel->button(QStringLiteral("deleteLoopBtn"))->click();
    } else if (gesture == QLatin1String("Ctrl+Delete")) {
        QTest::keyClick(m_window, Qt::Key_Delete, Qt::ControlModifier);
    } else if (gesture == QLatin1String("ruler adds loop")) {
        emit ruler->addLoopRequested(loop);
    } else if (gesture == QLatin1String("ruler moves loop")) {
        emit ruler->editLoopRequested(makeLoop(10, 40), loop, makeLoop(15, 45));
    } else if (gesture == QLatin1String("ruler removes loop")) {
        emit ruler->removeLoopRequested(loop);
    } else if (gesture == QLatin1String("ruler adds bookmark")) {
        emit ruler->addBookmarkRequested(bookmark);
    } else if (gesture == QLatin1String("ruler moves bookmark")) {
        emit ruler->editBookmarkRequested(QSharedPointer<VideoMarker>::create(30), bookmark,
                                          QSharedPointer<VideoMarker>::create(60));
    } else if (gesture == QLatin1String("ruler removes bookmark")) {
        emit ruler->removeBookmarkRequested(bookmark);
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown gesture ") + gesture));
    }
}

void tst_MainWindowActions::loopAndBookmarkGestures_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<QString>("command");
    QTest::newRow("bookmark button") << "bookmark button" << "addBookmark 50";
    QTest::newRow("loop start and end") << "loop start and end buttons" << "addLoop 25-75";
    QTest::newRow("remove loop button") << "remove loop button" << "removeLoop 10-40";
    QTest::newRow("Ctrl+Delete") << "Ctrl+Delete" << "removeAllLoops";
    QTest::newRow("ruler adds loop") << "ruler adds loop" << "addLoop 10-40";
    QTest::newRow("ruler moves loop") << "ruler moves loop" << "editLoop 10-40 10-40 15-45";
    QTest::newRow("ruler removes loop") << "ruler removes loop" << "removeLoop 10-40";
    QTest::newRow("ruler adds bookmark") << "ruler adds bookmark" << "addBookmark 30";
    QTest::newRow("ruler moves bookmark") << "ruler moves bookmark" << "editBookmark 30 30 60";
    QTest::newRow("ruler removes bookmark") << "ruler removes bookmark" << "removeBookmark 30";
}

void tst_MainWindowActions::loopAndBookmarkGestures()
{
    QFETCH(QString, gesture);
    QFETCH(QString, command);
    perform(gesture);
    QTRY_COMPARE_WITH_TIMEOUT(m_sent, QStringList{command}, 10000);
    // The command was asked for once; nothing else reached the actions
    // apart from seeks to the positions the gesture set.
    const QStringList others = m_actions->calls.filter(QRegularExpression(QStringLiteral("^(?!seekToFrame )")));
    QCOMPARE(others, QStringList{command});
}

void tst_MainWindowActions::refusedCommandIsNotSent()
{
    // Actions that make no command for a gesture: nothing goes out, so the
    // receiving end never meets a null command.
    m_actions->refuseCommands = true;
    perform(QStringLiteral("ruler adds loop"));
    perform(QStringLiteral("Ctrl+Delete"));
    QCOMPARE(m_actions->calls, (QStringList{QStringLiteral("addLoop 10-40"), QStringLiteral("removeAllLoops")}));
    QCoreApplication::processEvents();
    QCOMPARE(m_sent, QStringList());
}

void tst_MainWindowActions::editedLoopKeepsItsOldValuesApart()
{
    // The loop editor's result goes with a copy of the loop as it was: the
    // command can put the old values back after the loop has changed.
    const auto loop = makeLoop(10, 40);
    m_window->addLoop(loop);
    m_window->setCurrentFrame(20);
    acceptNextDialog();
    m_window->getEditVideoWidget()->button(QStringLiteral("editLoopBtn"))->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_sent.size(), 1, 10000);
    QVERIFY(m_sent.first().startsWith(QLatin1String("editLoop 10-40 10-40 ")));
    QCOMPARE(m_actions->lastLoop, loop);
    QVERIFY(m_actions->lastLoopBefore);
    QVERIFY(m_actions->lastLoopBefore != loop);
}

void tst_MainWindowActions::otherGestures_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<QString>("call");
    QTest::newRow("Space while stopped") << "space" << false << "play";
    QTest::newRow("Space while playing") << "space" << true << "pause";
    QTest::newRow("H goes to the start") << "h" << false << "seekToFrame 0";
    QTest::newRow("new window button") << "newInstanceButton" << false << "openNewInstance";
    QTest::newRow("recent menu's new window") << "recentNewWindow" << false << "openNewInstance";
    QTest::newRow("help: about") << "helpAbout" << false << "showAbout";
    QTest::newRow("menu bar: Save") << "menuSave" << false << "saveProject";
    QTest::newRow("Ctrl+Alt+L") << "ctrlAltL" << false << "toggleLogger";
}

void tst_MainWindowActions::otherGestures()
{
    QFETCH(QString, gesture);
    QFETCH(bool, playing);
    QFETCH(QString, call);
    m_actions->playing = playing;
    TopToolbarWidget *toolbar = m_window->getTopToolbar();
    if (gesture == QLatin1String("space")) {
        QTest::keyClick(m_window->getTimeArea(), Qt::Key_Space);
    } else if (gesture == QLatin1String("h")) {
        QTest::keyClick(m_window, Qt::Key_H);
    } else if (gesture == QLatin1String("newInstanceButton")) {
        m_window->findChild<QToolButton *>(QStringLiteral("newInstanceButton"))->click();
    } else if (gesture == QLatin1String("recentNewWindow")) {
        toolbar->setOpenedFiles({QStringLiteral("/tmp/a.mp4")});
        toolbar->getOpenedFilesMenu()->actions().first()->trigger();
    } else if (gesture == QLatin1String("helpAbout")) {
        emit toolbar->helpAboutClicked();
    } else if (gesture == QLatin1String("menuSave")) {
        QAction *save = nullptr;
        for (QAction *menu : m_window->menuBar()->actions()) {
            if (menu->text() == QLatin1String("Save"))
                save = menu->menu()->actions().first();
        }
        QVERIFY(save);
        save->trigger();
    } else if (gesture == QLatin1String("ctrlAltL")) {
        QTest::keyClick(m_window, Qt::Key_L, Qt::ControlModifier | Qt::AltModifier);
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_actions->calls.contains(call), 10000);
    QCOMPARE(m_actions->calls.count(call), 1);
    QCOMPARE(m_sent, QStringList());
}

void tst_MainWindowActions::rulerOutlivesTheWindow()
{
    // The window points the rulers at its project; once it and its actions
    // are gone, a ruler asks nobody and makes no loop.
    cleanup();
    TimeAreaWidget ruler(nullptr, 0);
    ruler.resize(600, 57);
    ruler.setDuration(QTime(0, 0, 10), 10.0);
    QSignalSpy added(&ruler, &TimeAreaWidget::addLoopRequested);
    ruler.setCurrentFrame(10);
    ruler.addLoopStart();
    ruler.setCurrentFrame(50);
    ruler.addLoopEnd();
    QCoreApplication::processEvents();
    QCOMPARE(added.size(), 0);
}

QTEST_MAIN(tst_MainWindowActions)
#include "tst_MainWindowActions.moc"
