#include "core/Time.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"

#include <QDataStream>
#include <QDomDocument>
#include <QDomElement>
#include <QString>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <limits>

namespace TW {

namespace {
constexpr double DefaultFrameRate = 25.0;
}

double Time::frameRate()
{
    const OptionsHolder *holder = Singleton<OptionsHolder>::instance();
    if (!holder)
        return DefaultFrameRate;
    const double fps = double(holder->m_fps);
    // Zero, negative or not-a-number rates would divide by zero or convert
    // an infinite value; such rates come only from broken project files.
    if (!std::isfinite(fps) || fps <= 0.0)
        return DefaultFrameRate;
    return fps;
}

namespace {
// A double as a whole number within the 64-bit range (not a number: 0); a
// cast of a value beyond it would be undefined.
qint64 clampedInteger(double value)
{
    if (std::isnan(value))
        return 0;
    constexpr double limit = 9.2e18;
    return qint64(std::max(-limit, std::min(limit, value)));
}
} // namespace

qint64 Time::toFrameUnits(bool roundUp) const
{
    double frames = double(unitCount) * frameRate();
    frames = frames / 1000000000.0 * 1000.0;
    if (roundUp)
        frames = std::ceil(frames);
    return clampedInteger(frames);
}

Time Time::fromFrameUnits(long long frame)
{
    // Whole milliseconds, bounded so that the microseconds fit.
    constexpr qint64 maxMs = std::numeric_limits<qint64>::max() / 1000;
    const double ms = double(frame) * 1000.0 / frameRate();
    const qint64 whole = clampedInteger(std::trunc(ms));
    return Time(std::max(-maxMs, std::min(maxMs, whole)) * 1000);
}

QDomElement Time::toDomElement(QDomDocument doc, const QString &tagName) const
{
    QDomElement element = doc.createElement(tagName);
    element.setAttribute(QStringLiteral("units"), QString::number(unitCount));
    return element;
}

void Time::fromDomElement(const QDomElement &element)
{
    const QString units = QStringLiteral("units");
    if (element.hasAttribute(units))
        unitCount = element.attribute(units).toLongLong(nullptr, 10);
}

QDataStream &operator<<(QDataStream &stream, const Time &time)
{
    return stream << qint64(time.unitCount);
}

QDataStream &operator>>(QDataStream &stream, Time &time)
{
    qint64 units = 0;
    stream >> units;
    time.unitCount = units;
    return stream;
}

qint64 fromQTime(const QTime &time)
{
    return qint64(time.hour()) * 3600000 + qint64(time.minute()) * 60000
            + qint64(time.second()) * 1000 + time.msec();
}

} // namespace TW
