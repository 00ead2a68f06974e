// Track rows and their thumbnails: frame-to-pixel placement of the strip,
// adoption, removal, clicks, the buddy link and the drag-to-scroll gesture's
// bookkeeping; the video thumbnail's picture and name.
#include "TestEnv.h"

#include "ui/AudioThumbnailWidget.h"
#include "ui/MediaTrackWidget.h"
#include "ui/VideoThumbnailWidget.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

using namespace TW;

namespace {
// A row of the given width with a duration of frames at 25 fps.
void setFrames(MediaTrackWidget &row, int frames)
{
    row.setDuration(QTime(0, 0).addMSecs(frames * 40), 25.0);
}
} // namespace

class tst_MediaTrackWidget : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void positionFromValue_data();
    void positionFromValue();
    void durationGivesFrameCount_data();
    void durationGivesFrameCount();
    void stripLayout_data();
    void stripLayout();
    void sameStartOnlyLastIsPlaced();
    void noDurationLeavesThumbnailsAlone();
    void adoptionPlacesAndSizes();
    void placementOutsideARowChangesNothing();
    void placementInsideARow();
    void removeAndClear();
    void clicks_data();
    void clicks();
    void buddyLink();
    void dragGestureBookkeeping();
    void dragEvents();
    void videoThumbnailPicture_data();
    void videoThumbnailPicture();
    void videoThumbnailName();
    void audioThumbnailWave();
};

void tst_MediaTrackWidget::initTestCase()
{
    test::isolateHome();
}

void tst_MediaTrackWidget::positionFromValue_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("factor");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("x");
    QTest::newRow("start") << 700 << 1 << 175 << 0 << 0;
    QTest::newRow("end") << 700 << 1 << 175 << 175 << 700;
    QTest::newRow("middle") << 700 << 1 << 175 << 100 << 400;
    QTest::newRow("factor 4 uses a quarter") << 700 << 4 << 175 << 175 << 175;
    QTest::newRow("no frames maps to 0") << 700 << 1 << 0 << 50 << 0;
    QTest::newRow("past the end stays at the end") << 700 << 1 << 175 << 500 << 700;
    // A wide zoom on a long clip: the product no longer fits into 32 bits.
    QTest::newRow("wide and long") << 16000000 << 4 << 270000 << 135000 << 2000000;
}

void tst_MediaTrackWidget::positionFromValue()
{
    QFETCH(int, width);
    QFETCH(int, factor);
    QFETCH(int, frames);
    QFETCH(int, value);
    QFETCH(int, x);
    MediaTrackWidget row(nullptr);
    row.resize(width, 35);
    row.setSpaceFactor(factor);
    setFrames(row, frames);
    QCOMPARE(row.getFrameCount(), frames);
    QCOMPARE(row.positionFromValue(value), x);
}

void tst_MediaTrackWidget::durationGivesFrameCount_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("frames");
    QTest::newRow("one second at 25") << QTime(0, 0, 1) << 25.0 << 25;
    QTest::newRow("truncated") << QTime(0, 0, 1, 999) << 29.97 << 59;
    QTest::newRow("fps 0") << QTime(0, 1) << 0.0 << 0;
    QTest::newRow("negative fps") << QTime(0, 1) << -25.0 << 0;
    QTest::newRow("not a number") << QTime(0, 1) << qQNaN() << 0;
    QTest::newRow("null time") << QTime() << 25.0 << 0;
}

void tst_MediaTrackWidget::durationGivesFrameCount()
{
    QFETCH(QTime, time);
    QFETCH(double, fps);
    QFETCH(int, frames);
    MediaTrackWidget row(nullptr);
    row.setDuration(time, fps);
    QCOMPARE(row.getFrameCount(), frames);
}

void tst_MediaTrackWidget::stripLayout_data()
{
    QTest::addColumn<int>("factor");
    QTest::addColumn<QVector<int>>("xs");
    QTest::addColumn<QVector<int>>("widths");
    QTest::newRow("factor 1") << 1 << QVector<int>{0, 400, 600} << QVector<int>{400, 200, 100};
    QTest::newRow("factor 4") << 4 << QVector<int>{0, 100, 150} << QVector<int>{100, 50, 25};
}

void tst_MediaTrackWidget::stripLayout()
{
    QFETCH(int, factor);
    QFETCH(QVector<int>, xs);
    QFETCH(QVector<int>, widths);
    MediaTrackWidget row(nullptr);
    row.resize(700, 35);
    row.show();
    row.setSpaceFactor(factor);
    setFrames(row, 175);
    // Added out of order: the strip follows the start frames.
    auto *c = row.addThumbnail(new AudioThumbnailWidget(150, 25, QImage()));
    auto *a = row.addThumbnail(new AudioThumbnailWidget(0, 100, QImage()));
    auto *b = row.addThumbnail(new AudioThumbnailWidget(100, 50, QImage()));
    const QVector<AbstractThumbnail *> thumbs{a, b, c};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(thumbs[i]->x(), xs[i]);
        QCOMPARE(thumbs[i]->width(), widths[i]);
        QCOMPARE(thumbs[i]->y(), 1);
        QCOMPARE(thumbs[i]->height(), 33);
    }
    // A wider row lays the strip out again.
    row.resize(1400, 35);
    QCOMPARE(b->x(), xs[1] * 2);
    QCOMPARE(c->width(), widths[2] * 2);
}

void tst_MediaTrackWidget::sameStartOnlyLastIsPlaced()
{
    MediaTrackWidget row(nullptr);
    row.resize(700, 35);
    setFrames(row, 175);
    auto *first = row.addThumbnail(new AudioThumbnailWidget(100, 50, QImage()));
    QCOMPARE(first->geometry(), QRect(400, 1, 200, 33));
    auto *second = row.addThumbnail(new AudioThumbnailWidget(100, 25, QImage()));
    QCOMPARE(second->x(), 400);
    QCOMPARE(second->width(), 100);
    // The earlier one takes no part any more.
    row.setSpaceFactor(2);
    QCOMPARE(second->width(), 50);
    QCOMPARE(first->geometry(), QRect(400, 1, 200, 33));
}

void tst_MediaTrackWidget::noDurationLeavesThumbnailsAlone()
{
    MediaTrackWidget row(nullptr);
    row.resize(700, 35);
    auto *thumb = new AudioThumbnailWidget(10, 20, QImage());
    thumb->setGeometry(30, 0, 40, 20);
    row.addThumbnail(thumb);
    QCOMPARE(thumb->x(), 30);
    QCOMPARE(thumb->width(), 40);
    row.resize(900, 35);
    QCOMPARE(thumb->x(), 30);
    QCOMPARE(thumb->width(), 40);
}

void tst_MediaTrackWidget::adoptionPlacesAndSizes()
{
    MediaTrackWidget row(nullptr);
    row.resize(400, 35);
    setFrames(row, 100);
    auto *thumb = new VideoThumbnailWidget(50, 25, QStringLiteral("T"), QImage());
    QVERIFY(!thumb->parentWidget());
    QCOMPARE(row.addThumbnail(thumb), thumb);
    QCOMPARE(thumb->parentWidget(), &row);
    QCOMPARE(row.getThumbnails(), QVector<AbstractThumbnail *>{thumb});
    QCOMPARE(thumb->geometry(), QRect(200, 1, 100, 33));
    QVERIFY(!thumb->isHidden());
    // A thumbnail may be narrower than its picture: its length decides.
    setFrames(row, 4000);
    QCOMPARE(thumb->width(), 3);
}

void tst_MediaTrackWidget::placementOutsideARowChangesNothing()
{
    AudioThumbnailWidget thumb(10, 20, QImage());
    thumb.setGeometry(0, 0, 30, 30);
    thumb.setPosition(99);
    thumb.setDuration(99);
    QCOMPARE(thumb.getPosition(), 10);
    QCOMPARE(thumb.getDuration(), 20);
    QCOMPARE(thumb.geometry(), QRect(0, 0, 30, 30));
}

void tst_MediaTrackWidget::placementInsideARow()
{
    MediaTrackWidget row(nullptr);
    row.resize(700, 35);
    setFrames(row, 175);
    auto *thumb = row.addThumbnail(new AudioThumbnailWidget(0, 100, QImage()));
    thumb->setPosition(100);
    thumb->setDuration(25);
    QCOMPARE(thumb->getPosition(), 100);
    QCOMPARE(thumb->getDuration(), 25);
    QCOMPARE(thumb->x(), 400);
    QCOMPARE(thumb->width(), 100);
    QCOMPARE(thumb->y(), 1);
}

void tst_MediaTrackWidget::removeAndClear()
{
    MediaTrackWidget video(nullptr);
    MediaTrackWidget audio(nullptr);
    QPointer<AbstractThumbnail> a = video.addThumbnail(new AudioThumbnailWidget(0, 10, QImage()));
    QPointer<AbstractThumbnail> b = video.addThumbnail(new AudioThumbnailWidget(10, 10, QImage()));
    QPointer<AbstractThumbnail> other = audio.addThumbnail(new AudioThumbnailWidget(0, 10, QImage()));

    // A thumbnail of the other row is left alone.
    video.removeThumbnail(other);
    QVERIFY(other);
    QCOMPARE(audio.getThumbnails().size(), 1);
    QCOMPARE(video.getThumbnails().size(), 2);

    video.removeThumbnail(a);
    QVERIFY(!a);
    QCOMPARE(video.getThumbnails(), QVector<AbstractThumbnail *>{b.data()});
    video.removeThumbnail(nullptr);
    video.clearThumbnails();
    QVERIFY(!b);
    QVERIFY(video.getThumbnails().isEmpty());
}

void tst_MediaTrackWidget::clicks_data()
{
    QTest::addColumn<Qt::MouseButton>("pressed");
    QTest::addColumn<Qt::MouseButton>("released");
    QTest::addColumn<bool>("clicked");
    QTest::newRow("left") << Qt::LeftButton << Qt::LeftButton << true;
    QTest::newRow("right") << Qt::RightButton << Qt::RightButton << true;
    QTest::newRow("another button's release") << Qt::LeftButton << Qt::RightButton << false;
}

void tst_MediaTrackWidget::clicks()
{
    QFETCH(Qt::MouseButton, pressed);
    QFETCH(Qt::MouseButton, released);
    QFETCH(bool, clicked);
    MediaTrackWidget row(nullptr);
    row.resize(400, 35);
    setFrames(row, 100);
    auto *thumb = row.addThumbnail(new AudioThumbnailWidget(0, 50, QImage()));
    QSignalSpy rowSpy(&row, &MediaTrackWidget::thumbnailClicked);
    QSignalSpy thumbSpy(thumb, &AbstractThumbnail::clicked);

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), pressed, pressed, Qt::NoModifier);
    QApplication::sendEvent(thumb, &press);
    // The press goes on to the row (for the drag gesture).
    QVERIFY(!press.isAccepted());
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), released, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(thumb, &release);
    QCOMPARE(thumbSpy.size(), clicked ? 1 : 0);
    QCOMPARE(rowSpy.size(), clicked ? 1 : 0);
    if (clicked) {
        QCOMPARE(thumbSpy.at(0).at(0).value<Qt::MouseButton>(), released);
        QCOMPARE(rowSpy.at(0).at(0).value<AbstractThumbnail *>(), thumb);
    }
}

void tst_MediaTrackWidget::buddyLink()
{
    MediaTrackWidget a(nullptr);
    MediaTrackWidget c(nullptr);
    {
        MediaTrackWidget b(nullptr);
        a.setBuddy(&b);
        QCOMPARE(a.getBuddy(), &b);
        QCOMPARE(b.getBuddy(), &a);
        // Relinking drops the old link on both sides.
        a.setBuddy(&c);
        QCOMPARE(b.getBuddy(), nullptr);
        QCOMPARE(c.getBuddy(), &a);
        b.setBuddy(&a);
        QCOMPARE(a.getBuddy(), &b);
        QCOMPARE(c.getBuddy(), nullptr);
    }
    // A destroyed row leaves no dangling link.
    QCOMPARE(a.getBuddy(), nullptr);
}

void tst_MediaTrackWidget::dragGestureBookkeeping()
{
    MediaTrackWidget video(nullptr);
    MediaTrackWidget audio(nullptr);
    video.resize(400, 35);
    audio.resize(400, 35);
    video.setBuddy(&audio);

    QTest::mousePress(&video, Qt::RightButton, Qt::NoModifier, QPoint(50, 10));
    QVERIFY(!video.isDragPending());
    QTest::mouseRelease(&video, Qt::RightButton, Qt::NoModifier, QPoint(50, 10));

    // A left press arms both rows; the release disarms both, so the timer
    // that fires later starts nothing.
    QTest::mousePress(&video, Qt::LeftButton, Qt::NoModifier, QPoint(50, 10));
    QVERIFY(video.isDragPending());
    QVERIFY(audio.isDragPending());
    QTest::mouseRelease(&video, Qt::LeftButton, Qt::NoModifier, QPoint(50, 10));
    QVERIFY(!video.isDragPending());
    QVERIFY(!audio.isDragPending());
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QVERIFY(!video.isDragPending());
}

void tst_MediaTrackWidget::dragEvents()
{
    MediaTrackWidget video(nullptr);
    MediaTrackWidget audio(nullptr);
    video.resize(400, 35);
    audio.resize(400, 35);
    video.setBuddy(&audio);
    QTest::mousePress(&audio, Qt::LeftButton, Qt::NoModifier, QPoint(120, 10));
    QTest::mouseRelease(&audio, Qt::LeftButton, Qt::NoModifier, QPoint(120, 10));

    QMimeData ours;
    ours.setData(QStringLiteral("mediatrack/drag"), QByteArray());
    QMimeData theirs;
    theirs.setText(QStringLiteral("text"));
    QDragEnterEvent enterOurs(QPoint(100, 10), Qt::MoveAction, &ours, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&video, &enterOurs);
    QVERIFY(enterOurs.isAccepted());
    QDragEnterEvent enterTheirs(QPoint(100, 10), Qt::MoveAction, &theirs, Qt::LeftButton, Qt::NoModifier);
    enterTheirs.ignore();
    QApplication::sendEvent(&video, &enterTheirs);
    QVERIFY(!enterTheirs.isAccepted());

    // Both rows measure from the same press point.
    QSignalSpy videoSpy(&video, &MediaTrackWidget::dragged);
    QSignalSpy audioSpy(&audio, &MediaTrackWidget::dragged);
    QDragMoveEvent moveVideo(QPoint(90, 10), Qt::MoveAction, &ours, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&video, &moveVideo);
    QDragEnterEvent enterAudio(QPoint(100, 20), Qt::MoveAction, &ours, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&audio, &enterAudio);
    QDragMoveEvent moveAudio(QPoint(90, 20), Qt::MoveAction, &ours, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&audio, &moveAudio);
    QVERIFY(!videoSpy.isEmpty());
    QCOMPARE(videoSpy.last().at(0).toInt(), -30);
    QVERIFY(!audioSpy.isEmpty());
    QCOMPARE(audioSpy.last().at(0).toInt(), -30);
}

void tst_MediaTrackWidget::videoThumbnailPicture_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("picture");
    QTest::newRow("wide") << QSize(320, 180) << QSize(50, 28);
    QTest::newRow("tall") << QSize(100, 400) << QSize(12, 50);
    QTest::newRow("small grows") << QSize(10, 10) << QSize(50, 50);
    QTest::newRow("null") << QSize() << QSize(0, 0);
}

void tst_MediaTrackWidget::videoThumbnailPicture()
{
    QFETCH(QSize, image);
    QFETCH(QSize, picture);
    QImage source;
    if (image.isValid()) {
        source = QImage(image, QImage::Format_RGB32);
        source.fill(Qt::red);
    }
    VideoThumbnailWidget thumb(0, 10, QStringLiteral("Intro"), source);
    QCOMPARE(thumb.getPixmap().size(), picture);
    QCOMPARE(thumb.getName(), QStringLiteral("Intro"));
    QCOMPARE(thumb.minimumSize(), QSize(0, 0));
}

void tst_MediaTrackWidget::videoThumbnailName()
{
    VideoThumbnailWidget thumb(0, 10, QStringLiteral("Intro"), QImage());
    QLabel *nameLabel = nullptr;
    for (QLabel *label : thumb.findChildren<QLabel *>()) {
        if (label->text() == QLatin1String("Intro"))
            nameLabel = label;
    }
    QVERIFY(nameLabel);
    QCOMPARE(nameLabel->styleSheet(), QStringLiteral("color: white;"));
    thumb.setName(QStringLiteral("Verse"));
    QCOMPARE(nameLabel->text(), QStringLiteral("Verse"));
    QCOMPARE(thumb.getName(), QStringLiteral("Verse"));
}

void tst_MediaTrackWidget::audioThumbnailWave()
{
    QImage wave(200, 20, QImage::Format_RGB32);
    wave.fill(Qt::green);
    AudioThumbnailWidget thumb(0, 10, wave);
    QCOMPARE(thumb.getPixmap().size(), QSize(200, 20));
    thumb.resize(60, 30);
    thumb.show();
    QCoreApplication::processEvents();
    // Stretched over the thumbnail less its 1-pixel margin.
    const QImage shot = thumb.grab().toImage();
    QCOMPARE(QColor(shot.pixel(30, 15)), QColor(Qt::green));
    QCOMPARE(QColor(shot.pixel(1, 1)), QColor(Qt::green));
    thumb.setAudioWave(QImage());
    QVERIFY(thumb.getPixmap().isNull());
}

QTEST_MAIN(tst_MediaTrackWidget)
#include "tst_MediaTrackWidget.moc"
