// The top toolbar: its menus, the recent-files menu and what each choice emits.
#include "ui/TopToolbarWidget.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QWidgetAction>
#include <QtTest>

using namespace TW;

class tst_TopToolbarWidget : public QObject
{
    Q_OBJECT
private slots:
    void buttonSignals_data();
    void buttonSignals();
    void menuSignals_data();
    void menuSignals();
    void sizeMenuRows();
    void variableSizeRows();
    void presetsCarryTheirSize();
    void recentFiles();
    void undoRedoState();
    void disabledUndoIgnoresItsShortcut();
};

void tst_TopToolbarWidget::buttonSignals_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("signal");
    QTest::newRow("open") << "openBtn" << QByteArray(SIGNAL(openButtonClicked()));
    QTest::newRow("save") << "saveBtn" << QByteArray(SIGNAL(saveButtonClicked()));
    QTest::newRow("export") << "exportBtn" << QByteArray(SIGNAL(exportButtonClicked()));
    QTest::newRow("rip") << "ripBtn" << QByteArray(SIGNAL(ripButtonClicked()));
    QTest::newRow("size") << "aspectSizeBtn" << QByteArray(SIGNAL(aspectResizeButtonClicked()));
    QTest::newRow("option") << "optionBtn" << QByteArray(SIGNAL(optionButtonClicked()));
    QTest::newRow("help") << "helpBtn" << QByteArray(SIGNAL(helpButtonClicked()));
    QTest::newRow("printer") << "printerBtn" << QByteArray(SIGNAL(printerButtonClicked()));
    QTest::newRow("marker") << "markerBtn" << QByteArray(SIGNAL(markerButtonClicked()));
}

void tst_TopToolbarWidget::buttonSignals()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, signal);
    TopToolbarWidget toolbar;
    QSignalSpy spy(&toolbar, signal.constData());
    QPushButton *b = toolbar.button(button);
    QVERIFY2(b, qPrintable(button));
    // Buttons with a menu would open it on a click; the signal comes from clicked().
    if (b->menu())
        emit b->clicked();
    else
        b->click();
    QCOMPARE(spy.count(), 1);
}

void tst_TopToolbarWidget::menuSignals_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QByteArray>("signal");
    QTest::newRow("user guide") << "help" << "User Guide" << QByteArray(SIGNAL(helpUserGuideClicked()));
    QTest::newRow("quick start") << "help" << "Quick Start Guide" << QByteArray(SIGNAL(helpQuickStartGuideClicked()));
    QTest::newRow("training") << "help" << "Training Videos" << QByteArray(SIGNAL(helpTrainingVideosClicked()));
    QTest::newRow("help desk") << "help" << "Help Desk" << QByteArray(SIGNAL(helpHelpDeskClicked()));
    QTest::newRow("about") << "help" << "About" << QByteArray(SIGNAL(helpAboutClicked()));
    QTest::newRow("export all") << "export" << "Export Entire Video" << QByteArray(SIGNAL(exportEntireVideoClicked()));
    QTest::newRow("export loop") << "export" << "Export Current Loop" << QByteArray(SIGNAL(exportCurrentLoopClicked()));
    QTest::newRow("export loops") << "export" << "Export All Loops" << QByteArray(SIGNAL(exportAllLoopsClicked()));
    QTest::newRow("main sniffer") << "sniffer" << "Main Sniffer" << QByteArray(SIGNAL(snifferButtonClicked()));
    QTest::newRow("youtube") << "sniffer" << "YouTube Sniffer" << QByteArray(SIGNAL(snifferYoutubeButtonClicked()));
}

void tst_TopToolbarWidget::menuSignals()
{
    QFETCH(QString, menu);
    QFETCH(QString, entry);
    QFETCH(QByteArray, signal);
    TopToolbarWidget toolbar;
    QMenu *m = menu == QLatin1String("help") ? toolbar.getHelpMenu()
             : menu == QLatin1String("export") ? toolbar.getExportMenu()
                                               : toolbar.getSnifferMenu();
    QAction *action = nullptr;
    for (QAction *a : m->actions()) {
        if (a->text() == entry)
            action = a;
    }
    QVERIFY2(action, qPrintable(entry));
    QSignalSpy spy(&toolbar, signal.constData());
    action->trigger();
    QCOMPARE(spy.count(), 1);
}

void tst_TopToolbarWidget::sizeMenuRows()
{
    TopToolbarWidget toolbar;
    const QList<QAction *> rows = toolbar.getAspectResizeMenu()->actions();
    QCOMPARE(rows.size(), 15);
    const QStringList texts = {
        "640 x 360\tMost recent", "640 x 360\tCustom", "640 x 360\tOriginal", QString(),
        "640 x 360\tBlog, Web", QString(), "1280 x 720\tYouTube & HD", QString(),
        "480 x 360\tBlackberry", "640 x 480\tWeb", "800 x 600\tFull screen viewing", QString(),
        "480 x 320(3:2)\tiPhone/iPad Touch", "720 x 480(3:2)\tDVD-Ready(NTSC)", "720 x 576(5:4)\tDVD-Ready(PAL)"};
    for (int i = 0; i < rows.size(); ++i) {
        if (i == 3 || i == 7 || i == 11) {
            QVERIFY(qobject_cast<QWidgetAction *>(rows.at(i)));
            QVERIFY(rows.at(i)->text().isEmpty());
        } else if (i == 5) {
            QVERIFY(rows.at(i)->text().startsWith(QStringLiteral("800 x 450\t")));
        } else {
            QCOMPARE(rows.at(i)->text(), texts.at(i));
        }
    }
    // Clicking a group header emits nothing.
    QSignalSpy sizes(&toolbar, &TopToolbarWidget::sizeClicked);
    rows.at(3)->trigger();
    QCOMPARE(sizes.count(), 0);
}

void tst_TopToolbarWidget::variableSizeRows()
{
    TopToolbarWidget toolbar;
    toolbar.setSizeCustom(1024, 576);
    toolbar.setSizeMostRecent(800, 450);
    toolbar.setSizeOriginal(320, 240);
    const QList<QAction *> rows = toolbar.getAspectResizeMenu()->actions();
    QCOMPARE(rows.at(0)->text(), QStringLiteral("800 x 450\tMost recent"));
    QCOMPARE(rows.at(1)->text(), QStringLiteral("1024 x 576\tCustom"));
    QCOMPARE(rows.at(2)->text(), QStringLiteral("320 x 240\tOriginal"));
    QSignalSpy custom(&toolbar, &TopToolbarWidget::sizeCustomClicked);
    QSignalSpy recent(&toolbar, &TopToolbarWidget::sizeMostRecentClicked);
    QSignalSpy original(&toolbar, &TopToolbarWidget::sizeOriginalClicked);
    QSignalSpy sizes(&toolbar, &TopToolbarWidget::sizeClicked);
    rows.at(1)->trigger();
    rows.at(0)->trigger();
    rows.at(2)->trigger();
    QCOMPARE(custom.count(), 1);
    QCOMPARE(recent.count(), 1);
    QCOMPARE(original.count(), 1);
    QCOMPARE(sizes.count(), 0);
}

void tst_TopToolbarWidget::presetsCarryTheirSize()
{
    TopToolbarWidget toolbar;
    QSignalSpy sizes(&toolbar, &TopToolbarWidget::sizeClicked);
    const QList<QAction *> rows = toolbar.getAspectResizeMenu()->actions();
    const QList<QSize> expected = {QSize(640, 360), QSize(800, 450), QSize(1280, 720), QSize(480, 360),
                                   QSize(640, 480), QSize(800, 600), QSize(480, 320), QSize(720, 480),
                                   QSize(720, 576)};
    for (QAction *a : rows) {
        if (!a->data().isNull())
            a->trigger();
    }
    QCOMPARE(sizes.count(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(sizes.at(i).at(0).toSize(), expected.at(i));
}

void tst_TopToolbarWidget::recentFiles()
{
    TopToolbarWidget toolbar;
    toolbar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&toolbar));
    QPushButton *open = toolbar.button(QStringLiteral("openBtn"));
    QMenu *menu = toolbar.getOpenedFilesMenu();
    // No list yet: a right click shows nothing.
    QTest::mouseClick(open, Qt::RightButton);
    QVERIFY(!menu->isVisible());

    toolbar.setOpenedFiles({});
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("Open New Window"));
    QVERIFY(menu->actions().at(1)->isSeparator());
    QTest::mouseClick(open, Qt::RightButton);
    QTRY_VERIFY(menu->isVisible());
    menu->hide();

    const QString path = QStringLiteral("/media/my clips/Take 1.mp4");
    toolbar.setOpenedFiles({path, QStringLiteral("/tmp/b.twp")});
    toolbar.setOpenedFiles({path, QStringLiteral("/tmp/b.twp")}); // rebuilt, not doubled
    QCOMPARE(menu->actions().size(), 4);
    QSignalSpy opened(&toolbar, &TopToolbarWidget::openFileClicked);
    menu->actions().at(2)->trigger();
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.at(0).at(0).toString(), path);
    // A left click is an ordinary click.
    QSignalSpy clicked(&toolbar, &TopToolbarWidget::openButtonClicked);
    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
}

void tst_TopToolbarWidget::undoRedoState()
{
    TopToolbarWidget toolbar;
    QVERIFY(!toolbar.canUndo());
    QVERIFY(!toolbar.canRedo());
    toolbar.setCanUndo(true);
    QVERIFY(toolbar.canUndo());
    QVERIFY(!toolbar.canRedo());
    toolbar.setCanRedo(true);
    QVERIFY(toolbar.canRedo());
    QSignalSpy undo(&toolbar, &TopToolbarWidget::undoButtonClicked);
    QSignalSpy redo(&toolbar, &TopToolbarWidget::redoButtonClicked);
    toolbar.button(QStringLiteral("undoBtn"))->click();
    toolbar.button(QStringLiteral("redoBtn"))->click();
    QCOMPARE(undo.count(), 1);
    QCOMPARE(redo.count(), 1);
}

void tst_TopToolbarWidget::disabledUndoIgnoresItsShortcut()
{
    TopToolbarWidget toolbar;
    toolbar.show();
    toolbar.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&toolbar));
    QSignalSpy undo(&toolbar, &TopToolbarWidget::undoButtonClicked);
    QTest::keySequence(&toolbar, QKeySequence(QStringLiteral("Ctrl+Z")));
    QTest::qWait(200);
    QCOMPARE(undo.count(), 0);
    toolbar.setCanUndo(true);
    QTest::keySequence(&toolbar, QKeySequence(QStringLiteral("Ctrl+Z")));
    QTRY_COMPARE(undo.count(), 1);
}

QTEST_MAIN(tst_TopToolbarWidget)
#include "tst_TopToolbarWidget.moc"
