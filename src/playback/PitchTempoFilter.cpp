#include "playback/PitchTempoFilter.h"

#include <QFile>
#include <QtDebug>

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace TW {

namespace {

// The largest block handed to the engine in one process() call.
constexpr size_t kMaxProcessFrames = 4096;

inline qint16 toPcm16(float x)
{
    // Full scale maps to 32767 / -32768; anything beyond is clamped rather
    // than wrapped, and NaN becomes silence.
    float v = x * 32767.5f - 0.5f;
    if (!(v == v))
        return 0;
    if (v >= 32767.0f)
        return 32767;
    if (v <= -32768.0f)
        return -32768;
    return qint16(int(v));
}

} // namespace

struct PitchTempoFilter::Impl
{
    qint64 startByte = 0;
    qint64 consumedBytes = 0;
    int sampleRate;
    int channels;
    int bytesPerSample;
    std::unique_ptr<RubberBand::RubberBandStretcher> engine;
    QString sourceFileName;
    QFile file;
    float gain = 1.0f;

    Engine engineKind = EngineFiner;
    PitchMethod pitchMethod = PitchConsistent;
    double timeRatio = 1.0;
    double pitchScale = 1.0;

    // After a reset the engine is primed with its preferred start pad and
    // the matching start delay is dropped from its output, so the first
    // frame heard is the first frame read.
    bool primed = false;
    // At 100 % and no pitch change the engine is passed by: the source is
    // copied with the gain applied. Chosen at each (re)start; a change of
    // settings away from 100 % hands over to the engine at the next frame
    // read, a change back takes effect at the next restart.
    bool bypass = false;
    qint64 framesToDrop = 0;
    bool sourceEnded = false;
    // Output owed for the source frames fed since the reset (frames fed x
    // time ratio at the time) and output handed out. At the end of the
    // source the engine is fed silence until what it owes has come out, so
    // the tail is heard and the length follows the tempo.
    double owedOutput = 0.0;
    qint64 deliveredOutput = 0;

    QByteArray readBuffer;
    std::vector<float> interleaved;
    std::vector<std::vector<float>> planarIn;
    std::vector<std::vector<float>> scratchOut;
    std::vector<float *> inPtrs;
    std::vector<float *> outPtrs;
    std::vector<std::vector<float>> pullPlanar;
    std::vector<float *> pullPtrs;

    Impl(int rate, int bps, int ch)
        : sampleRate(rate), channels(ch), bytesPerSample(bps)
    {
    }

    int frameBytes() const { return channels * bytesPerSample; }

    bool unity() const { return timeRatio == 1.0 && pitchScale == 1.0; }

    void resetEngine()
    {
        if (engine)
            engine->reset();
        primed = false;
        bypass = false;
        framesToDrop = 0;
        sourceEnded = false;
        owedOutput = 0.0;
        deliveredOutput = 0;
    }

    qint64 remainingAfterEnd() const
    {
        return std::max<qint64>(0, qint64(std::llround(owedOutput)) - deliveredOutput);
    }

    // Reads up to n whole frames at the current read position into
    // readBuffer and moves the position past them. Returns the bytes read.
    qint64 readSource(size_t n)
    {
        const int fb = frameBytes();
        if (fb <= 0 || !file.isOpen())
            return 0;
        const qint64 want = qint64(n) * fb;
        if (readBuffer.size() < want)
            readBuffer.resize(want);
        if (!file.seek(startByte + consumedBytes))
            return 0;
        const qint64 got = file.read(readBuffer.data(), want);
        if (got <= 0)
            return 0;
        consumedBytes += got;
        return got;
    }

    // Reads up to n frames from the source at the current read position into
    // the interleaved float buffer (values / 32767.5). Returns frames read.
    size_t readData(float *out, size_t n)
    {
        const int fb = frameBytes();
        const qint64 got = readSource(n);
        if (got <= 0)
            return 0;
        const size_t frames = size_t(got / fb);
        const auto *bytes = reinterpret_cast<const uchar *>(readBuffer.constData());
        for (size_t f = 0; f < frames; ++f) {
            for (int c = 0; c < channels; ++c) {
                const uchar *p = bytes + f * fb + c * bytesPerSample;
                const qint16 s = qint16(quint16(p[0]) | (quint16(p[1]) << 8));
                out[f * channels + c] = float(s) / 32767.5f;
            }
        }
        return frames;
    }

    void ensureBuffers(size_t frames)
    {
        planarIn.resize(channels);
        scratchOut.resize(channels);
        inPtrs.resize(channels);
        outPtrs.resize(channels);
        if (interleaved.size() < frames * channels)
            interleaved.resize(frames * channels);
        for (int c = 0; c < channels; ++c) {
            if (planarIn[c].size() < frames)
                planarIn[c].resize(frames);
            if (scratchOut[c].size() < frames)
                scratchOut[c].resize(frames);
            inPtrs[c] = planarIn[c].data();
        }
    }

    void prime()
    {
        primed = true;
        bypass = unity();
        if (bypass)
            return;
        size_t pad = engine->getPreferredStartPad();
        ensureBuffers(kMaxProcessFrames);
        for (int c = 0; c < channels; ++c)
            std::fill(planarIn[c].begin(), planarIn[c].end(), 0.0f);
        while (pad > 0) {
            const size_t n = std::min(pad, kMaxProcessFrames);
            engine->process(inPtrs.data(), n, false);
            pad -= n;
        }
        framesToDrop = qint64(engine->getStartDelay());
    }

    // Feeds the engine once: source frames, or silence to drain it once the
    // source has ended. Returns false when nothing more is owed.
    bool feed()
    {
        size_t need = engine->getSamplesRequired();
        need = std::clamp<size_t>(need, 256, kMaxProcessFrames);
        ensureBuffers(need);
        if (!sourceEnded) {
            const size_t got = readData(interleaved.data(), need);
            if (got > 0) {
                for (size_t f = 0; f < got; ++f)
                    for (int c = 0; c < channels; ++c)
                        planarIn[c][f] = interleaved[f * channels + c];
                owedOutput += double(got) * engine->getTimeRatio();
                engine->process(inPtrs.data(), got, false);
                return true;
            }
            sourceEnded = true;
        }
        if (remainingAfterEnd() == 0)
            return false;
        for (int c = 0; c < channels; ++c)
            std::fill(planarIn[c].begin(), planarIn[c].begin() + need, 0.0f);
        engine->process(inPtrs.data(), need, false);
        return true;
    }

    // Settings changed away from 100 % while bypassed: the engine starts
    // afresh from the next frame to be read, so no frame is lost or heard
    // twice.
    void leaveBypassIfStretched()
    {
        if (!bypass || unity())
            return;
        resetEngine();
        prime();
    }

    // Reads up to frames frames straight into 16-bit output with the gain
    // applied (the bypassed device form: no float round trip).
    size_t copyInterleaved(qint16 *out, size_t frames)
    {
        const int fb = frameBytes();
        const qint64 got = readSource(frames);
        if (got <= 0)
            return 0;
        const size_t n = size_t(got / fb) * size_t(channels);
        const auto *bytes = reinterpret_cast<const uchar *>(readBuffer.constData());
        for (size_t i = 0; i < n; ++i) {
            const qint16 v = qint16(quint16(bytes[2 * i]) | (quint16(bytes[2 * i + 1]) << 8));
            if (gain == 1.0f) {
                out[i] = v;
            } else {
                const float x = std::round(float(v) * gain);
                out[i] = qint16(std::clamp(x, -32768.0f, 32767.0f));
            }
        }
        return size_t(got / fb);
    }

    // The core of both pull forms: up to frames frames into one array per
    // channel, with the gain applied. Returns the frames produced.
    size_t pull(size_t frames, float *const *out)
    {
        if (!engine || frames == 0 || channels <= 0)
            return 0;
        if (!primed)
            prime();
        leaveBypassIfStretched();
        if (bypass) {
            // A copy of the source, frame for frame.
            ensureBuffers(frames);
            const size_t got = readData(interleaved.data(), frames);
            for (size_t f = 0; f < got; ++f)
                for (int c = 0; c < channels; ++c)
                    out[c][f] = interleaved[f * size_t(channels) + size_t(c)] * gain;
            return got;
        }
        size_t produced = 0;
        int idle = 0;
        while (produced < frames) {
            if (sourceEnded && framesToDrop == 0 && remainingAfterEnd() == 0)
                break;
            const int avail = engine->available();
            if (avail < 0)
                break; // everything has been retrieved after the final block
            if (avail == 0) {
                if (!feed() || ++idle > 10000)
                    break;
                continue;
            }
            idle = 0;
            if (framesToDrop > 0) {
                const size_t n = size_t(std::min<qint64>(framesToDrop, qint64(avail)));
                ensureBuffers(n);
                for (int c = 0; c < channels; ++c)
                    outPtrs[c] = scratchOut[c].data();
                framesToDrop -= qint64(engine->retrieve(outPtrs.data(), n));
                continue;
            }
            size_t n = std::min(frames - produced, size_t(avail));
            if (sourceEnded)
                n = std::min<size_t>(n, size_t(remainingAfterEnd()));
            for (int c = 0; c < channels; ++c)
                outPtrs[c] = out[c] + produced;
            const size_t got = engine->retrieve(outPtrs.data(), n);
            produced += got;
            deliveredOutput += qint64(got);
        }
        if (gain != 1.0f) {
            for (int c = 0; c < channels; ++c)
                for (size_t i = 0; i < produced; ++i)
                    out[c][i] *= gain;
        }
        return produced;
    }
};

PitchTempoFilter::PitchTempoFilter(int sampleRate, int bytesPerSample, int channels)
    : d(std::make_unique<Impl>(sampleRate, bytesPerSample, channels))
{
}

PitchTempoFilter::~PitchTempoFilter()
{
    d->engine.reset();
    d->file.close();
}

void PitchTempoFilter::setEngine(Engine engine)
{
    d->engineKind = engine;
}

void PitchTempoFilter::setPitchMethod(PitchMethod method)
{
    d->pitchMethod = method;
}

bool PitchTempoFilter::initialise()
{
    using RB = RubberBand::RubberBandStretcher;
    d->engine.reset();
    if (d->channels <= 0 || d->sampleRate <= 0 || d->bytesPerSample != 2) {
        qCritical("Could not create Rubber Band instance");
        return false;
    }
    RB::Options options = RB::OptionProcessRealTime | RB::OptionThreadingNever;
    options |= d->pitchMethod == PitchConsistent ? RB::OptionPitchHighConsistency : RB::OptionPitchHighSpeed;
    options |= d->engineKind == EngineFiner ? RB::OptionEngineFiner : RB::OptionEngineFaster;
    try {
        d->engine = std::make_unique<RB>(size_t(d->sampleRate), size_t(d->channels), options,
                                         d->timeRatio, d->pitchScale);
        d->engine->setMaxProcessSize(kMaxProcessFrames);
    } catch (...) {
        d->engine.reset();
    }
    if (!d->engine) {
        qCritical("Could not create Rubber Band instance");
        return false;
    }
    d->resetEngine();
    return true;
}

bool PitchTempoFilter::isInitialised() const
{
    return d->engine != nullptr;
}

void PitchTempoFilter::setSourceFileName(const QString &fileName)
{
    d->sourceFileName = fileName;
    d->file.close();
    d->file.setFileName(fileName);
    if (!d->file.open(QIODevice::ReadOnly))
        qCritical("No source file present");
}

QString PitchTempoFilter::getSourceFileName() const
{
    return d->sourceFileName;
}

void PitchTempoFilter::setStartPosition(Time t)
{
    const qint64 bytesPerSecond = qint64(d->channels) * d->bytesPerSample * d->sampleRate;
    qint64 b = qint64(double(bytesPerSecond * t.unitCount) / 1000000.0);
    if (b < 0)
        b = 0;
    const int fb = d->frameBytes();
    if (fb > 0)
        b -= b % fb;
    d->startByte = b;
    d->consumedBytes = 0;
    d->resetEngine();
}

qint64 PitchTempoFilter::getStartPosition() const
{
    return d->startByte;
}

void PitchTempoFilter::setMediaTrack(MediaTrack *)
{
    d->startByte = 0;
}

qint64 PitchTempoFilter::getCurrentTimePosition() const
{
    const qint64 bytesPerSecond = qint64(d->channels) * d->sampleRate * d->bytesPerSample;
    if (bytesPerSecond <= 0)
        return 0;
    return d->consumedBytes * 1000000 / bytesPerSecond;
}

void PitchTempoFilter::resetCache()
{
    if (d->engine)
        d->resetEngine();
}

void PitchTempoFilter::setVolume(float percent)
{
    const float g = percent / 100.0f;
    if (g != d->gain)
        d->gain = std::max(0.0f, g);
}

float PitchTempoFilter::getGain() const
{
    return d->gain;
}

void PitchTempoFilter::setPitch(float semitones)
{
    if (!d->engine)
        return;
    d->pitchScale = float(std::pow(2.0, double(semitones / 12.0f)));
    d->engine->setPitchScale(d->pitchScale);
}

void PitchTempoFilter::setTempo(float percent)
{
    if (!d->engine || !(percent > 0.0f))
        return;
    d->timeRatio = 100.0 / double(percent);
    d->engine->setTimeRatio(d->timeRatio);
}

void PitchTempoFilter::setProperties(float semitones, float percent)
{
    if (!d->engine)
        return;
    setTempo(percent);
    setPitch(semitones);
    d->resetEngine();
}

unsigned long long PitchTempoFilter::getProcessedSamples(unsigned long long frames, char **out)
{
    const int ch = d->channels;
    std::vector<std::vector<float>> planar(size_t(std::max(ch, 0)), std::vector<float>(frames));
    std::vector<float *> ptrs;
    for (auto &v : planar)
        ptrs.push_back(v.data());
    const size_t produced = d->pull(size_t(frames), ptrs.data());
    const int fb = d->frameBytes();
    char *buffer = new char[std::max<size_t>(produced * size_t(std::max(fb, 0)), 1)];
    for (size_t f = 0; f < produced; ++f) {
        for (int c = 0; c < ch; ++c) {
            const quint16 s = quint16(toPcm16(planar[c][f]));
            char *p = buffer + f * fb + c * d->bytesPerSample;
            p[0] = char(s & 0xff);
            p[1] = char(s >> 8);
        }
    }
    *out = buffer;
    return produced;
}

size_t PitchTempoFilter::pullInterleaved(qint16 *out, size_t frames)
{
    const int ch = d->channels;
    if (ch <= 0 || frames == 0 || !d->engine)
        return 0;
    if (!d->primed)
        d->prime();
    d->leaveBypassIfStretched();
    if (d->bypass)
        return d->copyInterleaved(out, frames);
    if (d->pullPlanar.size() != size_t(ch)) {
        d->pullPlanar.assign(size_t(ch), std::vector<float>());
        d->pullPtrs.assign(size_t(ch), nullptr);
    }
    if (d->pullPlanar[0].size() < frames) {
        for (auto &v : d->pullPlanar)
            v.resize(frames);
    }
    for (int c = 0; c < ch; ++c)
        d->pullPtrs[size_t(c)] = d->pullPlanar[size_t(c)].data();
    const size_t produced = d->pull(frames, d->pullPtrs.data());
    for (size_t f = 0; f < produced; ++f)
        for (int c = 0; c < ch; ++c)
            out[f * size_t(ch) + size_t(c)] = toPcm16(d->pullPlanar[size_t(c)][f]);
    return produced;
}

unsigned long long PitchTempoFilter::getProcessedSamples(unsigned long long frames, float **out)
{
    return d->pull(size_t(frames), out);
}

size_t PitchTempoFilter::latencyFrames() const
{
    if (d->primed && d->bypass)
        return 0;
    return d->engine ? d->engine->getStartDelay() : 0;
}

bool PitchTempoFilter::isBypassed() const
{
    return d->primed && d->bypass;
}

int PitchTempoFilter::getSampleRate() const
{
    return d->sampleRate;
}

int PitchTempoFilter::getChannels() const
{
    return d->channels;
}

int PitchTempoFilter::getBytesPerSample() const
{
    return d->bytesPerSample;
}

} // namespace TW
