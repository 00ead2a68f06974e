#pragma once

#include "playback/MediaDataProvider.h"
#include "playback/MemoryStream.h"

#include <QPointF>
#include <QString>

#include <cstdint>

namespace TW {

class PictureSource;

// The data provider of the application: one fragment's pictures and sound.
// The pictures come from a PictureSource (FFmpeg's decoder on a thread of
// its own), each stamped with its timeline time: the decoder's media time
// plus the fragment's offset. They go to the video queue in order, up to the
// source's bounds, while the provider plays or is paused (the presenter shows
// them by the clock); parked (after a preload, a stop or a suspend) it keeps
// only the first picture of its start. A seek shows its place in any state.
// The end is reported when the presenter has taken the last picture. The
// sound is not the provider's: the feed makes it from the fragment's tempo
// and pitch stage (TempoPitchStage, owned by the fragment player); tempo
// never touches the pictures.
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
    // The source time of the latest picture queued (or of the last seek).
    Time getCurrentMediaTime() const override;

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
    // Null until the provider is first preloaded, sought or started.
    PictureSource *pictureSource() const;

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
    void handlePositionReached();

private:
    void ensureSource();
    // Pictures go to the queue (on) or not, and those queued are taken back.
    void activate(bool on);
    void setSpeedAsyncImpl();
    // From the source's thread.
    void takePicture(const VideoFrame &picture, int run);
    void handlePrepared(int run);
    void handlePicturesEnd(int run);
    bool runGoesOn(int run) const;

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
