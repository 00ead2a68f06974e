#include "model/MediaTrackFactory.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "model/MediaTrack.h"

#include <QDebug>

namespace TW {

QSharedPointer<MediaTrack> MediaTrackFactory::createMediaTrackFromFile(const QString &path, int index)
{
    qDebug() << "Factoring media track from file" << path << "at #" << index;
    QSharedPointer<MediaTrack> track(new MediaTrack(path, index, path));
    const OptionsHolder *holder = Singleton<OptionsHolder>::instance();
    // The project's source rate replaces whatever libvlc reported.
    if (holder && track->getMedia())
        track->getMedia()->setFrameRate(holder->m_originalfps);
    return track;
}

} // namespace TW
