#pragma once

#include "playback/AudioClock.h"
#include "playback/AudioOutput.h"
#include "playback/MemoryStream.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QString>

#include <memory>

class QWidget;

namespace TW {

// Presents what the engine makes, with the sound device's clock as master:
// the sound is pulled by the device (AudioOutput) from a source set by the
// media player; each picture of the video queue is shown in the rendering
// widget when the time being heard reaches the picture's timeline time (a
// picture already late is shown at once, older ones are dropped). With no
// sound device the clock runs on the system's monotonic clock at the tempo.
// Volume, zoom and crop are applied here; the rendering widget's size in
// device pixels, times the zoom, is told to the picture sources
// (PictureSource::setViewSize) so that pictures are decoded no larger than
// shown. Graphical thread only.
class MemoryStreamPlayer : public QObject
{
    Q_OBJECT

public:
    explicit MemoryStreamPlayer(QObject *parent = nullptr);
    ~MemoryStreamPlayer() override;

    // The monotonic time the clock runs on without a sound device
    // (microseconds); for tests.
    void setTimeSource(AudioClock::TimeSource source);
    // The device's source; set before setupRenderer.
    void setAudioSource(AudioOutput::Source source);
    // Reads the project settings (frame size, rate, channels, aspect) and
    // opens the sound device.
    void setupRenderer();
    void setVideoStream(VideoStream *stream);
    void setAudioStream(AudioStream *stream);
    // The widget the pictures are painted in.
    void setRenderingWidget(QWidget *widget);

    // The clock runs from `from` as soon as a picture is ready (at most a
    // short while later, for sources without pictures).
    void play(qint64 from);
    // The clock stops where it is; buffered sound is kept.
    void pause();
    // Buffered sound is dropped; the clock reads `to` from now on, and runs
    // again (when playing) once the new place has a picture. Paused, the
    // new place's picture is shown as soon as it comes.
    void seek(qint64 to, bool playing);
    // Tempo in percent: the pace of the clock when there is no device.
    void setRate(float percent);
    bool isRunning() const;

    // Timeline time heard (or, without a device, due) now, microseconds.
    qint64 clockTime() const;
    bool hasSound() const;
    AudioOutput *audioOutput() const;
    // The picture on screen (null before the first).
    QImage currentPicture() const;
    qint64 currentPictureTime() const;
    // Shows what is due now; run by a timer while the clock runs, and after
    // a seek made standing still until the new place is shown (no timer
    // otherwise); public for tests.
    void present();

    void setVolume(float percent);
    float getVolume() const;

    void setScale(float zoom);
    float getScale() const;
    void zoomSelectedArea(const QRectF &selection);
    void setVideoLeftTopCorner(const QPointF &delta);
    void setVideoCropArea(const QRectF &area);
    QRectF getGeneralCropArea() const;
    QPointF getCropOrigin() const;

    // A frame rate as text without the locale: "25", "30000/1001"...
    static QString frameRateString(float fps);
    // The pixel rectangle (inclusive edges) of a crop area given in fractions
    // of a width x height frame.
    static QRect cropRectangle(const QRectF &area, int width, int height);

signals:
    // The clock's time at each presentation tick while it runs.
    void clockAdvanced(qint64 time);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
