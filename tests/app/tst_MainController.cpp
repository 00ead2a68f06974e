// The main controller and the main window in one process: the routing of
// every control to its controller slot, the window's settings, menus and
// sections, and the controller's placement and title rules.
#include "TestEnv.h"

#include "ModalAnswerer.h"
#include "app/Application.h"
#include "app/MainController.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TopToolbarWidget.h"
#include "ui/VideoControlsWidget.h"
#include "ui/VideoWidget.h"

#include <QAbstractButton>
#include <QFileOpenEvent>
#include <QMenu>
#include <QMenuBar>
#include "LogCapture.h"
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryFile>
#include <QToolButton>
#include <QUndoCommand>
#include <QUndoStack>
#include <QDialog>
#include <QTimer>
#include <QtTest>

using namespace TW;

namespace {

// The controller slots that logged their name since the last clear.
QStringList slotsReached()
{
    QStringList out;
    for (const QString &m : TW::test::logLines()) {
        if (m.startsWith(QLatin1String("MainController::")))
            out << m.section(QLatin1Char(' '), 0, 0).mid(16);
    }
    return out;
}

QAction *findAction(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions()) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

QMenu *menuBarMenu(MainWindow *window, const QString &title)
{
    for (QAction *a : window->menuBar()->actions()) {
        if (a->text() == title)
            return a->menu();
    }
    return nullptr;
}

class CountingCommand : public QUndoCommand
{
public:
    explicit CountingCommand(int *deleted) : m_deleted(deleted) {}
    ~CountingCommand() override { ++*m_deleted; }

private:
    int *m_deleted;
};

} // namespace

class tst_MainController : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void toolbarRouting_data();
    void toolbarRouting();
    void sidePanelRouting_data();
    void sidePanelRouting();
    void transportRouting_data();
    void transportRouting();
    void videoViewRouting();
    void rulerExecuteIsRelayed();
    void viewsEmitCommands_data();
    void viewsEmitCommands();
    void undoStackDrivesTheToolbar();
    void commandsRefusedWhileProjectEmpty();
    void windowKeys_data();
    void windowKeys();
    void seekStepsNeedAProject();
    void masterSliderStep_data();
    void masterSliderStep();
    void aspectResizeMenuIsRebuiltNotDoubled();
    void aboutStaysInTheHelpMenu();
    void sectionsCollapse();
    void audioLockDisablesSilence();
    void fileOpenEventBeforeTheWindowShows();
    void activationBringsTheWindowBack_data();
    void activationBringsTheWindowBack();
    void windowTarget_data();
    void windowTarget();
    void windowTitle();
    void newInstanceArguments();
    void lowResolution_data();
    void lowResolution();
    void styleSheetStopsAtNul();

private:
    MainController *m_controller = nullptr;
    MainWindow *m_window = nullptr;
};

void tst_MainController::initTestCase()
{
    QVERIFY(Application::instance());
    m_controller = Application::instance()->getMainController();
    QVERIFY(m_controller);
    m_controller->exec();
    m_window = m_controller->getMainWindow();
    QVERIFY(m_window);
    QVERIFY(m_window->isVisible());
    TW::test::installLogCapture();
}

void tst_MainController::cleanupTestCase()
{
    TW::test::removeLogCapture();
}

void tst_MainController::init()
{
    TW::test::clearLog();
}

void tst_MainController::toolbarRouting_data()
{
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<QString>("slot");
    QTest::newRow("save") << QByteArray("saveButtonClicked") << "saveCurrentProjectAs";
    QTest::newRow("printer") << QByteArray("printerButtonClicked") << "onPrint";
    QTest::newRow("undo") << QByteArray("undoButtonClicked") << "onUndo";
    QTest::newRow("redo") << QByteArray("redoButtonClicked") << "onRedo";
    QTest::newRow("custom size") << QByteArray("sizeCustomClicked") << "onSizeCustomClicked";
    // A size becomes a command for the gate (refused on the empty project).
    QTest::newRow("most recent size") << QByteArray("sizeMostRecentClicked") << "onSizeMostRecentClicked,onExecute";
    QTest::newRow("original size") << QByteArray("sizeOriginalClicked") << "onSizeOriginalClicked,onExecute";
    QTest::newRow("user guide") << QByteArray("helpUserGuideClicked") << "onHelpUserGuideClicked";
    QTest::newRow("quick start") << QByteArray("helpQuickStartGuideClicked") << "onHelpQuickStartGuideClicked";
    QTest::newRow("training") << QByteArray("helpTrainingVideosClicked") << "onHelpTrainingVideosClicked";
    QTest::newRow("help desk") << QByteArray("helpHelpDeskClicked") << "onHelpHelpDeskClicked";
    QTest::newRow("about") << QByteArray("helpAboutClicked") << "onHelpAboutClicked";
    // Buttons that only open their menu reach nothing.
    QTest::newRow("export button") << QByteArray("exportButtonClicked") << QString();
    QTest::newRow("size button") << QByteArray("aspectResizeButtonClicked") << QString();
    QTest::newRow("help button") << QByteArray("helpButtonClicked") << QString();
}

void tst_MainController::toolbarRouting()
{
    QFETCH(QByteArray, signal);
    QFETCH(QString, slot);
    // The custom size dialog is cancelled once it shows.
    QTimer closer;
    closer.setInterval(20);
    connect(&closer, &QTimer::timeout, &closer, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    closer.start();
    QVERIFY(QMetaObject::invokeMethod(m_window->getTopToolbar(), signal.constData()));
    QCOMPARE(slotsReached(), slot.split(QLatin1Char(','), Qt::SkipEmptyParts));
}

void tst_MainController::sidePanelRouting_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("slot");
    QTest::newRow("delete") << "deleteBtn" << "onDelete";
    QTest::newRow("cut") << "cutBtn" << "onCut";
    QTest::newRow("copy") << "copyBtn" << "onCopy";
    QTest::newRow("paste") << "pasteBtn" << "onPaste";
    QTest::newRow("volume") << "volBtn" << "onVolume";
    QTest::newRow("tempo preset") << "tempo50Btn" << "onTempoChanged";
    QTest::newRow("tempo step") << "plusTempoBtn" << "onTempoChanged";
    QTest::newRow("pitch interval") << "pitch4thBtn" << "onPitchChanged";
    QTest::newRow("pitch reset") << "resetPitchBtn" << "onPitchChanged";
    QTest::newRow("next loop") << "nextBtn" << "onPlaybackFrameChanged";
    QTest::newRow("previous bookmark") << "prevBtn2" << "onPlaybackFrameChanged";
}

void tst_MainController::sidePanelRouting()
{
    QFETCH(QString, button);
    QFETCH(QString, slot);
    m_window->getEditVideoWidget()->button(button)->click();
    QCOMPARE(slotsReached(), QStringList{slot});
}

void tst_MainController::transportRouting_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("slot");
    QTest::newRow("play") << "playPushButton" << "onPlayVideo";
    QTest::newRow("pause") << "pausePushButton" << "onPauseVideo";
    QTest::newRow("stop") << "stopPushButton" << "onStopVideo";
}

void tst_MainController::transportRouting()
{
    QFETCH(QString, button);
    QFETCH(QString, slot);
    m_window->getVideoControls()->button(button)->click();
    QCOMPARE(slotsReached(), QStringList{slot});
}

void tst_MainController::videoViewRouting()
{
    VideoWidget *video = m_window->getVideoWidget();
    emit video->zoomIn();
    emit video->zoomOut();
    emit video->zoom(QRectF(0.1, 0.2, 0.3, 0.4));
    m_window->getVideoControls()->zoomSlider()->setValue(37);
    emit m_window->getEditVideoWidget()->volumeSlider()->valueChanged(64);
    QCOMPARE(slotsReached(), (QStringList{"onVideoZoomIn", "onVideoZoomOut", "onVideoZoom(QRectF)",
                                          "onVideoZoom(float)", "onVoumeChanged"}));
    QVERIFY(TW::test::logLines().filter(QStringLiteral("onVideoZoom(float) 37")).size() == 1);
    QVERIFY(TW::test::logLines().filter(QStringLiteral("onVoumeChanged 64")).size() == 1);
}

void tst_MainController::rulerExecuteIsRelayed()
{
    QList<QUndoCommand *> relayed;
    const QMetaObject::Connection c = connect(m_window, &MainWindow::execute, this,
                                              [&relayed](QUndoCommand *cmd) { relayed << cmd; });
    int deleted = 0;
    auto *command = new CountingCommand(&deleted);
    emit m_window->getTimeArea()->execute(command);
    disconnect(c);
    QCOMPARE(relayed, QList<QUndoCommand *>{command});
    // The controller takes it queued, after this handler has returned.
    QCOMPARE(deleted, 0);
    QTRY_COMPARE(slotsReached(), QStringList{"onExecute"});
    QCOMPARE(deleted, 1); // refused: the project is empty
}

void tst_MainController::viewsEmitCommands_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("commands");
    QTest::newRow("marker button") << "marker" << 1;
    QTest::newRow("Ctrl+Delete removes all loops") << "ctrl+delete" << 1;
    QTest::newRow("delete loop without a loop") << "deleteLoop" << 0;
    QTest::newRow("edit loop without a loop") << "editLoop" << 0;
}

void tst_MainController::viewsEmitCommands()
{
    QFETCH(QString, action);
    QFETCH(int, commands);
    int emitted = 0;
    const QMetaObject::Connection c = connect(m_window, &MainWindow::execute, this, [&emitted] { ++emitted; });
    if (action == QLatin1String("marker")) {
        m_window->getTopToolbar()->button(QStringLiteral("markerBtn"))->click();
    } else if (action == QLatin1String("ctrl+delete")) {
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        m_window->setFocus();
        QTest::keyClick(m_window, Qt::Key_Delete, Qt::ControlModifier);
    } else {
        m_window->getEditVideoWidget()->button(action + QStringLiteral("Btn"))->click();
    }
    disconnect(c);
    QCOMPARE(emitted, commands);
    // Every command reaches the controller, which refuses it for the empty project.
    QTRY_COMPARE(slotsReached().count(QStringLiteral("onExecute")), commands);
    QCOMPARE(m_controller->getUndoStack()->count(), 0);
}

void tst_MainController::undoStackDrivesTheToolbar()
{
    TopToolbarWidget *toolbar = m_window->getTopToolbar();
    QUndoStack *stack = m_controller->getUndoStack();
    QVERIFY(!toolbar->canUndo());
    emit stack->canUndoChanged(true);
    emit stack->canRedoChanged(true);
    QVERIFY(toolbar->canUndo());
    QVERIFY(toolbar->canRedo());
    emit stack->canUndoChanged(false);
    emit stack->canRedoChanged(false);
    QVERIFY(!toolbar->canUndo());
    QVERIFY(!toolbar->canRedo());
}

void tst_MainController::commandsRefusedWhileProjectEmpty()
{
    int deleted = 0;
    m_controller->onExecute(new CountingCommand(&deleted));
    QCOMPARE(deleted, 1);
    QCOMPARE(m_controller->getUndoStack()->count(), 0);
    m_controller->onExecute(nullptr); // nothing to do, no crash
}

void tst_MainController::windowKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QStringList>("reached");
    QTest::newRow("Ctrl+S saves") << int(Qt::Key_S) << int(Qt::ControlModifier) << QStringList{"saveCurrentProject"};
    QTest::newRow("S alone does nothing") << int(Qt::Key_S) << 0 << QStringList{};
    QTest::newRow("H goes home") << int(Qt::Key_H) << 0 << QStringList{"onPlaybackFrameChanged"};
    QTest::newRow("O resets the zoom") << int(Qt::Key_O) << 0 << QStringList{"onVideoZoom(float)"};
    QTest::newRow("Space plays") << int(Qt::Key_Space) << 0 << QStringList{"onPlayVideo"};
    QTest::newRow("Up zooms in") << int(Qt::Key_Up) << 0 << QStringList{"onVideoZoomIn"};
    QTest::newRow("Down zooms out") << int(Qt::Key_Down) << 0 << QStringList{"onVideoZoomOut"};
}

void tst_MainController::windowKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QStringList, reached);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_window->setFocus();
    QTest::keyClick(m_window, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(slotsReached(), reached);
}

void tst_MainController::seekStepsNeedAProject()
{
    VideoControlsWidget *controls = m_window->getVideoControls();
    for (const char *name : {"ffm1ToolButton", "ffmp25ToolButton", "ffmp1ToolButton", "ffmFToolButton",
                             "ffFToolButton", "ffp1ToolButton", "ffp25ToolButton", "ff1ToolButton"})
        controls->button(QString::fromLatin1(name))->click();
    QCOMPARE(slotsReached(), QStringList());
}

void tst_MainController::masterSliderStep_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("step");
    QTest::newRow("25 fps") << 25.0 << 2;
    QTest::newRow("30 fps") << 30.0 << 3;
    QTest::newRow("below 10") << 9.5 << 0;
    QTest::newRow("none") << 0.0 << 0;
}

void tst_MainController::masterSliderStep()
{
    QFETCH(double, fps);
    QFETCH(int, step);
    m_window->setDuration(QTime(0, 0, 10), fps);
    QCOMPARE(m_window->getMasterSlider()->singleStep(), step);
    QCOMPARE(m_window->getMasterSlider()->maximum(), m_window->getTimeArea()->getFrameCount());
    m_window->setDuration(QTime(0, 0), 0.0);
}

void tst_MainController::aspectResizeMenuIsRebuiltNotDoubled()
{
    QMenu *menu = m_window->getAspectResizeMenu();
    QVERIFY(menu);
    QStringList first;
    for (int round = 0; round < 2; ++round) {
        QMetaObject::invokeMethod(menu, "aboutToShow");
        QStringList texts;
        for (QAction *a : menu->actions())
            texts << (a->isSeparator() ? QStringLiteral("--") : a->text());
        if (round == 0)
            first = texts;
        else
            QCOMPARE(texts, first);
    }
    QCOMPARE(first.size(), 3 + 3 * (3 + 3));
    QCOMPARE(first.at(0), QStringLiteral("640 x 360\tMost recent"));
    QCOMPARE(first.at(4), QStringLiteral("Widescreen (16:9)"));
    QCOMPARE(first.at(10), QStringLiteral("Standard (4:3)"));
    QCOMPARE(first.at(16), QStringLiteral("Other"));
    QCOMPARE(first.last(), QStringLiteral("720 x 576(5:4)\tDVD-Ready(PAL)"));
    QVERIFY(!menu->actions().at(4)->isEnabled());
}

void tst_MainController::aboutStaysInTheHelpMenu()
{
    QMenu *help = menuBarMenu(m_window, QStringLiteral("Help "));
    QVERIFY(help);
    QAction *about = findAction(help, QStringLiteral("About"));
    QVERIFY(about);
    QCOMPARE(about->menuRole(), QAction::NoRole);
    // The About box is closed once it shows.
    QTimer closer;
    closer.setInterval(20);
    connect(&closer, &QTimer::timeout, &closer, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    closer.start();
    about->trigger();
    QCOMPARE(slotsReached(), QStringList{"onHelpAboutClicked"});
    QVERIFY(menuBarMenu(m_window, QStringLiteral("Export")));
    QVERIFY(menuBarMenu(m_window, QStringLiteral("Sniffer")));
}

void tst_MainController::sectionsCollapse()
{
    QToolButton *timelineToggle = m_window->findChild<QToolButton *>(QStringLiteral("timelineToggleButton"));
    QWidget *container = m_window->findChild<QWidget *>(QStringLiteral("timelineContainer"));
    QVERIFY(timelineToggle && container);
    const int full = container->height();
    QVERIFY(!m_window->isTimelineCollapsed());
    timelineToggle->click();
    QVERIFY(m_window->isTimelineCollapsed());
    QTRY_COMPARE(container->height(), 12);
    QVERIFY(timelineToggle->styleSheet().contains(QStringLiteral("toggle-down")));
    // The floating button follows the strip's corner.
    QTRY_COMPARE(timelineToggle->y(), container->mapTo(m_window, QPoint(0, 0)).y() + 1);
    timelineToggle->click();
    QVERIFY(!m_window->isTimelineCollapsed());
    QTRY_COMPARE(container->height(), full);
    QVERIFY(timelineToggle->styleSheet().contains(QStringLiteral("toggle-up")));

    QToolButton *toolbarToggle = m_window->findChild<QToolButton *>(QStringLiteral("toolbarToggleButton"));
    const bool wasCollapsed = m_window->isToolbarCollapsed();
    toolbarToggle->click();
    QCOMPARE(m_window->isToolbarCollapsed(), !wasCollapsed);
    toolbarToggle->click();
    QCOMPARE(m_window->isToolbarCollapsed(), wasCollapsed);
}

void tst_MainController::audioLockDisablesSilence()
{
    QPushButton *silence = m_window->getEditVideoWidget()->button(QStringLiteral("silenceBtn"));
    m_window->setAudioLocked(true);
    QVERIFY(m_window->isAudioLocked());
    QVERIFY(!silence->isEnabled());
    m_window->setAudioLocked(false);
    QVERIFY(silence->isEnabled());
}

void tst_MainController::fileOpenEventBeforeTheWindowShows()
{
    const QString before = m_controller->getFileToOpenAfterLaunch();
    m_window->hide();
    QFileOpenEvent event(QStringLiteral("/tmp/dropped-on-icon.twp"));
    QCoreApplication::sendEvent(Application::instance(), &event);
    QCOMPARE(m_controller->getFileToOpenAfterLaunch(), QStringLiteral("/tmp/dropped-on-icon.twp"));
    m_controller->setFileToOpenAfterLaunch(QStringLiteral("/tmp/later.mp4"));
    QCOMPARE(m_controller->getFileToOpenAfterLaunch(), QStringLiteral("/tmp/later.mp4"));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    // With the window up the event opens the file at once.
    TW::test::clearLog();
    // The file does not exist: the user is told which.
    test::ModalAnswerer answers;
    answers.answerBox(QMessageBox::Ok);
    QFileOpenEvent now(QStringLiteral("/tmp/no-such-file.mp4"));
    QCoreApplication::sendEvent(Application::instance(), &now);
    QCOMPARE(slotsReached(), QStringList{"openFile"});
    QCOMPARE(answers.answersLeft(), 0);
    QVERIFY(answers.boxes().value(0).contains(QStringLiteral("no-such-file.mp4")));
    m_controller->setFileToOpenAfterLaunch(before);
}

void tst_MainController::activationBringsTheWindowBack_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<bool>("moved");
    QTest::newRow("beyond the right edge") << QPoint(2000, 100) << true;
    QTest::newRow("below the bottom edge") << QPoint(100, 1300) << true;
    QTest::newRow("inside") << QPoint(300, 200) << false;
    QTest::newRow("partly off to the left") << QPoint(-200, 50) << false;
    QTest::newRow("on the right edge") << QPoint(1279, 10) << false;
}

void tst_MainController::activationBringsTheWindowBack()
{
    QFETCH(QPoint, pos);
    QFETCH(bool, moved);
    QWidget window;
    window.move(pos);
    const QRect available(0, 0, 1280, 1024);
    QCOMPARE(Application::bringBackOnScreen(&window, available), moved);
    QCOMPARE(window.pos(), moved ? QPoint(100, 100) : pos);
}

void tst_MainController::windowTarget_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("asked");
    QTest::addColumn<QPoint>("placed");
    const QRect hd(0, 0, 1920, 1080);
    QTest::newRow("inside") << hd << QPoint(100, 200) << QPoint(100, 200);
    QTest::newRow("beyond the right") << hd << QPoint(5000, 200) << QPoint(0, 0);
    QTest::newRow("49 from the right") << hd << QPoint(1919 - 49, 200) << QPoint(0, 0);
    QTest::newRow("50 from the right") << hd << QPoint(1919 - 50, 200) << QPoint(1869, 200);
    QTest::newRow("49 from the bottom") << hd << QPoint(10, 1079 - 49) << QPoint(0, 0);
    QTest::newRow("left of the screen is kept") << hd << QPoint(-300, -20) << QPoint(-300, -20);
}

void tst_MainController::windowTarget()
{
    QFETCH(QRect, available);
    QFETCH(QPoint, asked);
    QFETCH(QPoint, placed);
    QCOMPARE(MainController::windowTarget(asked, available), placed);
}

void tst_MainController::windowTitle()
{
    QCOMPARE(MainController::makeWindowTitle(QStringLiteral("Tarnwell"), QStringLiteral("clip.mp4"),
                                             QStringLiteral("1.5 MB"), 640, 360, 29.97, 1200, 44100),
             QStringLiteral("Tarnwell - clip.mp4, 1.5 MB, 640x360, 29.97 fps, 1200 kbps, 44100 Hz"));
    QCOMPARE(MainController::makeWindowTitle(QStringLiteral("Tarnwell"), QStringLiteral("a%1b.mp4"),
                                             QStringLiteral("0 B"), 720, 480, 25.0, 0, 48000),
             QStringLiteral("Tarnwell - a%1b.mp4, 0 B, 720x480, 25 fps, 0 kbps, 48000 Hz"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarnwell"));
}

void tst_MainController::newInstanceArguments()
{
    QCOMPARE(MainController::newInstanceArguments(QPoint(300, 120)),
             (QStringList{"-p", "322", "142"}));
}

void tst_MainController::lowResolution_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("low");
    QTest::newRow("1280x800") << 800 << true;
    QTest::newRow("1280x801") << 801 << false;
    QTest::newRow("1080") << 1080 << false;
}

void tst_MainController::lowResolution()
{
    QFETCH(int, height);
    QFETCH(bool, low);
    QCOMPARE(Application::isLowResolutionHeight(height), low);
}

void tst_MainController::styleSheetStopsAtNul()
{
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write(QByteArray("QWidget{color: red;}\0QWidget{color: blue;}", 42));
    file.close();
    QCOMPARE(Application::readStyleSheet(file.fileName()), QStringLiteral("QWidget{color: red;}"));
    QCOMPARE(Application::readStyleSheet(QStringLiteral(":/no/such/style.qss")), QString());
    QVERIFY(Application::readStyleSheet(QStringLiteral(":/MainWindow/style.qss")).contains(QLatin1String("QMainWindow")));
}

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_MainController tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_MainController.moc"
