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

bool MediaSegment::fromByteArray(const QByteArray &bytes, MediaSegment &segment)
{
    QDataStream stream(bytes);
    MediaSegment read;
    stream >> read;
    if (!StreamCheck::ok(stream) || !stream.atEnd()) {
        qWarning() << "Refused clipboard data that is not one well-formed segment:"
                   << bytes.size() << "bytes";
        return false;
    }
    // The same limits as a project's: no negative or absurd time is pasted.
    const Time most(MediaTrackFragment::MaxTime);
    bool usable = read.start >= Time(0) && read.start <= most && read.length >= Time(0) && read.length <= most;
    for (const QSharedPointer<MediaTrackFragment> &fragment : std::as_const(read.fragments))
        usable = usable && fragment->hasUsableSpan();
    if (!usable) {
        qWarning() << "Refused clipboard data with a time out of range";
        return false;
    }
    segment.start = read.start;
    segment.length = read.length;
    segment.video = read.video;
    segment.audio = read.audio;
    segment.fragments += read.fragments;
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
    Time start, length;
    bool video = true, audio = true;
    qint32 count = 0;
    stream >> start >> length >> video >> audio;
    if (!StreamCheck::ok(stream)
        || !StreamCheck::readCount(stream, count, FragmentStreamForm::MinBytes))
        return stream;
    QVector<FragmentStreamForm> forms(count);
    for (FragmentStreamForm &form : forms) {
        if (!form.read(stream))
            return stream;
    }
    segment.start = start;
    segment.length = length;
    segment.video = video;
    segment.audio = audio;
    for (const FragmentStreamForm &form : std::as_const(forms))
        segment.fragments.append(form.makeFragment());
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
