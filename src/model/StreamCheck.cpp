#include "model/StreamCheck.h"

#include <QDataStream>
#include <QIODevice>
#include <QString>

namespace TW {

bool StreamCheck::ok(const QDataStream &stream)
{
    return stream.status() == QDataStream::Ok;
}

qint64 StreamCheck::bytesLeft(const QDataStream &stream)
{
    const QIODevice *device = stream.device();
    return device ? device->bytesAvailable() : 0;
}

bool StreamCheck::fail(QDataStream &stream)
{
    if (stream.status() == QDataStream::Ok)
        stream.setStatus(QDataStream::ReadCorruptData);
    return false;
}

bool StreamCheck::readCount(QDataStream &stream, qint32 &count, qint64 minRecordBytes)
{
    qint32 value = 0;
    stream >> value;
    if (!ok(stream))
        return false;
    if (value < 0 || qint64(value) * qMax<qint64>(minRecordBytes, 1) > bytesLeft(stream))
        return fail(stream);
    count = value;
    return true;
}

bool StreamCheck::peekUInt32(const QDataStream &stream, quint32 &value)
{
    QIODevice *device = stream.device();
    if (!device)
        return false;
    const QByteArray head = device->peek(4);
    if (head.size() < 4)
        return false;
    const auto *b = reinterpret_cast<const uchar *>(head.constData());
    value = stream.byteOrder() == QDataStream::BigEndian
        ? (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3])
        : (quint32(b[3]) << 24) | (quint32(b[2]) << 16) | (quint32(b[1]) << 8) | quint32(b[0]);
    return true;
}

bool StreamCheck::readString(QDataStream &stream, QString &text)
{
    if (!ok(stream))
        return false;
    quint32 length = 0;
    if (!peekUInt32(stream, length)) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return false;
    }
    if (length != 0xFFFFFFFFu && (length % 2 != 0 || qint64(length) > bytesLeft(stream) - 4))
        return fail(stream);
    QString value;
    stream >> value;
    if (!ok(stream))
        return false;
    text = value;
    return true;
}

} // namespace TW
