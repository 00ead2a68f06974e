#include "core/VlcMedia.h"

#include "core/LibvlcInstance.h"
#include "core/Singleton.h"

#include <QPoint>
#include <QUrl>

#include <vlc/vlc.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace TW {

namespace {

// How long a synchronous parse may take before its result is used as it is.
constexpr int ParseTimeoutMs = 30000;

libvlc_media_t *newMedia(const QString &location)
{
    libvlc_instance_t *vlc = Singleton<LibvlcInstance>::instance()->getHandle();
    if (!vlc)
        return nullptr;
    return libvlc_media_new_location(vlc, location.toLocal8Bit().constData());
}

QByteArray seconds(Time t)
{
    // QByteArray::number never uses the locale: "2.500", not "2,500".
    return QByteArray::number(double(t.unitCount) / 1000000.0, 'f', 3);
}

QByteArray pointerOption(const char *name, void *pointer)
{
    return QByteArray(name) + '=' + QByteArray::number(qlonglong(reinterpret_cast<qintptr>(pointer)));
}

// Waits for libvlc's parser to report an outcome for the media.
struct ParseWaiter
{
    std::mutex mutex;
    std::condition_variable done;

    static void onEvent(const libvlc_event_t *, void *opaque)
    {
        auto *self = static_cast<ParseWaiter *>(opaque);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->done.notify_all();
    }
};

} // namespace

struct VlcMedia::Impl
{
    int repeatCount = 0;
    QString location;
    libvlc_media_t *media = nullptr;
    MediaInfo mediaInfo;
    Time startPosition;
    Time endPosition;
    float frameRate = 0.0f;
    QStringList options;

    void add(const QByteArray &option)
    {
        options << QString::fromUtf8(option);
        if (media)
            libvlc_media_add_option(media, option.constData());
    }
};

VlcMedia::VlcMedia(const QString &location)
    : d(std::make_unique<Impl>())
{
    d->location = location;
    d->media = newMedia(location);
}

VlcMedia::VlcMedia(const VlcMedia &other)
    : d(std::make_unique<Impl>())
{
    d->location = other.d->location;
    d->media = newMedia(d->location);
    d->mediaInfo = other.d->mediaInfo;
    d->startPosition = other.d->startPosition;
    d->endPosition = other.d->endPosition;
    d->frameRate = other.d->frameRate;
}

VlcMedia::~VlcMedia()
{
    if (d->media)
        libvlc_media_release(d->media);
}

VlcMedia *VlcMedia::clone() const
{
    auto *copy = new VlcMedia(d->location);
    copy->parse();
    return copy;
}

QString VlcMedia::locationForFile(const QString &path)
{
    return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded));
}

void VlcMedia::addOption(const QString &option)
{
    d->add(option.toUtf8());
}

void VlcMedia::addOption(const char *option)
{
    d->add(QByteArray(option));
}

void VlcMedia::setStartPosition(Time t)
{
    d->startPosition = t;
    d->add(":start-time=" + seconds(t));
}

void VlcMedia::setEndPosition(Time t)
{
    d->endPosition = t;
    d->add(":stop-time=" + seconds(t));
}

void VlcMedia::setRepeatCount(int n)
{
    d->repeatCount = n > 1 ? n - 1 : 0;
    d->add(":input-repeat=" + QByteArray::number(d->repeatCount));
}

void VlcMedia::setFrameLocation(const QPoint &p)
{
    d->add(":video-x=" + QByteArray::number(p.x()));
    d->add(":video-y=" + QByteArray::number(p.y()));
}

void VlcMedia::setVideoLockCallback(void *callback)
{
    d->add(pointerOption(":sout-smem-video-prerender-callback", callback));
}

void VlcMedia::setVideoUnlockCallback(void *callback)
{
    d->add(pointerOption(":sout-smem-video-postrender-callback", callback));
}

void VlcMedia::setAudioLockCallback(void *callback)
{
    d->add(pointerOption(":sout-smem-audio-prerender-callback", callback));
}

void VlcMedia::setAudioUnlockCallback(void *callback)
{
    d->add(pointerOption(":sout-smem-audio-postrender-callback", callback));
}

void VlcMedia::setVideoDataContext(void *context)
{
    d->add(pointerOption(":sout-smem-video-data", context));
}

void VlcMedia::setAudioDataContext(void *context)
{
    d->add(pointerOption(":sout-smem-audio-data", context));
}

void VlcMedia::parse()
{
    if (!d->media) {
        d->endPosition = Time(-1000);
        d->mediaInfo.fillVectors();
        return;
    }

    // A synchronous parse: ask libvlc's parser and wait for its outcome. A
    // media parsed before reports its status at once.
    ParseWaiter waiter;
    libvlc_event_manager_t *events = libvlc_media_event_manager(d->media);
    libvlc_event_attach(events, libvlc_MediaParsedChanged, &ParseWaiter::onEvent, &waiter);
    if (libvlc_media_parse_with_options(d->media, libvlc_media_parse_local, ParseTimeoutMs) == 0) {
        const auto deadline = std::chrono::steady_clock::now()
                              + std::chrono::milliseconds(ParseTimeoutMs + 1000);
        std::unique_lock<std::mutex> lock(waiter.mutex);
        // The status is read under the waiter's lock, which the event takes
        // too, so a notification between the test and the wait is not lost.
        while (libvlc_media_get_parsed_status(d->media) == 0
               && waiter.done.wait_until(lock, deadline) != std::cv_status::timeout) {
        }
    }
    libvlc_event_detach(events, libvlc_MediaParsedChanged, &ParseWaiter::onEvent, &waiter);

    // A media libvlc failed to open reports a length of 0: that is no
    // length either.
    libvlc_time_t duration = libvlc_media_get_duration(d->media);
    if (libvlc_media_get_parsed_status(d->media) != libvlc_media_parsed_status_done && duration <= 0)
        duration = -1;
    d->endPosition = Time(qint64(duration) * 1000);

    libvlc_media_track_t **tracks = nullptr;
    const unsigned count = libvlc_media_tracks_get(d->media, &tracks);

    // Only program streams ("mpg") get a frame rate here. It is read from the
    // parsed video description; a short test play would need ":no-audio" and
    // ":no-video" on this media, and those would silence it for good.
    if (d->location.contains("mpg", Qt::CaseInsensitive)) {
        for (unsigned i = 0; i < count; ++i) {
            const libvlc_media_track_t *t = tracks[i];
            if (t->i_type == libvlc_track_video && t->video->i_frame_rate_den != 0) {
                d->frameRate = float(t->video->i_frame_rate_num) / float(t->video->i_frame_rate_den);
                break;
            }
        }
    }

    for (unsigned i = 0; i < count; ++i) {
        const libvlc_media_track_t *t = tracks[i];
        if (t->i_type == libvlc_track_audio) {
            AudioTrackInfo a;
            a.channels = int(t->audio->i_channels);
            a.sampleRate = int(t->audio->i_rate);
            a.codec = int(t->i_codec);
            a.trackId = t->i_id;
            d->mediaInfo.audioTracksById.insert(a.trackId, a);
        } else if (t->i_type == libvlc_track_video) {
            VideoTrackInfo v;
            v.width = int(t->video->i_width);
            v.height = int(t->video->i_height);
            v.aspect = v.height != 0 ? int(float(v.width) / float(v.height)) : 0;
            v.codec = int(t->i_codec);
            v.trackId = t->i_id;
            v.frameRate = d->frameRate;
            d->mediaInfo.videoTracksById.insert(v.trackId, v);
        }
    }
    if (tracks)
        libvlc_media_tracks_release(tracks, count);
    d->mediaInfo.fillVectors();
}

QString VlcMedia::getLocation() const
{
    return d->location;
}

libvlc_media_t *VlcMedia::getMedia() const
{
    return d->media;
}

const MediaInfo &VlcMedia::getMediaInfo() const
{
    return d->mediaInfo;
}

Time VlcMedia::getStartPosition() const
{
    return d->startPosition;
}

Time VlcMedia::getEndPosition() const
{
    return d->endPosition;
}

float VlcMedia::getFrameRate() const
{
    return d->frameRate;
}

void VlcMedia::setFrameRate(float fps)
{
    d->frameRate = fps;
}

int VlcMedia::getRepeatCount() const
{
    return d->repeatCount;
}

QStringList VlcMedia::getOptions() const
{
    return d->options;
}

} // namespace TW
