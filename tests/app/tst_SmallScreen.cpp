// The main window on a screen 900 pixels high: the first window fits the
// screen, and in a window 700 pixels high the timeline stays in view (the
// side panel scrolls instead of the whole window). Also where a saved place
// is moved to on a smaller screen.
#include "TestEnv.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "ui/MainWindow.h"
#include "ui/TimelineWidget.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

using namespace TW;

class tst_SmallScreen : public QObject
{
    Q_OBJECT
private slots:
    void fitToScreen_data();
    void fitToScreen();
    void firstWindowFits();
    void timelineInViewAt700();
};

void tst_SmallScreen::fitToScreen_data()
{
    QTest::addColumn<QRect>("wanted");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");
    const QRect screen900(0, 0, 1024, 900);
    // Frame: 4 px borders, a 32 px title bar.
    QTest::newRow("default window on 900 px") << QRect(100, 120, 1024, 800) << screen900
                                              << QRect(0, 64, 1016, 800);
    QTest::newRow("fits as it is") << QRect(10, 10, 800, 600) << screen900 << QRect(10, 10, 800, 600);
    QTest::newRow("taller than the screen") << QRect(0, 0, 900, 2000) << screen900 << QRect(0, 0, 900, 864);
    QTest::newRow("saved on a screen that has gone") << QRect(3000, -500, 800, 600) << screen900
                                                     << QRect(216, 0, 800, 600);
    QTest::newRow("panel at the top") << QRect(0, 0, 800, 600) << QRect(0, 30, 1280, 770)
                                      << QRect(0, 30, 800, 600);
    QTest::newRow("second screen to the right") << QRect(1900, 100, 1024, 800) << QRect(1280, 0, 1280, 1024)
                                                << QRect(1528, 100, 1024, 800);
}

void tst_SmallScreen::fitToScreen()
{
    QFETCH(QRect, wanted);
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    QCOMPARE(MainWindow::fitToScreen(wanted, available, QMargins(4, 32, 4, 4)), expected);
}

void tst_SmallScreen::firstWindowFits()
{
    MainController *controller = Application::instance()->getMainController();
    controller->exec();
    MainWindow *window = controller->getMainWindow();
    const QRect available = window->screen()->availableGeometry();
    // The window with an allowance for its frame lies on the screen.
    const QRect outer(window->pos(), window->size() + QSize(8, 36));
    QVERIFY2(available.contains(outer), qPrintable(QString("window %1,%2 %3x%4 on %5x%6")
                                                      .arg(window->x()).arg(window->y())
                                                      .arg(window->width()).arg(window->height())
                                                      .arg(available.width()).arg(available.height())));
}

void tst_SmallScreen::timelineInViewAt700()
{
    MainWindow *window = Application::instance()->getMainController()->getMainWindow();
    window->resize(1024, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->height(), 700);
    auto *scroll = window->findChild<QScrollArea *>(QStringLiteral("centralScrollArea"));
    QVERIFY(scroll);
    // Nothing of the window's content is out of view: the timeline's bottom
    // is inside the visible part.
    TimelineWidget *timeline = window->getTimeline();
    QTRY_VERIFY_WITH_TIMEOUT(timeline->isVisible(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(scroll->verticalScrollBar()->maximum(), 0, 10000);
    const QPoint bottom = timeline->mapTo(scroll->viewport(), QPoint(0, timeline->height() - 1));
    QVERIFY2(bottom.y() < scroll->viewport()->height(),
             qPrintable(QString("timeline ends at %1 of %2").arg(bottom.y()).arg(scroll->viewport()->height())));
}

int main(int argc, char **argv)
{
    test::isolateHome();
    // An offscreen screen of 1024 x 900 pixels.
    if (!test::useOffscreenScreen(QStringLiteral("small"), 1024, 900))
        return 1;
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_SmallScreen tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_SmallScreen.moc"
