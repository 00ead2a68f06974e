#pragma once

#include "model/VideoLoop.h"
#include "model/VideoMarker.h"
#include "ui/HandleType.h"
#include "ui/PairInt.h"

#include <QList>
#include <QPair>
#include <QRect>
#include <QTime>
#include <QVector>
#include <QWidget>

#include <climits>
#include <functional>
#include <memory>

class QUndoCommand;

namespace TW {

class MediaTimeLine;

// The time ruler above the track rows of the timeline. It draws the time
// scale and carries the handles of the play position, the selection, the
// bookmarks and the loops (and, while a loop is being drawn, up to two
// pending loop ends). It turns mouse gestures into frame and selection
// changes, a right-button zoom drag, and requests to add, change or remove
// loops and bookmarks; it never changes the project itself.
//
// The play position, the selection ends and the pending loop ends are
// handle widgets (SliderHandle). Bookmark and loop handles, of which a
// project may hold tens of thousands, are painted by the ruler from what it
// shows and found under the pointer by a search over their places; they
// look and answer the mouse as handle widgets do.
class TimeAreaWidget : public QWidget
{
    Q_OBJECT

public:
    TimeAreaWidget(QWidget* parent, int leftOffset);
    ~TimeAreaWidget() override;

    // Where the ruler finds the current project's timeline when it makes a
    // new loop or bookmark; installed once by the application at start-up.
    // Without a source (or with a null timeline) no loop or bookmark is made.
    using TimelineSource = std::function<QSharedPointer<MediaTimeLine>()>;
    static void setTimelineSource(TimelineSource source);

    QSize sizeHint() const override;

    int getCurFrame() const;
    int getFrameCount() const;
    double getFps() const;
    QTime getCurTime() const;
    PairInt getSelection() const;
    bool isSliderDown() const;

    // Bookmarks shown, ordered by frame (then by when they were shown).
    QVector<VideoMarkerPtr> getBookmarks() const;
    // Loops shown, each once, ordered by start frame (then by when they were shown).
    QVector<VideoLoopPtr> getLoops() const;
    // The first loop, in the order of getLoops(), holding the current frame.
    VideoLoopPtr getCurLoop() const;

    QRect getPosIndicatorGeom() const;
    // The selection start handle's geometry, then the selection end handle's.
    QPair<QRect, QRect> getSelectHandlesGeom() const;
    // The loop's start and end handle geometries; empty when not shown.
    QList<QRect> getLoopHandlesGeom(VideoLoopPtr loop) const;

    // A bookmark or loop handle as the ruler paints it.
    struct PaintedHandle
    {
        HandleType::Type type = HandleType::Plain;
        QString text;
        QRect geometry;
    };
    // The painted handles in the part of the ruler from x left to x right:
    // one bookmark handle per place (the first shown there), then both
    // handles of every loop, each group ordered by x.
    QVector<PaintedHandle> getPaintedHandles(int left = INT_MIN, int right = INT_MAX) const;

public slots:
    void setSpaceFactor(int factor);
    void addBookmark(VideoMarkerPtr bookmark);
    void removeBookmark(VideoMarkerPtr bookmark);
    void updateBookmarks();
    void clearBookmarks();
    void moveToNextBookmark();
    void moveToPrevBookmark();
    void setDuration(QTime time, qreal fps);
    void setCurrentTime(QTime time);
    void setCurrentFrame(int frame);
    void clearSelection();
    void setSelection(TW::PairInt selection);
    void addLoop(VideoLoopPtr loop);
    void removeLoop(VideoLoopPtr loop);
    void addLoopStart();
    void addLoopEnd();
    void updateLoops();
    void clearLoops();
    void clearTmpLoops();
    void moveToNextLoop();
    void moveToPrevLoop();

signals:
    void frameChanged(int frame);
    void timeChanged(QTime time);
    void dragged(int distance, int origin);
    void selectionChanged(TW::PairInt newSelection);
    void sliderPressed();
    void sliderReleased();
    void loopMoved();
    void execute(QUndoCommand* command);
    void dragStarted(QPoint globalMousePos, QPoint localMousePos);
    void dragMoved(QPoint globalStartPos, QPoint globalPrevPos, QPoint globalCurPos);

    // Requests for the loop and bookmark edits, each one undoable change of
    // the project; the receiver carries them out (and shows the result on
    // the ruler through addLoop, updateLoops, removeBookmark, ...).
    // A new bookmark from the timeline's allocation, not yet added.
    void addBookmarkRequested(TW::VideoMarkerPtr bookmark);
    // A new loop from the timeline's allocation, not yet added.
    void addLoopRequested(TW::VideoLoopPtr loop);
    // Change `bookmark` from the values of `before` to those of `after`.
    void editBookmarkRequested(TW::VideoMarkerPtr before, TW::VideoMarkerPtr bookmark,
                               TW::VideoMarkerPtr after);
    // Change `loop` from the values of `before` to those of `after`.
    void editLoopRequested(TW::VideoLoopPtr before, TW::VideoLoopPtr loop, TW::VideoLoopPtr after);
    void removeBookmarkRequested(TW::VideoMarkerPtr bookmark);
    void removeLoopRequested(TW::VideoLoopPtr loop);

private slots:
    void onEditBookmark();
    void onDeleteBookmark();
    void onTimeIndicatorMoved(QPoint oldPos);
    void onTimeIndicatorClicked();
    void onTimeIndicatorReleased();
    void onSelStartMoved(QPoint oldPos);
    void onSelEndMoved(QPoint oldPos);
    void onLoopHandleMoved(QPoint oldPos);
    void onLoopHandleClicked(Qt::MouseButton button, QPoint pos, QPoint globalPos);
    void onEditLoop();
    void onDeleteLoop();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;

private:
    QVector<int> bookmarkFrames() const;
    QVector<int> loopStarts() const;

    class TimeAreaImpl;
    std::unique_ptr<TimeAreaImpl> d;
};

} // namespace TW
