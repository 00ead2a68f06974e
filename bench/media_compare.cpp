// Tarnwell beside a peer player (mpv), each figure a ratio from the same
// run on the same machine:
//   extraction   the track's audio extracted to 16-bit samples, against
//                ffmpeg decoding the same stream to a file (best of three;
//                the samples are also compared)
//   playback     resident memory peak and CPU of the program (the installed
//                executable, in its own process) playing a 2-minute 1080p30
//                h264 clip for 30 s, against mpv (--vo=x11) on the same clip
//   re-open      a file already in the cache opened from the command line:
//                time to the window being ready and to the first sound
//                heard (Play pressed as soon as the window is ready),
//                against mpv's time to its first sound (median of three)
// Everything runs in one private X server (Xvfb with openbox) and one
// private PulseAudio server with a null sink; the first sound is found on
// the sink's monitor. The program's state (settings, cache) lives in a
// private home folder. Nothing here fails on timing: the figures are
// printed.
//
// Usage: bench_media_compare [--stress] [--play-seconds S] [--hour-minutes M]
//                            [--only extraction|playback|reopen] [--keep]
//                            [--program PATH]
// --stress runs stress-ng --cpu <cores> beside every measurement; --program
// measures another build's executable (the extraction is always this
// build's).
// Needs Xvfb, openbox, xdotool, pulseaudio (pactl, parec), mpv, ffmpeg and,
// with --stress, stress-ng.
#include "core/Util.h"
#include "io/AudioDataExtractor.h"
#include "model/MediaTrack.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

bool waitFor(const std::function<bool()> &ready, double seconds)
{
    const double end = now() + seconds;
    while (now() < end) {
        if (ready())
            return true;
        usleep(20000);
    }
    return ready();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return std::nan("");
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The process groups of the children running, ended by the bench when it
// is interrupted itself.
volatile sig_atomic_t g_groups[16];

void endChildren(int)
{
    for (auto &group : g_groups) {
        if (group > 0)
            kill(-pid_t(group), SIGKILL);
    }
    _exit(2);
}

void noteGroup(pid_t from, pid_t to)
{
    for (auto &group : g_groups) {
        if (group == from) {
            group = to;
            return;
        }
    }
}

// A child that runs until stopped, in a process group of its own so that
// what it starts goes with it.
struct Child
{
    pid_t pid = -1;
    bool start(const QStringList &argv, const QString &log)
    {
        pid = fork();
        if (pid > 0) {
            setpgid(pid, pid);
            noteGroup(0, pid);
        }
        if (pid == 0) {
            setpgid(0, 0);
            if (FILE *f = std::fopen(qPrintable(log), "a")) {
                dup2(fileno(f), 1);
                dup2(fileno(f), 2);
            }
            std::vector<QByteArray> bytes;
            for (const QString &a : argv)
                bytes.push_back(a.toLocal8Bit());
            std::vector<char *> args;
            for (QByteArray &b : bytes)
                args.push_back(b.data());
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        return pid > 0;
    }
    bool running() const { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }
    void stop()
    {
        if (pid <= 0)
            return;
        kill(-pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 250 && waitpid(pid, &status, WNOHANG) == 0; ++i)
            usleep(20000);
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        noteGroup(pid, 0);
        pid = -1;
    }
    ~Child() { stop(); }
};

QString run(const QString &program, const QStringList &args, int timeoutMs = 600000)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs))
        p.kill();
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

bool ffmpeg(const QStringList &args)
{
    QProcess p;
    p.start(TW::Util::externalProgram("ffmpeg"), QStringList{"-y", "-hide_banner", "-loglevel", "error", "-nostdin"} + args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// What /proc tells of a process: resident memory now and CPU ticks so far.
struct ProcSample
{
    qint64 rssKiB = -1;
    qint64 ticks = -1;
};

ProcSample sampleOf(pid_t pid)
{
    ProcSample s;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                s.rssKiB = line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        // Fields after the command name (which may hold blanks) in brackets.
        const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 13)
            s.ticks = f[11].toLongLong() + f[12].toLongLong(); // utime + stime
    }
    return s;
}

struct Usage
{
    double peakMiB = 0;
    double cpuPercent = 0;
    bool ok = false;
};

// Watches a process for a while: the peak of its resident memory and its
// mean CPU use.
Usage watch(pid_t pid, double seconds)
{
    Usage u;
    const ProcSample first = sampleOf(pid);
    const double start = now();
    qint64 peak = first.rssKiB;
    ProcSample last = first;
    while (now() - start < seconds) {
        usleep(100000);
        const ProcSample s = sampleOf(pid);
        if (s.rssKiB < 0)
            return u;
        peak = std::max(peak, s.rssKiB);
        last = s;
    }
    const double elapsed = now() - start;
    u.peakMiB = double(peak) / 1024.0;
    u.cpuPercent = double(last.ticks - first.ticks) / double(sysconf(_SC_CLK_TCK)) / elapsed * 100.0;
    u.ok = first.ticks >= 0 && last.ticks >= 0;
    return u;
}

// The private screen and sound server.
struct Environment
{
    QTemporaryDir dir;
    Child xvfb, wm, pulse, keepAwake, stress;
    QString display;

    QString log(const char *name) const { return dir.filePath(QString::fromLatin1(name) + ".log"); }

    bool start()
    {
        for (int n = 130; n < 170; ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            display = QStringLiteral(":%1").arg(n);
            break;
        }
        if (!xvfb.start({"Xvfb", display, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"}, log("xvfb"))
            || !waitFor([&] { return QFile::exists("/tmp/.X11-unix/X" + display.mid(1)); }, 10)) {
            std::fprintf(stderr, "Xvfb did not start\n");
            return false;
        }
        qputenv("DISPLAY", display.toLocal8Bit());
        wm.start({"openbox"}, log("openbox"));
        const QString runtime = dir.filePath("runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
        const QString socket = runtime + "/native";
        if (!pulse.start({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                          "-L", "module-null-sink sink_name=out rate=44100",
                          "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket,
                          "-L", "module-always-sink"},
                         log("pulse"))
            || !waitFor([&] { return QFile::exists(socket); }, 10)) {
            std::fprintf(stderr, "pulseaudio did not start\n");
            return false;
        }
        qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());
        qputenv("PULSE_SINK", "out");
        // A stream of silence keeps the sink running at a short latency: an
        // idle null sink sleeps long, and the first sound of a new stream
        // would reach the monitor only when it wakes.
        keepAwake.start({"pacat", "--raw", "--format=s16le", "--rate=44100", "--channels=2", "--latency-msec=20",
                         "/dev/zero"},
                        log("silence"));
        const QString home = dir.filePath("home");
        QDir().mkpath(home);
        qputenv("HOME", home.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (home + "/.config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", (home + "/.local/share").toLocal8Bit());
        qputenv("XDG_CACHE_HOME", (home + "/.cache").toLocal8Bit());
        return true;
    }

    void startStress()
    {
        stress.start({"stress-ng", "--cpu", QString::number(QThread::idealThreadCount()), "--quiet"}, log("stress"));
    }
};

// The first sound on the sink's monitor after a moment: parec reads the
// monitor and the first sample that is not silence is timed. The monitor
// hands its samples over in bursts, so a sample's time is not its arrival:
// each burst can only arrive after its last sample was played, which bounds
// the moment the capture began (the earliest bound over all bursts), and
// sample n was played n / 44100 s after that moment.
class FirstSound
{
public:
    // Starts reading; what the monitor holds in the first 300 ms (silence,
    // or the tail of a player just stopped) is only counted.
    void start()
    {
        m_parec.setProcessChannelMode(QProcess::SeparateChannels);
        m_parec.start("parec", {"--device=out.monitor", "--format=s16le", "--rate=44100", "--channels=1",
                                "--latency-msec=10", "--raw"});
        m_parec.waitForStarted(5000);
        const double end = now() + 0.3;
        while (now() < end)
            take(false);
    }
    // The time at which sound was first played, reading until the deadline
    // (and a second more, to bound the capture's start well); NaN when none
    // came.
    double wait(double deadline)
    {
        double until = deadline;
        while (now() < until) {
            if (take(m_first < 0) && m_first >= 0)
                until = std::min(deadline, now() + 1.0);
        }
        return m_first < 0 ? std::nan("") : m_began + double(m_first) / 44100.0;
    }
    ~FirstSound()
    {
        m_parec.kill();
        m_parec.waitForFinished(2000);
    }

private:
    // Reads what has arrived; true when it held the first sound looked for.
    bool take(bool look)
    {
        if (!m_parec.waitForReadyRead(10))
            return false;
        const double at = now();
        const QByteArray data = m_parec.readAll();
        const auto *s = reinterpret_cast<const qint16 *>(data.constData());
        const qint64 n = data.size() / 2;
        bool found = false;
        for (qint64 i = 0; look && !found && i < n; ++i) {
            if (std::abs(int(s[i])) > 300) {
                m_first = m_total + i;
                found = true;
            }
        }
        m_total += n;
        const double bound = at - double(m_total) / 44100.0;
        if (std::isnan(m_began) || bound < m_began)
            m_began = bound;
        return found;
    }

    QProcess m_parec;
    qint64 m_total = 0;
    qint64 m_first = -1;
    double m_began = std::nan("");
};

QString windowWithName(const QString &part)
{
    return run("xdotool", {"search", "--name", part}, 5000).split('\n', Qt::SkipEmptyParts).value(0);
}

// ---- extraction ----

void extraction(Environment &env, int hourMinutes)
{
    struct Source
    {
        const char *what;
        QString path;
        QStringList make;
    };
    const QString minutes = QString::number(hourMinutes * 60);
    std::vector<Source> sources;
    sources.push_back({"converted form (MPEG-2, PCM in AVI)", env.dir.filePath("converted_form.avi"),
                       {"-f", "lavfi", "-i", "color=c=gray:s=160x120:r=25:d=" + minutes, "-f", "lavfi", "-i",
                        "sine=f=440:r=44100:d=" + minutes, "-ac", "2", "-c:v", "mpeg2video", "-g", "4", "-b:v", "1M",
                        "-c:a", "pcm_s16le"}});
    sources.push_back({"AAC in mp4 (decoded)", env.dir.filePath("aac_source.m4a"),
                       {"-f", "lavfi", "-i", "sine=f=440:r=44100:d=" + minutes, "-ac", "2", "-c:a", "aac", "-b:a", "128k"}});
    std::printf("\n== extraction (%d minutes of audio) ==\n", hourMinutes);
    for (Source &s : sources) {
        if (!QFile::exists(s.path) && !ffmpeg(s.make + QStringList{s.path})) {
            std::printf("%-40s could not be made\n", s.what);
            continue;
        }
        const QString ref = env.dir.filePath("ref.raw"), got = env.dir.filePath("got.raw");
        const QString probeIndex = QStringLiteral("0:a:0");
        std::vector<double> ffmpegTimes, ownTimes;
        TW::MediaTrack track(s.path, s.path.endsWith(".avi") ? 1 : 0, s.path);
        for (int i = 0; i < 3; ++i) {
            QFile::remove(ref);
            double t = now();
            ffmpeg({"-i", s.path, "-map", probeIndex, "-f", "s16le", "-ac", "2", "-ar", "44100", ref});
            ffmpegTimes.push_back(now() - t);
            QFile::remove(got);
            TW::AudioDataExtractor extractor;
            t = now();
            const bool ok = extractor.exportToFile(&track, got);
            ownTimes.push_back(now() - t);
            if (!ok)
                std::printf("   extraction failed: %s\n", qPrintable(extractor.lastError()));
        }
        bool same = QFileInfo(ref).size() == QFileInfo(got).size();
        if (same) {
            QFile a(ref), b(got);
            a.open(QIODevice::ReadOnly);
            b.open(QIODevice::ReadOnly);
            while (same && !a.atEnd())
                same = a.read(1 << 22) == b.read(1 << 22);
        }
        const double f = *std::min_element(ffmpegTimes.begin(), ffmpegTimes.end());
        const double o = *std::min_element(ownTimes.begin(), ownTimes.end());
        std::printf("%-40s extraction %6.2f s, ffmpeg %6.2f s, ratio %.2f; samples %s (%lld bytes)\n", s.what, o, f,
                    o / f, same ? "identical" : "DIFFERENT", QFileInfo(got).size());
        QFile::remove(ref);
        QFile::remove(got);
    }
}

// ---- playback ----

// The program measured: the one built beside this bench, unless --program
// names another (an older build, to compare).
QString g_program;

QString tarnwellProgram()
{
    return g_program.isEmpty() ? QCoreApplication::applicationDirPath() + "/tarnwell" : g_program;
}

// Starts the program on a file and waits until its window names it (the
// open finished). Returns the window id, empty on failure.
QString startTarnwell(Environment &env, Child &program, const QString &file, double timeoutSeconds, double *readyAt)
{
    program.start({tarnwellProgram(), file}, env.log("tarnwell"));
    const QString name = QFileInfo(file).fileName();
    QString window;
    waitFor([&] {
        window = windowWithName("Tarnwell - " + name);
        return !window.isEmpty() || !program.running();
    }, timeoutSeconds);
    if (readyAt)
        *readyAt = now();
    return window;
}

void pressPlay(const QString &window)
{
    run("xdotool", {"windowactivate", "--sync", window}, 5000);
    run("xdotool", {"key", "--window", window, "space"}, 5000);
}

void playback(Environment &env, double seconds)
{
    std::printf("\n== playback of a 2-minute 1080p30 h264 clip for %.0f s ==\n", seconds);
    const QString clip = env.dir.filePath("clip1080.mp4");
    if (!QFile::exists(clip)
        && !ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=1920x1080:r=30:d=120", "-f", "lavfi", "-i",
                    "sine=f=330:r=44100:d=120", "-ac", "2", "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt",
                    "yuv420p", "-c:a", "aac", clip})) {
        std::printf("the clip could not be made\n");
        return;
    }
    Usage tw, peer;
    {
        Child program;
        const QString window = startTarnwell(env, program, clip, 900, nullptr);
        if (window.isEmpty()) {
            std::printf("Tarnwell did not open the clip (log: %s)\n", qPrintable(env.log("tarnwell")));
            return;
        }
        QThread::msleep(3000); // the timeline's pictures
        FirstSound sound;
        sound.start();
        pressPlay(window);
        const double heard = sound.wait(now() + 10);
        tw = watch(program.pid, seconds);
        std::printf("Tarnwell: sound %s\n", std::isnan(heard) ? "NOT heard" : "heard");
        program.stop();
    }
    {
        Child mpv;
        FirstSound sound;
        sound.start();
        mpv.start({"mpv", "--no-config", "--vo=x11", "--ao=pulse", "--really-quiet", clip}, env.log("mpv"));
        const double heard = sound.wait(now() + 20);
        peer = watch(mpv.pid, seconds);
        std::printf("mpv: sound %s\n", std::isnan(heard) ? "NOT heard" : "heard");
        mpv.stop();
    }
    if (!tw.ok || !peer.ok) {
        std::printf("a player ended early\n");
        return;
    }
    std::printf("%-10s resident peak %7.1f MiB, CPU %6.1f %%\n", "Tarnwell", tw.peakMiB, tw.cpuPercent);
    std::printf("%-10s resident peak %7.1f MiB, CPU %6.1f %%\n", "mpv", peer.peakMiB, peer.cpuPercent);
    std::printf("ratios (Tarnwell / mpv): memory %.2f, CPU %.2f\n", tw.peakMiB / peer.peakMiB,
                tw.cpuPercent / peer.cpuPercent);
}

// ---- re-open ----

void reopen(Environment &env, int hourMinutes)
{
    std::printf("\n== re-opening a file already in the cache (median of 3) ==\n");
    struct Source
    {
        QString what;
        QString path;
        QStringList make;
    };
    const QString hour = QString::number(hourMinutes * 60);
    const std::vector<Source> sources = {
        {"90 s 720p h264/aac", env.dir.filePath("clip90.mp4"),
         {"-f", "lavfi", "-i", "testsrc2=s=1280x720:r=30:d=90", "-f", "lavfi", "-i", "sine=f=330:r=44100:d=90",
          "-ac", "2", "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac"}},
        {QStringLiteral("%1 min 160x120 h264/aac").arg(hourMinutes), env.dir.filePath("hour.mp4"),
         {"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=" + hour, "-f", "lavfi", "-i",
          "sine=f=330:r=44100:d=" + hour, "-ac", "2", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",
          "yuv420p", "-c:a", "aac"}},
    };
    for (const Source &s : sources) {
        if (!QFile::exists(s.path) && !ffmpeg(s.make + QStringList{s.path})) {
            std::printf("%s could not be made\n", qPrintable(s.what));
            continue;
        }
        // The first open converts it into the cache.
        {
            Child program;
            const double t = now();
            const QString window = startTarnwell(env, program, s.path, 3600, nullptr);
            if (window.isEmpty()) {
                std::printf("%s: the first open failed (log: %s)\n", qPrintable(s.what), qPrintable(env.log("tarnwell")));
                continue;
            }
            std::printf("%-28s first open (conversion): %.1f s\n", qPrintable(s.what), now() - t);
            QThread::msleep(5000); // the waveform and the extracted sound
            program.stop();
        }
        std::vector<double> ready, sound, peer;
        for (int i = 0; i < 3; ++i) {
            {
                Child program;
                FirstSound first;
                first.start();
                const double t = now();
                double readyAt = 0;
                const QString window = startTarnwell(env, program, s.path, 600, &readyAt);
                if (window.isEmpty())
                    break;
                pressPlay(window);
                const double heard = first.wait(now() + 30);
                ready.push_back(readyAt - t);
                sound.push_back(heard - t);
                program.stop();
            }
            {
                Child mpv;
                FirstSound first;
                first.start();
                const double t = now();
                mpv.start({"mpv", "--no-config", "--vo=x11", "--ao=pulse", "--really-quiet", s.path}, env.log("mpv"));
                peer.push_back(first.wait(now() + 30) - t);
                mpv.stop();
            }
        }
        const double r = median(ready), f = median(sound), m = median(peer);
        std::printf("%-28s Tarnwell window ready %.2f s, first sound %.2f s; mpv first sound %.2f s; ratio %.2f\n",
                    qPrintable(s.what), r, f, m, f / m);
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    bool stress = false, keep = false;
    double playSeconds = 30;
    int hourMinutes = 60;
    QString only;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--stress"))
            stress = true;
        else if (!std::strcmp(argv[i], "--keep"))
            keep = true;
        else if (!std::strcmp(argv[i], "--play-seconds") && i + 1 < argc)
            playSeconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--hour-minutes") && i + 1 < argc)
            hourMinutes = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = QString::fromLocal8Bit(argv[++i]);
        else if (!std::strcmp(argv[i], "--program") && i + 1 < argc)
            g_program = QFileInfo(QString::fromLocal8Bit(argv[++i])).absoluteFilePath();
    }
    // The figures only; the programs' diagnostics stay out of them.
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QCoreApplication app(argc, argv);
    TW::Util::init();
    std::signal(SIGINT, endChildren);
    std::signal(SIGTERM, endChildren);
    Environment env;
    env.dir.setAutoRemove(!keep);
    if (!env.start())
        return 1;
    std::printf("media compare: %s, %d cores, %s; files in %s\n", qPrintable(env.display),
                QThread::idealThreadCount(), stress ? "with stress-ng --cpu beside" : "quiet",
                qPrintable(env.dir.path()));
    if (stress)
        env.startStress();
    if (only.isEmpty() || only == "extraction")
        extraction(env, hourMinutes);
    if (only.isEmpty() || only == "playback")
        playback(env, playSeconds);
    if (only.isEmpty() || only == "reopen")
        reopen(env, hourMinutes);
    return 0;
}
