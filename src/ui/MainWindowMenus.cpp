#include "ui/MainWindowImpl.h"

#include "ui/MainWindowActions.h"
#include "ui/TopToolbarWidget.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace TW {

void MainWindow::MainWindowImpl::createMainMenu()
{
    QMenuBar *bar = self->menuBar();
    auto menu = [&](const QString &title) {
        auto *m = new QMenu(title, self);
        bar->addMenu(m);
        return m;
    };
    QMenu *open = menu(MainWindow::tr("Open"));
    QObject::connect(open->addAction(MainWindow::tr("Open")), &QAction::triggered, self, &MainWindow::onOpenButtonClicked);
    QMenu *save = menu(MainWindow::tr("Save"));
    QObject::connect(save->addAction(MainWindow::tr("Save")), &QAction::triggered, self,
                     [this] { actions->saveProject(); });
    QObject::connect(save->addAction(MainWindow::tr("Save As")), &QAction::triggered, self,
            &MainWindow::onSaveButtonClicked);
    QMenu *exportMenu = topToolbar->getExportMenu();
    exportMenu->setTitle(MainWindow::tr("Export"));
    bar->addMenu(exportMenu);
    QMenu *rip = menu(MainWindow::tr("Rip"));
    QObject::connect(rip->addAction(MainWindow::tr("Rip")), &QAction::triggered, self, &MainWindow::onRipButtonClicked);
    aspectResizeMenu = menu(MainWindow::tr("Aspect Resize"));
    QObject::connect(aspectResizeMenu, &QMenu::aboutToShow, self, &MainWindow::rebuildAspectResizeMenu);
    QMenu *sniffer = topToolbar->getSnifferMenu();
    sniffer->setTitle(MainWindow::tr("Sniffer"));
    bar->addMenu(sniffer);
    QMenu *undo = menu(MainWindow::tr("Undo"));
    undoAction = undo->addAction(MainWindow::tr("Undo"));
    QObject::connect(undoAction, &QAction::triggered, self, &MainWindow::onUndo);
    QObject::connect(undo, &QMenu::aboutToShow, self, [this] { undoAction->setEnabled(topToolbar->canUndo()); });
    QMenu *redo = menu(MainWindow::tr("Redo"));
    redoAction = redo->addAction(MainWindow::tr("Redo"));
    QObject::connect(redoAction, &QAction::triggered, self, &MainWindow::onRedo);
    QObject::connect(redo, &QMenu::aboutToShow, self, [this] { redoAction->setEnabled(topToolbar->canRedo()); });
    QMenu *marker = menu(MainWindow::tr("Marker"));
    QObject::connect(marker->addAction(MainWindow::tr("Marker")), &QAction::triggered, self,
            &MainWindow::onMarkerButtonClicked);
    QMenu *option = menu(MainWindow::tr("Option"));
    QObject::connect(option->addAction(MainWindow::tr("Option")), &QAction::triggered, self,
            &MainWindow::onOptionButtonClicked);
    QMenu *help = topToolbar->getHelpMenu();
    help->setTitle(MainWindow::tr("Help "));
    for (QAction *a : help->actions()) {
        if (a->text() == QLatin1String("About"))
            a->setMenuRole(QAction::NoRole);
    }
    bar->addMenu(help);
    QMenu *printer = menu(MainWindow::tr("Printer"));
    QObject::connect(printer->addAction(MainWindow::tr("Printer")), &QAction::triggered, self,
            &MainWindow::onPrinterButtonClicked);
}

// Keys of the whole window: the toolbar's (which act while it is
// collapsed too) and Quit.
void MainWindow::MainWindowImpl::createShortcuts()
{
    self->addActions(topToolbar->shortcutActions());
    auto *quit = new QAction(MainWindow::tr("Quit"), self);
    quit->setObjectName(QStringLiteral("quitAction"));
    QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    if (quitKeys.isEmpty())
        quitKeys << QKeySequence(Qt::CTRL | Qt::Key_Q);
    quit->setShortcuts(quitKeys);
    quit->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(quit, &QAction::triggered, self, &QWidget::close);
    self->addAction(quit);
}

void MainWindow::rebuildAspectResizeMenu()
{
    QMenu *menu = d->aspectResizeMenu;
    // Headings made on an earlier opening are children of the menu and go
    // with the clear; the copied entries belong to the toolbar and stay.
    menu->clear();
    for (QAction *a : d->topToolbar->getAspectResizeMenu()->actions()) {
        if (!a->text().isEmpty())
            menu->addAction(a);
    }
    const struct
    {
        const char *title;
        int index;
    } headings[] = {{"Widescreen (16:9)", 3}, {"Standard (4:3)", 9}, {"Other", 15}};
    for (const auto &h : headings) {
        const QList<QAction *> actions = menu->actions();
        QAction *before = h.index < actions.size() ? actions.at(h.index) : nullptr;
        auto *heading = new QAction(tr(h.title), menu);
        heading->setEnabled(false);
        auto *sepA = new QAction(menu);
        sepA->setSeparator(true);
        auto *sepB = new QAction(menu);
        sepB->setSeparator(true);
        menu->insertActions(before, {sepA, heading, sepB});
    }
}

} // namespace TW
