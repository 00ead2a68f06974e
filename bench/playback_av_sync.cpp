// Audio/video sync: a clip with a white flash and a beep at every whole
// second plays for 60 s with ten tempo changes between 50 % and 150 %; the
// offset between each flash and its beep as they reach the output player's
// callbacks (by the presentation times given to libvlc). Prints the worst
// offset; never fails on timing.

#include "playback_common.h"

#include "playback/MediaPlayer.h"
#include "playback/MemoryStreamPlayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace TW;

namespace {

struct Onsets
{
    QMutex lock;
    std::vector<qint64> flashes; // presentation times, microseconds
    std::vector<qint64> beeps;
    bool lastFrameWhite = false;
    qint64 lastLoud = -10000000;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("TW_TEST_MODE", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QString clip, raw;
    if (!bench::makeFlashBeepClip(dir.path(), 100, &clip, &raw))
        return 1;
    QSharedPointer<Media> media = bench::projectOver(clip, raw);

    MediaPlayer player;
    bench::openAndWait(player, media);

    Onsets onsets;
    player.getOutputPlayer()->setObserver([&onsets](char stream, const char *data, size_t size, qint64 pts) {
        if (!data || size == 0)
            return;
        QMutexLocker locker(&onsets.lock);
        if (stream == '0') {
            const auto centre = uchar(data[(240 / 2 * 320 + 160) * 3]);
            const bool white = centre > 160;
            if (white && !onsets.lastFrameWhite)
                onsets.flashes.push_back(pts);
            onsets.lastFrameWhite = white;
        } else {
            const auto *s = reinterpret_cast<const qint16 *>(data);
            const size_t frames = size / 4;
            for (size_t i = 0; i < frames; ++i) {
                const qint64 t = pts + qint64(i) * 1000000 / 44100;
                if (std::abs(int(s[2 * i])) > 6000) {
                    if (t - onsets.lastLoud > 300000)
                        onsets.beeps.push_back(t);
                    onsets.lastLoud = t;
                }
            }
        }
    });

    player.play();
    const float tempos[] = {150, 50, 120, 80, 140, 60, 110, 90, 130, 70};
    for (float tempo : tempos) {
        bench::spin(6000);
        // As the controller does: tell the player, then store the value.
        player.setTempo(tempo);
        Singleton<OptionsHolder>::instance()->setProjectTempo(tempo);
        std::printf("tempo %.0f %% at output video clock %.3f s, audio clock %+.1f ms from it\n", double(tempo),
                    player.getOutputPlayer()->getVideoClock() / 1e6,
                    (player.getOutputPlayer()->getAudioClock() - player.getOutputPlayer()->getVideoClock()) / 1e3);
        std::fflush(stdout);
    }
    bench::spin(1000);
    player.getOutputPlayer()->setObserver({});
    player.stop();
    player.resetMedia();

    QMutexLocker locker(&onsets.lock);
    std::printf("flashes %zu, beeps %zu\n", onsets.flashes.size(), onsets.beeps.size());
    if (qEnvironmentVariableIsSet("TW_BENCH_VERBOSE")) {
        for (qint64 f : onsets.flashes)
            std::printf("F %.3f\n", f / 1e6);
        for (qint64 b : onsets.beeps)
            std::printf("B %.3f\n", b / 1e6);
    }
    double worst = 0;
    int paired = 0;
    for (qint64 f : onsets.flashes) {
        qint64 best = -1;
        for (qint64 b : onsets.beeps)
            if (best < 0 || std::llabs(b - f) < std::llabs(best - f))
                best = b;
        if (best < 0 || std::llabs(best - f) > 400000)
            continue; // no beep near this flash (a cut at a tempo change)
        ++paired;
        const double ms = (best - f) / 1000.0;
        worst = std::max(worst, std::abs(ms));
        std::printf("flash at %8.3f s: beep %+7.1f ms\n", f / 1e6, ms);
    }
    std::printf("paired %d flashes; worst audio/video offset %.1f ms (aim <= 40 ms)\n", paired, worst);
    return 0;
}
