#pragma once

#include "core/Time.h"
#include "model/MediaTrackFragment.h"

#include <QByteArray>
#include <QList>
#include <QSharedPointer>

class QDataStream;
class QDebug;

namespace TW {

// A stretch of the project's timeline (start and length, so it ends at start
// plus length) with the fragments that make it up: the unit of copy, paste,
// delete, silence and volume edits and of the clipboard. A plain record,
// handed around by shared pointer; a copy clones the fragments.
class MediaSegment
{
public:
    // MIME type of a segment on the clipboard.
    static constexpr const char *MimeType = "tarnwell/data";

    Time start;
    Time length;
    bool video = true;
    bool audio = true;
    float volume = -1.0f; // percent; -1 until setVolume
    QList<QSharedPointer<MediaTrackFragment>> fragments;

    MediaSegment();
    // A deep copy: the fragments are clones, so the copy shares none.
    MediaSegment(const MediaSegment &other);
    // Appends clones of other's fragments to those held.
    MediaSegment &operator=(const MediaSegment &other);
    ~MediaSegment();

    static QSharedPointer<MediaSegment> createSilence();

    float getVolume() const;
    // Sets the segment's volume and that of every fragment.
    void setVolume(float percent);
    // Sets the flag, and with alsoFragments every fragment's play flag too.
    void setVideoEnabled(bool enabled, bool alsoFragments);
    void setAudioEnabled(bool enabled, bool alsoFragments);

    // Append shared (not cloned) fragments and recompute the flags.
    void addTrack(QSharedPointer<MediaTrackFragment> fragment);
    void addMediaTracks(QList<QSharedPointer<MediaTrackFragment>> fragments);
    void checkVideoEnabled();
    void checkAudioEnabled();

    // The clipboard bytes: the stream form over a byte array.
    QByteArray toByteArray() const;
    // Reads clipboard bytes into segment. False, with segment untouched,
    // when the bytes are not exactly one well-formed segment.
    static bool fromByteArray(const QByteArray &bytes, MediaSegment &segment);
};

using MediaSegmentPtr = QSharedPointer<MediaSegment>;

QDataStream &operator<<(QDataStream &stream, const MediaSegment &segment);
// Reads and checks the whole form before any file is opened; a short or
// broken stream leaves the segment untouched and the stream marked.
QDataStream &operator>>(QDataStream &stream, MediaSegment &segment);
QDebug operator<<(QDebug debug, const MediaSegment &segment);

} // namespace TW
