#pragma once

#include "ui/RulerGeometry.h"

#include <QString>
#include <QVector>

namespace TW {

// The time scale of the ruler: how far apart the labelled ticks stand at the
// current zoom, and which ticks fall into a stretch of the ruler. Kept apart
// from the painting so the layout of the scale can be checked on its own.
class RulerScale
{
public:
    struct Tick
    {
        int x = 0;
        bool major = false;
        qint64 msecs = 0; // the label's time, for major ticks
    };

    // The time between two labels, in milliseconds, for labels that are
    // labelWidth pixels wide. fps 0 (no media) counts as 30 frames a second.
    static qint64 labelInterval(const RulerGeometry& geometry, double fps, int labelWidth);

    // The ticks from the last major tick at or left of `left` up to `right`.
    // Every major tick stands at the place of the time it is labelled with;
    // between two of them stand up to four minor ticks, or one per frame
    // when a frame is wider than a fifth of the distance.
    static QVector<Tick> ticks(const RulerGeometry& geometry, double fps, int labelWidth,
                               int left, int right);

    // A label's text: the time of day, "HH:mm:ss.zzz", starting again from
    // 00:00:00.000 past 24 hours.
    static QString label(qint64 msecs);

    // The frame rate used for the scale: fps, or 30 while it is not usable.
    static double scaleRate(double fps);
};

} // namespace TW
