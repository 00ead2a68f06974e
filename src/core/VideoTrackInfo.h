#pragma once

namespace TW {

// One video stream of a media file, as libvlc's parse or the ffprobe probe
// describes it.
struct VideoTrackInfo
{
    int width = 0;          // pixels
    int height = 0;         // pixels
    int aspect = 0;         // width / height, truncated toward zero (libvlc parse only)
    int codec = 0;          // libvlc four-character code (libvlc parse only)
    int trackId = 0;
    float frameRate = 0.0f; // frames per second
};

} // namespace TW
