#include "ui/TimeAreaImpl.h"

#include <QTimer>

#include "model/MediaTimeLine.h"
#include "ui/RulerScale.h"

#include <QDebug>
#include <QFontMetrics>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>

#include <climits>

namespace TW {

namespace {

const int kIndicatorRow = 19;
const int kLoopRow = 30;
const QString kPendingLoopName = QStringLiteral("L");
const QString kLabelFormat = QStringLiteral("HH:mm:ss.zzz");

// Handles that leave the ruler are hidden at once and deleted once control
// is back in the event loop, since they may be the sender of the signal
// being handled.
void discard(SliderHandle* handle)
{
    if (!handle)
        return;
    handle->hide();
    handle->deleteLater();
}

} // namespace

TimeAreaWidget::TimelineSource TimeAreaWidget::TimeAreaImpl::timelineSource;

TimeAreaWidget::TimeAreaImpl::TimeAreaImpl(TimeAreaWidget* owner, int leftOffset)
    : owner(owner), leftOffset(leftOffset)
{
    ctorSlider();
    ctorLoop();
}

TimeAreaWidget::TimeAreaImpl::~TimeAreaImpl() = default;

QSharedPointer<MediaTimeLine> TimeAreaWidget::TimeAreaImpl::timeline()
{
    if (!timelineSource)
        return {};
    return timelineSource();
}

RulerGeometry TimeAreaWidget::TimeAreaImpl::geometry() const
{
    return RulerGeometry::make(leftOffset, owner->width(), spaceFactor, frameCount);
}

int TimeAreaWidget::TimeAreaImpl::centreOf(const SliderHandle* handle)
{
    return handle->x() + handle->width() / 2;
}

void TimeAreaWidget::TimeAreaImpl::placeCentred(SliderHandle* handle, int x)
{
    handle->move(x - handle->width() / 2, handle->y());
}

void TimeAreaWidget::TimeAreaImpl::ctorSlider()
{
    currentFrame = 0;
    frameCount = 0;
    fps = 0.0;
    selection = PairInt(-1, -1);
    selectionValid = false;

    selStart = new SliderHandle(owner, HandleType::SelectionStart);
    selEnd = new SliderHandle(owner, HandleType::SelectionEnd);
    indicator = new SliderHandle(owner, HandleType::PositionIndicator);
    selStart->move(0, kIndicatorRow);
    selEnd->move(0, kIndicatorRow);
    indicator->move(0, kIndicatorRow);
    updateSelectionHandlePositions();

    arrow = new QLabel(owner);
    arrow->setAlignment(Qt::AlignCenter);
    arrow->setStyleSheet(QStringLiteral("border-image: url(:gui/arrow-slider);"));
    arrow->setFixedSize(80, 30);
    arrow->hide();

    connect(indicator, &SliderHandle::mouseClicked, owner, &TimeAreaWidget::onTimeIndicatorClicked);
    connect(indicator, &SliderHandle::moved, owner, &TimeAreaWidget::onTimeIndicatorMoved);
    connect(indicator, &SliderHandle::released, owner, &TimeAreaWidget::sliderReleased);
    connect(indicator, &SliderHandle::pressed, owner, &TimeAreaWidget::sliderPressed);
    connect(indicator, &SliderHandle::released, owner, &TimeAreaWidget::onTimeIndicatorReleased);
    connect(selStart, &SliderHandle::moved, owner, &TimeAreaWidget::onSelStartMoved);
    connect(selEnd, &SliderHandle::moved, owner, &TimeAreaWidget::onSelEndMoved);
}

void TimeAreaWidget::TimeAreaImpl::ctorLoop()
{
    tmpStart = nullptr;
    tmpEnd = nullptr;
    tmpLoop = VideoLoopPtr::create();
    tmpLoop->setName(kPendingLoopName);
}

void TimeAreaWidget::TimeAreaImpl::raiseFixedSoon()
{
    if (raisePending)
        return;
    raisePending = true;
    QTimer::singleShot(0, owner, [this] {
        raisePending = false;
        raiseFixed();
    });
}

void TimeAreaWidget::TimeAreaImpl::raiseFixed()
{
    selStart->raise();
    selEnd->raise();
    indicator->raise();
    arrow->raise();
}

void TimeAreaWidget::TimeAreaImpl::moveArrow(int x)
{
    int left = x - arrow->width() / 2;
    if (x > owner->width() - arrow->width() / 2)
        left = owner->width() - arrow->width();
    arrow->move(left, kIndicatorRow - arrow->height() / 2);
}

int TimeAreaWidget::TimeAreaImpl::xOfBookmark(const BookmarkEntry& entry) const
{
    return xOfFrame(qint64(qMin<quint64>(entry.bookmark->getFrame(), quint64(INT_MAX))));
}

void TimeAreaWidget::TimeAreaImpl::placeBookmark(const BookmarkEntry& entry)
{
    if (!entry.handle)
        return;
    entry.handle->setText(entry.bookmark->getName());
    placeCentred(entry.handle, xOfBookmark(entry));
}

void TimeAreaWidget::TimeAreaImpl::placeAndShowBookmark(BookmarkEntry& entry)
{
    const int x = xOfBookmark(entry);
    SliderHandle*& shown = bookmarkAtX[x];
    if (shown && shown != entry.handle) {
        if (entry.handle)
            entry.handle->hide();
        return;
    }
    if (!entry.handle) {
        entry.handle = new SliderHandle(owner, HandleType::Bookmark);
        entry.handle->move(entry.handle->x(), 0);
        QObject::connect(entry.handle, &SliderHandle::pressed, owner, &TimeAreaWidget::onBookmarkPressed);
        QObject::connect(entry.handle, &SliderHandle::moved, owner, &TimeAreaWidget::onBookmarkMoved);
        QObject::connect(entry.handle, &SliderHandle::released, owner, &TimeAreaWidget::onBookmarkReleased);
        QObject::connect(entry.handle, &SliderHandle::mouseClicked, owner, &TimeAreaWidget::onBookmarkClicked);
    }
    shown = entry.handle;
    placeBookmark(entry);
    entry.handle->show();
}

void TimeAreaWidget::TimeAreaImpl::bookmarkLeft(const BookmarkEntry& gone)
{
    if (!gone.handle)
        return;
    const int x = xOfBookmark(gone);
    auto it = bookmarkAtX.find(x);
    if (it == bookmarkAtX.end() || it.value() != gone.handle)
        return;
    bookmarkAtX.erase(it);
    for (BookmarkEntry& entry : bookmarks) {
        if (entry.handle != gone.handle && xOfBookmark(entry) == x) {
            placeAndShowBookmark(entry);
            return;
        }
    }
}

void TimeAreaWidget::TimeAreaImpl::updateBookmarks()
{
    bookmarkAtX.clear();
    for (BookmarkEntry& entry : bookmarks)
        placeAndShowBookmark(entry);
}

void TimeAreaWidget::TimeAreaImpl::updateLoops()
{
    positions.clear();
    for (const LoopEntry& entry : loops) {
        const QString name = entry.loop->getName();
        const int xs = xOfFrame(entry.loop->getStartFrame());
        entry.start->setText(name);
        placeCentred(entry.start, xs);
        positions.insert(xs, entry.start);
        const int xe = xOfFrame(entry.loop->getEndFrame());
        entry.end->setText(name);
        placeCentred(entry.end, xe);
        positions.insert(xe, entry.end);
    }
    if (tmpStart) {
        const int x = xOfFrame(tmpLoop->getStartFrame());
        placeCentred(tmpStart, x);
        tmpStart->setText(tmpLoop->getName());
        positions.insert(x, tmpStart);
    }
    if (tmpEnd) {
        const int x = xOfFrame(tmpLoop->getEndFrame());
        placeCentred(tmpEnd, x);
        tmpEnd->setText(tmpLoop->getName());
        positions.insert(x, tmpEnd);
    }
}

void TimeAreaWidget::TimeAreaImpl::updateTimeIndicatorPosition()
{
    if (currentFrame > frameCount)
        currentFrame = frameCount;
    if (!indicator->isPressed())
        placeCentred(indicator, xOfFrame(currentFrame));
}

void TimeAreaWidget::TimeAreaImpl::updateSelectionHandlePositions()
{
    if (geometry().span == 0)
        return;
    if (selectionValid) {
        selection.second = qMin(selection.second, frameCount);
        selection.first = qMin(selection.first, selection.second);
        const int xs = xOfFrame(selection.first);
        const int xe = xOfFrame(selection.second);
        selStart->move(xs - selStart->width(), selStart->y());
        selEnd->move(xe, selEnd->y());
    } else {
        selStart->move(indicator->x() + 8 - selStart->width(), selStart->y());
        selEnd->move(indicator->x() + indicator->width() - 8, selEnd->y());
    }
}

void TimeAreaWidget::TimeAreaImpl::addBookmark(const QPoint& pos)
{
    if (!isOnRuler(pos.x()))
        return;
    const int frame = frameAt(pos.x());
    const QSharedPointer<MediaTimeLine> line = timeline();
    if (!line) {
        qDebug() << "TimeAreaWidget: no project timeline for a new bookmark";
        return;
    }
    const VideoMarkerPtr bookmark = line->allocBookmark(frame);
    if (bookmark)
        emit owner->addBookmarkRequested(bookmark);
}

bool TimeAreaWidget::TimeAreaImpl::canAddLoopMarkerHere(const QPoint& pos) const
{
    if (!isOnRuler(pos.x()))
        return false;
    if (tmpStart && pos.x() == centreOf(tmpStart))
        return false;
    if (tmpEnd && pos.x() == centreOf(tmpEnd))
        return false;
    const int frame = frameAt(pos.x());
    for (const LoopEntry& entry : loops) {
        if (entry.loop->getStartFrame() <= frame && frame <= entry.loop->getEndFrame())
            return false;
    }
    return true;
}

bool TimeAreaWidget::TimeAreaImpl::isOverlapOtherLoop(int a, int b) const
{
    const int lo = qMin(a, b);
    const int hi = qMax(a, b);
    for (const LoopEntry& entry : loops) {
        if (entry.loop->getStartFrame() >= lo && entry.loop->getEndFrame() <= hi)
            return true;
    }
    return false;
}

void TimeAreaWidget::TimeAreaImpl::addLoopHandle(const QPoint& pos, bool isStart)
{
    if (!canAddLoopMarkerHere(pos))
        return;
    const int frame = frameAt(pos.x());
    if (isStart) {
        if (tmpLoop->getEndFrame() != -1 && isOverlapOtherLoop(frame, tmpLoop->getEndFrame()))
            return;
    } else {
        if (tmpLoop->getStartFrame() != -1 && isOverlapOtherLoop(tmpLoop->getStartFrame(), frame))
            return;
    }

    clearLoopHandle(isStart);
    initLoopHandle(pos, isStart);

    if (isStart ? tmpEnd != nullptr : tmpStart != nullptr) {
        verifyTmpLoopHandlesPositions();
        createLoop();
        clearLoopHandle(true);
        clearLoopHandle(false);
    }
}

void TimeAreaWidget::TimeAreaImpl::initLoopHandle(const QPoint& pos, bool isStart)
{
    auto* handle = new SliderHandle(owner, isStart ? HandleType::LoopStart : HandleType::LoopEnd);
    positions.insert(pos.x(), handle);
    handle->setText(tmpLoop->getName());
    handle->move(pos.x() - handle->width() / 2, kLoopRow);

    connect(handle, &SliderHandle::moved, owner, &TimeAreaWidget::onLoopHandleMoved);
    connect(handle, &SliderHandle::mouseClicked, owner, &TimeAreaWidget::onLoopHandleClicked);

    const int frame = frameAt(pos.x());
    if (isStart) {
        tmpStart = handle;
        tmpLoop->setStartFrame(frame);
    } else {
        tmpEnd = handle;
        tmpLoop->setEndFrame(frame);
    }
    raiseFixed();
}

void TimeAreaWidget::TimeAreaImpl::removePosition(SliderHandle* handle)
{
    for (auto it = positions.begin(); it != positions.end();) {
        if (it.value() == handle)
            it = positions.erase(it);
        else
            ++it;
    }
}

void TimeAreaWidget::TimeAreaImpl::clearLoopHandle(bool isStart)
{
    SliderHandle*& handle = isStart ? tmpStart : tmpEnd;
    if (!handle)
        return;
    removePosition(handle);
    discard(handle);
    handle = nullptr;
    if (isStart)
        tmpLoop->setStartFrame(-1);
    else
        tmpLoop->setEndFrame(-1);
}

void TimeAreaWidget::TimeAreaImpl::verifyTmpLoopHandlesPositions()
{
    if (!tmpStart || !tmpEnd || tmpStart->x() < tmpEnd->x())
        return;
    removePosition(tmpStart);
    removePosition(tmpEnd);

    const QString startText = tmpStart->getText();
    tmpStart->setText(tmpEnd->getText());
    tmpEnd->setText(startText);

    const int startFrame = tmpLoop->getStartFrame();
    tmpLoop->setStartFrame(tmpLoop->getEndFrame());
    tmpLoop->setEndFrame(startFrame);

    // A handle changing its kind keeps its centre.
    const int startCentre = centreOf(tmpStart);
    const int endCentre = centreOf(tmpEnd);
    tmpStart->setType(HandleType::LoopEnd);
    tmpEnd->setType(HandleType::LoopStart);
    placeCentred(tmpStart, startCentre);
    placeCentred(tmpEnd, endCentre);
    std::swap(tmpStart, tmpEnd);

    positions.insert(centreOf(tmpStart), tmpStart);
    positions.insert(centreOf(tmpEnd), tmpEnd);
}

void TimeAreaWidget::TimeAreaImpl::createLoop()
{
    const int start = frameAt(centreOf(tmpStart));
    const int end = frameAt(centreOf(tmpEnd));
    const QSharedPointer<MediaTimeLine> line = timeline();
    if (line) {
        const VideoLoopPtr loop = line->allocLoop(start, end);
        if (loop)
            emit owner->addLoopRequested(loop);
    } else {
        qDebug() << "TimeAreaWidget: no project timeline for a new loop";
    }
    tmpLoop = VideoLoopPtr::create();
    tmpLoop->setName(kPendingLoopName);
}

bool TimeAreaWidget::TimeAreaImpl::verifyLoopHandlePosition(SliderHandle* handle,
                                                            const QPoint& oldPos)
{
    const int oldCentre = oldPos.x() + handle->width() / 2;
    const int newCentre = centreOf(handle);
    if (!isOnRuler(newCentre)) {
        handle->move(oldPos);
        return false;
    }

    // The neighbours are the nearest handles on either side of the old place.
    auto next = positions.upperBound(oldCentre);
    auto prev = positions.lowerBound(oldCentre);
    const bool hasNext = next != positions.end();
    const bool hasPrev = prev != positions.begin();
    if (hasPrev)
        --prev;

    const bool accepted = (!hasPrev || newCentre > prev.key() + 1)
        && (!hasNext || newCentre < next.key() - 1);
    if (!accepted) {
        handle->move(oldPos);
        return false;
    }

    auto own = positions.find(oldCentre);
    if (own != positions.end() && own.value() == handle)
        positions.erase(own);
    positions.insert(newCentre, handle);
    return true;
}

qint64 TimeAreaWidget::TimeAreaImpl::calcTimestampLength(QPainter& painter) const
{
    const int labelWidth = painter.fontMetrics().horizontalAdvance(kLabelFormat);
    return RulerScale::labelInterval(geometry(), fps, labelWidth);
}

void TimeAreaWidget::TimeAreaImpl::drawTimestamps(QPaintEvent* event, QPainter& painter) const
{
    painter.setPen(Qt::white);
    painter.drawLine(leftOffset, kIndicatorRow, owner->width(), kIndicatorRow);

    const QFontMetrics metrics = painter.fontMetrics();
    const int ascent = metrics.ascent();
    const bool labelled = fps != 0.0 && frameCount != 0;
    const QRect area = event->rect();
    const QVector<RulerScale::Tick> ticks =
        RulerScale::ticks(geometry(), fps, metrics.horizontalAdvance(kLabelFormat), area.left(),
                          area.right());
    for (const RulerScale::Tick& tick : ticks) {
        if (tick.major) {
            painter.drawLine(tick.x, kIndicatorRow, tick.x, kIndicatorRow + ascent);
            if (labelled)
                painter.drawText(QPoint(tick.x, owner->height() - 1), RulerScale::label(tick.msecs));
        } else {
            painter.drawLine(tick.x, kIndicatorRow, tick.x, kIndicatorRow + ascent / 2);
        }
    }
}

TimeAreaWidget::TimeAreaImpl::LoopEntry*
TimeAreaWidget::TimeAreaImpl::loopEntryOf(const SliderHandle* handle)
{
    for (LoopEntry& entry : loops) {
        if (entry.start == handle || entry.end == handle)
            return &entry;
    }
    return nullptr;
}

VideoMarkerPtr TimeAreaWidget::TimeAreaImpl::bookmarkOf(const SliderHandle* handle) const
{
    if (!handle)
        return {};
    for (const BookmarkEntry& entry : bookmarks) {
        if (entry.handle == handle)
            return entry.bookmark;
    }
    return {};
}

void TimeAreaWidget::TimeAreaImpl::setCurrentAndNotify(int frame)
{
    currentFrame = qBound(0, frame, frameCount);
    updateTimeIndicatorPosition();
    updateSelectionHandlePositions();
    emit owner->frameChanged(currentFrame);
}

void TimeAreaWidget::TimeAreaImpl::moveToNearest(const QVector<int>& frames, bool forward)
{
    int best = INT_MAX;
    int target = -1;
    for (const int frame : frames) {
        const int distance = forward ? frame - currentFrame : currentFrame - frame;
        if (distance > 0 && distance < best) {
            best = distance;
            target = frame;
        }
    }
    if (target != -1)
        setCurrentAndNotify(target);
}

} // namespace TW
