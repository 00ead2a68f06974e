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
struct MediaPlayerCore;
class Media;
class MediaTrackFragmentPlayer;
class MemoryStreamPlayer;
class PlaybackSettings;
class PlaybackTimebase;
class VideoLoop;

// Plays a whole project: one fragment player per fragment of the edit list,
// played one after another into the two sample queues, and one output
// player that shows and sounds what the queues hold. Chooses the tempo,
// pitch and volume in force, repeats loops with their counts and delays,
// seeks, and reports the play position as a frame number at most every
// 100 ms.
//
// One state machine on the graphical thread: every public call, every
// fragment player's report (queued to this thread) and every tick of the
// output's clock is an event that may change the state through one
// transition function. The clock being heard decides where playback is:
// loop ends and the end of the project are reached when the clock reaches
// them, never when the pictures' decoder does. Wall time and timers come
// from a PlaybackTimebase, so tests drive time themselves.
class MediaPlayer : public QObject
{
    Q_OBJECT

public:
    enum MediaPlayerState {
        Idle = 0,
        Preparing = 1, // fragment players just built and preloading
        Playing = 2,
        Paused = 3,
        Stopped = 4,   // stopped by the user
        LoopDelay = 5, // playing, waiting out a loop's delay before it repeats
        Ended = 6,     // the clock reached the end of the project
    };

    explicit MediaPlayer(QObject *parent = nullptr);
    explicit MediaPlayer(std::shared_ptr<PlaybackTimebase> timebase, QObject *parent = nullptr);
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

    // The project's tempo, pitch and volume and its loops, as the project
    // last published them: the only settings the player reads. Applied at
    // once to what plays. Until the first call: 100 %, 0 semitones, 100 %,
    // no loops.
    void setPlaybackSettings(QSharedPointer<const PlaybackSettings> settings);
    QSharedPointer<const PlaybackSettings> getPlaybackSettings() const;
    // The project's values (outside the loops).
    float getCommonTempo() const;
    float getCommonPitch() const;
    float getCommonVolume() const;
    // The values in force where the player is: the loop's it is repeating,
    // else the project's.
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

    // Inspection. getState() gives the five states callers know: a loop's
    // delay is Playing, the end is Stopped; getPhase() the exact one.
    int getState() const;
    MediaPlayerState getPhase() const;
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
    // The clock has reached the end of the project.
    void reachEnd();
    // A fragment player whose pictures ended is prepared again at its start
    // on the thread pool; revived() runs once it is ready (or has been
    // waited for long enough).
    void revive(int index);
    void revived(int index);
    // The clock has moved into another fragment than the current one.
    void followFragment(qint64 time);
    // The clock at a loop's end, or gone back with the sound from there to
    // the loop's start; true when the tick was taken up by it.
    bool reachLoopEnd(qint64 time, qint64 previous, qint64 still, qint64 fed);
    // The sound has jumped back to the loop's start and is heard there: a
    // pass is over, and the pictures follow it.
    void followLoopJump(qint64 time);

    // The state but for the settings, for the reactions to the clock and
    // to the fragment players (MediaPlayerEvents.cpp).
    MediaPlayerCore &core() const;
    // The settings in force chosen again (the loop's or the project's) and
    // given to the sound and the current fragment player.
    void refreshSettings();
    // The loop of the latest settings whose range holds the frame; null
    // for none.
    QSharedPointer<const VideoLoop> loopAt(qint64 frame) const;

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
