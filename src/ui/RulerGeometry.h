#pragma once

#include <QtGlobal>

namespace TW {

// Where frames stand on the timeline. The time ruler, the track rows and the
// timeline overlay all place frame f at
//   x = left offset + position of f in 0..range over span pixels
// with span = widget width div space factor and range = the frame count (or
// 10000 while there is no media), rounded to the nearest pixel.
//
// The arithmetic is done in 64 bits: a zoomed-in timeline may be millions of
// pixels wide, and the products of frame numbers and pixel counts then no
// longer fit into 32 bits.
struct RulerGeometry
{
    int leftOffset = 0;
    int span = 0;
    int range = 10000;

    static RulerGeometry make(int leftOffset, int width, int spaceFactor, int frameCount);

    // The x of a frame; frames outside 0..range stand at the nearer end.
    int xOfFrame(qint64 frame) const;
    // The frame at x; an x off the ruler gives the nearer end of the range.
    int frameAt(qint64 x) const;
    // Whether x lies on the usable part: left offset <= x <= left offset + span.
    bool isOnRuler(qint64 x) const;

    // Pixel of value within 0..maximum over span pixels, rounded to nearest.
    static int positionFromValue(qint64 maximum, qint64 value, qint64 span);
    // Value at pixel position within 0..maximum over span pixels, rounded to nearest.
    static int valueFromPosition(qint64 maximum, qint64 position, qint64 span);
};

} // namespace TW
