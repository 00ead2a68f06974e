#pragma once

#include <QString>

#include <memory>

class QDataStream;
class QDomDocument;
class QDomElement;

namespace TW {

// Placeholder for information about the project's file; it carries nothing.
class MediaFileInfo
{
public:
    MediaFileInfo();
    MediaFileInfo(const MediaFileInfo &other);
    MediaFileInfo &operator=(const MediaFileInfo &other);
    ~MediaFileInfo();

    // An empty element named tagName.
    QDomElement toDomElement(QDomDocument doc, const QString &tagName) const;
    void fromDomElement(const QDomElement &element);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

QDataStream &operator<<(QDataStream &stream, const MediaFileInfo &info);
QDataStream &operator>>(QDataStream &stream, MediaFileInfo &info);

} // namespace TW
