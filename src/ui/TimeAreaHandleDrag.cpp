// The painted handles under the mouse: press, drag and release, and what
// each hands on to the timeline's owner (edits of bookmarks and loops, the
// handle's menu).
#include "ui/TimeAreaImpl.h"

#include "model/MediaTimeLine.h"

#include <QMenu>
#include <QMouseEvent>

namespace TW {

// A press on a painted handle behaves as on a handle widget: the buttons
// then held are remembered, a left press may start a drag, and the press is
// reported with the button that caused it. A press beside every handle is
// left to the ruler.
bool TimeAreaWidget::TimeAreaImpl::pressHandle(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    HandleRef ref = press.ref;
    if (ref.isNull())
        ref = handleAt(pos);
    if (ref.isNull())
        return false;
    if (press.ref.isNull()) {
        press.captionWidth = captionWidthOf(ref);
        press.centre = centreOf(ref);
        press.ref = ref;
        press.dragging = false;
    }
    press.buttons = event->buttons();
    if ((press.buttons & Qt::LeftButton) && !press.dragging) {
        press.dragging = true;
        press.grabOffset = pos.x() - press.centre;
    }
    if (ref.kind == HandleRef::Bookmark)
        bookmarksChanged(); // it is painted apart while pressed
    repaintHandle(ref);
    handlePressed(ref, event->button());
    return true;
}

bool TimeAreaWidget::TimeAreaImpl::moveHandle(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (press.ref.isNull()) {
        setHovered(event->buttons() == Qt::NoButton ? handleAt(pos) : HandleRef());
        return false;
    }
    if (press.dragging && (event->buttons() & Qt::LeftButton) && (press.buttons & Qt::LeftButton)) {
        const HandleRef ref = press.ref;
        if (ref.kind != HandleRef::Bookmark)
            ensurePositions(); // from where the handle stands before the step
        const int oldCentre = press.centre;
        const int newCentre = pos.x() - press.grabOffset;
        if (newCentre != oldCentre) {
            repaintHandle(ref);
            press.centre = newCentre;
            handleMoved(ref, oldCentre);
            if (ref.kind != HandleRef::Bookmark)
                loopMarksDirty = true;
            repaintHandle(ref);
        }
    }
    return true;
}

bool TimeAreaWidget::TimeAreaImpl::releaseHandle(QMouseEvent* event)
{
    if (press.ref.isNull())
        return false;
    const HandleRef ref = press.ref;
    const Qt::MouseButton button = event->button();
    const QPoint pos = event->position().toPoint();
    const bool onHandle = geometryOf(ref).contains(pos) && handleAt(pos) == ref;
    const bool clicked = onHandle && (press.buttons & button);

    // What the release reports is read while the handle still stands where
    // it was dragged; then it goes back to its frame (or where the edit
    // puts it).
    handleReleased(ref, button);
    press.buttons = event->buttons();
    if (press.buttons == Qt::NoButton || !(press.buttons & Qt::LeftButton)) {
        repaintHandle(ref);
        press = HandlePress();
        bookmarksChanged();
        loopsChanged();
    }
    if (press.ref.isNull())
        setHovered(onHandle ? ref : HandleRef());
    if (clicked)
        handleClicked(ref, button, event->globalPosition().toPoint());
    return true;
}

void TimeAreaWidget::TimeAreaImpl::handlePressed(const HandleRef& ref, Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return;
    if (ref.kind == HandleRef::Bookmark)
        pressedBookmark = VideoMarkerPtr::create(*ref.bookmark);
    else
        pressedLoop = VideoLoopPtr::create(*ref.loop);
}

void TimeAreaWidget::TimeAreaImpl::handleMoved(const HandleRef& ref, int oldCentre)
{
    if (ref.kind == HandleRef::Bookmark) {
        if (!isOnRuler(press.centre))
            press.centre = oldCentre;
        return;
    }
    PositionKey key;
    key.ref = ref;
    if (!acceptLoopHandleMove(key, oldCentre, press.centre))
        press.centre = oldCentre;
    emit owner->loopMoved();
}

// Every left release of a handle, moved or not, hands its place on as an
// edit; also when the pointer left the handle during the drag, since the
// handle has moved all the same.
void TimeAreaWidget::TimeAreaImpl::handleReleased(const HandleRef& ref, Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return;
    const int frame = frameAt(press.centre);
    if (ref.kind == HandleRef::Bookmark) {
        const VideoMarkerPtr bookmark = ref.bookmark;
        if (!shownBookmarks.contains(bookmark.data()))
            return;
        auto after = VideoMarkerPtr::create(static_cast<unsigned long>(frame));
        after->setName(bookmark->getName());
        // The values from the press; a copy of the present ones if the press
        // was not seen (or was on another bookmark).
        VideoMarkerPtr before = pressedBookmark;
        if (!before || before->getID() != bookmark->getID())
            before = VideoMarkerPtr::create(*bookmark);
        emit owner->editBookmarkRequested(before, bookmark, after);
        return;
    }
    const VideoLoopPtr loop = ref.loop;
    if (!loops.contains(loop.data()))
        return;
    auto after = VideoLoopPtr::create(*loop);
    if (ref.kind == HandleRef::LoopStart)
        after->setStartFrame(frame);
    else
        after->setEndFrame(frame);
    VideoLoopPtr before = pressedLoop;
    if (!before || before->getID() != loop->getID())
        before = VideoLoopPtr::create(*loop);
    emit owner->editLoopRequested(before, loop, after);
}

void TimeAreaWidget::TimeAreaImpl::handleClicked(const HandleRef& ref, Qt::MouseButton button,
                                                 const QPoint& globalPos)
{
    if (button != Qt::RightButton)
        return;
    QMenu menu;
    if (ref.kind == HandleRef::Bookmark) {
        if (!shownBookmarks.contains(ref.bookmark.data()))
            return;
        menuBookmark = ref.bookmark;
        menu.addAction(TimeAreaWidget::tr("Edit"), owner, &TimeAreaWidget::onEditBookmark);
        menu.addAction(TimeAreaWidget::tr("Delete"), owner, &TimeAreaWidget::onDeleteBookmark);
        menu.exec(globalPos);
        menuBookmark.reset();
        return;
    }
    if (!loops.contains(ref.loop.data()))
        return;
    menuLoop = ref.loop;
    menu.addAction(TimeAreaWidget::tr("Edit"), owner, &TimeAreaWidget::onEditLoop);
    menu.addAction(TimeAreaWidget::tr("Delete"), owner, &TimeAreaWidget::onDeleteLoop);
    menu.exec(globalPos);
    menuLoop.reset();
}

} // namespace TW
