#include "model/MediaFileInfo.h"

#include <QDataStream>
#include <QDomDocument>
#include <QDomElement>

namespace TW {

struct MediaFileInfo::Impl
{
};

MediaFileInfo::MediaFileInfo()
    : d(std::make_unique<Impl>())
{
}

MediaFileInfo::MediaFileInfo(const MediaFileInfo &)
    : d(std::make_unique<Impl>())
{
}

MediaFileInfo &MediaFileInfo::operator=(const MediaFileInfo &)
{
    return *this;
}

MediaFileInfo::~MediaFileInfo() = default;

QDomElement MediaFileInfo::toDomElement(QDomDocument doc, const QString &tagName) const
{
    return doc.createElement(tagName);
}

void MediaFileInfo::fromDomElement(const QDomElement &)
{
}

QDataStream &operator<<(QDataStream &stream, const MediaFileInfo &)
{
    return stream;
}

QDataStream &operator>>(QDataStream &stream, MediaFileInfo &)
{
    return stream;
}

} // namespace TW
