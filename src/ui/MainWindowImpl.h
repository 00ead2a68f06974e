#pragma once

// The main window's private part, shared by the files that make up the
// window (its slots, its connections, its menus and its keys).

#include "ui/MainWindow.h"
#include "ui/MainWindowForm.h"

#include <QPointer>

class QAction;
class QMenu;
class Tarnwell2SnifferWindow;

namespace TW {

class MainWindowActions;
class TimeAreaWidget;

struct MainWindow::MainWindowImpl : MainWindowForm
{
    // The window as a MainWindow, for its slots and signals (the form's
    // window is the same object).
    MainWindow *self = nullptr;
    // What the window asks of the application; not owned.
    MainWindowActions *actions = nullptr;
    // The loop whose tempo and pitch the side panel shows (empty: the
    // project's), and whether it shows any yet.
    QString tempoLoopId;
    bool tempoShown = false;
    QMenu *aspectResizeMenu = nullptr;
    QAction *undoAction = nullptr;
    QAction *redoAction = nullptr;
    // The sniffed-media window: made hidden at start-up when the sniffer
    // runs in the background, else by the sniffer entry; it has no parent.
    QPointer<Tarnwell2SnifferWindow> snifferWindow;

    void makeSnifferWindow();
    void postResize();

    // Every child's signal to the window's slot or to an action.
    void connectChildren();
    void connectToolbar();
    void connectSidePanel();
    void connectTransport();
    void connectTimeline();

    void readSettings();
    void writeSettings();

    // The menu bar and the window-wide keys.
    void createMainMenu();
    void createShortcuts();

    bool projectEmpty() const;
    // Lets the ruler jump to a loop or bookmark, then seeks the player there.
    void jumpOnRuler(void (TimeAreaWidget::*jump)());
    // Shows an accepted seek target and hands it to the player.
    void seekTo(int frame);
    void step(double seconds, bool forward);
    // Sends the command for a loop or bookmark gesture; nothing for none.
    void execute(QUndoCommand *command);
};

} // namespace TW
