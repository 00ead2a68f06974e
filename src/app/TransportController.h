#pragma once

#include <QRectF>
#include <QSharedPointer>
#include <QTime>

namespace TW {

struct ControllerContext;
class VideoLoop;

// What the window asks of the player: play, pause, stop, seeks and the time
// slider, tempo, pitch and volume, the video view's zoom, and the tracks'
// play and lock switches.
class TransportController
{
public:
    explicit TransportController(ControllerContext &context);

    void onTempoChanged(float tempo);
    void onPitchChanged(float pitch);
    void onVoumeChanged(int volume);
    void onStopVideo();
    void onPlayVideo();
    void onPauseVideo();
    void onPlaybackTimeChanged(QTime time);
    void onPlaybackFrameChanged(quint32 frame);
    void onLoopAdded(QSharedPointer<VideoLoop> loop);
    void onLoopDeleted(QSharedPointer<VideoLoop> loop);
    void onTimeSliderReleased();
    void onTimeSliderPressed();
    void onVideoZoomIn();
    void onVideoZoomOut();
    void onVideoZoom(QRectF area);
    void onVideoZoom(float value);
    void onVideoPlayableChanged(bool playable);
    void onAudioPlayableChanged(bool playable);
    void onVideoLockChanged(bool locked);
    void onAudioLockChanged(bool locked);

private:
    // The zoom slider's position for the stored factor, in percent of the range.
    void showZoom();
    void stepZoom(bool in);
    // The frame the window shows (-1 without a window).
    qint64 shownFrame() const;

    ControllerContext &c;
    float zoom = 1.0f;
};

} // namespace TW
