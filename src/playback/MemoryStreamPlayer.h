#pragma once

#include "playback/MemoryStream.h"

#include <QObject>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace TW {

class VlcMedia;
class VlcMediaPlayer;

// Presents what the two sample queues hold: one libvlc player on a
// memory-input media ("imem") whose video stream (cookie "0", 24-bit RGB)
// and audio stream (cookie "1", signed 16-bit PCM, a slave input) are fed
// from the queues by the get and release callbacks. Gaps are filled with an
// empty picture or with silence. Volume, zoom and crop are applied here.
class MemoryStreamPlayer : public QObject
{
    Q_OBJECT

public:
    explicit MemoryStreamPlayer(QObject *parent = nullptr);
    ~MemoryStreamPlayer() override;

    // Builds the memory-input media and the libvlc player from the project
    // settings (frame size, frame rate, channels, sample rate, aspect).
    void setupRenderer();
    void setVideoStream(VideoStream *stream);
    void setAudioStream(AudioStream *stream);
    // The widget whose native window shows the video (after setupRenderer).
    void setRenderingWidget(QWidget *widget);

    void startPlayback();
    void stopPlayback();

    void setVolume(float percent);
    float getVolume() const;

    // Stops, waits briefly and zeroes both clocks.
    void reset();
    // Both clocks to the later of the two.
    void syncClocks();

    void setScale(float zoom);
    float getScale() const;
    void zoomSelectedArea(const QRectF &selection);
    void setVideoLeftTopCorner(const QPointF &delta);
    void setVideoCropArea(const QRectF &area);
    QRectF getGeneralCropArea() const;
    QPointF getCropOrigin() const;

    // libvlc's memory-input callbacks; data is the output player.
    static int lockCallback(void *data, const char *cookie, int64_t *dts, int64_t *pts,
                            unsigned *flags, size_t *size, void **buffer);
    static void unlockCallback(void *data, const char *cookie, size_t size, void *buffer);

    // Whether an audio block stamped with a time still to come (libvlc's
    // clock) waits until it is due; on by default.
    void setHoldEarlyAudio(bool hold);

    // Called from libvlc's threads with every buffer handed to libvlc: the
    // stream ('0' video, '1' audio), the bytes and the presentation time
    // given to them. For measurements; none is set by default.
    using Observer = std::function<void(char stream, const char *data, size_t size, qint64 pts)>;
    void setObserver(Observer observer);

    // Inspection, mainly for tests and diagnostics.
    VlcMediaPlayer *getPlayer() const;
    VlcMedia *getMedia() const;
    qint64 getVideoClock() const;
    qint64 getAudioClock() const;

    // A frame rate in a form libvlc's memory input accepts: "25", "24",
    // "30000/1001", "2997/100"...
    static QString frameRateString(float fps);
    // The pixel rectangle (inclusive edges) of a crop area given in fractions
    // of a width x height frame.
    static QRect cropRectangle(const QRectF &area, int width, int height);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
