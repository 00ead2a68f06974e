// Tempo-change latency: from MediaPlayer::setTempo to the first audio block
// at the new tempo in the audio queue, over repeated changes while playing.
// Prints the figures; never fails on timing.

#include "playback_common.h"

#include "playback/MediaPlayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace TW;

int main(int argc, char **argv)
{
    qputenv("TW_TEST_MODE", "1"); // dummy audio and video outputs
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QString clip, raw;
    if (!bench::makeFlashBeepClip(dir.path(), 40, &clip, &raw))
        return 1;
    QSharedPointer<Media> media = bench::projectOver(clip, raw);

    MediaPlayer player;
    bench::openAndWait(player, media);
    player.play();
    bench::spin(1500);

    const float tempos[] = {50, 150, 75, 125, 100, 60, 140, 90, 110, 200, 25, 100};
    std::vector<double> latencies;
    for (float tempo : tempos) {
        QElapsedTimer t;
        t.start();
        player.setTempo(tempo);
        Singleton<OptionsHolder>::instance()->setProjectTempo(tempo); // as the controller does
        // setTempo empties the queue after the stage has the new tempo, so
        // the first block queued afterwards is at the new tempo.
        double ms = -1;
        while (t.elapsed() < 2000) {
            if (player.getAudioStream()->getSampleCount() > 0) {
                ms = t.nsecsElapsed() / 1e6;
                break;
            }
            QThread::usleep(200);
            QCoreApplication::processEvents();
        }
        std::printf("tempo %5.0f %%: first block after %7.1f ms\n", double(tempo), ms);
        if (ms >= 0)
            latencies.push_back(ms);
        bench::spin(1200);
    }
    player.stop();
    player.resetMedia();
    if (latencies.empty()) {
        std::printf("no audio block arrived\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("tempo-change latency: median %.1f ms, worst %.1f ms (aim <= 100 ms)\n",
                latencies[latencies.size() / 2], latencies.back());
    return 0;
}
