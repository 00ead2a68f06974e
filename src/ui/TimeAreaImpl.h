#pragma once

// Private part of the time ruler; included only by the ruler's own sources.

#include "ui/RulerGeometry.h"
#include "ui/SliderHandle.h"
#include "ui/TimeAreaWidget.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QPoint>
#include <QSet>
#include <QPointer>

#include <vector>

class QLabel;
class QPainter;
class QPaintEvent;

namespace TW {

class TimeAreaWidget::TimeAreaImpl
{
public:
    TimeAreaImpl(TimeAreaWidget* owner, int leftOffset);
    ~TimeAreaImpl();

    struct BookmarkEntry
    {
        SliderHandle* handle = nullptr;
        VideoMarkerPtr bookmark;
    };
    struct LoopEntry
    {
        VideoLoopPtr loop;
        SliderHandle* start = nullptr;
        SliderHandle* end = nullptr;
    };

    TimeAreaWidget* owner;
    QPoint lastDragPos;
    QHash<int, QElapsedTimer> pressTimes; // by Qt::MouseButton
    QHash<int, bool> dragging;            // by Qt::MouseButton
    int leftOffset;
    int spaceFactor = 1;
    SliderHandle* menuHandle = nullptr;
    // In the order they were shown; ties of frames are settled by it.
    std::vector<BookmarkEntry> bookmarks;
    // The bookmarks shown, for a constant-time check when one is added.
    QSet<const VideoMarker*> shownBookmarks;
    // The one bookmark handle visible at each ruler position: handles at the
    // same place would only cover each other, and thousands of handle
    // widgets cost seconds to make and paint. A bookmark never shown has
    // no handle.
    QHash<int, SliderHandle*> bookmarkAtX;
    VideoMarkerPtr pressedBookmark;
    QTime duration;
    int frameCount = 0;
    double fps = 0.0;
    SliderHandle* indicator = nullptr;
    SliderHandle* selStart = nullptr;
    SliderHandle* selEnd = nullptr;
    PairInt selection{-1, -1};
    bool selectionValid = false;
    int currentFrame = 0;
    QLabel* arrow = nullptr;
    QElapsedTimer lastIndicatorClick;
    QPoint dragStart;
    QPoint dragPrevious;
    // In the order they were shown; ties of frames are settled by it.
    std::vector<LoopEntry> loops;
    QMap<int, SliderHandle*> positions; // centre x of each loop handle
    VideoLoopPtr pressedLoop;
    VideoLoopPtr menuLoop;
    SliderHandle* tmpStart = nullptr;
    SliderHandle* tmpEnd = nullptr;
    VideoLoopPtr tmpLoop;

    static TimelineSource timelineSource;
    static QSharedPointer<MediaTimeLine> timeline();

    // Coordinates.
    RulerGeometry geometry() const;
    int xOfFrame(qint64 frame) const { return geometry().xOfFrame(frame); }
    int frameAt(int x) const { return geometry().frameAt(x); }
    bool isOnRuler(int x) const { return geometry().isOnRuler(x); }
    static int centreOf(const SliderHandle* handle);
    static void placeCentred(SliderHandle* handle, int x);
    bool hasMedia() const { return fps != 0.0 && frameCount != 0; }

    void ctorSlider();
    void ctorLoop();
    void raiseFixed();
    // raiseFixed once control returns to the event loop: raising is linear
    // in the handles, so adding many at once raises once.
    void raiseFixedSoon();
    bool raisePending = false;
    void moveArrow(int x);

    void updateBookmarks();
    void placeBookmark(const BookmarkEntry& entry);
    int xOfBookmark(const BookmarkEntry& entry) const;
    // Shows a bookmark's handle unless another is shown at its place; a
    // handle is made only when first shown.
    void placeAndShowBookmark(BookmarkEntry& entry);
    // Before a bookmark goes: the next one at its place is shown.
    void bookmarkLeft(const BookmarkEntry& gone);
    void updateLoops();
    void updateTimeIndicatorPosition();
    void updateSelectionHandlePositions();

    void addBookmark(const QPoint& pos);
    void addLoopHandle(const QPoint& pos, bool isStart);
    bool canAddLoopMarkerHere(const QPoint& pos) const;
    bool isOverlapOtherLoop(int a, int b) const;
    void initLoopHandle(const QPoint& pos, bool isStart);
    void clearLoopHandle(bool isStart);
    void verifyTmpLoopHandlesPositions();
    void createLoop();
    bool verifyLoopHandlePosition(SliderHandle* handle, const QPoint& oldPos);
    void removePosition(SliderHandle* handle);

    // Time scale.
    qint64 calcTimestampLength(QPainter& painter) const;
    void drawTimestamps(QPaintEvent* event, QPainter& painter) const;

    // Lookups.
    LoopEntry* loopEntryOf(const SliderHandle* handle);
    VideoMarkerPtr bookmarkOf(const SliderHandle* handle) const;
    bool isPending(const SliderHandle* handle) const
    {
        return handle && (handle == tmpStart || handle == tmpEnd);
    }
    void setCurrentAndNotify(int frame);
    // Moves to the nearest of the frames after (forward) or before the
    // current frame; of two at the same distance the first listed wins.
    void moveToNearest(const QVector<int>& frames, bool forward);
};

} // namespace TW
