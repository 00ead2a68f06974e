// The timeline's pictures after an import: the audio row shows the clip's
// waveform (a tone with a silent gap shows the gap), the video row a frame
// and the file name; both arrive without blocking, and an edit list change
// moves the widgets it keeps instead of making them again. A picture of the
// timeline is kept as an artefact of the run.
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "model/Media.h"
#include "model/MediaTrackFragment.h"
#include "ui/AudioThumbnailWidget.h"
#include "ui/MainWindow.h"
#include "ui/MediaTrackWidget.h"
#include "ui/TimelineViewportWidget.h"
#include "ui/TimelineWidget.h"
#include "ui/VideoThumbnailWidget.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

using namespace TW;

class tst_TimelinePictures : public QObject
{
    Q_OBJECT
private slots:
    void waveformAndFrameAfterImport();
};

namespace {

// The share of lit pixels in a band of columns of a picture.
double litShare(const QImage &image, double from, double to)
{
    const int x0 = int(from * image.width()), x1 = int(to * image.width());
    int lit = 0, all = 0;
    for (int x = x0; x < x1; ++x)
        for (int y = 0; y < image.height(); ++y, ++all)
            lit += qGray(image.pixel(x, y)) > 96 ? 1 : 0;
    return all ? double(lit) / all : 0.0;
}

} // namespace

void tst_TimelinePictures::waveformAndFrameAfterImport()
{
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("gap.mp4"));
    // 10 s: a tone, silence from 3 s to 5 s, the tone again.
    QVERIFY(test::TestMedia::ffmpeg({"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=10", "-f", "lavfi", "-i",
                                     "aevalsrc='if(between(t\\,3\\,5)\\,0\\,0.6*sin(2*PI*440*t))':s=44100:d=10",
                                     "-c:v", "libx264", "-c:a", "aac", "-shortest", clip}));
    MainController *controller = Application::instance()->getMainController();
    controller->exec();
    MainWindow *window = controller->getMainWindow();
    window->resize(1100, 800);
    window->show();

    QElapsedTimer opening;
    opening.start();
    controller->openFile(clip);
    QVERIFY(!controller->getMedia()->isEmpty());
    TimelineViewportWidget *viewport = window->getTimeline()->getViewport();
    const auto audioRow = viewport->getAudioTrack()->getThumbnails();
    const auto videoRow = viewport->getVideoTrack()->getThumbnails();
    QCOMPARE(audioRow.size(), 1);
    QCOMPARE(videoRow.size(), 1);
    auto *wave = qobject_cast<AudioThumbnailWidget *>(audioRow.first());
    auto *frame = qobject_cast<VideoThumbnailWidget *>(videoRow.first());
    QVERIFY(wave && frame);
    QCOMPARE(frame->getName(), QStringLiteral("gap.mp4"));

    // The pictures arrive while the event loop turns.
    QVERIFY(QTest::qWaitFor([&] { return !wave->getPixmap().isNull() && !frame->getPixmap().isNull(); }, 60000));
    qInfo() << "pictures after" << opening.elapsed() << "ms";

    const QImage picture = wave->getPixmap().toImage();
    const double loud = litShare(picture, 0.05, 0.25);
    const double gap = litShare(picture, 0.33, 0.47);
    const double loudAgain = litShare(picture, 0.55, 0.95);
    QVERIFY2(loud > 0.3 && loudAgain > 0.3 && gap < 0.1,
             qPrintable(QStringLiteral("lit: %1 %2 %3").arg(loud).arg(gap).arg(loudAgain)));

    // A refresh of an unchanged edit list keeps the widgets.
    const QPointer<AudioThumbnailWidget> kept(wave);
    controller->updateTimeline();
    QVERIFY(kept);
    QCOMPARE(viewport->getAudioTrack()->getThumbnails().first(), wave);
    // The fragment's volume is drawn: at 0 % the slice is black.
    controller->getMedia()->getTrackFragments().first()->volume = 0.0f;
    controller->updateTimeline();
    QCOMPARE(litShare(wave->getPixmap().toImage(), 0.0, 1.0), 0.0);

    const QString artefacts = test::binDir() + QStringLiteral("/../artefacts");
    QDir().mkpath(artefacts);
    controller->getMedia()->getTrackFragments().first()->volume = 100.0f;
    controller->updateTimeline();
    QVERIFY(window->getTimeline()->grab().save(artefacts + QStringLiteral("/timeline-pictures.png")));
}

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_TimelinePictures tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_TimelinePictures.moc"
