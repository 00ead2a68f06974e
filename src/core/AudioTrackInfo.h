#pragma once

#include <QString>

namespace TW {

// One audio stream of a media file, as libvlc's parse or the ffprobe probe
// describes it.
struct AudioTrackInfo
{
    int channels = 0;
    int sampleRate = 0;   // Hz
    int codec = 0;        // libvlc four-character code (libvlc parse only)
    int trackId = 0;      // the id the media back end and the conversion use
    QString description;  // shown to the user (probe only)
};

} // namespace TW
