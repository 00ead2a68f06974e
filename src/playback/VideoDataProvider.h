#pragma once

#include "playback/MediaDataProvider.h"
#include "playback/MemoryStream.h"

#include <QPointF>
#include <QString>

#include <cstdint>

namespace TW {

// The data provider of the application: decodes one fragment's source with
// libvlc's memory output. Every decoded picture goes to the video queue,
// stamped with its timeline time (counted from the last seek: libvlc lands
// seeks on the frame asked for and hands pictures over in order). The sound
// is not libvlc's: the feed makes it from the fragment's tempo and pitch
// stage (TempoPitchStage, owned by the fragment player). Also preloads
// (opens the media and parks it paused at the start), seeks, repeats and
// sets libvlc's rate.
class VideoDataProvider : public MediaDataProvider
{
    Q_OBJECT

public:
    explicit VideoDataProvider(DecodingSpeedMode mode, QObject *parent = nullptr);
    ~VideoDataProvider() override;

    void start(bool fromStart) override;
    void stop() override;
    void pause() override;
    void resume() override;
    void suspend() override;
    void preloadMedia() override;
    void setStartPosition(Time t) override;
    void setEndPosition(Time t) override;
    void setTargetPosition(Time t) override;
    void update() override;
    void acceptMedia() override;

    void setVideoStream(VideoStream *stream);
    void setAudioStream(AudioStream *stream);
    void setRepeatCount(int count);
    // Source time.
    void setPosition(Time t);
    void setSpeed(float percent);
    float getSpeed() const;
    void setPitch(float semitones);
    float getPitch() const;
    void setVolume(float percent);
    void setAudioDisabled(bool disabled);
    bool isAudioDisabled() const;
    void setAudioTrack(int track);
    void setAspectRatio(const QPointF &ratio);
    void setAspectRatio(float ratio);
    void suspendProcessing();
    void resumeProcessing();
    QString getMediaSettingsString() const;

    // Timeline time minus source time of this fragment: pictures are
    // stamped on the timeline.
    void setTimelineOffset(qint64 offset);
    // Timeline time the next new picture will carry.
    qint64 nextPictureTime() const;

    // Waits for the work this provider started on the thread pool.
    void waitForPendingWork();

signals:
    void positionChanged();
    void targetPositionReached();
    void mediaEndReached();
    void mediaStopped();
    void setStartPositionRequested();
    void mediaTimeChanged(TW::Time position);
    void mediaTimeChangedInt(qint64 position);
    void trackFragmentTargetPositionReached();
    void videoProcessingStarted();
    void videoProcessingPaused();
    void pausableChanged(bool pausable);
    void mediaPreloaded();

private slots:
    void handlePlayerStart();
    void handlePlayerPause();
    void handlePlayerStop();
    void handlePlayerEnd();
    void handleMediaTimeChanged(qint64 milliseconds);
    void handlePlayerPausableChanged(bool pausable);
    void handlePositionReached();
    void handleSetStartPosition();
    void handlePlayerSeekableChanged(bool seekable);
    void handlePlayerNewPosition();
    void handleBufferingChanged(float percent);

private:
    // libvlc's memory-output callbacks; opaque is the provider.
    static void *videoLock(void *opaque, void **planes);
    static void videoUnlock(void *opaque, void *picture, void *const *planes);
    static void videoDisplay(void *opaque, void *picture);
    static void audioPlay(void *opaque, const void *samples, unsigned count, int64_t pts);
    static void audioPause(void *opaque, int64_t pts);
    static void audioResume(void *opaque, int64_t pts);
    static void audioFlush(void *opaque, int64_t pts);
    static void audioDrain(void *opaque);

    void setPositionImpl(Time t);
    void setSpeedAsyncImpl();
    // The pause around a seek made while playing (see the provider's Impl).
    void holdResumeForSeek();
    void releaseHeldResume(int number);
    void cancelHeldResume();

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
