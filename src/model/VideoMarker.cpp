#include "model/VideoMarker.h"

#include "model/StreamCheck.h"

#include <QDataStream>
#include <QDebug>
#include <QDomDocument>
#include <QDomElement>

namespace TW {

struct VideoMarker::Impl
{
    quint64 frame = 0;
    QString name;
};

VideoMarker::VideoMarker()
    : d(std::make_unique<Impl>())
{
}

VideoMarker::VideoMarker(unsigned long frame)
    : d(std::make_unique<Impl>())
{
    d->frame = frame;
}

VideoMarker::VideoMarker(const VideoMarker &other)
    : Identifiable(other.getID())
    , d(std::make_unique<Impl>(*other.d))
{
}

VideoMarker &VideoMarker::operator=(const VideoMarker &other)
{
    if (this != &other)
        *d = *other.d;
    return *this;
}

VideoMarker::~VideoMarker() = default;

quint64 VideoMarker::getFrame() const { return d->frame; }
void VideoMarker::setFrame(unsigned long frame) { d->frame = frame; }
QString VideoMarker::getName() const { return d->name; }
void VideoMarker::setName(const QString &name) { d->name = name; }

QDomElement VideoMarker::toDomElement(QDomDocument doc, const QString &tagName) const
{
    QDomElement element = doc.createElement(tagName);
    element.setAttribute(QStringLiteral("name"), d->name);
    element.setAttribute(QStringLiteral("frame"), qlonglong(d->frame));
    return element;
}

void VideoMarker::fromDomElement(const QDomElement &element)
{
    if (element.hasAttribute(QStringLiteral("name")))
        d->name = element.attribute(QStringLiteral("name"));
    if (element.hasAttribute(QStringLiteral("frame")))
        d->frame = quint64(element.attribute(QStringLiteral("frame")).toLongLong(nullptr, 10));
}

QDataStream &operator<<(QDataStream &stream, const VideoMarker &marker)
{
    stream << marker.getName() << qint64(marker.getFrame());
    return stream;
}

QDataStream &operator>>(QDataStream &stream, VideoMarker &marker)
{
    QString name;
    qint64 frame = 0;
    if (!StreamCheck::readString(stream, name))
        return stream;
    stream >> frame;
    if (stream.status() != QDataStream::Ok)
        return stream;
    marker.setName(name);
    marker.setFrame((unsigned long)(frame));
    return stream;
}

QDebug operator<<(QDebug debug, const VideoMarker &marker)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "VideoMarker(" << "name" << '"' << marker.getName().toUtf8().constData()
                    << '"' << " frame" << marker.getFrame() << ")";
    return debug;
}

} // namespace TW
