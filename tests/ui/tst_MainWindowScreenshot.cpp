// The main window on a real X server: shown, grabbed from the screen and
// saved as an artefact of the test run. Runs only where a display exists
// (scripts/test provides one through Xvfb).
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "ui/MainWindow.h"
#include "ui/VideoWidget.h"

#include <QDir>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

using namespace TW;

class tst_MainWindowScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void windowIsDrawn();
};

namespace {

// Number of distinct colours in a picture, up to a limit.
int distinctColours(const QImage &image, int limit = 64)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            colours.insert(image.pixel(x, y));
            if (colours.size() >= limit)
                return limit;
        }
    }
    return colours.size();
}

QString artefactDir()
{
    const QString dir = test::binDir() + QStringLiteral("/../artefacts");
    QDir().mkpath(dir);
    return QDir(dir).absolutePath();
}

} // namespace

void tst_MainWindowScreenshot::windowIsDrawn()
{
    Application *app = Application::instance();
    QVERIFY(app);
    MainController *controller = app->getMainController();
    controller->exec();
    MainWindow *window = controller->getMainWindow();
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QTemporaryDir media;
    const QString clip = test::TestMedia::make(test::TestMedia::VideoStereo, media.path(), 3.0);
    if (!clip.isEmpty()) {
        controller->openFile(clip);
        controller->onPlayVideo();
    }
    QTest::qWait(1500);

    QScreen *screen = window->screen();
    const QImage shot = screen->grabWindow(0, window->frameGeometry().x(), window->frameGeometry().y(),
                                           window->frameGeometry().width(), window->frameGeometry().height())
                            .toImage();
    const QString path = artefactDir() + QStringLiteral("/mainwindow.png");
    QVERIFY(shot.save(path));
    qInfo() << "Screenshot saved to" << path;
    QVERIFY2(distinctColours(shot) > 16, "the window is blank");

    // The toolbar and side panel show their images: the window grabbed as a
    // widget has many colours too.
    const QImage widgets = window->grab().toImage();
    widgets.save(artefactDir() + QStringLiteral("/mainwindow-widgets.png"));
    QVERIFY(distinctColours(widgets) > 16);

    // The video area: black while nothing plays; with a clip playing, the
    // picture the player drew into the rendering widget.
    VideoWidget *video = window->getVideoWidget();
    const QPoint origin = video->mapToGlobal(QPoint(0, 0));
    const QImage videoArea = screen->grabWindow(0, origin.x(), origin.y(), video->width(), video->height()).toImage();
    videoArea.save(artefactDir() + QStringLiteral("/mainwindow-video.png"));
    QVERIFY(!videoArea.isNull());
    if (controller->getMediaPlayer() && !clip.isEmpty())
        QVERIFY2(distinctColours(videoArea) > 4, "the video area shows no picture");
    else
        qInfo() << "No player in this build: the video area is only checked to be drawn.";
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        // Nothing to grab: report a skip the QtTest way.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QCoreApplication core(argc, argv);
        std::printf("SKIP: no X display for the screenshot\n");
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_MainWindowScreenshot tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_MainWindowScreenshot.moc"
