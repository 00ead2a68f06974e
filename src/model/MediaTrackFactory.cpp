#include "model/MediaTrackFactory.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "model/MediaTrack.h"

#include <QDebug>

namespace TW {

namespace {

// The media wrapper keeps the rate it was told; older wrappers without a
// setter keep what libvlc reported.
template <class M>
auto setMediaFrameRate(M *media, float fps, int) -> decltype(media->setFrameRate(fps), void())
{
    media->setFrameRate(fps);
}

template <class M>
void setMediaFrameRate(M *, float, long)
{
}

} // namespace

QSharedPointer<MediaTrack> MediaTrackFactory::createMediaTrackFromFile(const QString &path, int index)
{
    qDebug() << "Factoring media track from file" << path << "at #" << index;
    QSharedPointer<MediaTrack> track(new MediaTrack(path, index, path));
    const OptionsHolder *holder = Singleton<OptionsHolder>::instance();
    if (holder && track->getMedia())
        setMediaFrameRate(track->getMedia(), holder->m_originalfps, 0);
    return track;
}

} // namespace TW
