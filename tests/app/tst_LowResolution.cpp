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
#include <QTemporaryDir>
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
    static QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screens.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(R"({"screens":[{"name":"low","x":0,"y":0,"width":1280,"height":800,)"
               R"("logicalDpi":96,"logicalBpi":96,"dpr":1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", QStringLiteral("offscreen:configfile=%1").arg(config).toUtf8());
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_LowResolution tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_LowResolution.moc"
