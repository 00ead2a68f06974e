// The timeline on a real X server with two loops, a bookmark, a selection
// and placeholder thumbnails: shown, grabbed from the screen and saved as an
// artefact of the test run. Runs only where a display exists (scripts/test
// provides one through Xvfb).
#include "TestEnv.h"

#include "model/VideoLoop.h"
#include "model/VideoMarker.h"
#include "ui/AudioThumbnailWidget.h"
#include "ui/MediaTrackWidget.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TimelineViewportOverlay.h"
#include "ui/TimelineViewportWidget.h"
#include "ui/TimelineWidget.h"
#include "ui/VideoThumbnailWidget.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QtTest>

#include <cstdio>

using namespace TW;

namespace {

QString artefactDir()
{
    const QString dir = test::binDir() + QStringLiteral("/../artefacts");
    QDir().mkpath(dir);
    return QDir(dir).absolutePath();
}

VideoLoopPtr makeLoop(const QString &name, int start, int end)
{
    VideoLoopPtr loop(new VideoLoop);
    loop->setName(name);
    loop->setStartFrame(start);
    loop->setEndFrame(end);
    return loop;
}

QImage placeholderFrame(const QColor &colour)
{
    QImage image(160, 90, QImage::Format_RGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.setPen(Qt::white);
    painter.drawRect(image.rect().adjusted(4, 4, -5, -5));
    return image;
}

bool hasColour(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (QColor(image.pixel(x, y)) == colour)
                return true;
        }
    }
    return false;
}

} // namespace

class tst_TimelineScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void timelineIsDrawn();
};

void tst_TimelineScreenshot::timelineIsDrawn()
{
    QFile style(QStringLiteral(":/MainWindow/style.qss"));
    if (style.open(QIODevice::ReadOnly))
        qApp->setStyleSheet(QString::fromLatin1(style.readAll()));

    TimelineWidget timeline;
    timeline.resize(1000, 153);
    timeline.show();
    QVERIFY(QTest::qWaitForWindowExposed(&timeline));

    TimelineViewportWidget *viewport = timeline.getViewport();
    viewport->setDuration(QTime(0, 0, 20), 25.0);
    viewport->resetZoom();
    TimeAreaWidget *ruler = viewport->getTimeline();

    const VideoLoopPtr first = makeLoop(QStringLiteral("L1"), 50, 150);
    const VideoLoopPtr second = makeLoop(QStringLiteral("L2"), 260, 380);
    for (const VideoLoopPtr &loop : {first, second}) {
        ruler->addLoop(loop);
        viewport->getOverlay()->addLoop(loop);
    }
    VideoMarkerPtr bookmark(new VideoMarker(200));
    bookmark->setName(QStringLiteral("M1"));
    ruler->addBookmark(bookmark);
    ruler->setCurrentFrame(100);

    const QColor colours[] = {QColor(120, 40, 40), QColor(40, 120, 40), QColor(40, 40, 120), QColor(90, 90, 30)};
    for (int i = 0; i < 4; ++i) {
        viewport->getVideoTrack()->addThumbnail(
            new VideoThumbnailWidget(i * 125, 125, QStringLiteral("Part %1").arg(i + 1), placeholderFrame(colours[i])));
        viewport->getAudioTrack()->addThumbnail(new AudioThumbnailWidget(i * 125, 125, QImage()));
    }
    QTest::qWait(300);

    QScreen *screen = timeline.screen();
    const QRect frame = timeline.frameGeometry();
    const QImage shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
    const QString path = artefactDir() + QStringLiteral("/timeline.png");
    QVERIFY(shot.save(path));
    qInfo() << "Screenshot saved to" << path;
    timeline.grab().save(artefactDir() + QStringLiteral("/timeline-widgets.png"));

    // Both loops' edges are on the screen.
    QVERIFY(hasColour(shot, QColor(Qt::green)));
    QVERIFY(hasColour(shot, QColor(Qt::red)));
    QCOMPARE(ruler->getLoops().size(), 2);
    QCOMPARE(ruler->getBookmarks().size(), 1);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("SKIP: no X display for the screenshot\n");
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    tst_TimelineScreenshot tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_TimelineScreenshot.moc"
