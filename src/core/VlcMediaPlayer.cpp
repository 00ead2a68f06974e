#include "core/VlcMediaPlayer.h"

#include "core/LibvlcInstance.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"

#include <QDebug>
#include <QGuiApplication>
#include <QPointF>
#include <QRect>
#include <QThreadPool>

#include <vlc/vlc.h>

#include <atomic>
#include <functional>

namespace TW {

namespace {

// The events forwarded as signals, in the order they are attached.
constexpr libvlc_event_type_t ForwardedEvents[] = {
    libvlc_MediaPlayerEndReached,
    libvlc_MediaPlayerPositionChanged,
    libvlc_MediaPlayerTimeChanged,
    libvlc_MediaPlayerPlaying,
    libvlc_MediaPlayerSnapshotTaken,
    libvlc_MediaPlayerPaused,
    libvlc_MediaPlayerStopped,
    libvlc_MediaPlayerLengthChanged,
    libvlc_MediaPlayerEncounteredError,
    libvlc_MediaPlayerPausableChanged,
    libvlc_MediaPlayerSeekableChanged,
    libvlc_MediaPlayerVout,
    libvlc_MediaPlayerOpening,
    libvlc_MediaPlayerBuffering,
};

// How deep the current thread is in delivering libvlc events. libvlc sends
// them from its input thread, or from the thread calling stop while that
// holds the player's input lock; a call into the player from either would
// wait for a thread that waits for this one.
thread_local int eventDepth = 0;

struct EventScope
{
    EventScope() { ++eventDepth; }
    ~EventScope() { --eventDepth; }
};

} // namespace

struct VlcMediaPlayer::Impl
{
    libvlc_media_player_t *player = nullptr;
    VlcMedia *media = nullptr;
    void *surface = nullptr;
    std::atomic<int> state{StateNone};
    std::atomic<int> audioTrack{0};
    // Set by stop(), cleared by play(): tells our own stop from the one
    // libvlc 3 reports by itself right after the end of the media.
    std::atomic<bool> stopRequested{false};
    // Calls into libvlc that must not run where the events are delivered
    // run here, one at a time and in the order they were asked for.
    QThreadPool control;

    Impl()
    {
        control.setMaxThreadCount(1);
        control.setExpiryTimeout(2000);
    }

    // Runs the call at once, or, from inside an event, on the control
    // thread.
    void call(std::function<void(libvlc_media_player_t *)> work)
    {
        if (!player)
            return;
        if (eventDepth == 0) {
            work(player);
            return;
        }
        libvlc_media_player_t *p = player;
        control.start([p, work = std::move(work)] { work(p); });
    }

    // Runs on libvlc's event thread.
    static void onEvent(const libvlc_event_t *event, void *opaque)
    {
        auto *self = static_cast<VlcMediaPlayer *>(opaque);
        Impl *d = self->d.get();
        const EventScope scope;
        switch (event->type) {
        case libvlc_MediaPlayerBuffering:
            emit self->buffering(event->u.media_player_buffering.new_cache);
            break;
        case libvlc_MediaPlayerPlaying:
            d->state = StatePlaying;
            emit self->playing();
            // Never from here: a stop running meanwhile holds the input lock
            // this call takes while it waits for this very event to finish.
            d->control.start([p = d->player, track = int(d->audioTrack)] { libvlc_audio_set_track(p, track); });
            break;
        case libvlc_MediaPlayerPaused:
            d->state = StatePaused;
            emit self->paused();
            break;
        case libvlc_MediaPlayerStopped:
            // libvlc 3 follows "end reached" with a "stopped" of its own. It
            // is swallowed: the player stays "end reached" (the audio
            // extraction waits for that state) and listeners see no stop
            // that nobody asked for.
            if (d->state == StateEnded && !d->stopRequested)
                break;
            d->state = StateStopped;
            emit self->stopped();
            break;
        case libvlc_MediaPlayerEndReached:
            d->state = StateEnded;
            emit self->endReached();
            break;
        case libvlc_MediaPlayerEncounteredError:
            emit self->errorEncountered();
            break;
        case libvlc_MediaPlayerTimeChanged:
            emit self->timeChanged(event->u.media_player_time_changed.new_time);
            break;
        case libvlc_MediaPlayerPositionChanged:
            emit self->positionChanged(event->u.media_player_position_changed.new_position);
            break;
        case libvlc_MediaPlayerSeekableChanged:
            emit self->seekableChanged(event->u.media_player_seekable_changed.new_seekable != 0);
            break;
        case libvlc_MediaPlayerPausableChanged:
            emit self->pausableChanged(event->u.media_player_pausable_changed.new_pausable != 0);
            break;
        case libvlc_MediaPlayerSnapshotTaken:
            emit self->snapshotTaken(event->u.media_player_snapshot_taken.psz_filename);
            break;
        case libvlc_MediaPlayerLengthChanged:
            emit self->lengthChanged(event->u.media_player_length_changed.new_length);
            break;
        default:
            break;
        }
    }
};

VlcMediaPlayer::VlcMediaPlayer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Impl>())
{
    if (libvlc_instance_t *vlc = Singleton<LibvlcInstance>::instance()->getHandle())
        d->player = libvlc_media_player_new(vlc);
    if (!d->player) {
        qCritical() << "VlcMediaPlayer: no libvlc media player could be made";
        return;
    }
    libvlc_event_manager_t *events = libvlc_media_player_event_manager(d->player);
    for (libvlc_event_type_t type : ForwardedEvents)
        libvlc_event_attach(events, type, &Impl::onEvent, this);
}

VlcMediaPlayer::~VlcMediaPlayer()
{
    if (!d->player)
        return;
    // Detaching waits for a callback in progress, so no event reaches this
    // object once it is being torn down; the calls they left for the control
    // thread still find the player.
    libvlc_event_manager_t *events = libvlc_media_player_event_manager(d->player);
    for (libvlc_event_type_t type : ForwardedEvents)
        libvlc_event_detach(events, type, &Impl::onEvent, this);
    d->control.waitForDone();
    libvlc_media_player_release(d->player);
}

void VlcMediaPlayer::setRenderingSurface(void *view)
{
    d->surface = view;
    // Only the X11 platform's window ids name X windows. Any other id (the
    // offscreen platform numbers its windows) would make libvlc drop its
    // configured output and probe every other one, terminal outputs included.
    if (d->player && QGuiApplication::platformName() == QLatin1String("xcb"))
        libvlc_media_player_set_xwindow(d->player, uint32_t(reinterpret_cast<quintptr>(view)));
}

void *VlcMediaPlayer::getRenderingSurface() const
{
    return d->surface;
}

void VlcMediaPlayer::setMedia(VlcMedia *media)
{
    d->media = media;
    libvlc_media_t *m = media ? media->getMedia() : nullptr;
    d->call([m](libvlc_media_player_t *p) { libvlc_media_player_set_media(p, m); });
}

VlcMedia *VlcMediaPlayer::getMedia() const
{
    return d->media;
}

void VlcMediaPlayer::play()
{
    d->stopRequested = false;
    d->call([](libvlc_media_player_t *p) { libvlc_media_player_play(p); });
}

void VlcMediaPlayer::pause()
{
    d->call([](libvlc_media_player_t *p) { libvlc_media_player_set_pause(p, 1); });
}

void VlcMediaPlayer::resume()
{
    d->call([](libvlc_media_player_t *p) { libvlc_media_player_set_pause(p, 0); });
}

void VlcMediaPlayer::stop()
{
    d->stopRequested = true;
    d->call([](libvlc_media_player_t *p) { libvlc_media_player_stop(p); });
}

void VlcMediaPlayer::setSpeed(float rate)
{
    d->call([rate](libvlc_media_player_t *p) { libvlc_media_player_set_rate(p, rate); });
}

float VlcMediaPlayer::getSpeed() const
{
    return d->player ? libvlc_media_player_get_rate(d->player) : 1.0f;
}

int VlcMediaPlayer::getVlcState() const
{
    return d->player ? int(libvlc_media_player_get_state(d->player)) : int(libvlc_NothingSpecial);
}

int VlcMediaPlayer::getState() const
{
    return d->state;
}

void VlcMediaPlayer::setPosition(float position)
{
    d->call([position](libvlc_media_player_t *p) { libvlc_media_player_set_position(p, position); });
}

float VlcMediaPlayer::getPosition() const
{
    return d->player ? libvlc_media_player_get_position(d->player) : -1.0f;
}

void VlcMediaPlayer::setMediaTime(qint64 milliseconds)
{
    d->call([milliseconds](libvlc_media_player_t *p) { libvlc_media_player_set_time(p, milliseconds); });
}

Time VlcMediaPlayer::getTime() const
{
    return d->player ? Time(qint64(libvlc_media_player_get_time(d->player)) * 1000) : Time(-1000);
}

float VlcMediaPlayer::getFps() const
{
    if (!d->player)
        return 0.0f;
    libvlc_media_t *media = libvlc_media_player_get_media(d->player);
    if (!media)
        return 0.0f;
    float fps = 0.0f;
    libvlc_media_track_t **tracks = nullptr;
    const unsigned count = libvlc_media_tracks_get(media, &tracks);
    for (unsigned i = 0; i < count; ++i) {
        const libvlc_media_track_t *t = tracks[i];
        if (t->i_type == libvlc_track_video && t->video->i_frame_rate_den != 0) {
            fps = float(t->video->i_frame_rate_num) / float(t->video->i_frame_rate_den);
            break;
        }
    }
    if (tracks)
        libvlc_media_tracks_release(tracks, count);
    libvlc_media_release(media);
    return fps;
}

bool VlcMediaPlayer::isPausable() const
{
    return d->player && libvlc_media_player_can_pause(d->player) != 0;
}

bool VlcMediaPlayer::isSeekable() const
{
    return d->player && libvlc_media_player_is_seekable(d->player) != 0;
}

void VlcMediaPlayer::setVideoCallbacks(VideoLockCallback lock, VideoUnlockCallback unlock,
                                       VideoDisplayCallback display, void *opaque)
{
    if (d->player)
        libvlc_video_set_callbacks(d->player, lock, unlock, display, opaque);
}

void VlcMediaPlayer::setAudioCallbacks(AudioPlayCallback play, AudioPauseCallback pause,
                                       AudioResumeCallback resume, AudioFlushCallback flush,
                                       AudioDrainCallback drain, void *opaque)
{
    if (d->player)
        libvlc_audio_set_callbacks(d->player, play, pause, resume, flush, drain, opaque);
}

void VlcMediaPlayer::setAudioSampleFormatAmem(AudioSampleFormat format, int rate, int channels)
{
    Q_ASSERT_X(format == AudioSampleFormatS16 || format == AudioSampleFormatS16Alt,
               "VlcMediaPlayer::setAudioSampleFormatAmem", "unknown sample format");
    Q_UNUSED(format);
    if (d->player)
        libvlc_audio_set_format(d->player, "S16N", unsigned(rate), unsigned(channels));
}

const char *VlcMediaPlayer::chroma(int bytesPerPixel)
{
    return bytesPerPixel == 4 ? "RV32" : "RV24";
}

void VlcMediaPlayer::setFrameFormatVmem(int bytesPerPixel, int width, int height)
{
    if (d->player)
        libvlc_video_set_format(d->player, chroma(bytesPerPixel), unsigned(width), unsigned(height),
                                unsigned(bytesPerPixel * width));
}

void VlcMediaPlayer::displayNextFrame()
{
    d->call([](libvlc_media_player_t *p) { libvlc_media_player_next_frame(p); });
}

void VlcMediaPlayer::setOutputScale(float scale)
{
    d->call([scale](libvlc_media_player_t *p) { libvlc_video_set_scale(p, scale); });
}

float VlcMediaPlayer::getOututScale() const
{
    return d->player ? libvlc_video_get_scale(d->player) : 0.0f;
}

QByteArray VlcMediaPlayer::cropGeometry(const QRect &rect)
{
    return QString("%1x%2+%3+%4")
        .arg(rect.right() - rect.left() + 1)
        .arg(rect.bottom() - rect.top() + 1)
        .arg(rect.left())
        .arg(rect.top())
        .toLocal8Bit();
}

void VlcMediaPlayer::setOutputCropGeometry(const QRect &rect)
{
    const QByteArray geometry = cropGeometry(rect);
    d->call([geometry](libvlc_media_player_t *p) { libvlc_video_set_crop_geometry(p, geometry.constData()); });
}

void VlcMediaPlayer::setOutputAspectRatio(float ratio)
{
    // libvlc reads whole numbers on both sides of the colon.
    const QByteArray aspect = ratio > 0.0f ? QByteArray::number(qRound(ratio * 1000.0f)) + ":1000" : QByteArray();
    d->call([aspect](libvlc_media_player_t *p) {
        libvlc_video_set_aspect_ratio(p, aspect.isEmpty() ? nullptr : aspect.constData());
    });
}

QByteArray VlcMediaPlayer::aspectRatioString(const QPointF &ratio)
{
    // QString::number never uses the locale; 'g' gives the shortest form.
    return QString("%1:%2").arg(QString::number(ratio.x(), 'g'), QString::number(ratio.y(), 'g')).toUtf8();
}

void VlcMediaPlayer::setAspectRatio(const QPointF &ratio)
{
    const QByteArray aspect = aspectRatioString(ratio);
    d->call([aspect](libvlc_media_player_t *p) { libvlc_video_set_aspect_ratio(p, aspect.constData()); });
}

void VlcMediaPlayer::setTitle(int title)
{
    d->call([title](libvlc_media_player_t *p) { libvlc_media_player_set_title(p, title); });
}

void VlcMediaPlayer::setAudioTrack(int track)
{
    d->audioTrack = track;
}

int VlcMediaPlayer::getAudioTrack() const
{
    return d->audioTrack;
}

int VlcMediaPlayer::libvlcVolume(float percent)
{
    if (int(percent) > 0)
        return int(percent * 70.0f / 100.0f + 30.0f);
    return int(percent);
}

void VlcMediaPlayer::setVolume(float percent)
{
    const int volume = libvlcVolume(percent);
    d->call([volume](libvlc_media_player_t *p) { libvlc_audio_set_volume(p, volume); });
}

void VlcMediaPlayer::disableUserInput()
{
}

void VlcMediaPlayer::clearInternalCache()
{
}

libvlc_media_player_t *VlcMediaPlayer::getHandle() const
{
    return d->player;
}

} // namespace TW
