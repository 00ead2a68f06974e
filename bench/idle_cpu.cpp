// What the program costs while nothing moves.
//
// Opens a clip in the real window (under the X server of DISPLAY, e.g.
// xvfb-run) with its own PulseAudio server and null sink, plays it for a
// moment, pauses, and then measures, over an idle stretch of the event
// loop, the CPU time of the whole process (all its threads) and of the
// sound server, as a share of one core.
//
// Usage: bench_idle_cpu [--seconds S]
// Needs an X server, pulseaudio and ffmpeg.

#include "app/Application.h"
#include "app/MainController.h"
#include "core/Util.h"
#include "model/Media.h"
#include "ui/MainWindow.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double monotonicSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double ownCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// utime + stime of another process, seconds; -1 when unknown.
double cpuSecondsOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = f.readAll();
    const int close = line.lastIndexOf(')');
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// Runs the event loop (truly idle: it sleeps until something happens).
void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 10.0;
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);

    QTemporaryDir dir;
    const QString runtime = dir.filePath("pulse");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    const QString home = dir.filePath("home");
    QDir().mkpath(home);
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + "/.config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home + "/.local/share").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home + "/.cache").toLocal8Bit());
    const QString socket = runtime + "/native";
    QProcess pulse;
    pulse.start("pulseaudio", {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-L",
                               "module-null-sink sink_name=out rate=44100", "-L", "module-always-sink", "-L",
                               "module-native-protocol-unix auth-anonymous=1 socket=" + socket});
    if (!pulse.waitForStarted(5000)) {
        std::fprintf(stderr, "pulseaudio did not start\n");
        return 1;
    }
    for (int i = 0; i < 500 && !QFile::exists(socket); ++i)
        usleep(20000);
    qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());

    const QString clip = dir.filePath("clip.mp4");
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25:duration=20", "-f",
                            "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=20", "-c:v", "libx264",
                            "-preset", "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", clip});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg could not make the clip\n");
        return 1;
    }

    int appArgc = 1;
    TW::Application app(appArgc, argv);
    TW::MainController *controller = app.getMainController();
    controller->exec();
    TW::MainWindow *window = controller->getMainWindow();
    controller->openFile(clip);
    if (controller->getMedia()->isEmpty()) {
        std::fprintf(stderr, "the clip did not open\n");
        return 1;
    }
    idle(3000);
    window->activateWindow();
    QTest::keyClick(window, Qt::Key_Space); // play
    idle(2000);
    QTest::keyClick(window, Qt::Key_Space); // pause
    idle(3000);

    const double wall0 = monotonicSeconds();
    const double own0 = ownCpuSeconds();
    const double server0 = cpuSecondsOf(pulse.processId());
    idle(int(seconds * 1000));
    const double wall = monotonicSeconds() - wall0;
    const double own = ownCpuSeconds() - own0;
    const double server = cpuSecondsOf(pulse.processId()) - server0;
    std::printf("paused with a clip open, %.0f s: program %.2f %% of one core, sound server %.2f %%\n", wall,
                100.0 * own / wall, server0 >= 0 ? 100.0 * server / wall : -1.0);

    controller->release();
    pulse.terminate();
    pulse.waitForFinished(3000);
    return 0;
}
