#pragma once

#include <QtGlobal>

class QDataStream;
class QDomDocument;
class QDomElement;
class QString;
class QTime;

namespace TW {

// A point or span of media time: a signed count of microseconds. Frame
// numbers are derived from it at the project frame rate (OptionsHolder's
// m_fps), read at the moment of each conversion.
struct Time
{
    qint64 unitCount = 0;

    constexpr Time() = default;
    constexpr Time(qint64 units) : unitCount(units) {}

    // Frame number at the project frame rate: truncated toward zero, or the
    // ceiling first when roundUp is set.
    qint64 toFrameUnits(bool roundUp) const;
    // Time of a frame number at the project frame rate, in whole
    // milliseconds (always a multiple of 1000 microseconds).
    static Time fromFrameUnits(long long frame);

    // The frame rate the conversions use: the project rate, or 25 when the
    // project rate is zero, negative or not a number.
    static double frameRate();

    // An element named tagName with the attribute "units"; not inserted.
    QDomElement toDomElement(QDomDocument doc, const QString &tagName) const;
    // Reads "units" when present; a text that is not a number reads as 0.
    void fromDomElement(const QDomElement &element);

    constexpr Time &operator+=(Time o) { unitCount += o.unitCount; return *this; }
    constexpr Time &operator-=(Time o) { unitCount -= o.unitCount; return *this; }
    friend constexpr Time operator+(Time a, Time b) { return Time(a.unitCount + b.unitCount); }
    friend constexpr Time operator-(Time a, Time b) { return Time(a.unitCount - b.unitCount); }
    friend constexpr Time operator-(Time a) { return Time(-a.unitCount); }
    friend constexpr bool operator==(Time a, Time b) { return a.unitCount == b.unitCount; }
    friend constexpr bool operator!=(Time a, Time b) { return a.unitCount != b.unitCount; }
    friend constexpr bool operator<(Time a, Time b) { return a.unitCount < b.unitCount; }
    friend constexpr bool operator<=(Time a, Time b) { return a.unitCount <= b.unitCount; }
    friend constexpr bool operator>(Time a, Time b) { return a.unitCount > b.unitCount; }
    friend constexpr bool operator>=(Time a, Time b) { return a.unitCount >= b.unitCount; }
};

// One qint64 in the stream's byte order.
QDataStream &operator<<(QDataStream &stream, const Time &time);
QDataStream &operator>>(QDataStream &stream, Time &time);

// Milliseconds since midnight of a clock time (not a Time).
qint64 fromQTime(const QTime &time);

} // namespace TW
