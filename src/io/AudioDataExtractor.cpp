#include "io/AudioDataExtractor.h"

#include "core/ProgressMonitor.h"
#include "core/Singleton.h"
#include "core/VlcMedia.h"
#include "core/VlcMediaPlayer.h"
#include "model/MediaTrack.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSemaphore>

#include <memory>

namespace TW {

namespace {

constexpr int TargetRate = 44100;

constexpr quint32 fourcc(char a, char b, char c, char d)
{
    return quint32(quint8(a)) | quint32(quint8(b)) << 8 | quint32(quint8(c)) << 16
        | quint32(quint8(d)) << 24;
}

// libvlc's code of 16-bit little-endian signed PCM.
constexpr quint32 CodecS16L = fourcc('s', '1', '6', 'l');

// How the wait for the stream output ended.
enum Outcome { Waiting = 0, Ended = 1, Failed = 2, Stopped = 3 };

// A value for the stream output chain: quoted, with the characters the
// chain parser treats specially escaped, so that any file name survives.
QString chainValue(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

struct AudioDataExtractor::Impl
{
    QString lastError;
    qint64 fixedLimitMs = 0;
};

AudioDataExtractor::AudioDataExtractor()
    : d(std::make_unique<Impl>())
{
}

AudioDataExtractor::~AudioDataExtractor() = default;

QString AudioDataExtractor::lastError() const
{
    return d->lastError;
}

QStringList AudioDataExtractor::streamOptions(const QString &dst, int trackId, quint32 codec,
                                              int sampleRate, int channels)
{
    QString chain = QStringLiteral(":sout=#");
    if (codec != CodecS16L || sampleRate != TargetRate) {
        chain += QStringLiteral("transcode{acodec=s16l,samplerate=%1").arg(TargetRate);
        if (channels > 0)
            chain += QStringLiteral(",channels=%1").arg(channels);
        chain += QStringLiteral("}:");
    }
    chain += QStringLiteral("standard{access=file,mux=raw,dst=") + chainValue(dst) + QLatin1Char('}');
    // Only the chosen audio stream goes out: with every stream streamed, a
    // second audio track would be interleaved into the same raw file.
    return {QStringLiteral(":no-sout-video"), QStringLiteral(":no-sout-spu"),
            QStringLiteral(":no-sout-all"), QStringLiteral(":audio-track-id=%1").arg(trackId), chain};
}

void AudioDataExtractor::setTimeLimitMs(qint64 limitMs)
{
    d->fixedLimitMs = qMax<qint64>(0, limitMs);
}

qint64 AudioDataExtractor::timeLimitMs(qint64 durationUs)
{
    // Twice the real-time length, and half a minute for opening and closing;
    // ten minutes when the duration is unknown.
    if (durationUs <= 0)
        return 10 * 60 * 1000;
    return 30 * 1000 + 2 * (durationUs / 1000);
}

bool AudioDataExtractor::exportToFile(const MediaTrack *track, const QString &fileName)
{
    d->lastError.clear();
    if (!track) {
        d->lastError = QStringLiteral("no track");
        return false;
    }
    qDebug() << "AudioDataExtractor::exportToFile" << track->getName() << fileName;

    if (!track->hasAudioTrack()) {
        qDebug() << "No audio.";
        return true;
    }

    const std::unique_ptr<MediaTrack> copy(track->clone());
    const int index = copy->getTrackIndex();

    // The stream's format decides whether it must be transcoded; an
    // unknown format is transcoded.
    quint32 codec = 0;
    int rate = 0;
    int channels = 0;
    if (const VlcMedia *media = copy->getMedia()) {
        const MediaInfo &info = media->getMediaInfo();
        AudioTrackInfo audio;
        if (info.audioTracksById.contains(index))
            audio = info.audioTracksById.value(index);
        else if (!info.audioTracks.isEmpty())
            audio = info.audioTracks.first();
        codec = quint32(audio.codec);
        rate = audio.sampleRate;
        channels = audio.channels;
    }

    // Written under a temporary name; only a complete extraction gets the
    // real name, so an interrupted one is never taken for a finished one.
    const QString part = fileName + QStringLiteral(".part");
    QFile::remove(part);
    QDir().mkpath(QFileInfo(fileName).absolutePath());

    QAtomicInt outcome(Waiting);
    QSemaphore wake;
    auto player = std::make_unique<VlcMediaPlayer>();
    player->setAudioTrack(index);
    connect(player.get(), &VlcMediaPlayer::endReached, player.get(), [&] {
        outcome.testAndSetOrdered(Waiting, Ended);
        wake.release();
    }, Qt::DirectConnection);
    connect(player.get(), &VlcMediaPlayer::errorEncountered, player.get(), [&] {
        outcome.testAndSetOrdered(Waiting, Failed);
        wake.release();
    }, Qt::DirectConnection);
    connect(player.get(), &VlcMediaPlayer::stopped, player.get(), [&] {
        outcome.testAndSetOrdered(Waiting, Stopped);
        wake.release();
    }, Qt::DirectConnection);

    auto media = std::make_unique<VlcMedia>(VlcMedia::locationForFile(copy->getName()));
    media->parse();
    player->setMedia(media.get());
    for (const QString &option : streamOptions(part, index, codec, rate, channels))
        media->addOption(option);

    player->play();

    // Progress in 16-bit samples: the count the file will hold.
    ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
    const qint64 durationUs = copy->getDuration().unitCount;
    const qint64 expected = qMax<qint64>(0, durationUs) / 1000 * TargetRate / 1000
        * (channels > 0 ? channels : 2);
    if (progress)
        progress->updateProgress(0, int(qMin<qint64>(expected, INT_MAX / 2)), 0);

    const qint64 limitMs = d->fixedLimitMs > 0 ? d->fixedLimitMs : timeLimitMs(durationUs);
    QElapsedTimer clock;
    clock.start();
    qint64 reported = 0;
    bool timedOut = false;
    while (outcome.loadAcquire() == Waiting) {
        wake.tryAcquire(1, 50);
        const qint64 samples = QFileInfo(part).size() / 2;
        if (progress && samples > reported) {
            progress->updateProgress(0, 0, int(qMin<qint64>(samples - reported, INT_MAX)));
            reported = samples;
        }
        if (outcome.loadAcquire() == Waiting && clock.elapsed() > limitMs) {
            timedOut = true;
            break;
        }
    }

    // Stopping and releasing the player closes the output file.
    player->stop();
    player.reset();
    media.reset();

    const int result = outcome.loadAcquire();
    if (timedOut)
        d->lastError = QStringLiteral("no end of the media after %1 ms").arg(limitMs);
    else if (result == Failed)
        d->lastError = QStringLiteral("libvlc reported an error");
    else if (result == Stopped)
        d->lastError = QStringLiteral("libvlc stopped before the end of the media");
    else if (QFileInfo(part).size() <= 0)
        d->lastError = QStringLiteral("no samples were written");

    if (!d->lastError.isEmpty()) {
        qWarning() << "AudioDataExtractor: extracting" << track->getName() << "failed:" << d->lastError;
        QFile::remove(part);
        return false;
    }
    QFile::remove(fileName);
    if (!QFile::rename(part, fileName)) {
        d->lastError = QStringLiteral("cannot rename %1").arg(part);
        qWarning() << "AudioDataExtractor:" << d->lastError;
        QFile::remove(part);
        return false;
    }
    return true;
}

} // namespace TW
