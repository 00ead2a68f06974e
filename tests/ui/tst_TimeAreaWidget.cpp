#include "ui/TimeAreaWidget.h"

#include "model/MediaTimeLine.h"
#include "ui/SliderHandle.h"
#include "TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <limits>

using namespace TW;

namespace {

// The ruler used throughout: left offset 60, 1000 px wide with space factor
// 2, so its span is 500 px; 50 s at 10 fps are 500 frames, and frame f
// stands at x = 60 + f.
const int kLeft = 60;
const int kWidth = 1000;

// Runs `action` on the next popup menu or modal dialog that opens.
void whenShown(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action]() {
        QWidget* shown = QApplication::activePopupWidget();
        if (!shown)
            shown = QApplication::activeModalWidget();
        if (!shown)
            return;
        timer->stop();
        timer->deleteLater();
        action(shown);
    });
    timer->start();
}

void chooseMenuEntry(QWidget* popup, const QString& text, QStringList* entries = nullptr)
{
    auto* menu = qobject_cast<QMenu*>(popup);
    QVERIFY(menu);
    QAction* chosen = nullptr;
    for (QAction* action : menu->actions()) {
        if (entries)
            entries->append(action->text());
        if (action->text() == text)
            chosen = action;
    }
    menu->close();
    if (chosen)
        chosen->trigger();
}

} // namespace

class TimeAreaWidgetTest : public QObject
{
    Q_OBJECT

private:
    QSharedPointer<MediaTimeLine> timeline;
    TimeAreaWidget* ruler = nullptr;
    int edits = 0;

    QWindow* window() const { return ruler->windowHandle(); }

    void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    VideoLoopPtr showLoop(int start, int end)
    {
        const VideoLoopPtr loop = timeline->allocLoop(start, end);
        timeline->addLoop(loop);
        ruler->addLoop(loop);
        return loop;
    }

    VideoMarkerPtr showBookmark(int frame)
    {
        const VideoMarkerPtr bookmark = timeline->allocBookmark(frame);
        timeline->addMarker(bookmark);
        ruler->addBookmark(bookmark);
        return bookmark;
    }

    // The handles of a kind as the user sees them: bookmark and loop
    // handles the ruler paints, and the handle widgets it shows.
    struct Shown
    {
        QString text;
        QRect geometry;
    };
    QList<Shown> visibleHandles(int type) const
    {
        QList<Shown> result;
        for (const TimeAreaWidget::PaintedHandle& handle : ruler->getPaintedHandles()) {
            if (handle.type == type)
                result.append({handle.text, handle.geometry});
        }
        for (SliderHandle* handle : ruler->findChildren<SliderHandle*>()) {
            if (handle->isVisible() && handle->getType() == type)
                result.append({handle->getText(), handle->geometry()});
        }
        return result;
    }

    static int centre(const QRect& r) { return r.x() + r.width() / 2; }

    // What the ruler shows, as text: the loops, the pending loop ends and
    // the bookmarks.
    QString describe() const
    {
        QStringList loops;
        QList<QRect> loopGeometries;
        for (const VideoLoopPtr& loop : ruler->getLoops()) {
            loops << QStringLiteral("%1:%2-%3")
                         .arg(loop->getName())
                         .arg(loop->getStartFrame())
                         .arg(loop->getEndFrame());
            loopGeometries << ruler->getLoopHandlesGeom(loop);
        }
        QStringList pending;
        for (int type : {int(HandleType::LoopStart), int(HandleType::LoopEnd)}) {
            for (const Shown& handle : visibleHandles(type)) {
                if (loopGeometries.contains(handle.geometry))
                    continue;
                pending << QStringLiteral("%1@%2")
                               .arg(type == HandleType::LoopStart ? "S" : "E")
                               .arg(centre(handle.geometry) - kLeft);
            }
        }
        QStringList bookmarks;
        for (const VideoMarkerPtr& bookmark : ruler->getBookmarks())
            bookmarks << QStringLiteral("%1@%2").arg(bookmark->getName()).arg(bookmark->getFrame());
        return QStringLiteral("loops=%1 pending=%2 bookmarks=%3")
            .arg(loops.join(','), pending.join(','), bookmarks.join(','));
    }

    // Plays a sequence of mouse steps on the ruler's window:
    //   L/R/C x,y   click with the left, right or middle button
    //   D x,y       double click with the left button
    //   pL/pR x,y   press, uL/uR x,y release, m x,y move, w ms wait
    void play(const QString& steps)
    {
        for (const QString& step : steps.split(' ', Qt::SkipEmptyParts)) {
            QString op = step;
            QPoint at;
            const int digits = int(std::find_if(step.begin(), step.end(),
                                                [](QChar c) { return c.isDigit() || c == '-'; })
                                   - step.begin());
            op = step.left(digits);
            const QStringList numbers = step.mid(digits).split(',');
            if (numbers.size() == 2)
                at = QPoint(numbers[0].toInt(), numbers[1].toInt());
            const auto button = [&](QChar c) {
                return c == 'L' ? Qt::LeftButton : c == 'R' ? Qt::RightButton : Qt::MiddleButton;
            };
            if (op == "L" || op == "R" || op == "C") {
                QTest::mouseClick(window(), button(op[0]), {}, at);
            } else if (op == "D") {
                QTest::mouseClick(window(), Qt::LeftButton, {}, at);
                QTest::mouseClick(window(), Qt::LeftButton, {}, at);
            } else if (op.startsWith('p')) {
                QTest::mousePress(window(), button(op[1]), {}, at);
            } else if (op.startsWith('u')) {
                QTest::mouseRelease(window(), button(op[1]), {}, at);
            } else if (op == "m") {
                QTest::mouseMove(window(), at);
            } else if (op == "w") {
                QTest::qWait(step.mid(1).toInt());
            } else {
                QFAIL(qPrintable("unknown step " + step));
            }
            settle();
        }
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        TimeAreaWidget::setTimelineSource([this]() { return timeline; });
    }

    void init()
    {
        QApplication::setDoubleClickInterval(400);
        edits = 0;
        timeline = QSharedPointer<MediaTimeLine>::create();
        ruler = new TimeAreaWidget(nullptr, kLeft);
        ruler->setSpaceFactor(2);
        ruler->resize(kWidth, 57);
        ruler->setDuration(QTime(0, 0).addSecs(50), 10.0);

        // Carries out the requests as the edit commands will.
        connect(ruler, &TimeAreaWidget::addLoopRequested, this, [this](VideoLoopPtr loop) {
            timeline->addLoop(loop);
            ruler->addLoop(loop);
        }, Qt::QueuedConnection);
        connect(ruler, &TimeAreaWidget::addBookmarkRequested, this, [this](VideoMarkerPtr b) {
            timeline->addMarker(b);
            ruler->addBookmark(b);
        }, Qt::QueuedConnection);
        connect(ruler, &TimeAreaWidget::editLoopRequested, this,
                [this](VideoLoopPtr, VideoLoopPtr loop, VideoLoopPtr after) {
            *loop = *after;
            ruler->updateLoops();
            ++edits;
        }, Qt::QueuedConnection);
        connect(ruler, &TimeAreaWidget::editBookmarkRequested, this,
                [this](VideoMarkerPtr, VideoMarkerPtr bookmark, VideoMarkerPtr after) {
            *bookmark = *after;
            ruler->updateBookmarks();
            ++edits;
        }, Qt::QueuedConnection);
        connect(ruler, &TimeAreaWidget::removeLoopRequested, this, [this](VideoLoopPtr loop) {
            timeline->removeLoop(loop);
            ruler->removeLoop(loop);
        }, Qt::QueuedConnection);
        connect(ruler, &TimeAreaWidget::removeBookmarkRequested, this, [this](VideoMarkerPtr b) {
            timeline->removeMarker(b);
            ruler->removeBookmark(b);
        }, Qt::QueuedConnection);

        ruler->show();
        QVERIFY(QTest::qWaitForWindowExposed(ruler));
        QCOMPARE(ruler->getFrameCount(), 500);
    }

    void cleanup()
    {
        delete ruler;
        ruler = nullptr;
        settle();
    }

    void mouseSequences_data()
    {
        QTest::addColumn<QString>("existing"); // loops shown before the steps
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("editCount");

        QTest::newRow("left click places a loop start")
            << "" << "L300,25" << "loops= pending=S@240 bookmarks=" << 0;
        QTest::newRow("a second left click moves the start")
            << "" << "L300,25 L400,25" << "loops= pending=S@340 bookmarks=" << 0;
        QTest::newRow("quick right click places a loop end")
            << "" << "R300,25" << "loops= pending=E@240 bookmarks=" << 0;
        QTest::newRow("start then end to its left: swapped")
            << "" << "L300,25 R200,25" << "loops=L1:140-240 pending= bookmarks=" << 0;
        QTest::newRow("end then start")
            << "" << "R400,25 L300,25" << "loops=L1:240-340 pending= bookmarks=" << 0;
        QTest::newRow("two loops named in turn")
            << "" << "L100,25 R150,25 L300,25 R350,25"
            << "loops=L1:40-90,L2:240-290 pending= bookmarks=" << 0;
        QTest::newRow("on a pending handle's x: refused")
            << "" << "L300,25 R300,25" << "loops= pending=S@240 bookmarks=" << 0;
        QTest::newRow("off the ruler: refused")
            << "" << "L30,25 R600,25" << "loops= pending= bookmarks=" << 0;
        QTest::newRow("middle button places nothing")
            << "" << "C300,25" << "loops= pending= bookmarks=" << 0;
        QTest::newRow("inside a loop: refused")
            << "100-200" << "L210,25" << "loops=L1:100-200 pending= bookmarks=" << 0;
        QTest::newRow("on a loop's first and last frame: refused")
            << "100-200" << "L160,25 R260,25" << "loops=L1:100-200 pending= bookmarks=" << 0;
        QTest::newRow("spanning a loop: refused, the start stays")
            << "100-200" << "L150,25 R300,25" << "loops=L1:100-200 pending=S@90 bookmarks=" << 0;
        QTest::newRow("beside a loop")
            << "100-200" << "L300,25 R400,25"
            << "loops=L1:100-200,L2:240-340 pending= bookmarks=" << 0;
        QTest::newRow("right drag zooms and places nothing")
            << "" << "pR300,25 w250 m350,25 m380,25 uR380,25" << "loops= pending= bookmarks=" << 0;

        QTest::newRow("click in the bookmark band")
            << "" << "L300,10" << "loops= pending= bookmarks=M1@240" << 0;
        QTest::newRow("right click in the bookmark band")
            << "" << "R300,10" << "loops= pending= bookmarks=M1@240" << 0;
        QTest::newRow("bookmarks ordered by frame, named in turn")
            << "" << "L300,10 L200,10" << "loops= pending= bookmarks=M2@140,M1@240" << 0;
        QTest::newRow("bookmark off the ruler: refused")
            << "" << "L30,10 L600,10" << "loops= pending= bookmarks=" << 0;
        QTest::newRow("click on a bookmark edits it unchanged")
            << "" << "L300,10 L300,5" << "loops= pending= bookmarks=M1@240" << 1;
        QTest::newRow("dragging a bookmark")
            << "" << "L300,10 pL300,5 m330,5 m350,5 uL350,5"
            << "loops= pending= bookmarks=M1@290" << 1;
        QTest::newRow("dragging a bookmark off the ruler stops at the end")
            << "" << "L520,10 pL520,5 m550,5 m590,5 uL590,5"
            << "loops= pending= bookmarks=M1@490" << 1;

        QTest::newRow("dragging a loop end")
            << "100-200" << "pL260,35 m280,35 m300,35 uL300,35"
            << "loops=L1:100-240 pending= bookmarks=" << 1;
        QTest::newRow("a loop end stops two pixels before the next loop")
            << "100-200,300-400" << "pL260,35 m300,35 m340,35 m358,35 m359,35 m370,35 uL370,35"
            << "loops=L1:100-298,L2:300-400 pending= bookmarks=" << 1;
        QTest::newRow("a jump across a neighbour is undone")
            << "100-200,300-400" << "pL260,35 m480,35 uL480,35"
            << "loops=L1:100-200,L2:300-400 pending= bookmarks=" << 1;
        QTest::newRow("a loop start dragged off the ruler stays on it")
            << "100-200" << "pL160,35 m100,35 m70,35 m40,35 uL40,35"
            << "loops=L1:10-200 pending= bookmarks=" << 1;
        QTest::newRow("double click on a loop handle edits nothing away")
            << "100-200" << "D160,35" << "loops=L1:100-200 pending= bookmarks=" << 2;
        QTest::newRow("a dragged pending start makes the loop where it stands")
            << "" << "L300,25 pL300,35 m320,35 uL320,35 R450,25"
            << "loops=L1:260-390 pending= bookmarks=" << 0;
        QTest::newRow("a pending end cannot be dragged across a loop")
            << "100-200" << "R300,25 pL300,35 m200,35 uL200,35"
            << "loops=L1:100-200 pending=E@240 bookmarks=" << 0;
    }

    void mouseSequences()
    {
        QFETCH(QString, existing);
        QFETCH(QString, steps);
        QFETCH(QString, shown);
        QFETCH(int, editCount);

        for (const QString& span : existing.split(',', Qt::SkipEmptyParts))
            showLoop(span.section('-', 0, 0).toInt(), span.section('-', 1, 1).toInt());
        play(steps);
        QCOMPARE(describe(), shown);
        QCOMPARE(edits, editCount);
        QVERIFY(!ruler->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly)->isVisible()); // the drag arrow
    }

    void rightDragGesture()
    {
        QSignalSpy started(ruler, &TimeAreaWidget::dragStarted);
        QSignalSpy moved(ruler, &TimeAreaWidget::dragMoved);
        auto* arrow = ruler->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly);

        play("pR300,25 w250 m320,25");
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.at(0).at(1).toPoint(), QPoint(320, 25));
        const QPoint start = ruler->mapToGlobal(QPoint(320, 25));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.at(0).at(0).toPoint(), start);
        QVERIFY(arrow->isVisible());
        QCOMPARE(arrow->geometry(), QRect(320 - 40, 19 - 15, 80, 30));

        play("m360,25");
        QCOMPARE(started.count(), 1);
        QCOMPARE(moved.count(), 2);
        QCOMPARE(moved.at(1).at(1).toPoint(), start);
        QCOMPARE(moved.at(1).at(2).toPoint(), ruler->mapToGlobal(QPoint(360, 25)));

        // Near the right edge the arrow stays inside the ruler.
        play("m990,25");
        QCOMPARE(arrow->x(), kWidth - 80);
        play("uR990,25");
        QVERIFY(!arrow->isVisible());
        QCOMPARE(describe(), QStringLiteral("loops= pending= bookmarks="));

        // A quick press and move is no gesture.
        QApplication::setDoubleClickInterval(60000);
        play("pR300,25 m330,25 uR330,25");
        QCOMPARE(started.count(), 1);
    }

    void nothingDrawnWithoutMedia()
    {
        ruler->setDuration(QTime(0, 0), 0.0);
        QCOMPARE(ruler->getFrameCount(), 0);
        QCOMPARE(ruler->getCurTime(), QTime(0, 0, 0, 0));
        play("L300,25 R400,25");
        ruler->addLoopStart();
        QCOMPARE(describe(), QStringLiteral("loops= pending= bookmarks="));

        // The bookmark band still asks the timeline, over the range 0..10000.
        play("L310,10");
        QCOMPARE(describe(), QStringLiteral("loops= pending= bookmarks=M1@5000"));

        QSignalSpy frames(ruler, &TimeAreaWidget::frameChanged);
        const QRect indicator = ruler->getPosIndicatorGeom();
        play(QStringLiteral("pL%1,%2 m%3,%2 uL%3,%2")
                 .arg(centre(indicator))
                 .arg(indicator.center().y())
                 .arg(centre(indicator) + 40));
        QCOMPARE(ruler->getPosIndicatorGeom(), indicator);
        QCOMPARE(frames.count(), 0);
    }

    void withoutTimelineNothingIsMade()
    {
        timeline.reset();
        play("L300,10 L300,25 R400,25");
        QCOMPARE(describe(), QStringLiteral("loops= pending= bookmarks="));
    }

    void loopEndsFromTheKeyboard()
    {
        ruler->setCurrentFrame(100);
        ruler->addLoopEnd();
        settle();
        QCOMPARE(describe(), QStringLiteral("loops= pending=E@100 bookmarks="));
        ruler->setCurrentFrame(40);
        ruler->addLoopStart();
        settle();
        QCOMPARE(describe(), QStringLiteral("loops=L1:40-100 pending= bookmarks="));
        // Inside the loop now: refused.
        ruler->setCurrentFrame(70);
        ruler->addLoopStart();
        settle();
        QCOMPARE(describe(), QStringLiteral("loops=L1:40-100 pending= bookmarks="));
    }

    void indicatorDragMovesByWholeFrames()
    {
        QSignalSpy frames(ruler, &TimeAreaWidget::frameChanged);
        QSignalSpy pressed(ruler, &TimeAreaWidget::sliderPressed);
        QSignalSpy released(ruler, &TimeAreaWidget::sliderReleased);
        ruler->setCurrentFrame(100);
        const QRect indicator = ruler->getPosIndicatorGeom();
        QCOMPARE(centre(indicator), kLeft + 100);
        const int y = indicator.center().y();

        play(QStringLiteral("pL160,%1 m200,%1").arg(y));
        QCOMPARE(pressed.count(), 1);
        QVERIFY(ruler->isSliderDown());
        QCOMPARE(frames.count(), 1);
        QCOMPARE(frames.at(0).at(0).toInt(), 140);
        QCOMPARE(ruler->getCurFrame(), 140);
        // Playback updates do not pull a held indicator away.
        ruler->setCurrentFrame(10);
        QCOMPARE(centre(ruler->getPosIndicatorGeom()), kLeft + 140);
        ruler->setCurrentFrame(140);

        // Off the ruler the step is undone.
        play(QStringLiteral("m10,%1").arg(y));
        QCOMPARE(centre(ruler->getPosIndicatorGeom()), kLeft + 140);
        play(QStringLiteral("uL10,%1").arg(y));
        QCOMPARE(released.count(), 1);
        QVERIFY(!ruler->isSliderDown());
        QCOMPARE(frames.count(), 1);
        QCOMPARE(ruler->getCurTime(), QTime(0, 0, 14));
    }

    void indicatorDoubleClickClearsSelection()
    {
        QSignalSpy selections(ruler, &TimeAreaWidget::selectionChanged);
        ruler->setSelection(PairInt(300, 400));
        ruler->setCurrentFrame(100);
        const QRect indicator = ruler->getPosIndicatorGeom();
        const QString click = QStringLiteral("L%1,%2").arg(centre(indicator)).arg(indicator.center().y());

        QApplication::setDoubleClickInterval(60000);
        play(click); // the first click after start-up never clears
        QCOMPARE(ruler->getSelection(), PairInt(300, 400));
        play(click);
        QCOMPARE(ruler->getSelection(), PairInt(-1, -1));
        QCOMPARE(selections.last().at(0).value<PairInt>(), PairInt(-1, -1));

        // Clicks further apart than the double-click interval keep it.
        ruler->setSelection(PairInt(300, 400));
        QApplication::setDoubleClickInterval(50);
        QTest::qWait(100);
        play(click);
        QCOMPARE(ruler->getSelection(), PairInt(300, 400));
    }

    void selectionHandleDrags()
    {
        QSignalSpy selections(ruler, &TimeAreaWidget::selectionChanged);
        ruler->setSelection(PairInt(200, 300));
        auto geometries = ruler->getSelectHandlesGeom();
        QCOMPARE(geometries.first.right() + 1, kLeft + 200);
        QCOMPARE(geometries.second.left(), kLeft + 300);

        // The start handle beyond the left end selects from frame 0.
        const QPoint startGrab = geometries.first.center();
        play(QStringLiteral("pL%1,%2 m%3,%2 uL%3,%2")
                 .arg(startGrab.x()).arg(startGrab.y()).arg(startGrab.x() - 400));
        QCOMPARE(ruler->getSelection(), PairInt(0, 300));

        // The end handle beyond the right end selects to the last frame.
        geometries = ruler->getSelectHandlesGeom();
        QPoint endGrab = geometries.second.center();
        play(QStringLiteral("pL%1,%2 m%3,%2 uL%3,%2")
                 .arg(endGrab.x()).arg(endGrab.y()).arg(endGrab.x() + 600));
        QCOMPARE(ruler->getSelection(), PairInt(0, 500));

        // Beyond the left end it is undone (it would not end after the start).
        const int emitted = selections.count();
        geometries = ruler->getSelectHandlesGeom();
        endGrab = geometries.second.center();
        play(QStringLiteral("pL%1,%2 m%3,%2 uL%3,%2")
                 .arg(endGrab.x()).arg(endGrab.y()).arg(endGrab.x() - 700));
        QCOMPARE(ruler->getSelection(), PairInt(0, 500));
        QCOMPARE(ruler->getSelectHandlesGeom().second, geometries.second);
        QCOMPARE(selections.count(), emitted);
    }

    void selectionWithoutOneFlanksTheIndicator()
    {
        ruler->setCurrentFrame(250);
        const QRect indicator = ruler->getPosIndicatorGeom();
        const auto geometries = ruler->getSelectHandlesGeom();
        QCOMPARE(geometries.first.right() + 1, indicator.left() + 8);
        QCOMPARE(geometries.second.left(), indicator.left() + indicator.width() - 8);

        // Dragging the end handle away from the indicator selects from the
        // indicator's side.
        const QPoint grab = geometries.second.center();
        play(QStringLiteral("pL%1,%2 m%3,%2 uL%3,%2").arg(grab.x()).arg(grab.y()).arg(grab.x() + 50));
        const PairInt selection = ruler->getSelection();
        QCOMPARE(selection.second, 250 + 50 + (indicator.width() - 8) - indicator.width() / 2);
        QVERIFY(selection.first >= 240 && selection.first < 250);

        // A selection past the end is clamped when placed.
        ruler->setSelection(PairInt(450, 900));
        QCOMPARE(ruler->getSelection(), PairInt(450, 500));
    }

    void durationAndPositionClamp()
    {
        QSignalSpy frames(ruler, &TimeAreaWidget::frameChanged);
        ruler->setCurrentFrame(800);
        QCOMPARE(ruler->getCurFrame(), 500);
        ruler->setCurrentTime(QTime(0, 0, 12, 345));
        QCOMPARE(ruler->getCurFrame(), 123);
        QCOMPARE(ruler->getCurTime(), QTime(0, 0, 12, 300));
        QCOMPARE(frames.count(), 0); // only user drags and steps announce frames

        // A shorter medium pulls the position in; handles follow a resize.
        const VideoLoopPtr loop = showLoop(100, 200);
        ruler->setDuration(QTime(0, 0, 10), 10.0);
        QCOMPARE(ruler->getFrameCount(), 100);
        QCOMPARE(ruler->getCurFrame(), 100);
        ruler->resize(2 * kWidth, 57);
        settle();
        QCOMPARE(centre(ruler->getPosIndicatorGeom()), kLeft + 1000);
        QCOMPARE(centre(ruler->getLoopHandlesGeom(loop).at(0)), kLeft + 1000);
        QCOMPARE(ruler->sizeHint(), QSize(2 * kWidth, 57));

        // Unusable rates count as no media.
        ruler->setDuration(QTime(0, 1), std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(ruler->getFrameCount(), 0);
        QCOMPARE(ruler->getFps(), 0.0);
        ruler->setDuration(QTime(0, 1), -25.0);
        QCOMPARE(ruler->getFrameCount(), 0);
    }

    void navigation_data()
    {
        QTest::addColumn<QString>("bookmarks");
        QTest::addColumn<QString>("loops");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("target"); // -1: no move

        QTest::newRow("next bookmark") << "50,300,120" << "" << 100 << "nextBookmark" << 120;
        QTest::newRow("previous bookmark") << "50,300,120" << "" << 100 << "prevBookmark" << 50;
        QTest::newRow("no bookmark after") << "50" << "" << 100 << "nextBookmark" << -1;
        QTest::newRow("bookmark at the position is skipped") << "100,90" << "" << 100 << "prevBookmark" << 90;
        QTest::newRow("next loop") << "" << "300-350,150-200" << 100 << "nextLoop" << 150;
        QTest::newRow("previous loop from inside goes to its start")
            << "" << "10-20,150-200" << 170 << "prevLoop" << 150;
        QTest::newRow("previous loop at its start goes to the one before")
            << "" << "10-20,150-200" << 150 << "prevLoop" << 10;
        QTest::newRow("no loop before") << "" << "150-200" << 100 << "prevLoop" << -1;
    }

    void navigation()
    {
        QFETCH(QString, bookmarks);
        QFETCH(QString, loops);
        QFETCH(int, current);
        QFETCH(QString, step);
        QFETCH(int, target);

        for (const QString& frame : bookmarks.split(',', Qt::SkipEmptyParts))
            showBookmark(frame.toInt());
        for (const QString& span : loops.split(',', Qt::SkipEmptyParts))
            showLoop(span.section('-', 0, 0).toInt(), span.section('-', 1, 1).toInt());
        ruler->setCurrentFrame(current);
        QSignalSpy frames(ruler, &TimeAreaWidget::frameChanged);

        const QByteArray slot = QByteArray("moveTo")
            + (step.startsWith("next") ? "Next" : "Prev") + (step.endsWith("Bookmark") ? "Bookmark" : "Loop");
        QVERIFY(QMetaObject::invokeMethod(ruler, slot.constData()));
        if (target == -1) {
            QCOMPARE(frames.count(), 0);
            QCOMPARE(ruler->getCurFrame(), current);
        } else {
            QCOMPARE(frames.count(), 1);
            QCOMPARE(frames.at(0).at(0).toInt(), target);
            QCOMPARE(ruler->getCurFrame(), target);
            QCOMPARE(centre(ruler->getPosIndicatorGeom()), kLeft + target);
        }
    }

    // Ties go the same way every run: by frame, then by the order shown.
    void tiesFollowTheOrderShown()
    {
        const VideoMarkerPtr first = VideoMarkerPtr::create(80ul);
        const VideoMarkerPtr second = VideoMarkerPtr::create(80ul);
        const VideoMarkerPtr early = VideoMarkerPtr::create(20ul);
        ruler->addBookmark(first);
        ruler->addBookmark(second);
        ruler->addBookmark(early);
        QCOMPARE(ruler->getBookmarks(), (QVector<VideoMarkerPtr>{early, first, second}));

        const VideoLoopPtr a = showLoop(300, 320);
        const VideoLoopPtr b = showLoop(100, 150);
        const VideoLoopPtr overlapping = timeline->allocLoop(100, 160);
        ruler->addLoop(overlapping);
        QCOMPARE(ruler->getLoops(), (QVector<VideoLoopPtr>{b, overlapping, a}));
        ruler->setCurrentFrame(120);
        QCOMPARE(ruler->getCurLoop(), b);
        ruler->setCurrentFrame(155);
        QCOMPARE(ruler->getCurLoop(), overlapping);
        ruler->setCurrentFrame(250);
        QVERIFY(!ruler->getCurLoop());
    }

    // Showing a project's bookmarks and painting them costs time in
    // proportion to their number, not its square: four times as many take
    // about four times as long (a quadratic cost would take sixteen), each in
    // its place, one handle shown per place. The best of seven counts for
    // each number, and the bound leaves room for a loaded machine.
    void manyBookmarksShowInLinearTime()
    {
        auto showOnce = [this](int count) {
            ruler->clearBookmarks();
            QVector<VideoMarkerPtr> marks;
            for (int i = 0; i < count; ++i)
                marks.append(VideoMarkerPtr::create(ulong(i % 500)));
            QImage image(ruler->size(), QImage::Format_RGB32);
            QElapsedTimer took;
            took.start();
            for (const VideoMarkerPtr &mark : std::as_const(marks))
                ruler->addBookmark(mark);
            ruler->addBookmark(marks.first()); // already shown: nothing more
            ruler->render(&image);
            const qint64 ns = std::max<qint64>(1, took.nsecsElapsed());
            const QList<Shown> shown = visibleHandles(HandleType::Bookmark);
            QSet<int> places;
            for (const Shown &h : shown)
                places.insert(centre(h.geometry) - kLeft);
            if (shown.size() != std::min(count, 500) || places.size() != shown.size()
                || *std::max_element(places.begin(), places.end()) != std::min(count, 500) - 1)
                return qint64(-1);
            return ns;
        };
        auto show = [&](int count) {
            qint64 best = std::numeric_limits<qint64>::max();
            for (int i = 0; i < 7; ++i) {
                const qint64 ns = showOnce(count);
                if (ns < 0)
                    return ns;
                best = std::min(best, ns);
            }
            return best;
        };
        show(200); // warm up
        const qint64 few = show(10000);
        const qint64 many = show(40000);
        QVERIFY(few > 0 && many > 0);
        QVERIFY2(many < few * 12, qPrintable(QString("%1 ns for 10000, %2 ns for 40000").arg(few).arg(many)));
    }

    // Bookmarks at one place show one handle; when it goes, the next one
    // there is shown.
    void oneHandlePerPlace()
    {
        ruler->clearBookmarks();
        const VideoMarkerPtr first = VideoMarkerPtr::create(ulong(40));
        const VideoMarkerPtr second = VideoMarkerPtr::create(ulong(40));
        const VideoMarkerPtr elsewhere = VideoMarkerPtr::create(ulong(90));
        for (const VideoMarkerPtr &m : {first, second, elsewhere})
            ruler->addBookmark(m);
        QCOMPARE(visibleHandles(HandleType::Bookmark).size(), 2);
        ruler->removeBookmark(first);
        const QList<Shown> shown = visibleHandles(HandleType::Bookmark);
        QCOMPARE(shown.size(), 2);
        QSet<int> places;
        for (const Shown &h : shown)
            places.insert(centre(h.geometry) - kLeft);
        QCOMPARE(places, (QSet<int>{40, 90}));
        ruler->clearBookmarks();
        QCOMPARE(visibleHandles(HandleType::Bookmark).size(), 0);
    }

    // Bookmark and loop handles are painted, not widgets: thousands of them
    // add no child to the ruler, and each place still shows its handle.
    void thousandsOfHandlesAddNoWidgets()
    {
        const int children = ruler->findChildren<QObject*>().size();
        QVector<VideoMarkerPtr> marks;
        for (int i = 0; i < 10000; ++i)
            marks.append(VideoMarkerPtr::create(ulong(i % 500)));
        for (const VideoMarkerPtr& mark : std::as_const(marks))
            ruler->addBookmark(mark);
        for (int i = 0; i < 1000; ++i)
            ruler->addLoop(timeline->allocLoop(i % 250 * 2, i % 250 * 2 + 1));
        settle();
        QCOMPARE(ruler->findChildren<QObject*>().size(), children);
        QCOMPARE(ruler->getBookmarks().size(), 10000);
        QCOMPARE(ruler->getLoops().size(), 1000);
        QCOMPARE(visibleHandles(HandleType::Bookmark).size(), 500);
        QCOMPARE(visibleHandles(HandleType::LoopStart).size(), 1000);
        // Frames 100 to 109: ten places, and five spans of four loops each.
        QCOMPARE(ruler->getPaintedHandles(kLeft + 100, kLeft + 109).size(), 10 + 5 * 4 * 2);

        ruler->clearBookmarks();
        ruler->clearLoops();
        QVERIFY(ruler->getPaintedHandles().isEmpty());
    }

    // A painted handle shows the hover and pressed looks of a handle widget:
    // its marker changes as the pointer comes over it, presses and leaves.
    void paintedHandleLooks()
    {
        showBookmark(240);
        const QRect handle = visibleHandles(HandleType::Bookmark).first().geometry;
        const QRect marker(centre(handle) - 5, handle.bottom() - 12, 10, 13);
        auto look = [&]() {
            QImage image(ruler->size(), QImage::Format_RGB32);
            image.fill(Qt::black);
            ruler->render(&image);
            return image.copy(marker);
        };
        const QPoint on = marker.center();
        const QPoint off(on.x() + 150, on.y());
        play(QStringLiteral("m%1,%2").arg(off.x()).arg(off.y()));
        const QImage normal = look();
        play(QStringLiteral("m%1,%2").arg(on.x()).arg(on.y()));
        const QImage hover = look();
        play(QStringLiteral("pL%1,%2").arg(on.x()).arg(on.y()));
        const QImage pressed = look();
        play(QStringLiteral("uL%1,%2").arg(on.x()).arg(on.y()));
        QCOMPARE(look(), hover);
        play(QStringLiteral("m%1,%2").arg(off.x()).arg(off.y()));
        QCOMPARE(look(), normal);
        QVERIFY(normal != hover);
        QVERIFY(pressed != hover && pressed != normal);
        // The marker is drawn, not left blank.
        QVERIFY(normal != QImage(normal.size(), normal.format()));

        ruler->setEnabled(false);
        QVERIFY(look() != normal);
        ruler->setEnabled(true);
    }

    // A wide caption over a narrow marker: a press beside the marker, under
    // the caption, is on no handle and reaches the ruler, which makes a
    // bookmark there; a press on the caption drags the handle.
    void wideCaptionHitArea()
    {
        const VideoMarkerPtr wide = showBookmark(240);
        wide->setName(QStringLiteral("A long name for a bookmark"));
        ruler->updateBookmarks();
        const QRect handle = visibleHandles(HandleType::Bookmark).first().geometry;
        QVERIFY(handle.width() > 60);
        QCOMPARE(centre(handle), 300);
        const int besideMarker = handle.bottom() - 11; // below the caption, beside the marker
        QVERIFY(besideMarker <= 19);
        play(QStringLiteral("L%1,%2").arg(300 + 20).arg(besideMarker));
        QCOMPARE(describe(), QStringLiteral("loops= pending= bookmarks=A long name for a bookmark@240,M1@260"));

        play(QStringLiteral("pL%1,2 m%2,2 uL%2,2").arg(300 - 25).arg(300 - 25 - 40));
        QCOMPARE(describe(), QStringLiteral("loops= pending= bookmarks=A long name for a bookmark@200,M1@260"));
        QCOMPARE(edits, 1);
    }

    void showingAndRemoving()
    {
        const VideoLoopPtr loop = showLoop(100, 200);
        ruler->addLoop(loop); // shown once only
        QCOMPARE(visibleHandles(HandleType::LoopStart).size(), 1);
        const QList<QRect> handles = ruler->getLoopHandlesGeom(loop);
        QCOMPARE(handles.size(), 2);
        QCOMPARE(centre(handles.at(0)), kLeft + 100);
        QCOMPARE(centre(handles.at(1)), kLeft + 200);
        QCOMPARE(handles.at(0).y(), 30);
        QCOMPARE(visibleHandles(HandleType::LoopStart).first().text, QStringLiteral("L1"));

        const VideoMarkerPtr bookmark = showBookmark(50);
        QCOMPARE(visibleHandles(HandleType::Bookmark).first().geometry.y(), 0);
        QCOMPARE(centre(visibleHandles(HandleType::Bookmark).first().geometry), kLeft + 50);

        // Not shown: nothing happens.
        ruler->removeLoop(timeline->allocLoop(1, 2));
        ruler->removeBookmark(VideoMarkerPtr::create(50ul));
        QCOMPARE(ruler->getLoops().size(), 1);
        QCOMPARE(ruler->getBookmarks().size(), 1);

        // A renamed and moved loop is re-placed on request.
        loop->setName(QStringLiteral("Verse"));
        loop->setEndFrame(250);
        ruler->updateLoops();
        QCOMPARE(centre(ruler->getLoopHandlesGeom(loop).at(1)), kLeft + 250);
        QCOMPARE(visibleHandles(HandleType::LoopEnd).first().text, QStringLiteral("Verse"));

        ruler->clearLoops();
        ruler->clearBookmarks();
        settle();
        QVERIFY(ruler->getLoops().isEmpty());
        QVERIFY(ruler->getLoopHandlesGeom(loop).isEmpty());
        QVERIFY(ruler->getBookmarks().isEmpty());
        QVERIFY(visibleHandles(HandleType::LoopStart).isEmpty());
        QVERIFY(visibleHandles(HandleType::Bookmark).isEmpty());
        // The indicator and both selection handles remain.
        QCOMPARE(ruler->findChildren<SliderHandle*>().size(), 3);

        // Pending ends are cleared on request; the next loop reads "L" again.
        play("L300,25");
        QCOMPARE(visibleHandles(HandleType::LoopStart).first().text, QStringLiteral("L"));
        ruler->clearTmpLoops();
        settle();
        QCOMPARE(describe(), QStringLiteral("loops= pending= bookmarks="));
    }

    void loopMenuDeletes()
    {
        const VideoLoopPtr loop = showLoop(100, 200);
        QStringList entries;
        whenShown([&](QWidget* popup) { chooseMenuEntry(popup, "Delete", &entries); });
        play("R260,35");
        settle();
        QCOMPARE(entries, (QStringList{"Edit", "Delete"}));
        QCOMPARE(describe(), QStringLiteral("loops= pending= bookmarks="));
        QVERIFY(timeline->getLoops().isEmpty());
    }

    void pendingMenuOnlyDeletes()
    {
        play("L300,25");
        QStringList entries;
        whenShown([&](QWidget* popup) { chooseMenuEntry(popup, "Delete", &entries); });
        play("R300,35");
        settle();
        QCOMPARE(entries, QStringList{"Delete"});
        QCOMPARE(describe(), QStringLiteral("loops= pending= bookmarks="));
    }

    void bookmarkMenuDeletes()
    {
        showBookmark(240);
        showBookmark(100);
        QStringList entries;
        whenShown([&](QWidget* popup) { chooseMenuEntry(popup, "Delete", &entries); });
        play("R300,5");
        settle();
        QCOMPARE(entries, (QStringList{"Edit", "Delete"}));
        QCOMPARE(describe(), QStringLiteral("loops= pending= bookmarks=M2@100"));
    }

    void loopMenuEditsThroughTheDialog()
    {
        const VideoLoopPtr loop = showLoop(100, 200);
        QSignalSpy requests(ruler, &TimeAreaWidget::editLoopRequested);
        whenShown([](QWidget* popup) {
            // The dialog opens from the menu: rename the loop there.
            whenShown([](QWidget* dialog) {
                QVERIFY(qobject_cast<QDialog*>(dialog));
                dialog->findChild<QLineEdit*>("lineEdit_3")->setText("Chorus");
                dialog->findChild<QPushButton*>("okButton")->click();
            });
            chooseMenuEntry(popup, "Edit");
        });
        play("R160,35");
        QTRY_COMPARE_WITH_TIMEOUT(requests.count(), 1, 30000);
        const auto before = requests.at(0).at(0).value<VideoLoopPtr>();
        const auto after = requests.at(0).at(2).value<VideoLoopPtr>();
        QCOMPARE(requests.at(0).at(1).value<VideoLoopPtr>(), loop);
        QCOMPARE(before->getName(), QStringLiteral("L1"));
        QCOMPARE(after->getName(), QStringLiteral("Chorus"));
        QCOMPARE(after->getStartFrame(), 100);
        QCOMPARE(after->getEndFrame(), 200);
        QCOMPARE(loop->getName(), QStringLiteral("Chorus")); // carried out by the handler
    }

    void paintsScaleAndMargin()
    {
        ruler->setCurrentFrame(250); // the indicator out of the way
        QImage image(ruler->size(), QImage::Format_RGB32);
        image.fill(Qt::black);
        ruler->render(&image);
        QCOMPARE(image.pixelColor(10, 30), QColor(70, 70, 70)); // the margin
        QCOMPARE(image.pixelColor(700, 19), QColor(Qt::white)); // the baseline
        QCOMPARE(image.pixelColor(kLeft, 20), QColor(Qt::white)); // the first tick

        auto labelPixels = [&]() {
            int count = 0;
            for (int x = 600; x < 990; ++x) {
                for (int y = 45; y < 57; ++y)
                    count += image.pixelColor(x, y) == Qt::white ? 1 : 0;
            }
            return count;
        };
        QVERIFY(labelPixels() > 0);

        ruler->setDuration(QTime(0, 0), 0.0);
        image.fill(Qt::black);
        ruler->render(&image);
        QCOMPARE(image.pixelColor(700, 19), QColor(Qt::white));
        QCOMPARE(labelPixels(), 0);
    }

    // The timeline zooms by widening the ruler; at the widest a long medium
    // and a medium under one second both still place and paint correctly.
    void extremeZooms_data()
    {
        QTest::addColumn<QTime>("duration");
        QTest::addColumn<double>("fps");
        QTest::addColumn<int>("frames");
        QTest::newRow("two hours at 30 fps") << QTime(2, 0) << 30.0 << 216000;
        QTest::newRow("half a second at 30 fps") << QTime(0, 0, 0, 500) << 30.0 << 15;
        QTest::newRow("a twentieth of a second at 25 fps") << QTime(0, 0, 0, 50) << 25.0 << 1;
    }

    void extremeZooms()
    {
        QFETCH(QTime, duration);
        QFETCH(double, fps);
        QFETCH(int, frames);

        TimeAreaWidget wide(nullptr, kLeft);
        wide.setSpaceFactor(4);
        wide.resize(QWIDGETSIZE_MAX, 57);
        wide.setDuration(duration, fps);
        QCOMPARE(wide.getFrameCount(), frames);
        const int span = QWIDGETSIZE_MAX / 4;

        const VideoLoopPtr loop = timeline->allocLoop(frames / 2, frames);
        wide.addLoop(loop);
        const QList<QRect> handles = wide.getLoopHandlesGeom(loop);
        QCOMPARE(centre(handles.at(1)), kLeft + span);
        const qint64 half = (qint64(frames / 2) * span * 2 + frames) / (2 * frames);
        QCOMPARE(centre(handles.at(0)), int(kLeft + half));

        wide.setCurrentFrame(frames);
        QCOMPARE(centre(wide.getPosIndicatorGeom()), kLeft + span);
        QCOMPARE(wide.getCurTime(), QTime(0, 0).addMSecs(int(frames / fps * 1000)));

        // Painting a stretch far out on the ruler draws its part of the scale.
        QImage image(400, 57, QImage::Format_RGB32);
        image.fill(Qt::black);
        const QRect stretch(kLeft + span / 2, 0, 400, 57);
        wide.render(&image, QPoint(), QRegion(stretch), QWidget::DrawChildren);
        int white = 0;
        for (int x = 0; x < 400; ++x)
            white += image.pixelColor(x, 19) == Qt::white ? 1 : 0;
        QCOMPARE(white, 400); // the baseline runs through
    }

    void dragOverRulerReportsDistance()
    {
        QSignalSpy dragged(ruler, &TimeAreaWidget::dragged);
        QMimeData data;
        data.setData(QStringLiteral("timearea/drag"), QByteArray());
        QDragEnterEvent enter(QPoint(100, 30), Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(ruler, &enter);
        QVERIFY(enter.isAccepted());

        QDragMoveEvent first(QPoint(100, 30), Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(ruler, &first);
        QDragMoveEvent second(QPoint(130, 30), Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(ruler, &second);
        QCOMPARE(dragged.count(), 2);
        QCOMPARE(dragged.at(1).at(0).toInt(), 30);
        QCOMPARE(dragged.at(1).at(1).toInt(), 100);

        QMimeData other;
        other.setText(QStringLiteral("file"));
        QDragEnterEvent refused(QPoint(100, 30), Qt::MoveAction, &other, Qt::LeftButton, {});
        refused.setAccepted(false);
        QApplication::sendEvent(ruler, &refused);
        QVERIFY(!refused.isAccepted());
    }
};

QTEST_MAIN(TimeAreaWidgetTest)
#include "tst_TimeAreaWidget.moc"
