#include "core/VideoPlayer.h"

namespace TW {

VideoPlayer::VideoPlayer() = default;
VideoPlayer::~VideoPlayer() = default;

} // namespace TW
