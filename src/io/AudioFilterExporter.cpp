#include "io/AudioFilterExporter.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "io/Aiff.h"
#include "playback/PitchTempoFilter.h"

#include <QFile>
#include <QtDebug>

#include <cmath>
#include <memory>

namespace TW {

namespace {

constexpr int SourceStep = 4096;

struct BufferDeleter
{
    int channels;
    void operator()(float **b) const { mAiffDeallocateAudioBuffer(b, channels); }
};

} // namespace

AudioFilterExporter::AudioFilterExporter() = default;
AudioFilterExporter::~AudioFilterExporter() = default;

int AudioFilterExporter::outputSampleRate()
{
    const OptionsHolder *o = Singleton<OptionsHolder>::instance();
    return o && o->m_audioSampleRate > 0 ? o->m_audioSampleRate : 44100;
}

int AudioFilterExporter::outputChannels()
{
    const OptionsHolder *o = Singleton<OptionsHolder>::instance();
    const int channels = o ? o->m_numChannels : 2;
    return channels > 2 ? 2 : (channels < 1 ? 1 : channels);
}

float AudioFilterExporter::usableTempo(float tempo)
{
    return std::isfinite(tempo) && tempo > 0.0f ? tempo : 100.0f;
}

qint64 AudioFilterExporter::stretchedFrames(qint64 frames, float tempo)
{
    return qint64(std::llround(double(frames) * 100.0 / double(usableTempo(tempo))));
}

int AudioFilterExporter::blockSize(float tempo)
{
    return int(100.0f / usableTempo(tempo) * float(SourceStep));
}

QString AudioFilterExporter::error() const
{
    return m_error;
}

void AudioFilterExporter::stop()
{
    m_stop = true;
}

bool AudioFilterExporter::isStopped() const
{
    return m_stop;
}

bool AudioFilterExporter::exportSilence(Time length, const QString &aiff, qint64 outputFrames)
{
    const float savedVolume = volume;
    const float savedTempo = tempo;
    volume = 0.0f;
    tempo = 100.0f;
    const bool ok = exportFragment(QString(), Time(0), length, aiff, outputFrames);
    volume = savedVolume;
    tempo = savedTempo;
    return ok;
}

bool AudioFilterExporter::exportFragment(const QString &source, Time start, Time length, const QString &aiff,
                                         qint64 outputFrames)
{
    m_error.clear();
    const int rate = outputSampleRate();
    const int channels = outputChannels();
    const float t = usableTempo(tempo);
    const QByteArray path = QFile::encodeName(aiff);
    if (mAiffInitFile(path.constData(), 16, channels, float(rate)) != 0) {
        m_error = tr("Cannot create the audio file \"%1\".").arg(aiff);
        return false;
    }

    const qint64 sourceFrames = qMax<qint64>(0, qint64(double(length.unitCount) * rate / 1000000.0));
    const qint64 total = outputFrames >= 0 ? outputFrames : stretchedFrames(sourceFrames, t);
    const int block = qMax(1, blockSize(t));
    std::unique_ptr<float *, BufferDeleter> buffers(mAiffAllocateAudioBuffer(channels, block),
                                                    BufferDeleter{channels});
    if (!buffers) {
        m_error = tr("Not enough memory to render the audio.");
        return false;
    }

    // A silent span needs no stretching at all.
    std::unique_ptr<PitchTempoFilter> filter;
    if (volume > 0.0f && !source.isEmpty()) {
        if (QFile::exists(source)) {
            filter = std::make_unique<PitchTempoFilter>(rate, 2, channels);
            filter->initialise();
            filter->setSourceFileName(source);
            filter->setStartPosition(start);
            filter->setVolume(volume);
            filter->setPitch(pitch);
            filter->setTempo(t);
        } else {
            qWarning() << "AudioFilterExporter: no audio at" << source << "- the fragment is silent";
        }
    }

    qint64 done = 0;
    int lastPercent = -1;
    bool sourceEnded = !filter;
    while (done < total) {
        if (m_stop)
            return false;
        const int want = int(qMin<qint64>(block, total - done));
        if (want <= 0)
            break;
        // The stage hands out fewer frames than asked only once the source
        // has run out; the rest of the span is silence then.
        qint64 got = 0;
        if (!sourceEnded) {
            got = qint64(filter->getProcessedSamples((unsigned long long)want, buffers.get()));
            if (got < want)
                sourceEnded = true;
        }
        for (int c = 0; c < channels; ++c)
            std::fill(buffers.get()[c] + got, buffers.get()[c] + want, 0.0f);
        if (mAiffWriteData(path.constData(), buffers.get(), want, channels) < 0) {
            m_error = tr("Cannot write the audio file \"%1\".").arg(aiff);
            return false;
        }
        done += want;
        const int percent = int(double(done) * 100.0 / double(total));
        if (percent != lastPercent) {
            lastPercent = percent;
            emit progressChanged(percent);
        }
    }
    return !m_stop;
}

} // namespace TW
