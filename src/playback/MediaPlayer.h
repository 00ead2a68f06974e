#pragma once

#include "core/Time.h"
#include "playback/DecodingSpeedMode.h"
#include "playback/MemoryStream.h"

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSharedPointer>

#include <memory>

class QWidget;

namespace TW {

class AudioFeed;
class Media;
class MediaTrackFragmentPlayer;
class MemoryStreamPlayer;
class VideoLoop;

// Plays a whole project: one fragment player per fragment of the edit list,
// played one after another into the two sample queues, and one output
// player that shows and sounds what the queues hold. Chooses the tempo,
// pitch and volume in force, repeats loops with their counts and delays,
// seeks, and reports the play position as a frame number at most every
// 100 ms. Called from the graphical thread.
class MediaPlayer : public QObject
{
    Q_OBJECT

public:
    enum MediaPlayerState {
        Idle = 0,
        Preparing = 1, // fragment players just built and preloading
        Playing = 2,
        Paused = 3,
        Stopped = 4, // stopped, or the last fragment ended
    };

    explicit MediaPlayer(QObject *parent = nullptr);
    ~MediaPlayer() override;

    // The caller resets the player first (resetMedia).
    void openMedia(QSharedPointer<Media> media);
    void updateTrackPlayerCache(DecodingSpeedMode mode);
    void resetMedia();

    void play();
    void pause();
    void stop();
    void seek(unsigned long frame, bool resetLoop, bool clearStreams);
    void enableSeekMode();
    void disableSeekMode(bool clear);

    void setTempo(float percent);
    void setPitch(float semitones);
    void setVolume(float percent);
    float getCommonTempo() const;
    float getCommonPitch() const;
    float getCommonVolume() const;
    float getEffectiveTempo() const;
    float getEffectivePitch() const;
    float getEffectiveVolume() const;

    void updatePlaybackSettings();
    // Timeline time of the play position.
    Time getCurrentMediaTime() const;
    QSharedPointer<MediaTrackFragmentPlayer> getCurrentFragmentPlayer() const;
    QSharedPointer<MediaTrackFragmentPlayer> prepareNextFragmentPlayer();
    void updateCurrentFragmentPlayerSettings();

    void setAspectRatio(float ratio);
    void setAspectRatio(const QPointF &ratio);
    void setVideoEnabled(bool enabled);
    void setAudioEnabled(bool enabled);
    void setRenderingWidget(QWidget *widget);

    void setVideoFrameZoom(float zoom);
    void zoomSelectedArea(const QRectF &selection);
    void setVideoFrameLeftCorner(const QPointF &delta);
    float getVideoFrameZoom() const;
    QRectF getGeneralCropArea() const;

    // Drops the player's copy of the loop with that id, so an edited loop
    // is copied afresh.
    void resetLoopWithId(const QString &id);

    bool isPlaying() const;
    bool isPaused() const;

    void acceptLoop();
    void rewindFrame();
    void rewindSeconds(float seconds);
    void ffFrame();
    void ffSeconds(float seconds);

    // Inspection.
    int getState() const;
    int getCurrentIndex() const;
    qint64 getPositionFrame() const;
    bool isSeekMode() const;
    bool isLoopDelayPending() const;
    // A snapshot of the player's loop copy (null when none).
    QSharedPointer<VideoLoop> getCurrentLoop() const;
    QSharedPointer<Media> getMedia() const;
    VideoStream *getVideoStream() const;
    AudioStream *getAudioStream() const;
    MemoryStreamPlayer *getOutputPlayer() const;
    // The sound of the edit list as the device pulls it (null before a
    // project is opened).
    AudioFeed *getAudioFeed() const;
    QSharedPointer<MediaTrackFragmentPlayer> getFragmentPlayer(int index) const;

signals:
    void timeChanged(long frame);

private slots:
    void handleFragmentEndReached(TW::MediaTrackFragmentPlayer *player);
    void handleFragmentTargetPositionReached(TW::MediaTrackFragmentPlayer *player);
    void handleFragmentPositionChanged(TW::Time position);
    void handleFragmentPreloaded(TW::MediaTrackFragmentPlayer *player);
    void onLoopPlay();
    // The output's clock while it runs: position reports, loops, the end.
    void handleClock(qint64 time);

private:
    void applyTempo(float percent);
    void followPosition(TW::Time t);
    void reportPosition(TW::Time t);
    void finishLoopPass();

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
