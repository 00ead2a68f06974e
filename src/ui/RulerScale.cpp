#include "ui/RulerScale.h"

#include <QTime>

#include <cmath>

namespace TW {

double RulerScale::scaleRate(double fps)
{
    return (std::isfinite(fps) && fps > 0.0) ? fps : 30.0;
}

qint64 RulerScale::labelInterval(const RulerGeometry& geometry, double fps, int labelWidth)
{
    const double rate = scaleRate(fps);
    const int width = qMax(1, labelWidth);
    const int wide = qMax(1, int(width * 1.5));

    // Never closer than one and a half label widths...
    const qint64 t1 = qint64(geometry.frameAt(wide) / rate * 1000.0);

    // ...and on average about two and a quarter label widths apart. A ruler
    // whose span is narrower than its left offset has room for one label.
    const int room = geometry.span - geometry.leftOffset;
    int a = room / (3 * width);
    int b = room / wide;
    if (a <= 0)
        a = 1;
    if (b <= 0)
        b = 1;
    const double n = geometry.range;
    const double k = std::trunc(std::ceil(n / a)) + std::trunc(std::floor(n / b));
    const qint64 t2 = qint64(k * 0.5 * 1000.0 / rate);

    return qMax(t1, t2);
}

QVector<RulerScale::Tick> RulerScale::ticks(const RulerGeometry& geometry, double fps,
                                            int labelWidth, int left, int right)
{
    QVector<Tick> result;
    if (geometry.span <= 0 || geometry.range <= 0)
        return result;

    // Each labelled tick stands at the exact place of its own time, so that
    // the rounding of one step does not add up along a long ruler.
    const double rate = scaleRate(fps);
    const double pixelsPerMs = rate / 1000.0 * geometry.span / geometry.range;
    qint64 interval = qMax<qint64>(1, labelInterval(geometry, fps, labelWidth));
    if (interval * pixelsPerMs < 1.0)
        interval = qint64(std::ceil(1.0 / pixelsPerMs));
    auto xOf = [&](qint64 index) {
        return geometry.leftOffset + qint64(std::llround(double(index) * interval * pixelsPerMs));
    };

    const qint64 step = qMax<qint64>(1, std::llround(interval * pixelsPerMs));
    const qint64 oneFrame = RulerGeometry::positionFromValue(geometry.range, 1, geometry.span);
    const qint64 minor = qMax<qint64>(1, qMax(oneFrame, step / 5));

    const qint64 from = qMax(left, geometry.leftOffset);
    qint64 index = qint64(std::floor((from - geometry.leftOffset) / (interval * pixelsPerMs)));
    while (index > 0 && xOf(index) > from)
        --index;
    while (xOf(index + 1) <= from)
        ++index;

    for (qint64 x = xOf(index); x <= right; ++index, x = xOf(index)) {
        result.append(Tick{int(x), true, index * interval});
        const qint64 next = xOf(index + 1);
        for (qint64 m = x + minor; m <= next - minor && m <= right; m += minor)
            result.append(Tick{int(m), false, 0});
    }
    return result;
}

QString RulerScale::label(qint64 msecs)
{
    const qint64 day = 24LL * 60 * 60 * 1000;
    qint64 ms = msecs % day;
    if (ms < 0)
        ms += day;
    return QTime(0, 0).addMSecs(int(ms)).toString(QStringLiteral("HH:mm:ss.zzz"));
}

} // namespace TW
