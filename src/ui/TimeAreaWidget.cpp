#include "ui/TimeAreaWidget.h"

#include "dialogs/BookmarkEditDialog.h"
#include "dialogs/EditLoopDialog.h"
#include "ui/TimeAreaImpl.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

#include <algorithm>
#include <climits>
#include <cmath>

namespace TW {

namespace {

const int kBookmarkBandBottom = 19;
const int kPreferredHeight = 57;
const QString kDragFormat = QStringLiteral("timearea/drag");

int frameOf(const VideoMarkerPtr& bookmark)
{
    return int(qMin<quint64>(bookmark->getFrame(), quint64(INT_MAX)));
}

} // namespace

TimeAreaWidget::TimeAreaWidget(QWidget* parent, int leftOffset)
    : QWidget(parent, Qt::WindowFlags()), d(std::make_unique<TimeAreaImpl>(this, leftOffset))
{
    setAcceptDrops(true);
    // Moves without a button give the painted handles their hover look.
    setMouseTracking(true);
}

TimeAreaWidget::~TimeAreaWidget()
{
    // The handles go first: they are wired to slots that use the private part.
    for (SliderHandle* handle : findChildren<SliderHandle*>(QString(), Qt::FindDirectChildrenOnly))
        delete handle;
}

void TimeAreaWidget::setTimelineSource(TimelineSource source)
{
    TimeAreaImpl::timelineSource = std::move(source);
}

QSize TimeAreaWidget::sizeHint() const
{
    return QSize(width(), kPreferredHeight);
}

int TimeAreaWidget::getCurFrame() const
{
    return d->currentFrame;
}

int TimeAreaWidget::getFrameCount() const
{
    return d->frameCount;
}

double TimeAreaWidget::getFps() const
{
    return d->fps;
}

QTime TimeAreaWidget::getCurTime() const
{
    if (d->fps == 0.0)
        return QTime(0, 0, 0, 0);
    return QTime(0, 0).addMSecs(int(d->currentFrame / d->fps * 1000.0));
}

PairInt TimeAreaWidget::getSelection() const
{
    return d->selection;
}

bool TimeAreaWidget::isSliderDown() const
{
    return d->indicator->isPressed();
}

QVector<VideoMarkerPtr> TimeAreaWidget::getBookmarks() const
{
    std::vector<TimeAreaImpl::BookmarkEntry> entries = d->bookmarks;
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.bookmark->getFrame() < b.bookmark->getFrame();
    });
    QVector<VideoMarkerPtr> result;
    result.reserve(int(entries.size()));
    for (const auto& entry : entries)
        result.append(entry.bookmark);
    return result;
}

QVector<VideoLoopPtr> TimeAreaWidget::getLoops() const
{
    QVector<VideoLoopPtr> result;
    result.reserve(int(d->loops.size()));
    for (const TimeAreaImpl::LoopEntry* entry : d->sortedLoops())
        result.append(entry->loop);
    return result;
}

VideoLoopPtr TimeAreaWidget::getCurLoop() const
{
    for (const TimeAreaImpl::LoopEntry* entry : d->sortedLoops()) {
        const VideoLoopPtr& loop = entry->loop;
        if (loop->getStartFrame() <= d->currentFrame && d->currentFrame <= loop->getEndFrame())
            return loop;
    }
    return {};
}

QRect TimeAreaWidget::getPosIndicatorGeom() const
{
    return d->indicator->geometry();
}

QPair<QRect, QRect> TimeAreaWidget::getSelectHandlesGeom() const
{
    return qMakePair(d->selStart->geometry(), d->selEnd->geometry());
}

QList<QRect> TimeAreaWidget::getLoopHandlesGeom(VideoLoopPtr loop) const
{
    if (!loop || !d->loops.contains(loop.data()))
        return {};
    TimeAreaImpl::HandleRef start;
    start.kind = TimeAreaImpl::HandleRef::LoopStart;
    start.loop = loop;
    TimeAreaImpl::HandleRef end = start;
    end.kind = TimeAreaImpl::HandleRef::LoopEnd;
    return {d->geometryOf(start), d->geometryOf(end)};
}

QVector<TimeAreaWidget::PaintedHandle> TimeAreaWidget::getPaintedHandles(int left, int right) const
{
    QVector<PaintedHandle> result;
    auto collect = [&](const std::vector<TimeAreaImpl::Mark>& marks) {
        for (const TimeAreaImpl::Mark& mark : marks) {
            if (mark.x < left || mark.x > right)
                continue;
            const HandleType::Type type = mark.ref.type();
            result.append({type, *mark.text, d->handleRect(type, mark.x, mark.captionWidth)});
        }
    };
    collect(d->bookmarkMarksNow());
    if (d->press.ref.kind == TimeAreaImpl::HandleRef::Bookmark && d->press.centre >= left
        && d->press.centre <= right) {
        const QRect rect = d->geometryOf(d->press.ref);
        result.append({HandleType::Bookmark, d->press.ref.bookmark->getName(), rect});
    }
    collect(d->loopMarksNow());
    return result;
}

QVector<int> TimeAreaWidget::bookmarkFrames() const
{
    QVector<int> frames;
    for (const VideoMarkerPtr& bookmark : getBookmarks())
        frames.append(frameOf(bookmark));
    return frames;
}

QVector<int> TimeAreaWidget::loopStarts() const
{
    QVector<int> frames;
    for (const VideoLoopPtr& loop : getLoops())
        frames.append(loop->getStartFrame());
    return frames;
}

// ---------------------------------------------------------------------------
// Public slots

void TimeAreaWidget::setSpaceFactor(int factor)
{
    d->spaceFactor = qMax(1, factor);
}

void TimeAreaWidget::addBookmark(VideoMarkerPtr bookmark)
{
    if (!bookmark || d->shownBookmarks.contains(bookmark.data()))
        return; // none, or already shown
    TimeAreaImpl::BookmarkEntry entry{bookmark, {}};
    d->measure(entry.caption, bookmark->getName());
    d->bookmarks.push_back(std::move(entry));
    d->shownBookmarks.insert(bookmark.data());
    // The places are settled once, when next painted or asked for.
    d->bookmarksChanged();
}

void TimeAreaWidget::removeBookmark(VideoMarkerPtr bookmark)
{
    if (!bookmark || !d->shownBookmarks.contains(bookmark.data()))
        return;
    auto it = std::find_if(d->bookmarks.begin(), d->bookmarks.end(),
                           [&](const auto& entry) { return entry.bookmark == bookmark; });
    if (it == d->bookmarks.end())
        return;
    d->shownBookmarks.remove(bookmark.data());
    d->bookmarks.erase(it);
    if (d->press.ref.bookmark == bookmark)
        d->press = TimeAreaImpl::HandlePress();
    if (d->hovered.bookmark == bookmark)
        d->hovered = TimeAreaImpl::HandleRef();
    d->bookmarksChanged();
}

void TimeAreaWidget::updateBookmarks()
{
    for (TimeAreaImpl::BookmarkEntry& entry : d->bookmarks)
        d->measure(entry.caption, entry.bookmark->getName());
    d->bookmarksChanged();
}

void TimeAreaWidget::clearBookmarks()
{
    d->bookmarks.clear();
    d->shownBookmarks.clear();
    if (d->press.ref.kind == TimeAreaImpl::HandleRef::Bookmark)
        d->press = TimeAreaImpl::HandlePress();
    if (d->hovered.kind == TimeAreaImpl::HandleRef::Bookmark)
        d->hovered = TimeAreaImpl::HandleRef();
    d->bookmarksChanged();
}

void TimeAreaWidget::moveToNextBookmark()
{
    d->moveToNearest(bookmarkFrames(), true);
}

void TimeAreaWidget::moveToPrevBookmark()
{
    d->moveToNearest(bookmarkFrames(), false);
}

void TimeAreaWidget::setDuration(QTime time, qreal fps)
{
    d->duration = time;
    const qint64 msecs = time.isValid() ? QTime(0, 0).msecsTo(time) : 0;
    if (std::isfinite(fps) && fps > 0.0) {
        d->fps = fps;
        const double frames = std::trunc(double(msecs) * fps / 1000.0);
        d->frameCount = int(qBound(0.0, frames, double(INT_MAX)));
    } else {
        d->fps = 0.0;
        d->frameCount = 0;
    }
    d->bookmarksChanged();
    d->loopsChanged();
    d->updatePendingHandles();
    d->updateTimeIndicatorPosition();
    d->updateSelectionHandlePositions();
    update();
}

void TimeAreaWidget::setCurrentTime(QTime time)
{
    if (d->fps == 0.0)
        return;
    const qint64 msecs = time.isValid() ? QTime(0, 0).msecsTo(time) : 0;
    const double frame = std::trunc(double(msecs) * d->fps / 1000.0);
    d->currentFrame = int(qBound(0.0, frame, double(d->frameCount)));
    d->updateTimeIndicatorPosition();
    d->updateSelectionHandlePositions();
}

void TimeAreaWidget::setCurrentFrame(int frame)
{
    d->currentFrame = qBound(0, frame, d->frameCount);
    d->updateTimeIndicatorPosition();
    d->updateSelectionHandlePositions();
}

void TimeAreaWidget::clearSelection()
{
    d->selectionValid = false;
    d->selection = PairInt(-1, -1);
    d->updateSelectionHandlePositions();
    emit selectionChanged(d->selection);
}

void TimeAreaWidget::setSelection(PairInt selection)
{
    d->selection = selection;
    d->selectionValid = selection.first != -1 && selection.second != -1;
    d->updateSelectionHandlePositions();
    emit selectionChanged(d->selection);
}

void TimeAreaWidget::addLoop(VideoLoopPtr loop)
{
    if (!loop || d->loops.contains(loop.data()))
        return; // none, or already shown
    TimeAreaImpl::LoopEntry entry;
    entry.loop = loop;
    entry.order = d->nextLoopOrder++;
    d->measure(entry.caption, loop->getName());
    d->loops.insert(loop.data(), std::move(entry));
    // The handles are placed once, when next painted or asked for.
    d->loopsChanged();
}

void TimeAreaWidget::removeLoop(VideoLoopPtr loop)
{
    if (!loop || !d->loops.remove(loop.data()))
        return;
    if (d->press.ref.loop == loop)
        d->press = TimeAreaImpl::HandlePress();
    if (d->hovered.loop == loop)
        d->hovered = TimeAreaImpl::HandleRef();
    d->loopsChanged();
}

void TimeAreaWidget::addLoopStart()
{
    if (!d->hasMedia())
        return;
    d->addLoopHandle(QPoint(TimeAreaImpl::centreOf(d->indicator), 0), true);
}

void TimeAreaWidget::addLoopEnd()
{
    if (!d->hasMedia())
        return;
    d->addLoopHandle(QPoint(TimeAreaImpl::centreOf(d->indicator), 0), false);
}

void TimeAreaWidget::updateLoops()
{
    for (TimeAreaImpl::LoopEntry& entry : d->loops)
        d->measure(entry.caption, entry.loop->getName());
    d->loopsChanged();
    d->updatePendingHandles();
}

void TimeAreaWidget::clearLoops()
{
    d->loops.clear();
    if (d->press.ref.loop)
        d->press = TimeAreaImpl::HandlePress();
    if (d->hovered.loop)
        d->hovered = TimeAreaImpl::HandleRef();
    d->loopsChanged();
}

void TimeAreaWidget::clearTmpLoops()
{
    d->clearLoopHandle(true);
    d->clearLoopHandle(false);
}

void TimeAreaWidget::moveToNextLoop()
{
    d->moveToNearest(loopStarts(), true);
}

void TimeAreaWidget::moveToPrevLoop()
{
    d->moveToNearest(loopStarts(), false);
}

// ---------------------------------------------------------------------------
// Bookmark handles

void TimeAreaWidget::onEditBookmark()
{
    const VideoMarkerPtr bookmark = d->menuBookmark;
    if (!bookmark || !d->shownBookmarks.contains(bookmark.data()))
        return;
    const VideoMarkerPtr before = VideoMarkerPtr::create(*bookmark);
    BookmarkEditDialog dialog(this, bookmark, d->frameCount, getBookmarks());
    if (dialog.exec() == QDialog::Accepted && dialog.getUpdatedMarker())
        emit editBookmarkRequested(before, bookmark, dialog.getUpdatedMarker());
}

void TimeAreaWidget::onDeleteBookmark()
{
    const VideoMarkerPtr bookmark = d->menuBookmark;
    if (bookmark && d->shownBookmarks.contains(bookmark.data()))
        emit removeBookmarkRequested(bookmark);
}

// ---------------------------------------------------------------------------
// Play position and selection

void TimeAreaWidget::onTimeIndicatorMoved(QPoint oldPos)
{
    const int centre = TimeAreaImpl::centreOf(d->indicator);
    if (!d->hasMedia() || !d->isOnRuler(centre)) {
        d->indicator->move(oldPos);
        return;
    }
    const int frame = d->frameAt(centre);
    if (frame != d->currentFrame) {
        d->currentFrame = frame;
        d->updateSelectionHandlePositions();
        emit frameChanged(frame);
    } else {
        d->indicator->move(oldPos);
    }
}

void TimeAreaWidget::onTimeIndicatorClicked()
{
    if (d->lastIndicatorClick.isValid()
        && d->lastIndicatorClick.elapsed() < QApplication::doubleClickInterval()) {
        clearSelection();
    }
    d->lastIndicatorClick.start();
}

void TimeAreaWidget::onTimeIndicatorReleased() {}

void TimeAreaWidget::onSelStartMoved(QPoint oldPos)
{
    // Without media there is nothing to select.
    if (!d->hasMedia()) {
        d->selStart->move(oldPos);
        return;
    }
    const int start = d->frameAt(d->selStart->x() + d->selStart->width());
    const int end = d->selection.second != -1 ? d->selection.second : d->frameAt(d->selEnd->x());
    if (start != d->selection.first && start < end) {
        d->selectionValid = true;
        d->selection = PairInt(start, end);
        d->updateSelectionHandlePositions();
        emit selectionChanged(d->selection);
    } else {
        d->selStart->move(oldPos);
    }
}

void TimeAreaWidget::onSelEndMoved(QPoint oldPos)
{
    if (!d->hasMedia()) {
        d->selEnd->move(oldPos);
        return;
    }
    const int end = d->frameAt(d->selEnd->x());
    const int start = d->selection.first != -1
        ? d->selection.first
        : d->frameAt(d->selStart->x() + d->selStart->width());
    if (end != d->selection.second && end > start) {
        d->selectionValid = true;
        d->selection = PairInt(start, end);
        d->updateSelectionHandlePositions();
        emit selectionChanged(d->selection);
    } else {
        d->selEnd->move(oldPos);
    }
}

// ---------------------------------------------------------------------------
// Loop handles

void TimeAreaWidget::onLoopHandleMoved(QPoint oldPos)
{
    // Only the pending loop's ends are handle widgets.
    auto* handle = qobject_cast<SliderHandle*>(sender());
    if (d->isPending(handle)) {
        TimeAreaImpl::PositionKey key;
        key.widget = handle;
        const int oldCentre = oldPos.x() + handle->width() / 2;
        if (d->acceptLoopHandleMove(key, oldCentre, TimeAreaImpl::centreOf(handle))) {
            // A pending end keeps the frame it was dragged to, so that the
            // loop it becomes and the overlap checks see where it stands.
            const int frame = d->frameAt(TimeAreaImpl::centreOf(handle));
            if (handle == d->tmpStart)
                d->tmpLoop->setStartFrame(frame);
            else
                d->tmpLoop->setEndFrame(frame);
        } else {
            handle->move(oldPos);
        }
    }
    emit loopMoved();
}

void TimeAreaWidget::onLoopHandleClicked(Qt::MouseButton button, QPoint, QPoint globalPos)
{
    if (button != Qt::RightButton)
        return;
    // Only the pending loop's ends are handle widgets; its menu only deletes.
    auto* handle = qobject_cast<SliderHandle*>(sender());
    if (!d->isPending(handle))
        return;
    const VideoLoopPtr loop = d->tmpLoop;
    d->menuLoop = loop;
    QMenu menu;
    menu.addAction(tr("Delete"), this, &TimeAreaWidget::onDeleteLoop);
    menu.exec(globalPos);
    d->menuLoop.reset();
}

void TimeAreaWidget::onEditLoop()
{
    const VideoLoopPtr loop = d->menuLoop;
    if (!loop || loop == d->tmpLoop)
        return;
    const VideoLoopPtr before = VideoLoopPtr::create(*loop);
    EditLoopDialog dialog(loop, d->frameCount, getLoops(), d->fps, this);
    if (dialog.exec() == QDialog::Accepted)
        emit editLoopRequested(before, loop, dialog.getUpdatedLoop());
}

void TimeAreaWidget::onDeleteLoop()
{
    const VideoLoopPtr loop = d->menuLoop;
    if (!loop)
        return;
    if (loop == d->tmpLoop)
        clearTmpLoops();
    else
        emit removeLoopRequested(loop);
}

// ---------------------------------------------------------------------------
// Events

void TimeAreaWidget::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (d->pressHandle(event))
        return;
    const int button = int(event->button());
    d->pressTimes[button].start();
    d->dragging[button] = false;
}

void TimeAreaWidget::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    if (d->moveHandle(event))
        return;
    const int right = int(Qt::RightButton);
    if (!d->pressTimes.contains(right))
        return;

    const QPoint global = event->globalPosition().toPoint();
    if (d->dragging.value(right)) {
        emit dragMoved(d->dragStart, d->dragPrevious, global);
        d->dragPrevious = global;
    } else if (d->pressTimes.value(right).elapsed() > QApplication::doubleClickInterval() / 2) {
        d->arrow->show();
        d->dragging[right] = true;
        d->dragStart = global;
        d->dragPrevious = global;
        emit dragStarted(d->dragStart, event->position().toPoint());
        emit dragMoved(d->dragStart, d->dragPrevious, global);
    }
    d->moveArrow(mapFromGlobal(global).x());
}

void TimeAreaWidget::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (d->releaseHandle(event))
        return;
    const int button = int(event->button());
    if (!d->pressTimes.contains(button))
        return;

    if (!d->dragging.value(button)) {
        const QPoint pos = event->position().toPoint();
        if (pos.y() <= kBookmarkBandBottom) {
            d->addBookmark(pos);
        } else if ((event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
                   && d->hasMedia()) {
            d->addLoopHandle(pos, event->button() == Qt::LeftButton);
        }
    }

    d->pressTimes.remove(button);
    d->dragging.remove(button);
    d->arrow->hide();
}

void TimeAreaWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    d->drawTimestamps(event, painter);
    d->paintHandles(painter, event->rect());
    painter.fillRect(QRect(0, 0, d->leftOffset, height()), QColor(70, 70, 70));
}

void TimeAreaWidget::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    d->setHovered({});
}

void TimeAreaWidget::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        // The captions are measured again in the new font.
        for (TimeAreaImpl::BookmarkEntry& entry : d->bookmarks)
            entry.caption = {};
        for (TimeAreaImpl::LoopEntry& entry : d->loops)
            entry.caption = {};
        updateBookmarks();
        updateLoops();
    } else if (event->type() == QEvent::EnabledChange) {
        update();
    }
}

void TimeAreaWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    d->bookmarksChanged();
    d->loopsChanged();
    d->updatePendingHandles();
    d->updateTimeIndicatorPosition();
    d->updateSelectionHandlePositions();
}

void TimeAreaWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData() && event->mimeData()->hasFormat(kDragFormat))
        event->acceptProposedAction();
}

void TimeAreaWidget::dragMoveEvent(QDragMoveEvent* event)
{
    const QPoint pos = event->position().toPoint();
    d->moveArrow(pos.x());
    const int previous = d->lastDragPos.x();
    emit dragged(pos.x() - previous, previous);
    d->lastDragPos = pos;
}

} // namespace TW
