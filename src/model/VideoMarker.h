#pragma once

#include "core/Identifiable.h"

#include <QSharedPointer>
#include <QString>

#include <memory>

class QDataStream;
class QDebug;
class QDomDocument;
class QDomElement;

namespace TW {

// A named frame of the timeline (a bookmark). A copy keeps the identifier of
// its source; assignment keeps the target's identifier.
class VideoMarker : public Identifiable
{
public:
    VideoMarker();
    explicit VideoMarker(unsigned long frame);
    VideoMarker(const VideoMarker &other);
    VideoMarker &operator=(const VideoMarker &other);
    ~VideoMarker() override;

    quint64 getFrame() const;
    void setFrame(unsigned long frame);
    QString getName() const;
    void setName(const QString &name);

    // Project form: an element named tagName with "name" and "frame".
    QDomElement toDomElement(QDomDocument doc, const QString &tagName) const;
    void fromDomElement(const QDomElement &element);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

using VideoMarkerPtr = QSharedPointer<VideoMarker>;

QDataStream &operator<<(QDataStream &stream, const VideoMarker &marker);
QDataStream &operator>>(QDataStream &stream, VideoMarker &marker);
QDebug operator<<(QDebug debug, const VideoMarker &marker);

} // namespace TW
