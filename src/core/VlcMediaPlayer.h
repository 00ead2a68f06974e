#pragma once

#include "core/Time.h"

#include <QObject>

#include <memory>

class QPointF;
class QRect;
struct libvlc_media_player_t;

namespace TW {

class VlcMedia;

// Sample format of libvlc's audio memory output; both values select signed
// 16-bit samples in the machine's byte order (little-endian here).
enum AudioSampleFormat {
    AudioSampleFormatS16 = 0,
    AudioSampleFormatS16Alt = 1,
};

// One libvlc media player on the shared instance. Its libvlc events arrive
// as the signals below, emitted at once where libvlc delivers them (its input
// thread, or the thread stopping the player): receivers connected directly
// run there. A call into libvlc from there could wait forever for a stop in
// progress, so the commands (play, pause, resume, stop, seeking, speed,
// volume, media, output geometry) given while an event is being delivered
// run shortly after on a control thread of the player, in the order given.
// The queries asking libvlc (time, position, speed, fps...) cannot wait, so
// receivers connected directly must not call them. The audio track chosen
// with setAudioTrack is selected on the control thread each time playing
// starts.
class VlcMediaPlayer : public QObject
{
    Q_OBJECT

public:
    // The callback types of libvlc's memory outputs.
    using VideoLockCallback = void *(*)(void *opaque, void **planes);
    using VideoUnlockCallback = void (*)(void *opaque, void *picture, void *const *planes);
    using VideoDisplayCallback = void (*)(void *opaque, void *picture);
    using AudioPlayCallback = void (*)(void *opaque, const void *samples, unsigned count, int64_t pts);
    using AudioPauseCallback = void (*)(void *opaque, int64_t pts);
    using AudioResumeCallback = void (*)(void *opaque, int64_t pts);
    using AudioFlushCallback = void (*)(void *opaque, int64_t pts);
    using AudioDrainCallback = void (*)(void *opaque);

    // The player's last reported state (getState).
    enum State { StateNone = 0, StatePlaying = 1, StatePaused = 2, StateStopped = 3, StateEnded = 4 };

    explicit VlcMediaPlayer(QObject *parent = nullptr);
    ~VlcMediaPlayer() override;

    // The native window (X11 window id) to draw into; null draws nowhere.
    void setRenderingSurface(void *view);
    void *getRenderingSurface() const;
    // Not owned; the media must outlive its use by this player.
    void setMedia(VlcMedia *media);
    VlcMedia *getMedia() const;

    void play();
    void pause();
    void resume();
    void stop();

    void setSpeed(float rate); // 1.0 is normal speed
    float getSpeed() const;
    int getVlcState() const;   // libvlc's own state value
    int getState() const;      // State, as the events last reported it
    void setPosition(float position); // 0.0 to 1.0 of the length
    float getPosition() const;
    void setMediaTime(qint64 milliseconds);
    Time getTime() const;      // microseconds
    float getFps() const;      // the playing media's video frame rate, 0 when unknown
    bool isPausable() const;
    bool isSeekable() const;

    void setVideoCallbacks(VideoLockCallback lock, VideoUnlockCallback unlock,
                           VideoDisplayCallback display, void *opaque);
    void setAudioCallbacks(AudioPlayCallback play, AudioPauseCallback pause,
                           AudioResumeCallback resume, AudioFlushCallback flush,
                           AudioDrainCallback drain, void *opaque);
    void setAudioSampleFormatAmem(AudioSampleFormat format, int rate, int channels);
    // "RV32" for 4 bytes per pixel, "RV24" otherwise; rows of
    // bytesPerPixel * width bytes.
    void setFrameFormatVmem(int bytesPerPixel, int width, int height);
    void displayNextFrame();

    void setOutputScale(float scale);
    float getOututScale() const;
    void setOutputCropGeometry(const QRect &rect);
    void setOutputAspectRatio(float ratio);
    void setAspectRatio(const QPointF &ratio);
    void setTitle(int title);
    // Selected (shortly after) each time playing starts.
    void setAudioTrack(int track);
    int getAudioTrack() const;
    // Percent; see libvlcVolume.
    void setVolume(float percent);

    void disableUserInput();
    void clearInternalCache();

    libvlc_media_player_t *getHandle() const;

    // The libvlc crop string of a rectangle with inclusive edges: 320x240+10+20.
    static QByteArray cropGeometry(const QRect &rect);
    // The libvlc aspect string of a ratio: 16:9.
    static QByteArray aspectRatioString(const QPointF &ratio);
    // The libvlc volume for a volume in percent: above 0 (truncated) it maps
    // 1..100 onto 30..100; otherwise the value truncated.
    static int libvlcVolume(float percent);
    // The libvlc chroma for a number of bytes per pixel.
    static const char *chroma(int bytesPerPixel);

signals:
    void snapshotTaken(const char *fileName);
    void timeChanged(qint64 milliseconds);
    void playing();
    void paused();
    void stopped();
    void endReached();
    void volumeChanged();
    void positionChanged(float position);
    void lengthChanged(qint64 milliseconds);
    void errorEncountered();
    void seekableChanged(bool seekable);
    void pausableChanged(bool pausable);
    void buffering(float percent);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
