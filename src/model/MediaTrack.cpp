#include "model/MediaTrack.h"

#include "core/MediaInfo.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/VideoFileParser.h"
#include "core/VlcMedia.h"
#include "model/StreamCheck.h"

#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QDomElement>

#include <cmath>

namespace TW {

struct MediaTrack::Impl
{
    std::unique_ptr<VlcMedia> media;
    QString name;
    QString origName;
    int index = 0;
    Time duration;
    int width = 0;
    int height = 0;
    int channels = 0;
    float aspect = 0.0f;
    float frameRate = 0.0f;
    bool loaded = false;
};

MediaTrack::MediaTrack()
    : d(std::make_unique<Impl>())
{
}

MediaTrack::MediaTrack(const QString &name, int index, const QString &origName)
    : d(std::make_unique<Impl>())
{
    loadFromFile(name, index, origName);
}

MediaTrack::~MediaTrack()
{
    clear();
}

void MediaTrack::loadFromFile(const QString &name, int index, const QString &origName)
{
    qDebug() << "Loading media track #" << index << "from files" << name << origName;
    // The arguments may be this track's own names, which clear() drops.
    const QString file = QDir::toNativeSeparators(name);
    const QString origin = QDir::toNativeSeparators(origName);
    d->index = index;
    clear();
    d->name = file;
    d->origName = origin;

    d->media = std::make_unique<VlcMedia>(VlcMedia::locationForFile(d->name));
    d->media->parse();

    const MediaInfo info = d->media->getMediaInfo();
    const VideoTrackInfo video = info.videoTracksById.value(0);

    VideoFileParser parser;
    parser.parseFile(d->name);
    d->duration = parser.getDuration();

    const AudioTrackInfo audio = info.audioTracksById.value(d->index);
    d->channels = audio.channels;

    d->width = video.width;
    d->height = video.height;
    const auto probedVideo = parser.getVideoTracks();
    if (!probedVideo.isEmpty() && std::isfinite(probedVideo.first().frameRate)
        && probedVideo.first().frameRate > 0.0f) {
        d->frameRate = probedVideo.first().frameRate;
    } else {
        // No usable rate from the probe (no video stream, or a rate it
        // could not divide out): play at the project's rate.
        d->frameRate = float(Time::frameRate());
    }
    d->aspect = float(d->width) / float(d->height);
    d->loaded = true;
}

void MediaTrack::clear()
{
    d->media.reset();
    d->duration = Time();
    d->width = 0;
    d->height = 0;
    d->channels = 0;
    d->aspect = 0.0f;
    d->name = QString();
    d->origName = QString();
    d->loaded = false;
}

MediaTrack *MediaTrack::clone() const
{
    if (d->loaded)
        return new MediaTrack(d->name, d->index, d->origName);
    auto *copy = new MediaTrack;
    copy->setSource(d->name, d->index, d->origName);
    copy->d->frameRate = d->frameRate;
    return copy;
}

void MediaTrack::setSource(const QString &name, int index, const QString &origName)
{
    d->name = name;
    d->index = index;
    d->origName = origName;
}

int MediaTrack::getTrackIndex() const { return d->index; }

bool MediaTrack::hasAudioTrack() const
{
    return d->media && !d->media->getMediaInfo().audioTracks.isEmpty();
}

void MediaTrack::setRepeatCount(int count)
{
    if (d->media)
        d->media->setRepeatCount(count);
}

VlcMedia *MediaTrack::getMedia() const { return d->media.get(); }
QString MediaTrack::getName() const { return d->name; }
QString MediaTrack::getOrigName() const { return d->origName; }
Time MediaTrack::getDuration() const { return d->duration; }
int MediaTrack::getWidth() const { return d->width; }
int MediaTrack::getHeight() const { return d->height; }
int MediaTrack::getChannels() const { return d->channels; }
float MediaTrack::getAspect() const { return d->aspect; }
float MediaTrack::getFrameRate() const { return d->frameRate; }
bool MediaTrack::isLoaded() const { return d->loaded; }

QDomElement MediaTrack::toDomElement(QDomDocument doc, const QString &tagName) const
{
    QDomElement element = doc.createElement(tagName);
    element.setAttribute(QStringLiteral("name"), d->name);
    element.setAttribute(QStringLiteral("index"), qlonglong(d->index));
    element.setAttribute(QStringLiteral("orig_name"), d->origName);
    return element;
}

void MediaTrack::fromDomElement(const QDomElement &element, bool load)
{
    if (element.hasAttribute(QStringLiteral("name")))
        d->name = element.attribute(QStringLiteral("name"));
    if (element.hasAttribute(QStringLiteral("orig_name")))
        d->origName = element.attribute(QStringLiteral("orig_name"));
    if (element.hasAttribute(QStringLiteral("index")))
        d->index = element.attribute(QStringLiteral("index")).toInt(nullptr, 10);
    if (load)
        loadFromFile(d->name, d->index, d->origName);
}

QDataStream &operator<<(QDataStream &stream, const MediaTrack &track)
{
    stream << track.getName() << qint32(track.getTrackIndex()) << track.getOrigName();
    return stream;
}

QDataStream &operator>>(QDataStream &stream, MediaTrack &track)
{
    QString name, origName;
    qint32 index = 0;
    if (!StreamCheck::readString(stream, name))
        return stream;
    stream >> index;
    if (!StreamCheck::readString(stream, origName))
        return stream;
    track.clear();
    track.loadFromFile(name, index, origName);
    return stream;
}

} // namespace TW
