// The compact layout on a screen 800 pixels high: the window starts with its
// toolbar collapsed and the panels use their tighter margins.
#include "TestEnv.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/VideoControlsWidget.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>

using namespace TW;

class tst_LowResolution : public QObject
{
    Q_OBJECT
private slots:
    void compactLayout();
};

void tst_LowResolution::compactLayout()
{
    Application *app = Application::instance();
    QVERIFY(app->isLowResolution());
    MainController *controller = app->getMainController();
    controller->exec();
    MainWindow *window = controller->getMainWindow();
    QVERIFY(window->isToolbarCollapsed());
    QCOMPARE(window->getEditVideoWidget()->minimumHeight(), 426);
    QCOMPARE(window->statusBar()->maximumHeight(), 20);
    auto *frame = window->getVideoControls()->findChild<QFrame *>(QStringLiteral("frame"));
    QVERIFY(frame);
    QCOMPARE(frame->layout()->contentsMargins(), QMargins(10, 2, 10, 2));
    // The toggle brings the toolbar back.
    window->findChild<QToolButton *>(QStringLiteral("toolbarToggleButton"))->click();
    QVERIFY(!window->isToolbarCollapsed());
}

int main(int argc, char **argv)
{
    test::isolateHome();
    // An offscreen screen of 1280 x 800 pixels.
    if (!test::useOffscreenScreen(QStringLiteral("low"), 1280, 800))
        return 1;
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_LowResolution tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_LowResolution.moc"
