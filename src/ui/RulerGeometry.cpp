#include "ui/RulerGeometry.h"

#include <climits>

namespace TW {

namespace {
int clampToInt(qint64 value)
{
    return int(qBound(qint64(INT_MIN), value, qint64(INT_MAX)));
}
} // namespace

RulerGeometry RulerGeometry::make(int leftOffset, int width, int spaceFactor, int frameCount)
{
    RulerGeometry geometry;
    geometry.leftOffset = leftOffset;
    geometry.span = qMax(0, width) / qMax(1, spaceFactor);
    geometry.range = frameCount > 0 ? frameCount : 10000;
    return geometry;
}

int RulerGeometry::xOfFrame(qint64 frame) const
{
    return clampToInt(qint64(leftOffset) + positionFromValue(range, frame, span));
}

int RulerGeometry::frameAt(qint64 x) const
{
    return valueFromPosition(range, x - leftOffset, span);
}

bool RulerGeometry::isOnRuler(qint64 x) const
{
    return x >= leftOffset && x <= qint64(leftOffset) + span;
}

int RulerGeometry::positionFromValue(qint64 maximum, qint64 value, qint64 span)
{
    maximum = qMin<qint64>(maximum, INT_MAX);
    span = qMin<qint64>(span, INT_MAX);
    if (span <= 0 || maximum <= 0)
        return 0;
    if (value <= 0)
        return 0;
    if (value >= maximum)
        return clampToInt(span);
    // Both factors are below 2^31, so twice their product fits in 64 bits.
    return clampToInt((2 * value * span + maximum) / (2 * maximum));
}

int RulerGeometry::valueFromPosition(qint64 maximum, qint64 position, qint64 span)
{
    maximum = qMin<qint64>(maximum, INT_MAX);
    span = qMin<qint64>(span, INT_MAX);
    if (span <= 0 || position <= 0 || maximum <= 0)
        return 0;
    if (position >= span)
        return clampToInt(maximum);
    return clampToInt((2 * maximum * position + span) / (2 * span));
}

} // namespace TW
