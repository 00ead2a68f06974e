#include "model/FragmentStreamForm.h"

#include "model/MediaTrackFragment.h"
#include "model/StreamCheck.h"

#include <QDataStream>

namespace TW {

namespace {

// Written before the volume, which older forms lack; no valid start time of
// the next record begins with these bytes.
constexpr quint32 VolumeTag = 0x54575631; // "TWV1"

bool nextIsVolumeTag(QDataStream &stream)
{
    quint32 value = 0;
    return StreamCheck::peekUInt32(stream, value) && value == VolumeTag;
}

} // namespace

void FragmentStreamForm::write(QDataStream &stream, const MediaTrackFragment &fragment)
{
    stream << fragment.startPosition << fragment.endPosition << fragment.timelinePosition
           << qint32(fragment.repeatCount) << fragment.playVideo << fragment.playAudio;
    if (fragment.track)
        stream << *fragment.track;
    else
        stream << MediaTrack();
    stream << VolumeTag << fragment.volume;
}

bool FragmentStreamForm::read(QDataStream &stream)
{
    FragmentStreamForm form;
    stream >> form.m_start >> form.m_end >> form.m_position >> form.m_repeat
        >> form.m_playVideo >> form.m_playAudio;
    if (!StreamCheck::ok(stream) || !StreamCheck::readString(stream, form.m_name))
        return false;
    stream >> form.m_index;
    if (!StreamCheck::ok(stream) || !StreamCheck::readString(stream, form.m_origName))
        return false;
    if (nextIsVolumeTag(stream)) {
        quint32 tag = 0;
        stream >> tag >> form.m_volume;
        if (!StreamCheck::ok(stream))
            return false;
    }
    *this = form;
    return true;
}

void FragmentStreamForm::applyTo(MediaTrackFragment &fragment) const
{
    fragment.track = QSharedPointer<MediaTrack>(new MediaTrack);
    fragment.startPosition = m_start;
    fragment.endPosition = m_end;
    fragment.timelinePosition = m_position;
    fragment.repeatCount = m_repeat;
    fragment.playVideo = m_playVideo;
    fragment.playAudio = m_playAudio;
    fragment.track->loadFromFile(m_name, m_index, m_origName);
    fragment.volume = m_volume;
}

QSharedPointer<MediaTrackFragment> FragmentStreamForm::makeFragment() const
{
    QSharedPointer<MediaTrackFragment> fragment(new MediaTrackFragment);
    applyTo(*fragment);
    return fragment;
}

bool FragmentStreamForm::hasUsableSpan() const
{
    return MediaTrackFragment::usableSpan(m_start, m_end, m_position);
}

} // namespace TW
