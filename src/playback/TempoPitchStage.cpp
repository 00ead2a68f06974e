#include "playback/TempoPitchStage.h"

#include "playback/PitchTempoFilter.h"

#include <QMutexLocker>

namespace TW {

TempoPitchStage::TempoPitchStage(int sampleRate, int channels)
    : filter(std::make_unique<PitchTempoFilter>(sampleRate, 2, channels))
{
    filter->initialise();
}

TempoPitchStage::~TempoPitchStage() = default;

void TempoPitchStage::setSourceFile(const QString &fileName)
{
    QMutexLocker locker(&audioMutex);
    filter->setSourceFileName(fileName);
}

QString TempoPitchStage::sourceFile() const
{
    QMutexLocker locker(&audioMutex);
    return filter->getSourceFileName();
}

void TempoPitchStage::setTempo(float percent)
{
    QMutexLocker locker(&audioMutex);
    if (percent != tempo) {
        tempo = percent;
        filter->setTempo(percent);
    }
}

void TempoPitchStage::setPitch(float semitones)
{
    QMutexLocker locker(&audioMutex);
    if (semitones != pitch) {
        pitch = semitones;
        filter->setPitch(semitones);
    }
}

void TempoPitchStage::setVolume(float percent)
{
    QMutexLocker locker(&audioMutex);
    filter->setVolume(percent);
    gain = percent / 100.0f;
}

PitchTempoFilter *TempoPitchStage::getFilter() const
{
    return filter.get();
}

void TempoPitchStage::restartAt(qint64 sourceTime)
{
    QMutexLocker locker(&audioMutex);
    filter->setStartPosition(Time(sourceTime));
}

size_t TempoPitchStage::latencyFrames() const
{
    QMutexLocker locker(&audioMutex);
    return filter->latencyFrames();
}

size_t TempoPitchStage::pullAudio(qint16 *out, size_t frames, float t, float p, float g)
{
    QMutexLocker locker(&audioMutex);
    if (t != tempo) {
        tempo = t;
        filter->setTempo(t);
    }
    if (p != pitch) {
        pitch = p;
        filter->setPitch(p);
    }
    if (g != gain) {
        gain = g;
        filter->setVolume(g * 100.0f);
    }
    return filter->pullInterleaved(out, frames);
}

} // namespace TW
