#include "core/MediaInfo.h"

namespace TW {

void MediaInfo::fillVectors()
{
    audioTracks = QVector<AudioTrackInfo>(audioTracksById.cbegin(), audioTracksById.cend());
    videoTracks = QVector<VideoTrackInfo>(videoTracksById.cbegin(), videoTracksById.cend());
}

} // namespace TW
