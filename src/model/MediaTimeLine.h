#pragma once

#include "model/VideoLoop.h"
#include "model/VideoMarker.h"

#include <QSharedPointer>
#include <QVector>

#include <memory>

class QDataStream;
class QDomDocument;
class QDomElement;

namespace TW {

// Loops come before other loops when they start earlier.
bool loopComparator(const QSharedPointer<VideoLoop> &a, const QSharedPointer<VideoLoop> &b);

// The project's register of loops (kept in ascending order of start frame)
// and bookmarks (in order of addition), and the lock and playable flags of
// the video and audio track rows. Shared, never copied. The lists are
// guarded so that the player may look loops up from another thread while the
// graphical thread edits them.
class MediaTimeLine
{
public:
    MediaTimeLine();
    ~MediaTimeLine();
    MediaTimeLine(const MediaTimeLine &) = delete;
    MediaTimeLine &operator=(const MediaTimeLine &) = delete;

    void addLoop(QSharedPointer<VideoLoop> loop);
    void addLoops(QVector<QSharedPointer<VideoLoop>> loops);
    void removeLoop(QSharedPointer<VideoLoop> loop);
    void clearLoops();
    QVector<QSharedPointer<VideoLoop>> getLoops() const;
    int getLoopCount() const;
    VideoLoopPtr getLoopByID(const QString &id) const;
    // The first loop in list order with start <= frame <= end; null if none.
    VideoLoopPtr getLoopByFrame(long frame) const;

    void addMarker(QSharedPointer<VideoMarker> marker);
    void removeMarker(QSharedPointer<VideoMarker> marker);
    QVector<QSharedPointer<VideoMarker>> getMarkers() const;
    VideoMarkerPtr getMarkerByID(const QString &id) const;
    VideoMarkerPtr getMarkerByFrame(long long frame) const;

    // A new loop named "L<n>" with the smallest free n; not added.
    VideoLoopPtr allocLoop(int startFrame, int endFrame) const;
    // A new bookmark named "M<n>" with the smallest free n; not added. Null
    // when a bookmark already stands at the frame.
    VideoMarkerPtr allocBookmark(int frame) const;

    // Move every loop end and start (each on its own) and every bookmark
    // that lies strictly after position by amount frames.
    void shiftLoops(long long position, long long amount);
    void shiftBookmarks(long long position, long long amount);

    // Which loops and bookmarks the timeline holds, in order, and the frames
    // of each, to return to exactly.
    struct FrameState
    {
        QVector<VideoLoopPtr> loops;
        QVector<QPair<int, int>> loopFrames; // start, end
        QVector<VideoMarkerPtr> bookmarks;
        QVector<quint64> bookmarkFrames;
    };
    FrameState getFrameState() const;
    // Puts back the lists and every frame of the state; the loops and
    // bookmarks keep all their other values.
    void restoreFrameState(const FrameState &state);

    // Takes the frames first .. last (first < last) out, as cutting that span
    // out of the recording does: a bookmark at or after last moves back by
    // last - first, one strictly inside the span is removed; a loop after the
    // span moves back, one that overlaps it loses the overlapping frames (a
    // start or end inside the span goes to first), and one lying wholly
    // inside it is removed. What was removed is appended to the two lists.
    void cutFrames(long long first, long long last, QVector<VideoLoopPtr> *removedLoops,
                   QVector<VideoMarkerPtr> *removedBookmarks);

    bool isVideoLocked() const;
    void setVideoLocked(bool locked);
    bool isVideoPlayable() const;
    void setVideoPlayable(bool playable);
    bool isAudioLocked() const;
    void setAudioLocked(bool locked);
    bool isAudioPlayable() const;
    void setAudioPlayable(bool playable);

    int getBookmarksCreated() const;
    void setBookmarksCreated(int count);
    int getLoopsCreated() const;
    void setLoopsCreated(int count);

    // Project form: an element named tagName with the counters and flags as
    // attributes and the "loops" and "markers" children.
    QDomElement toDomElement(QDomDocument doc, const QString &tagName) const;
    // Reads what is present into this timeline; loops and bookmarks read are
    // appended in document order.
    void fromDomElement(const QDomElement &element);

    friend QDataStream &operator<<(QDataStream &stream, const MediaTimeLine &timeline);
    friend QDataStream &operator>>(QDataStream &stream, MediaTimeLine &timeline);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

QDataStream &operator<<(QDataStream &stream, const MediaTimeLine &timeline);
// Reads the whole form first; a short or broken stream leaves the timeline
// as it was and the stream's status says so.
QDataStream &operator>>(QDataStream &stream, MediaTimeLine &timeline);

} // namespace TW
