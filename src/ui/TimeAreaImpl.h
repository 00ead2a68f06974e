#pragma once

// Private part of the time ruler; included only by the ruler's own sources.

#include "ui/RulerGeometry.h"
#include "ui/SliderHandle.h"
#include "ui/TimeAreaWidget.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QPixmap>
#include <QPoint>
#include <QSet>

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

    // A caption with its width in the ruler's font, measured once per text:
    // measuring thousands of captions at every zoom step would cost more
    // than everything else the step does.
    struct Caption
    {
        QString text;
        int width = 0;
    };

    struct BookmarkEntry
    {
        VideoMarkerPtr bookmark;
        Caption caption;
    };
    struct LoopEntry
    {
        VideoLoopPtr loop;
        quint64 order = 0; // when it was shown; ties of start frames go by it
        Caption caption;
    };

    // One bookmark or loop handle painted by the ruler. Bookmark and loop
    // handles are no widgets: a project may hold tens of thousands, and a
    // widget each costs seconds and hundreds of megabytes. The ruler paints
    // them from the model and finds the one under the pointer itself.
    struct HandleRef
    {
        enum Kind { None, Bookmark, LoopStart, LoopEnd };
        Kind kind = None;
        VideoMarkerPtr bookmark;
        VideoLoopPtr loop;

        bool isNull() const { return kind == None; }
        bool operator==(const HandleRef& other) const
        {
            return kind == other.kind && bookmark == other.bookmark && loop == other.loop;
        }
        bool operator!=(const HandleRef& other) const { return !(*this == other); }
        HandleType::Type type() const;
    };
    // A painted handle where it stands: its anchor x (its centre) and the
    // width of its caption.
    struct Mark
    {
        int x = 0;
        int captionWidth = 0;
        HandleRef ref;
        const QString* text = nullptr;
        quint64 order = 0; // of a loop: when it was shown
    };

    // A press on a painted handle and the drag that may follow, as a handle
    // widget would keep it: the buttons held at the press, the offset of the
    // pointer from the handle's centre, and where the handle stands now.
    struct HandlePress
    {
        HandleRef ref;
        Qt::MouseButtons buttons = Qt::NoButton;
        bool dragging = false; // the left button was among the buttons
        int grabOffset = 0;
        int centre = 0;
        int captionWidth = 0;
    };

    // The loop handles and pending loop ends by their centre x, for the rule
    // that a dragged loop end never reaches a neighbour.
    struct PositionKey
    {
        HandleRef ref;              // a painted loop handle, or
        SliderHandle* widget = nullptr; // a pending loop end
    };

    TimeAreaWidget* owner;
    QPoint lastDragPos;
    QHash<int, QElapsedTimer> pressTimes; // by Qt::MouseButton
    QHash<int, bool> dragging;            // by Qt::MouseButton
    int leftOffset;
    int spaceFactor = 1;
    // In the order they were shown; ties of frames are settled by it.
    std::vector<BookmarkEntry> bookmarks;
    // The bookmarks shown, for a constant-time check when one is added.
    QSet<const VideoMarker*> shownBookmarks;
    // The bookmark painted at each ruler position, ordered by x: handles at
    // the same place would only cover each other, so the first shown there
    // stands for all. Rebuilt on demand after a change.
    mutable std::vector<Mark> bookmarkMarks;
    mutable bool bookmarkMarksDirty = true;
    VideoMarkerPtr pressedBookmark;
    VideoMarkerPtr menuBookmark;
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
    QHash<const VideoLoop*, LoopEntry> loops;
    quint64 nextLoopOrder = 0;
    // Both handles of every loop, ordered by x; rebuilt on demand.
    mutable std::vector<Mark> loopMarks;
    mutable bool loopMarksDirty = true;
    // The widest caption among the marks, for the search of the handle
    // under a point.
    mutable int widestBookmarkCaption = 0;
    mutable int widestLoopCaption = 0;
    QMap<int, PositionKey> positions; // centre x of each loop handle
    bool positionsDirty = true;
    VideoLoopPtr pressedLoop;
    VideoLoopPtr menuLoop;
    SliderHandle* tmpStart = nullptr;
    SliderHandle* tmpEnd = nullptr;
    VideoLoopPtr tmpLoop;
    HandlePress press;
    HandleRef hovered;

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
    void moveArrow(int x);

    // Painted handles.
    void measure(Caption& caption, const QString& text) const;
    int xOfBookmark(const VideoMarkerPtr& bookmark) const;
    // Where a painted handle's centre stands: where it is dragged to, else
    // at its frame.
    int centreOf(const HandleRef& ref) const;
    // Empty when the handle is not shown.
    QRect geometryOf(const HandleRef& ref) const;
    int captionWidthOf(const HandleRef& ref) const;
    QRect handleRect(HandleType::Type type, int centre, int captionWidth) const;
    const std::vector<Mark>& bookmarkMarksNow() const;
    const std::vector<Mark>& loopMarksNow() const;
    // The painted handle whose caption or marker holds pos; none when the
    // point is on no handle.
    HandleRef handleAt(const QPoint& pos) const;
    void paintHandles(QPainter& painter, const QRect& area) const;
    void paintHandle(QPainter& painter, HandleType::Type type, SliderHandle::State state,
                     int centre, int captionWidth, const QString& text) const;
    SliderHandle::State stateOf(const HandleRef& ref) const;
    void repaintHandle(const HandleRef& ref);
    void bookmarksChanged();
    void loopsChanged();

    // Gestures on painted handles, as a handle widget reports them.
    bool pressHandle(QMouseEvent* event);
    bool moveHandle(QMouseEvent* event);
    bool releaseHandle(QMouseEvent* event);
    void setHovered(const HandleRef& ref);
    void handlePressed(const HandleRef& ref, Qt::MouseButton button);
    void handleMoved(const HandleRef& ref, int oldCentre);
    void handleReleased(const HandleRef& ref, Qt::MouseButton button);
    void handleClicked(const HandleRef& ref, Qt::MouseButton button, const QPoint& globalPos);

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
    void updatePendingHandles();
    // Whether a loop handle may move from one centre to another: on the
    // ruler and short of its neighbours; on acceptance the position map
    // follows.
    bool acceptLoopHandleMove(const PositionKey& key, int oldCentre, int newCentre);
    void ensurePositions();

    // Time scale.
    qint64 calcTimestampLength(QPainter& painter) const;
    void drawTimestamps(QPaintEvent* event, QPainter& painter) const;

    bool isPending(const SliderHandle* handle) const
    {
        return handle && (handle == tmpStart || handle == tmpEnd);
    }
    void setCurrentAndNotify(int frame);
    // Moves to the nearest of the frames after (forward) or before the
    // current frame; of two at the same distance the first listed wins.
    void moveToNearest(const QVector<int>& frames, bool forward);
    std::vector<const LoopEntry*> sortedLoops() const;
};

} // namespace TW
