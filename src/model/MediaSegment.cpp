#include "model/MediaSegment.h"

#include "model/FragmentStreamForm.h"
#include "model/StreamCheck.h"

#include <QDataStream>
#include <QIODevice>
#include <QDebug>
#include <QVector>

namespace TW {

MediaSegment::MediaSegment() = default;

MediaSegment::MediaSegment(const MediaSegment &other)
{
    *this = other;
}

MediaSegment &MediaSegment::operator=(const MediaSegment &other)
{
    if (this == &other)
        return *this;
    start = other.start;
    length = other.length;
    video = other.video;
    audio = other.audio;
    volume = other.volume;
    for (const QSharedPointer<MediaTrackFragment> &fragment : other.fragments)
        fragments.append(QSharedPointer<MediaTrackFragment>(fragment->clone()));
    return *this;
}

MediaSegment::~MediaSegment() = default;

QSharedPointer<MediaSegment> MediaSegment::createSilence()
{
    return QSharedPointer<MediaSegment>(new MediaSegment);
}

float MediaSegment::getVolume() const
{
    return volume;
}

void MediaSegment::setVolume(float percent)
{
    volume = percent;
    for (const QSharedPointer<MediaTrackFragment> &fragment : std::as_const(fragments))
        fragment->volume = percent;
}

void MediaSegment::setVideoEnabled(bool enabled, bool alsoFragments)
{
    video = enabled;
    if (alsoFragments) {
        for (const QSharedPointer<MediaTrackFragment> &fragment : std::as_const(fragments))
            fragment->playVideo = enabled;
    }
}

void MediaSegment::setAudioEnabled(bool enabled, bool alsoFragments)
{
    audio = enabled;
    if (alsoFragments) {
        for (const QSharedPointer<MediaTrackFragment> &fragment : std::as_const(fragments))
            fragment->playAudio = enabled;
    }
}

void MediaSegment::addTrack(QSharedPointer<MediaTrackFragment> fragment)
{
    fragments.append(fragment);
    checkVideoEnabled();
    checkAudioEnabled();
}

void MediaSegment::addMediaTracks(QList<QSharedPointer<MediaTrackFragment>> list)
{
    for (const QSharedPointer<MediaTrackFragment> &fragment : std::as_const(list))
        addTrack(fragment);
}

void MediaSegment::checkVideoEnabled()
{
    video = false;
    for (const QSharedPointer<MediaTrackFragment> &fragment : std::as_const(fragments)) {
        if (fragment && fragment->playVideo) {
            video = true;
            break;
        }
    }
}

void MediaSegment::checkAudioEnabled()
{
    audio = false;
    for (const QSharedPointer<MediaTrackFragment> &fragment : std::as_const(fragments)) {
        if (fragment && fragment->playAudio) {
            audio = true;
            break;
        }
    }
}

QByteArray MediaSegment::toByteArray() const
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << *this;
    return bytes;
}

namespace {

// The values of a segment's stream form, read and checked before any
// fragment is made (making one opens the file it names).
struct SegmentForm
{
    Time start;
    Time length;
    bool video = true;
    bool audio = true;
    QVector<FragmentStreamForm> fragments;

    bool read(QDataStream &stream)
    {
        qint32 count = 0;
        stream >> start >> length >> video >> audio;
        if (!StreamCheck::ok(stream)
            || !StreamCheck::readCount(stream, count, FragmentStreamForm::MinBytes))
            return false;
        fragments.resize(count);
        for (FragmentStreamForm &form : fragments) {
            if (!form.read(stream))
                return false;
        }
        return true;
    }

    void applyTo(MediaSegment &segment) const
    {
        segment.start = start;
        segment.length = length;
        segment.video = video;
        segment.audio = audio;
        for (const FragmentStreamForm &form : fragments)
            segment.fragments.append(form.makeFragment());
    }
};

} // namespace

bool MediaSegment::fromByteArray(const QByteArray &bytes, MediaSegment &segment)
{
    QDataStream stream(bytes);
    SegmentForm form;
    if (!form.read(stream) || !StreamCheck::ok(stream) || !stream.atEnd()) {
        qWarning() << "Refused clipboard data that is not one well-formed segment:"
                   << bytes.size() << "bytes";
        return false;
    }
    // The same limits as a project's: no negative or absurd time is pasted,
    // and no file is opened for a segment that is refused.
    const Time most(MediaTrackFragment::MaxTime);
    bool usable = form.start >= Time(0) && form.start <= most && form.length >= Time(0) && form.length <= most;
    for (const FragmentStreamForm &fragment : std::as_const(form.fragments))
        usable = usable && fragment.hasUsableSpan();
    if (!usable) {
        qWarning() << "Refused clipboard data with a time out of range";
        return false;
    }
    form.applyTo(segment);
    return true;
}

QDataStream &operator<<(QDataStream &stream, const MediaSegment &segment)
{
    stream << segment.start << segment.length << segment.video << segment.audio
           << qint32(segment.fragments.size());
    for (const QSharedPointer<MediaTrackFragment> &fragment : segment.fragments)
        FragmentStreamForm::write(stream, *fragment);
    return stream;
}

QDataStream &operator>>(QDataStream &stream, MediaSegment &segment)
{
    SegmentForm form;
    if (form.read(stream))
        form.applyTo(segment);
    return stream;
}

QDebug operator<<(QDebug debug, const MediaSegment &segment)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "MediaSegment(" << "start:" << segment.start.toFrameUnits(false)
                    << " end:" << (segment.start + segment.length).toFrameUnits(false)
                    << " volume:" << segment.volume
                    << " video:" << (segment.video ? "true" : "false")
                    << " audio:" << (segment.audio ? "true" : "false")
                    << " tracks:" << segment.fragments.size() << ")";
    return debug;
}

} // namespace TW
