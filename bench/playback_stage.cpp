// Throughput of the tempo and pitch stage: the stage pulling a 60 s stereo
// file at tempo 75 % and +2 semitones, against bare Rubber Band with the same
// options (R3), and with R2 options against ffmpeg's rubberband filter on the
// same audio. Prints ratios; never fails on timing.

#include "core/Util.h"
#include "playback/PitchTempoFilter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <rubberband/RubberBandStretcher.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

using namespace TW;

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr double kSeconds = 60.0;
constexpr float kTempo = 75.0f;
constexpr float kSemitones = 2.0f;

// A chord with a little noise, so the engine has real work in every band.
QByteArray makeAudio()
{
    const int frames = int(kSeconds * kRate);
    QByteArray bytes(frames * kChannels * 2, '\0');
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> noise(-0.02, 0.02);
    auto *out = reinterpret_cast<qint16 *>(bytes.data());
    for (int f = 0; f < frames; ++f) {
        const double t = double(f) / kRate;
        const double v = 0.2 * std::sin(2 * M_PI * 220 * t) + 0.15 * std::sin(2 * M_PI * 277.2 * t)
                         + 0.15 * std::sin(2 * M_PI * 329.6 * t) + noise(rng);
        out[f * 2] = qint16(v * 32767);
        out[f * 2 + 1] = qint16(v * 0.9 * 32767);
    }
    return bytes;
}

double timeStage(const QString &raw, PitchTempoFilter::Engine engine, qint64 *framesOut,
                 PitchTempoFilter::PitchMethod method = PitchTempoFilter::PitchConsistent)
{
    PitchTempoFilter filter(kRate, 2, kChannels);
    filter.setEngine(engine);
    filter.setPitchMethod(method);
    filter.initialise();
    filter.setSourceFileName(raw);
    filter.setTempo(kTempo);
    filter.setPitch(kSemitones);
    filter.setStartPosition(Time(0));
    QElapsedTimer timer;
    timer.start();
    qint64 total = 0;
    for (;;) {
        char *buffer = nullptr;
        const auto n = filter.getProcessedSamples(1024, &buffer);
        delete[] buffer;
        if (n == 0)
            break;
        total += qint64(n);
    }
    *framesOut = total;
    return timer.nsecsElapsed() / 1e9;
}

// Rubber Band alone with the stage's options, fed from memory.
double timeBare(const QByteArray &audio, bool finer, qint64 *framesOut)
{
    using RB = RubberBand::RubberBandStretcher;
    RB::Options options = RB::OptionProcessRealTime | RB::OptionThreadingNever | RB::OptionPitchHighConsistency
                          | (finer ? RB::OptionEngineFiner : RB::OptionEngineFaster);
    const int frames = int(audio.size() / 4);
    std::vector<std::vector<float>> planes(kChannels, std::vector<float>(size_t(frames)));
    const auto *in = reinterpret_cast<const qint16 *>(audio.constData());
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < kChannels; ++c)
            planes[c][f] = in[f * kChannels + c] / 32767.5f;

    QElapsedTimer timer;
    timer.start();
    RB rb(kRate, kChannels, options, 100.0 / kTempo, std::pow(2.0, kSemitones / 12.0));
    rb.setMaxProcessSize(4096);
    std::vector<std::vector<float>> out(kChannels, std::vector<float>(4096));
    float *outPtrs[kChannels];
    const float *inPtrs[kChannels];
    qint64 total = 0;
    int pos = 0;
    auto drain = [&] {
        int avail;
        while ((avail = rb.available()) > 0) {
            const size_t n = size_t(std::min(avail, 4096));
            for (int c = 0; c < kChannels; ++c)
                outPtrs[c] = out[c].data();
            total += qint64(rb.retrieve(outPtrs, n));
        }
    };
    while (pos < frames) {
        const int n = std::min<int>(int(std::clamp<size_t>(rb.getSamplesRequired(), 256, 4096)), frames - pos);
        for (int c = 0; c < kChannels; ++c)
            inPtrs[c] = planes[c].data() + pos;
        rb.process(inPtrs, size_t(n), pos + n >= frames);
        pos += n;
        drain();
    }
    drain();
    *framesOut = total;
    return timer.nsecsElapsed() / 1e9;
}

double timeFfmpeg(const QString &raw, const QString &out, bool *ok)
{
    QProcess p;
    const QStringList args = {"-y", "-hide_banner", "-loglevel", "error", "-f", "s16le", "-ar", "44100",
                              "-ac", "2", "-i", raw, "-af", "rubberband=tempo=0.75:pitch=1.12246",
                              "-f", "s16le", out};
    QElapsedTimer timer;
    timer.start();
    p.start(Util::externalProgram(QStringLiteral("ffmpeg")), args);
    *ok = p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const double s = timer.nsecsElapsed() / 1e9;
    if (!*ok)
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAllStandardError().constData());
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString raw = dir.filePath("input.raw");
    const QByteArray audio = makeAudio();
    {
        QFile f(raw);
        if (!f.open(QIODevice::WriteOnly) || f.write(audio) != audio.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(raw));
            return 1;
        }
    }
    std::printf("Tempo and pitch stage: %.0f s stereo at %d Hz, tempo %.0f %%, %+.0f semitones\n", kSeconds,
                kRate, double(kTempo), double(kSemitones));

    qint64 stageFrames = 0, bareFrames = 0, r2Frames = 0, bareR2Frames = 0;
    const double stageR3 = timeStage(raw, PitchTempoFilter::EngineFiner, &stageFrames);
    const double bareR3 = timeBare(audio, true, &bareFrames);
    std::printf("R3 stage:      %7.3f s  %6.1f x realtime  (%lld frames out)\n", stageR3, kSeconds / stageR3,
                (long long)stageFrames);
    std::printf("R3 bare:       %7.3f s  %6.1f x realtime  (%lld frames out)\n", bareR3, kSeconds / bareR3,
                (long long)bareFrames);
    std::printf("ratio stage / bare Rubber Band (R3), aim <= 1.05: %.3f\n", stageR3 / bareR3);

    const double stageR2 = timeStage(raw, PitchTempoFilter::EngineFaster, &r2Frames);
    const double bareR2 = timeBare(audio, false, &bareR2Frames);
    std::printf("R2 stage:      %7.3f s  %6.1f x realtime  (%lld frames out)\n", stageR2, kSeconds / stageR2,
                (long long)r2Frames);
    std::printf("R2 bare:       %7.3f s  %6.1f x realtime\n", bareR2, kSeconds / bareR2);
    // ffmpeg's filter runs R2 with the fast pitch method (its default).
    qint64 r2FastFrames = 0;
    const double stageR2Fast =
        timeStage(raw, PitchTempoFilter::EngineFaster, &r2FastFrames, PitchTempoFilter::PitchFast);
    std::printf("R2 stage, fast pitch method (ffmpeg's options): %7.3f s  %6.1f x realtime\n", stageR2Fast,
                kSeconds / stageR2Fast);
    bool ok = false;
    const double ff = timeFfmpeg(raw, dir.filePath("ffmpeg.raw"), &ok);
    if (ok) {
        std::printf("ffmpeg rubberband filter (R2): %7.3f s  %6.1f x realtime (process start included)\n", ff,
                    kSeconds / ff);
        std::printf("ratio stage (R2, ffmpeg's options) / ffmpeg, aim <= 1.0: %.3f\n", stageR2Fast / ff);
        std::printf("ratio stage (R2, playback options) / ffmpeg: %.3f\n", stageR2 / ff);
    } else {
        std::printf("ffmpeg rubberband filter: not available\n");
    }
    std::printf("cost ratio R3 / R2 (stage): %.3f\n", stageR3 / stageR2);
    return 0;
}
