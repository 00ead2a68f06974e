#pragma once

#include "core/Identifiable.h"
#include "core/Time.h"

#include <QSharedPointer>
#include <QString>

#include <memory>

class QDataStream;
class QDebug;
class QDomDocument;
class QDomElement;

namespace TW {

// A span of the timeline, from a start frame to an end frame (both at the
// project frame rate), that playback repeats with its own tempo, pitch,
// volume, repeat count and pause before each repeat. A copy keeps the
// identifier of its source; assignment keeps the target's identifier.
class VideoLoop : public Identifiable
{
public:
    VideoLoop();
    VideoLoop(const VideoLoop &other);
    VideoLoop &operator=(const VideoLoop &other);
    ~VideoLoop() override;

    QString getName() const;
    void setName(const QString &name);
    int getStartFrame() const;
    void setStartFrame(int frame);
    int getEndFrame() const;
    void setEndFrame(int frame);
    float getPitch() const;
    void setPitch(float semitones);
    float getTempo() const;
    void setTempo(float percent);
    int getLoopCount() const;
    void setLoopCount(int count);
    int getDelay() const;
    void setDelay(int seconds);
    double getVolume() const;
    void setVolume(double percent);

    Time getStartTime() const;
    Time getEndTime() const;

    // Project form: an element named tagName with the attributes "name",
    // "start", "end", "tempo", "pitch", "count", "delay" and "volume".
    QDomElement toDomElement(QDomDocument doc, const QString &tagName) const;
    // Reads the attributes that are present; a missing one keeps its value,
    // one that is not a number reads as 0.
    void fromDomElement(const QDomElement &element);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

using VideoLoopPtr = QSharedPointer<VideoLoop>;

QDataStream &operator<<(QDataStream &stream, const VideoLoop &loop);
QDataStream &operator>>(QDataStream &stream, VideoLoop &loop);
QDebug operator<<(QDebug debug, const VideoLoop &loop);

} // namespace TW
