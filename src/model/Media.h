#pragma once

#include "core/Time.h"
#include "model/MediaFileInfo.h"
#include "model/MediaSegment.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"

#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QTime>

#include <memory>

class QDataStream;
class QDomDocument;
class QDomElement;

namespace TW {

enum AddSegmentMode {
    InsertSegment = 0,    // insert, moving what follows
    OverwriteSegment = 1, // first delete the span the segment will cover
};

// Orders segments by start.
bool ssegmentComparator(const QSharedPointer<MediaSegment> &a, const QSharedPointer<MediaSegment> &b);

// The project's edit list: the fragments that make up the recording in play
// order, its timeline of loops and bookmarks, the total duration and the
// project's file path. Edits clip, split, remove and insert fragments; no
// source file is ever touched. After every edit each fragment's timeline
// position is the sum of the lengths before it and the total is the sum of
// all lengths (repeat counts do not count).
//
// The fragment list is guarded so that the player may look fragments up
// from another thread while an edit runs on the graphical thread.
class Media
{
public:
    Media();
    // Copies share the fragment objects and the timeline with the source.
    Media(const Media &other);
    Media &operator=(const Media &other);
    virtual ~Media();
    void copyFrom(const Media &other);

    void clear();
    QSharedPointer<MediaTimeLine> getTimeline() const;
    QString getFilePath() const;
    void setFilePath(const QString &path);
    // A copy of the list; its entries are the edit list's own objects.
    QList<QSharedPointer<MediaTrackFragment>> getTrackFragments() const;
    // The list becomes the edit list; positions are not re-laid.
    void replaceTrackFragments(QList<QSharedPointer<MediaTrackFragment>> fragments);
    bool isEmpty() const;
    bool hasAudio() const;
    Time getDuration() const;
    // Midnight plus the total in whole milliseconds.
    QTime getTotalDurationMs() const;
    QTime getTotalDuration() const;
    // The highest frame rate among the fragments' tracks; 0 without any.
    float getMaxFps() const;
    // By stored positions: every fragment that is not wholly before from or
    // wholly after to.
    QList<QSharedPointer<MediaTrackFragment>> getFragments(Time from, Time to) const;

    // Appends one fragment covering the whole track.
    void addTrack(QSharedPointer<MediaTrack> track);
    // The fragment at the time; a boundary belongs to the earlier fragment,
    // the total to the last one. Null past the end or on an empty list.
    QSharedPointer<MediaTrackFragment> getTrackForPosition(unsigned long long position) const;
    // A new segment holding copies of the range's fragments, clipped to it;
    // null when the range is not valid. The edit list is not changed.
    QSharedPointer<MediaSegment> getSegment(Time start, Time end) const;
    // Removes the range; remnants under 100 microseconds (101 inside one
    // fragment) go too. An end past the media means its end; a negative
    // start or a start after the end changes nothing.
    void deleteSegment(Time start, Time end);
    // The range's segment, then removed from the list; null, with nothing
    // removed, when the range is not valid.
    QSharedPointer<MediaSegment> cutSegment(Time start, Time end);
    // Inserts the segment's own fragment objects at the time (splitting the
    // fragment there); one already in the list goes in as a clone. Past the
    // end or on an empty list they are appended. A null segment changes
    // nothing.
    void acceptSegment(QSharedPointer<MediaSegment> segment, Time at, AddSegmentMode mode);
    void updateFragmentPositions();
    // Kept for the project loader; changes nothing.
    void removeTrack(QSharedPointer<MediaTrack> track);

    // Project form: an element named tagName with "file", "duration",
    // "info", "timeline" and "tracks".
    QDomElement toDomElement(QDomDocument doc, const QString &tagName) const;
    // Appends what the element holds to this media, loading the tracks when
    // load is set. Reads every element it can; returns false (and logs what
    // was wrong) when a fragment's values are not usable, such as a span
    // that ends before it starts or a negative position.
    bool fromDomElement(const QDomElement &element, bool load);

    friend QDataStream &operator<<(QDataStream &stream, const Media &media);
    friend QDataStream &operator>>(QDataStream &stream, Media &media);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

QDataStream &operator<<(QDataStream &stream, const Media &media);
// Checks the whole form before it changes the media or opens a file; a short
// or broken stream leaves the media untouched and the stream marked.
QDataStream &operator>>(QDataStream &stream, Media &media);

} // namespace TW
