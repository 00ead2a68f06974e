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
    std::vector<TimeAreaImpl::LoopEntry> entries = d->loops;
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.loop->getStartFrame() < b.loop->getStartFrame();
    });
    QVector<VideoLoopPtr> result;
    result.reserve(int(entries.size()));
    for (const auto& entry : entries) {
        if (!result.contains(entry.loop))
            result.append(entry.loop);
    }
    return result;
}

VideoLoopPtr TimeAreaWidget::getCurLoop() const
{
    for (const VideoLoopPtr& loop : getLoops()) {
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
    for (const auto& entry : d->loops) {
        if (entry.loop == loop)
            return {entry.start->geometry(), entry.end->geometry()};
    }
    return {};
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
    d->bookmarks.push_back({nullptr, bookmark});
    d->shownBookmarks.insert(bookmark.data());
    // Only the new handle is placed: adding stays linear in the bookmarks.
    d->placeAndShowBookmark(d->bookmarks.back());
    d->raiseFixedSoon();
}

void TimeAreaWidget::removeBookmark(VideoMarkerPtr bookmark)
{
    auto it = std::find_if(d->bookmarks.begin(), d->bookmarks.end(),
                           [&](const auto& entry) { return entry.bookmark == bookmark; });
    if (it == d->bookmarks.end())
        return;
    const TimeAreaImpl::BookmarkEntry gone = *it;
    SliderHandle* handle = gone.handle;
    d->shownBookmarks.remove(bookmark.data());
    d->bookmarks.erase(it);
    d->bookmarkLeft(gone);
    if (!handle)
        return; // never shown
    if (d->menuHandle == handle)
        d->menuHandle = nullptr;
    handle->hide();
    handle->deleteLater();
}

void TimeAreaWidget::updateBookmarks()
{
    d->updateBookmarks();
}

void TimeAreaWidget::clearBookmarks()
{
    d->bookmarkAtX.clear(); // none is to be shown in another's place
    for (const VideoMarkerPtr& bookmark : getBookmarks())
        removeBookmark(bookmark);
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
    d->updateBookmarks();
    d->updateLoops();
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
    if (!loop)
        return;
    for (const auto& entry : d->loops) {
        if (entry.loop == loop)
            return; // already shown
    }
    TimeAreaImpl::LoopEntry entry;
    entry.loop = loop;
    entry.start = new SliderHandle(this, HandleType::LoopStart);
    entry.end = new SliderHandle(this, HandleType::LoopEnd);
    for (SliderHandle* handle : {entry.start, entry.end}) {
        handle->setText(loop->getName());
        handle->move(handle->x(), 30);
        connect(handle, &SliderHandle::moved, this, &TimeAreaWidget::onLoopHandleMoved);
        connect(handle, &SliderHandle::pressed, this, &TimeAreaWidget::onLoopHandlePressed);
        connect(handle, &SliderHandle::released, this, &TimeAreaWidget::onLoopHandleReleased);
        connect(handle, &SliderHandle::mouseClicked, this, &TimeAreaWidget::onLoopHandleClicked);
    }
    d->loops.push_back(entry);
    d->updateLoops();
    d->raiseFixed();
}

void TimeAreaWidget::removeLoop(VideoLoopPtr loop)
{
    auto it = std::find_if(d->loops.begin(), d->loops.end(),
                           [&](const auto& entry) { return entry.loop == loop; });
    if (it == d->loops.end())
        return;
    const TimeAreaImpl::LoopEntry entry = *it;
    d->loops.erase(it);
    for (SliderHandle* handle : {entry.start, entry.end}) {
        d->removePosition(handle);
        handle->hide();
        handle->deleteLater();
    }
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
    d->updateLoops();
}

void TimeAreaWidget::clearLoops()
{
    for (const VideoLoopPtr& loop : getLoops())
        removeLoop(loop);
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

void TimeAreaWidget::onBookmarkPressed(Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return;
    const VideoMarkerPtr bookmark = d->bookmarkOf(qobject_cast<SliderHandle*>(sender()));
    if (bookmark)
        d->pressedBookmark = VideoMarkerPtr::create(*bookmark);
}

void TimeAreaWidget::onBookmarkMoved(QPoint oldPos)
{
    auto* handle = qobject_cast<SliderHandle*>(sender());
    if (handle && !d->isOnRuler(TimeAreaImpl::centreOf(handle)))
        handle->move(oldPos);
}

void TimeAreaWidget::onBookmarkClicked(Qt::MouseButton button, QPoint, QPoint globalPos)
{
    auto* handle = qobject_cast<SliderHandle*>(sender());
    if (button != Qt::RightButton || !d->bookmarkOf(handle))
        return;
    d->menuHandle = handle;
    QMenu menu;
    menu.addAction(tr("Edit"), this, &TimeAreaWidget::onEditBookmark);
    menu.addAction(tr("Delete"), this, &TimeAreaWidget::onDeleteBookmark);
    menu.exec(globalPos);
    d->menuHandle = nullptr;
}

// Every left release of a bookmark handle, moved or not, hands its place on:
// also when the pointer left the handle during the drag, since the handle
// has moved all the same.
void TimeAreaWidget::onBookmarkReleased(Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return;
    auto* handle = qobject_cast<SliderHandle*>(sender());
    const VideoMarkerPtr bookmark = d->bookmarkOf(handle);
    if (!bookmark)
        return;
    auto after = VideoMarkerPtr::create(
        static_cast<unsigned long>(d->frameAt(TimeAreaImpl::centreOf(handle))));
    after->setName(bookmark->getName());
    // The values from the press; a copy of the present ones if the press
    // was not seen (or was on another bookmark).
    VideoMarkerPtr before = d->pressedBookmark;
    if (!before || before->getID() != bookmark->getID())
        before = VideoMarkerPtr::create(*bookmark);
    emit editBookmarkRequested(before, bookmark, after);
    // The dragged handle left its place: who is shown where is settled again.
    d->updateBookmarks();
}

void TimeAreaWidget::onEditBookmark()
{
    const VideoMarkerPtr bookmark = d->bookmarkOf(d->menuHandle);
    if (!bookmark)
        return;
    const VideoMarkerPtr before = VideoMarkerPtr::create(*bookmark);
    BookmarkEditDialog dialog(this, bookmark, d->frameCount, getBookmarks());
    if (dialog.exec() == QDialog::Accepted && dialog.getUpdatedMarker())
        emit editBookmarkRequested(before, bookmark, dialog.getUpdatedMarker());
}

void TimeAreaWidget::onDeleteBookmark()
{
    const VideoMarkerPtr bookmark = d->bookmarkOf(d->menuHandle);
    if (bookmark)
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

void TimeAreaWidget::onLoopHandlePressed(Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return;
    if (const auto* entry = d->loopEntryOf(qobject_cast<SliderHandle*>(sender())))
        d->pressedLoop = VideoLoopPtr::create(*entry->loop);
}

void TimeAreaWidget::onLoopHandleReleased(Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return;
    auto* handle = qobject_cast<SliderHandle*>(sender());
    const auto* entry = d->loopEntryOf(handle);
    if (!entry)
        return;
    const VideoLoopPtr loop = entry->loop;
    const int frame = d->frameAt(TimeAreaImpl::centreOf(handle));
    auto after = VideoLoopPtr::create(*loop);
    if (handle == entry->start)
        after->setStartFrame(frame);
    else
        after->setEndFrame(frame);
    VideoLoopPtr before = d->pressedLoop;
    if (!before || before->getID() != loop->getID())
        before = VideoLoopPtr::create(*loop);
    emit editLoopRequested(before, loop, after);
}

void TimeAreaWidget::onLoopHandleMoved(QPoint oldPos)
{
    auto* handle = qobject_cast<SliderHandle*>(sender());
    if (handle && d->verifyLoopHandlePosition(handle, oldPos) && d->isPending(handle)) {
        // A pending end keeps the frame it was dragged to, so that the loop
        // it becomes and the overlap checks see where it stands.
        const int frame = d->frameAt(TimeAreaImpl::centreOf(handle));
        if (handle == d->tmpStart)
            d->tmpLoop->setStartFrame(frame);
        else
            d->tmpLoop->setEndFrame(frame);
    }
    emit loopMoved();
}

void TimeAreaWidget::onLoopHandleClicked(Qt::MouseButton button, QPoint, QPoint globalPos)
{
    if (button != Qt::RightButton)
        return;
    auto* handle = qobject_cast<SliderHandle*>(sender());
    VideoLoopPtr loop;
    if (d->isPending(handle)) {
        loop = d->tmpLoop;
    } else if (const auto* entry = d->loopEntryOf(handle)) {
        loop = entry->loop;
    }
    if (!loop)
        return;

    d->menuLoop = loop;
    QMenu menu;
    if (loop != d->tmpLoop)
        menu.addAction(tr("Edit"), this, &TimeAreaWidget::onEditLoop);
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
    const int button = int(event->button());
    d->pressTimes[button].start();
    d->dragging[button] = false;
}

void TimeAreaWidget::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
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
    painter.fillRect(QRect(0, 0, d->leftOffset, height()), QColor(70, 70, 70));
}

void TimeAreaWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    d->updateBookmarks();
    d->updateLoops();
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
