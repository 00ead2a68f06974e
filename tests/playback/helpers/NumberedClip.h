#pragma once

#include "playback/VideoFrame.h"

#include <QString>

namespace TW::test {

// A 320x240 clip at 25 fps whose pictures show their frame number as ten
// bars (red 0, green 1, lowest bit on the left), with a 440 Hz stereo tone,
// converted as imports are. Pictures from `blackFrom` up to `blackTo`
// (frame numbers, excluded) are all black: a run of identical pictures.
// Returns the converted file, or an empty string when ffmpeg failed.
QString makeNumberedClip(const QString &folder, int seconds, int blackFrom = -1, int blackTo = -1);

// The frame number a picture of that clip shows (24- or 32-bit, any size
// down to 40 pixels wide), -2 for an all-black picture, -1 for anything else.
int shownFrame(const VideoFrame &v);

constexpr int kNumberedFps = 25;
constexpr qint64 kNumberedFrame = 40000; // microseconds

} // namespace TW::test
