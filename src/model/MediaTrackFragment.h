#pragma once

#include "core/Time.h"
#include "model/MediaTrack.h"

#include <QList>
#include <QSharedPointer>

class QDataStream;
class QDebug;
class QDomDocument;
class QDomElement;

namespace TW {

// One span of a source track placed on the project timeline. A plain record:
// the edit list, segments, the clipping utilities, the fragment player and
// the exporter read and write its fields directly.
struct MediaTrackFragment
{
    QSharedPointer<MediaTrack> track = QSharedPointer<MediaTrack>(new MediaTrack);
    Time startPosition;    // where the span starts in the source track
    Time endPosition;      // where it ends in the source track
    Time timelinePosition; // where it starts on the project timeline
    int repeatCount = 1;
    bool playVideo = true;
    bool playAudio = true;
    float volume = 100.0f; // percent

    // A new fragment, owned by the caller, with a clone of the track and the
    // other fields copied.
    MediaTrackFragment *clone() const;

    // Project form: an element named tagName with "repeat", "play_video",
    // "play_audio" and "volume", and the children "start", "end",
    // "position" and "track".
    // The longest time any position may hold (30 days): a time beyond it
    // comes from a damaged file or clipboard and would overflow sums.
    static constexpr qint64 MaxTime = qint64(30) * 24 * 3600 * 1000000;
    // Whether the span is one a project can hold: start and position not
    // negative, end not before start, none beyond MaxTime.
    bool hasUsableSpan() const { return usableSpan(startPosition, endPosition, timelinePosition); }
    static bool usableSpan(Time start, Time end, Time position)
    {
        return start >= Time(0) && end >= start && end <= Time(MaxTime) && position >= Time(0)
               && position <= Time(MaxTime);
    }

    QDomElement toDomElement(QDomDocument doc, const QString &tagName) const;
    // Reads what is present. A fragment whose track names the same file as
    // one of tracksMet shares that track object. The track is loaded when
    // load is set and it is not loaded yet. A missing "volume" reads as 100.
    void fromDomElement(const QDomElement &element, bool load,
                        QList<QSharedPointer<MediaTrack>> tracksMet);
};

using MediaTrackFragmentPtr = QSharedPointer<MediaTrackFragment>;

// Stream form: start, end, timeline position, repeat count, the two play
// flags, the track (name, index, origin name), then the volume behind a tag
// so that forms written without it still read (volume 100).
QDataStream &operator<<(QDataStream &stream, const MediaTrackFragment &fragment);
// The fragment gets a new track, loaded from the names read. A short or
// broken stream leaves the fragment untouched.
QDataStream &operator>>(QDataStream &stream, MediaTrackFragment &fragment);
QDebug operator<<(QDebug debug, const MediaTrackFragment &fragment);

} // namespace TW
