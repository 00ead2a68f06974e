#include "playback/MemoryRenderer.h"

#include "core/VlcMedia.h"
#include "core/VlcMediaPlayer.h"
#include "model/MediaTrack.h"
#include "playback/SampleBuffer.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>

#include <vlc/vlc.h>

#include <deque>

namespace TW {

namespace {
constexpr unsigned kWidth = 480;
constexpr unsigned kHeight = 320;
} // namespace

struct MemoryRenderer::Impl
{
    mutable QMutex lock; // guards the lists and the raw audio
    std::unique_ptr<VlcMediaPlayer> player;
    std::unique_ptr<VlcMedia> media;
    qint64 previousVideoTimeStamp = 0; // stream-output thread only
    qint64 previousAudioTimeStamp = 0;
    qint64 audioElapsed = 0;
    MediaTrack *track = nullptr;
    std::deque<VideoFrame> pictures;
    QList<AudioFragment> audioBlocks;
    QByteArray rawAudio;

    void clearLists()
    {
        QMutexLocker locker(&lock);
        for (const VideoFrame &f : pictures)
            freeSampleBuffer(f.buffer);
        pictures.clear();
        for (const AudioFragment &a : std::as_const(audioBlocks))
            freeSampleBuffer(a.buffer);
        audioBlocks.clear();
        rawAudio.clear();
    }
};

MemoryRenderer::MemoryRenderer(QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>())
{
}

MemoryRenderer::~MemoryRenderer()
{
    stop();
    d->clearLists();
}

void MemoryRenderer::stop()
{
    if (d->player)
        d->player->stop();
    d->player.reset();
    d->media.reset();
}

bool MemoryRenderer::isDecoding() const
{
    return d->player && d->player->getState() == VlcMediaPlayer::StatePlaying;
}

bool MemoryRenderer::decodeMediaTrack(MediaTrack *track)
{
    stop();
    d->clearLists();
    d->track = track;
    d->previousVideoTimeStamp = 0;
    d->previousAudioTimeStamp = 0;
    d->audioElapsed = 0;
    if (!track || track->getName().isEmpty())
        return false;
    d->media = std::make_unique<VlcMedia>(VlcMedia::locationForFile(QDir::toNativeSeparators(track->getName())));
    d->player = std::make_unique<VlcMediaPlayer>();
    d->player->setMedia(d->media.get());
    const auto address = [](const void *p) { return QString::number(qint64(reinterpret_cast<intptr_t>(p))); };
    const QString sout =
        QStringLiteral(":sout=#transcode{vcodec=RV24,width=%1,height=%2,acodec=s16l,samplerate=44100,channels=1}"
                       ":smem{video-postrender-callback=%3,video-prerender-callback=%4,"
                       "audio-postrender-callback=%5,audio-prerender-callback=%6,video-data=%7,audio-data=%8,"
                       "no-time-sync}")
            .arg(kWidth)
            .arg(kHeight)
            .arg(address(reinterpret_cast<const void *>(&videoPostrender)),
                 address(reinterpret_cast<const void *>(&videoPrerender)),
                 address(reinterpret_cast<const void *>(&audioPostrender)),
                 address(reinterpret_cast<const void *>(&audioPrerender)), address(this), address(this));
    d->media->addOption(sout);
    d->player->setSpeed(0.5f);
    d->player->play();
    return true;
}

VideoFrame MemoryRenderer::getNextFrame()
{
    QMutexLocker locker(&d->lock);
    if (d->pictures.empty())
        return VideoFrame();
    VideoFrame f = d->pictures.front();
    d->pictures.pop_front();
    return f;
}

AudioFragment MemoryRenderer::getNextAudioFragment()
{
    QMutexLocker locker(&d->lock);
    if (d->audioBlocks.isEmpty())
        return AudioFragment();
    return d->audioBlocks.takeFirst();
}

QList<AudioFragment> MemoryRenderer::getAudioFragmentList() const
{
    QMutexLocker locker(&d->lock);
    return d->audioBlocks;
}

QByteArray MemoryRenderer::getRawAudio() const
{
    QMutexLocker locker(&d->lock);
    return d->rawAudio;
}

void MemoryRenderer::setMediaOption(libvlc_media_t *media, const char *option)
{
    libvlc_media_add_option_flag(media, option, 2);
}

static void addNumberOption(libvlc_media_t *media, const char *name, long long address)
{
    const QByteArray option = QByteArray(name) + QByteArray::number(address);
    MemoryRenderer::setMediaOption(media, option.constData());
}

void MemoryRenderer::setMediaAudioPrerenderCallback(libvlc_media_t *media, long long address)
{
    addNumberOption(media, ":sout-smem-audio-prerender-callback=", address);
}

void MemoryRenderer::setMediaAudioPostrenderCallback(libvlc_media_t *media, long long address)
{
    addNumberOption(media, ":sout-smem-audio-postrender-callback=", address);
}

void MemoryRenderer::setMediaVideoPrerenderCallback(libvlc_media_t *media, long long address)
{
    addNumberOption(media, ":sout-smem-video-prerender-callback=", address);
}

void MemoryRenderer::setMediaVideoPostrenderCallback(libvlc_media_t *media, long long address)
{
    addNumberOption(media, ":sout-smem-video-postrender-callback=", address);
}

void MemoryRenderer::setMediaAudioData(libvlc_media_t *media, long long address)
{
    addNumberOption(media, ":sout-smem-audio-data=", address);
}

void MemoryRenderer::videoPrerender(void *, uint8_t **buffer, size_t size)
{
    *buffer = reinterpret_cast<uint8_t *>(allocateSampleBuffer(size));
}

void MemoryRenderer::videoPostrender(void *data, uint8_t *buffer, int width, int height, int pixelPitch,
                                     size_t size, int64_t pts)
{
    auto *self = static_cast<MemoryRenderer *>(data);
    Impl *d = self->d.get();
    if (d->previousVideoTimeStamp == 0)
        d->previousVideoTimeStamp = pts;
    VideoFrame f;
    f.width = quint32(width);
    f.height = quint32(height);
    f.bytesPerPixel = pixelPitch / 8;
    f.buffer = reinterpret_cast<char *>(buffer);
    f.size = qint64(size);
    f.timeStamp = pts - d->previousVideoTimeStamp;
    d->previousVideoTimeStamp = pts;
    QMutexLocker locker(&d->lock);
    d->pictures.push_back(f);
}

void MemoryRenderer::audioPrerender(void *, uint8_t **buffer, size_t size)
{
    *buffer = reinterpret_cast<uint8_t *>(allocateSampleBuffer(size));
}

void MemoryRenderer::audioPostrender(void *data, uint8_t *buffer, unsigned channels, unsigned, unsigned samples,
                                     unsigned bitsPerSample, size_t size, int64_t pts)
{
    auto *self = static_cast<MemoryRenderer *>(data);
    Impl *d = self->d.get();
    if (d->previousAudioTimeStamp == 0)
        d->previousAudioTimeStamp = pts;
    else
        d->audioElapsed += pts - d->previousAudioTimeStamp;
    AudioFragment a;
    a.sampleRate = 44100;
    a.sampleCount = samples;
    a.channels = channels;
    a.bytesPerSample = bitsPerSample / 8;
    a.buffer = reinterpret_cast<char *>(buffer);
    a.size = qint64(size);
    a.duration = pts - d->previousAudioTimeStamp;
    a.timeStamp = d->audioElapsed;
    d->previousAudioTimeStamp = pts;
    QMutexLocker locker(&d->lock);
    d->rawAudio.append(reinterpret_cast<const char *>(buffer), qsizetype(size));
    d->audioBlocks.append(a);
}

} // namespace TW
