#pragma once

#include "core/Time.h"
#include "playback/DecodingSpeedMode.h"
#include "playback/MemoryStream.h"

#include <QObject>
#include <QPointF>
#include <QSharedPointer>
#include <QString>

#include <functional>
#include <memory>

namespace TW {

class MediaTrack;
struct MediaTrackFragment;
class TempoPitchStage;
class VideoDataProvider;

// Plays one fragment of the edit list through a data provider of its own
// and translates between source time (inside the track's file), fragment
// time (from the fragment's start) and timeline time.
class MediaTrackFragmentPlayer : public QObject
{
    Q_OBJECT

public:
    enum FragmentPlayerState {
        FragmentCreated = 0,
        FragmentPlaying = 1,
        FragmentPaused = 2,
        FragmentSuspended = 3,
        FragmentStopped = 4,
    };

    // Gives the path of a track's audio as a raw sample file (extracting it
    // first when needed). Set once at start-up by the layer that extracts
    // audio; without it fragments play without sound.
    using AudioSamplesFunction = std::function<QString(QSharedPointer<MediaTrack>)>;
    static void setAudioSamplesFunction(AudioSamplesFunction function);

    explicit MediaTrackFragmentPlayer(DecodingSpeedMode mode, QObject *parent = nullptr);
    ~MediaTrackFragmentPlayer() override;

    void setVideoStream(VideoStream *stream);
    void setAudioStream(AudioStream *stream);
    // Not owned; the caller keeps the fragment alive. Starts the preload.
    void setSource(MediaTrackFragment *fragment);
    MediaTrackFragment *getSource() const;

    void setVideoEnabled(bool enabled);
    void setAudioEnabled(bool enabled);

    void setStartPosition(Time t);
    void setEndPosition(Time t);
    void resetStartPosition();
    void resetEndPosition();
    void resetPositions();
    void updatePositions();
    // Fragment time.
    void setPosition(Time t);
    void setTargetPosition(Time t);
    void resetTargetPosition();
    Time getTargetPosition() const;
    // Timeline time of what is playing.
    Time getCurrentFragmentTime() const;
    Time getCurrentMediaTime() const;

    void play();
    void togglePlayPause();
    void pause();
    void suspend();
    void resume();
    void stop();
    void preloadMedia();
    void playAsync();
    void stopAsync();
    void resetAsync();
    // Waits for the work started by the *Async calls.
    void waitForPendingWork();

    void setSpeed(float percent);
    void setPitch(float semitones);
    void setVolume(float percent);
    void setAspectRatio(float ratio);
    void setAspectRatio(const QPointF &ratio);

    int getState() const;
    VideoDataProvider *getProvider() const;
    // The fragment's sound, which the media player's feed pulls.
    TempoPitchStage *getAudioStage() const;

signals:
    void fragmentEndReached(TW::MediaTrackFragmentPlayer *player);
    void trackFragmentTimePositionChanged(TW::Time position);
    void trackFragmentTargetPositionReached(TW::MediaTrackFragmentPlayer *player);
    void fragmentPreloaded(TW::MediaTrackFragmentPlayer *player);

private slots:
    void handleMediaEndReached();
    void handleMediaTimeChanged(TW::Time position);
    void handleTargetPositionReached();
    void handleVideoProcessingStarted();
    void handleVideoProcessingPaused();
    void handleMediaPausableChanged(bool pausable);
    void handleMediaPreloaded();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
