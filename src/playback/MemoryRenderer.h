#pragma once

#include "playback/AudioFragment.h"
#include "playback/VideoFrame.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <cstdint>
#include <memory>

struct libvlc_media_t;

namespace TW {

class MediaTrack;

// Decodes a whole source track into memory through libvlc's stream output:
// a transcode to 480 x 320 24-bit RGB pictures and mono 16-bit audio at
// 44,100 Hz, delivered by the memory stream output ("smem") into a list of
// pictures and a list of audio blocks. A self-contained decoder beside the
// playback engine (which decodes fragment by fragment instead).
class MemoryRenderer : public QObject
{
    Q_OBJECT

public:
    explicit MemoryRenderer(QObject *parent = nullptr);
    ~MemoryRenderer() override;

    // Starts decoding the track's file; decoding goes on in libvlc's
    // threads. Returns false when the track has no file.
    bool decodeMediaTrack(MediaTrack *track);
    // Stops a running decode.
    void stop();
    bool isDecoding() const;

    // The oldest picture (its buffer passes to the caller, freeSampleBuffer);
    // none queued: null buffer.
    VideoFrame getNextFrame();
    // The oldest audio block (its buffer passes to the caller); none queued:
    // null buffer.
    AudioFragment getNextAudioFragment();
    // A copy of the list; the buffers stay with the renderer.
    QList<AudioFragment> getAudioFragmentList() const;
    // Every audio byte decoded so far.
    QByteArray getRawAudio() const;

    static void setMediaOption(libvlc_media_t *media, const char *option);
    static void setMediaAudioPrerenderCallback(libvlc_media_t *media, long long address);
    static void setMediaAudioPostrenderCallback(libvlc_media_t *media, long long address);
    static void setMediaVideoPrerenderCallback(libvlc_media_t *media, long long address);
    static void setMediaVideoPostrenderCallback(libvlc_media_t *media, long long address);
    static void setMediaAudioData(libvlc_media_t *media, long long address);

signals:
    void trackProcessed();

private:
    static void videoPrerender(void *data, uint8_t **buffer, size_t size);
    static void videoPostrender(void *data, uint8_t *buffer, int width, int height, int pixelPitch, size_t size,
                                int64_t pts);
    static void audioPrerender(void *data, uint8_t **buffer, size_t size);
    static void audioPostrender(void *data, uint8_t *buffer, unsigned channels, unsigned rate, unsigned samples,
                                unsigned bitsPerSample, size_t size, int64_t pts);

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
