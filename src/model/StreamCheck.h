#pragma once

#include <QtGlobal>

class QDataStream;
class QString;

namespace TW {

// Guarded reading of data streams whose bytes may come from any program (the
// clipboard): counts and string lengths are checked against the bytes left
// before anything is allocated, and a failed check marks the stream as
// corrupt so that later reads stop too.
class StreamCheck
{
public:
    // True while the stream has met no error.
    static bool ok(const QDataStream &stream);
    // Bytes that can still be read from the stream's device.
    static qint64 bytesLeft(const QDataStream &stream);
    // Reads a 32-bit count and checks that it is not negative and that
    // count records of at least minRecordBytes each fit in what is left.
    static bool readCount(QDataStream &stream, qint32 &count, qint64 minRecordBytes);
    // Reads a string whose announced length fits in what is left.
    static bool readString(QDataStream &stream, QString &text);
    // The next 32-bit value in the stream's byte order, without reading it;
    // false when fewer than four bytes are left.
    static bool peekUInt32(const QDataStream &stream, quint32 &value);
    // Marks the stream as corrupt (unless it already holds an error).
    static bool fail(QDataStream &stream);
};

} // namespace TW
