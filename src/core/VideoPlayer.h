#pragma once

namespace TW {

// Placeholder kept for the media layer's class set; it has no behaviour.
class VideoPlayer
{
public:
    VideoPlayer();
    ~VideoPlayer();
};

} // namespace TW
