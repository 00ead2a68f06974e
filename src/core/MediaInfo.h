#pragma once

#include "core/AudioTrackInfo.h"
#include "core/VideoTrackInfo.h"

#include <QMap>
#include <QVector>

namespace TW {

// The audio and video tracks of a parsed file: by track id in two maps, and
// the same values in ascending id order in two vectors (see fillVectors).
struct MediaInfo
{
    QMap<int, AudioTrackInfo> audioTracksById;
    QMap<int, VideoTrackInfo> videoTracksById;
    QVector<AudioTrackInfo> audioTracks;
    QVector<VideoTrackInfo> videoTracks;

    // Rebuilds both vectors from the maps, in ascending id order.
    void fillVectors();
};

} // namespace TW
