// Playback as the user hears and sees it.
//
// The program runs in its own X server (Xvfb) and its own PulseAudio server
// with a null sink, which plays at the pace of the system clock. One ffmpeg
// records the screen area of the picture (50 times a second) together with
// the sink's monitor; both carry wall-clock time stamps. The clip's picture
// shows its frame number as ten red and green bars and its sound is a chirp
// whose frequency gives the media time, so every grabbed picture and every
// 20 ms of sound say which moment of the clip they are.
//
// First a bare libvlc player plays the clip through the same chain: its
// offsets are the chain's own and must read about 0. Then the real window is
// driven through its widgets (space, the transport, the tempo buttons and
// slider) and the figures are printed: inserted silence, picture against
// sound per scene, the delays from Play, a seek and a tempo change to what
// is heard and seen, and how far the time counter runs ahead of the picture.
// The project has a section deleted (30-32 s of the clip) and a loop played
// twice (33-35 s of the timeline), so that the last two scenes cross from
// one fragment into the next and jump back to a loop's start.
//
// Usage: bench_playback_output [--seconds-per-scene S] [--size WxH] [--keep]
// Needs Xvfb, pulseaudio and ffmpeg (with x11grab and pulse input).

#include "app/AddLoopCommand.h"
#include "app/Application.h"
#include "app/MainController.h"
#include "core/Util.h"
#include "io/InputController.h"
#include "model/Media.h"
#include "model/VideoLoop.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"
#include "ui/VideoWidget.h"
#include "playback/AudioOutput.h"
#include "playback/MediaPlayer.h"
#include "playback/MemoryStreamPlayer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <vlc/vlc.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern "C" int XInitThreads(void);

namespace {

constexpr double Fps = 25.0;
constexpr int Bars = 10;          // bits of the frame number
constexpr double ChirpStart = 200.0; // Hz at media time 0
constexpr double ChirpRate = 200.0;  // Hz per second of media time
constexpr int Rate = 44100;
constexpr int GrabFps = 50;

double wallNow()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A child process that lives until stopped (Xvfb, the sound server).
struct Daemon
{
    pid_t pid = -1;
    bool start(const std::vector<std::string> &argv, const char *log)
    {
        pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            if (FILE *f = std::fopen(log, "w")) {
                dup2(fileno(f), 1);
                dup2(fileno(f), 2);
            }
            std::vector<char *> args;
            for (const auto &a : argv)
                args.push_back(const_cast<char *>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        return pid > 0;
    }
    void stop()
    {
        if (pid <= 0)
            return;
        kill(-pid, SIGTERM);
        kill(pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 50 && waitpid(pid, &status, WNOHANG) == 0; ++i)
            usleep(20000);
        kill(-pid, SIGKILL);
        waitpid(pid, &status, WNOHANG);
        pid = -1;
    }
    ~Daemon() { stop(); }
};

bool waitFor(const std::function<bool()> &ready, int ms)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (ready())
            return true;
        usleep(20000);
    }
    return ready();
}

void spin(int ms)
{
    const double end = wallNow() + ms / 1000.0;
    while (wallNow() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        usleep(1000);
    }
}

bool ffmpeg(const QStringList &args, QByteArray *out = nullptr)
{
    QProcess p;
    p.start(TW::Util::externalProgram(QStringLiteral("ffmpeg")),
            QStringList{"-y", "-hide_banner", "-loglevel", "error"} + args);
    if (!p.waitForStarted(10000))
        return false;
    QByteArray data;
    while (!p.waitForFinished(100)) {
        if (out)
            data += p.readAllStandardOutput();
        if (p.state() == QProcess::NotRunning)
            break;
    }
    if (out) {
        data += p.readAllStandardOutput();
        *out = data;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// The clip: ten bars (red 0, green 1) give the frame number; a chirp from
// 200 Hz rising 200 Hz a second gives the media time.
bool makeClip(const QString &path, int seconds, const QString &size)
{
    const QString bit = QStringLiteral("bitand(N\\,pow(2\\,floor(X*%1/W)))").arg(Bars);
    const QString video = QStringLiteral("color=c=black:s=320x180:r=25:d=%1,format=gbrp,"
                                         "geq=r='if(%2\\,0\\,230)':g='if(%2\\,230\\,0)':b=0")
                              .arg(seconds)
                              .arg(bit)
                          // A larger picture is the small one scaled up (bars stay sharp).
                          + (size.isEmpty() ? QString() : QStringLiteral(",scale=%1:flags=neighbor").arg(QString(size).replace('x', ':')));
    const QString phase = QStringLiteral("2*PI*(%1*t+%2*t*t)").arg(ChirpStart).arg(ChirpRate / 2.0);
    const QString audio = QStringLiteral("aevalsrc='0.5*sin(%1)|0.5*sin(%1)':s=%2:d=%3").arg(phase).arg(Rate).arg(seconds);
    return ffmpeg({"-f", "lavfi", "-i", video, "-f", "lavfi", "-i", audio, "-c:v", "libx264", "-preset", "veryfast",
                   "-pix_fmt", "yuv444p", "-crf", "10", "-g", "25", "-c:a", "pcm_s16le", "-shortest", path});
}

// What the recording holds: grabbed pictures decoded to frame numbers (-1:
// none shown) with their wall times, and the sound with the wall time of its
// first sample.
struct Recording
{
    std::vector<double> pictureAt;
    std::vector<int> frame;
    double soundStart = 0.0;
    std::vector<qint16> samples;
};

bool classify(const uchar *p, int *bit)
{
    const int r = p[0], g = p[1], b = p[2];
    if (r > 120 && g < 90 && b < 90) {
        *bit = 0;
        return true;
    }
    if (g > 120 && r < 90 && b < 90) {
        *bit = 1;
        return true;
    }
    return false;
}

int decodeFrame(const uchar *rgb, int w, int h)
{
    int x0 = w, x1 = -1, y0 = h, y1 = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int bit;
            if (classify(rgb + 3 * (y * w + x), &bit)) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    if (x1 - x0 < Bars * 3 || y1 - y0 < 4)
        return -1;
    int value = 0;
    const int y = (y0 + y1) / 2;
    for (int i = 0; i < Bars; ++i) {
        const int x = x0 + int((i + 0.5) * (x1 - x0 + 1) / Bars);
        int bit;
        if (!classify(rgb + 3 * (y * w + x), &bit))
            return -1;
        value |= bit << i;
    }
    return value;
}

// The sink's monitor, read by parec on a thread of its own. Every block is
// stamped on arrival; a block cannot arrive before it was played, so the
// earliest arrival against its position gives the wall time of the first
// sample (the monitor's own constant delay is the chain's, which the bare
// reference measures).
class SoundCapture
{
public:
    bool start()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            samples_.clear();
            first_ = 0.0;
        }
        // Our own parec, ended by its id: other programs may run one too.
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            execlp("parec", "parec", "--device=out.monitor", "--format=s16le", "--rate=44100", "--channels=1",
                   "--latency-msec=5", "--raw", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid_ < 0) {
            close(fds[0]);
            return false;
        }
        pipe_ = fdopen(fds[0], "r");
        if (!pipe_)
            return false;
        thread_ = std::thread([this] {
            std::vector<qint16> block(441);
            for (;;) {
                const size_t got = std::fread(block.data(), 2, block.size(), pipe_);
                const double at = wallNow();
                if (got == 0)
                    break;
                std::lock_guard<std::mutex> lock(mutex_);
                samples_.insert(samples_.end(), block.begin(), block.begin() + long(got));
                const double start = at - double(samples_.size()) / Rate;
                if (first_ == 0.0 || start < first_)
                    first_ = start;
            }
        });
        return true;
    }
    void stop(Recording *rec)
    {
        if (pipe_) {
            kill(pid_, SIGINT);
            thread_.join();
            std::fclose(pipe_);
            pipe_ = nullptr;
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        rec->samples = samples_;
        rec->soundStart = first_;
    }

private:
    FILE *pipe_ = nullptr;
    pid_t pid_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<qint16> samples_;
    double first_ = 0.0;
};

bool readRecording(const QString &file, Recording *rec)
{
    QProcess probe;
    const QString ffprobe = TW::Util::externalProgram(QStringLiteral("ffprobe"));
    probe.start(ffprobe, {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts_time", "-of",
                          "csv=p=0", file});
    probe.waitForFinished(60000);
    std::vector<double> pts;
    for (const QByteArray &line : probe.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty())
            pts.push_back(line.trimmed().toDouble());
    std::sort(pts.begin(), pts.end());

    const int w = 160, h = 90;
    QByteArray pictures;
    if (!ffmpeg({"-i", file, "-map", "0:v:0", "-vf", QStringLiteral("scale=%1:%2:flags=neighbor").arg(w).arg(h),
                 "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                &pictures))
        return false;
    const int size = w * h * 3;
    const int count = int(std::min<size_t>(pts.size(), size_t(pictures.size() / size)));
    for (int i = 0; i < count; ++i) {
        rec->pictureAt.push_back(pts[size_t(i)]);
        rec->frame.push_back(decodeFrame(reinterpret_cast<const uchar *>(pictures.constData()) + size_t(i) * size, w, h));
    }
    return count > 0 && !rec->samples.empty();
}

// Media time heard in 20 ms windows every 10 ms: -1 where it is silent.
struct Heard
{
    double at;    // wall time of the window's centre
    double media; // seconds of the clip, -1 when silent
};

std::vector<Heard> listen(const Recording &rec)
{
    std::vector<Heard> out;
    const int win = Rate / 50, hop = Rate / 100;
    const auto &s = rec.samples;
    for (size_t start = 0; start + size_t(win) <= s.size(); start += size_t(hop)) {
        double energy = 0.0;
        for (int i = 0; i < win; ++i)
            energy += double(s[start + size_t(i)]) * s[start + size_t(i)];
        const double rms = std::sqrt(energy / win);
        Heard h{rec.soundStart + (double(start) + win / 2.0) / Rate, -1.0};
        if (rms > 1500.0) {
            double first = -1.0, last = -1.0;
            int crossings = 0;
            for (int i = 1; i < win; ++i) {
                const double a = s[start + size_t(i) - 1], b = s[start + size_t(i)];
                if (a < 0 && b >= 0) {
                    const double t = (i - 1) + (-a) / (b - a);
                    if (first < 0)
                        first = t;
                    last = t;
                    ++crossings;
                }
            }
            if (crossings >= 3) {
                const double f = (crossings - 1) * Rate / (last - first);
                h.media = (f - ChirpStart) / ChirpRate;
            }
        }
        out.push_back(h);
    }
    return out;
}

// When media time t is heard between from and to; heard more than once
// (a seek back or a loop plays it again), the hearing nearest to near, and
// only within half a second of it: a picture whose own hearing was not
// made out (the 20 ms windows around a jump hold two places) is left out
// rather than set against another pass's. NaN when it is not heard.
double heardAt(const std::vector<Heard> &heard, double t, double from, double to, double near)
{
    double best = std::nan("");
    for (size_t i = 1; i < heard.size(); ++i) {
        const Heard &a = heard[i - 1], &b = heard[i];
        if (a.at < from || b.at > to || a.media < 0 || b.media < 0)
            continue;
        if (a.media <= t && b.media >= t && b.media - a.media < 0.1) {
            const double k = b.media > a.media ? (t - a.media) / (b.media - a.media) : 0.0;
            const double at = a.at + k * (b.at - a.at);
            if (std::isnan(best) || std::abs(at - near) < std::abs(best - near))
                best = at;
        }
    }
    return std::abs(best - near) <= 0.5 ? best : std::nan("");
}

struct Action
{
    QString name;
    double at;
    double tempo; // after the action, percent / 100
};

struct Figures
{
    double gapsPercent = 0.0;
    std::map<QString, std::vector<double>> offsets; // per scene, ms (picture after sound > 0)
    std::vector<std::pair<QString, double>> latencies;
};

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return std::nan("");
    std::sort(v.begin(), v.end());
    return v[size_t(std::clamp(p, 0.0, 1.0) * double(v.size() - 1))];
}

// With --keep, the timelines behind the figures, for a closer look.
QString g_dumpPrefix;

void dump(const Recording &rec, const std::vector<Heard> &heard, const std::vector<Action> &actions)
{
    if (g_dumpPrefix.isEmpty())
        return;
    QFile out(g_dumpPrefix + QStringLiteral("-timeline.txt"));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    for (const Action &a : actions)
        out.write(QStringLiteral("action %1 %2\n").arg(a.at, 0, 'f', 3).arg(a.name).toUtf8());
    for (size_t i = 0; i < rec.pictureAt.size(); ++i)
        out.write(QStringLiteral("picture %1 %2\n").arg(rec.pictureAt[i], 0, 'f', 3).arg(rec.frame[i]).toUtf8());
    for (const Heard &h : heard)
        out.write(QStringLiteral("heard %1 %2\n").arg(h.at, 0, 'f', 3).arg(h.media, 0, 'f', 3).toUtf8());
}

Figures measure(const Recording &rec, const std::vector<Action> &actions, double end)
{
    Figures fig;
    const std::vector<Heard> heard = listen(rec);
    dump(rec, heard, actions);

    // Inserted silence: runs of 8 or more zero samples while sound plays,
    // from the first sound after each action that starts sound to just
    // before the next (the wall times of the sound and of the actions agree
    // within a few milliseconds: a seek's own cut is not counted in the
    // scene before it).
    qint64 playing = 0, holes = 0;
    for (size_t a = 0; a < actions.size(); ++a) {
        if (actions[a].name == QLatin1String("pause"))
            continue;
        const double from = actions[a].at + 0.05, to = (a + 1 < actions.size() ? actions[a + 1].at : end) - 0.03;
        qint64 i0 = qint64((from - rec.soundStart) * Rate), i1 = qint64((to - rec.soundStart) * Rate);
        i0 = std::max<qint64>(0, i0);
        i1 = std::min<qint64>(qint64(rec.samples.size()), i1);
        while (i0 < i1 && std::abs(rec.samples[size_t(i0)]) < 200)
            ++i0; // not yet sounding
        qint64 run = 0;
        for (qint64 i = i0; i < i1; ++i) {
            ++playing;
            if (rec.samples[size_t(i)] == 0) {
                ++run;
            } else {
                if (run >= 8) {
                    holes += run;
                    if (!g_dumpPrefix.isEmpty())
                        std::fprintf(stderr, "silence of %lld samples %.3f s after %s (%s)\n", (long long)run,
                                     double(i - run) / Rate + rec.soundStart - actions[a].at,
                                     qPrintable(actions[a].name),
                                     qPrintable(QFileInfo(g_dumpPrefix).fileName()));
                }
                run = 0;
            }
        }
    }
    fig.gapsPercent = playing > 0 ? 100.0 * double(holes) / double(playing) : 0.0;

    // Picture against sound: each frame number's first grab against the
    // moment its media time is heard, within each scene after it settled.
    const double grab = 1.0 / GrabFps;
    for (size_t a = 0; a < actions.size(); ++a) {
        if (actions[a].name == QLatin1String("pause"))
            continue;
        const double from = actions[a].at + 0.3, to = a + 1 < actions.size() ? actions[a + 1].at : end;
        int last = -2;
        for (size_t i = 0; i < rec.pictureAt.size(); ++i) {
            const double at = rec.pictureAt[i];
            const int n = rec.frame[i];
            if (at < from || at > to || n < 0 || n == last) {
                if (n >= 0)
                    last = n;
                continue;
            }
            const bool fresh = last >= 0 && n != last;
            last = n;
            if (!fresh)
                continue;
            const double sound = heardAt(heard, n / Fps, from - 1.0, to + 1.0, at);
            if (!std::isnan(sound))
                fig.offsets[actions[a].name].push_back((at - grab / 2.0 - sound) * 1000.0);
        }
    }

    // Delays: to the first sound and the first new picture after Play; to
    // the new place after a seek; to the new tempo in the sound.
    for (size_t a = 0; a < actions.size(); ++a) {
        const Action &act = actions[a];
        const double to = a + 1 < actions.size() ? actions[a + 1].at : end;
        if (act.name.startsWith(QLatin1String("play"))) {
            double sound = std::nan(""), picture = std::nan("");
            for (const Heard &h : heard)
                if (h.at > act.at && h.at < to && h.media >= 0) {
                    sound = h.at - 0.01;
                    break;
                }
            int before = -1;
            for (size_t i = 0; i < rec.pictureAt.size(); ++i) {
                if (rec.pictureAt[i] <= act.at) {
                    before = rec.frame[i];
                } else if (rec.pictureAt[i] < to && rec.frame[i] >= 0 && rec.frame[i] != before) {
                    picture = rec.pictureAt[i] - grab / 2.0;
                    break;
                }
            }
            fig.latencies.push_back({act.name + QStringLiteral(" -> first sound"), (sound - act.at) * 1000.0});
            fig.latencies.push_back({act.name + QStringLiteral(" -> first picture"), (picture - act.at) * 1000.0});
        } else if (act.name.startsWith(QLatin1String("seek"))) {
            // The place jumps back by more than half a second. The sound's
            // wall times can read a little early against the actions' (see
            // "first sound"): the place before is taken from 50 ms before
            // the action, where no window holds the new place yet.
            double before = -1.0, sound = std::nan(""), picture = std::nan("");
            for (const Heard &h : heard) {
                if (h.media < 0)
                    continue;
                if (h.at <= act.at - 0.05)
                    before = h.media;
                else if (h.at < to && before >= 0 && h.media < before - 0.5) {
                    sound = h.at - 0.01;
                    break;
                }
            }
            int shown = -1;
            for (size_t i = 0; i < rec.pictureAt.size(); ++i) {
                if (rec.pictureAt[i] <= act.at)
                    shown = rec.frame[i];
                else if (rec.pictureAt[i] < to && rec.frame[i] >= 0 && shown >= 0 && rec.frame[i] < shown - Fps / 2) {
                    picture = rec.pictureAt[i] - grab / 2.0;
                    break;
                }
            }
            fig.latencies.push_back({act.name + QStringLiteral(" -> sound there"), (sound - act.at) * 1000.0});
            fig.latencies.push_back({act.name + QStringLiteral(" -> picture there"), (picture - act.at) * 1000.0});
        } else if (act.name.startsWith(QLatin1String("tempo")) && a > 0) {
            // The heard media time leaves the old tempo's line (fitted over
            // the half second before) by 20 ms, for three windows in a row.
            const double old = actions[a - 1].tempo, now = act.tempo;
            double sw = 0, sm = 0, n = 0;
            for (const Heard &h : heard)
                if (h.media >= 0 && h.at > act.at - 0.5 && h.at <= act.at) {
                    sw += h.at;
                    sm += h.media - old * h.at;
                    ++n;
                }
            double heardNew = std::nan("");
            if (n > 5) {
                const double intercept = sm / n;
                int run = 0;
                for (const Heard &h : heard) {
                    if (h.at <= act.at || h.media < 0)
                        continue;
                    if (h.at > to)
                        break;
                    const double expected = intercept + old * h.at;
                    run = std::abs(h.media - expected) > 0.02 ? run + 1 : 0;
                    if (run == 3) {
                        heardNew = h.at - 0.02 - 0.02 / std::max(0.05, std::abs(now - old));
                        break;
                    }
                }
            }
            fig.latencies.push_back({act.name + QStringLiteral(" heard after"), (heardNew - act.at) * 1000.0});
        }
    }
    return fig;
}

void print(const char *subject, const Figures &fig, double calibration)
{
    std::printf("\n== %s\n", subject);
    std::printf("inserted silence while playing: %.2f %% of samples\n", fig.gapsPercent);
    for (const auto &[scene, v] : fig.offsets) {
        std::vector<double> c;
        for (double x : v)
            c.push_back(x - calibration);
        std::vector<double> abs;
        for (double x : c)
            abs.push_back(std::abs(x));
        std::printf("picture - sound, %-22s median %+7.1f ms, worst %+7.1f ms (p95 |x| %.1f ms, %zu frames)\n",
                    qPrintable(scene), percentile(c, 0.5),
                    c.empty() ? 0.0 : *std::max_element(c.begin(), c.end(), [](double a, double b) {
                        return std::abs(a) < std::abs(b);
                    }),
                    percentile(abs, 0.95), c.size());
    }
    for (const auto &[what, ms] : fig.latencies)
        std::printf("%-40s %7.0f ms\n", qPrintable(what), ms);
}

struct Environment
{
    QTemporaryDir dir;
    Daemon xvfb, wm, pulse, recorder;
    SoundCapture sound;
    QString display;

    bool start()
    {
        for (int n = 90; n < 120; ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            display = QStringLiteral(":%1").arg(n);
            break;
        }
        if (!xvfb.start({"Xvfb", display.toStdString(), "-screen", "0", "1280x800x24", "-nolisten", "tcp"},
                        qPrintable(dir.filePath("xvfb.log")))
            || !waitFor([&] { return QFile::exists("/tmp/.X11-unix/X" + display.mid(1)); }, 10000)) {
            std::fprintf(stderr, "Xvfb did not start\n");
            return false;
        }
        qputenv("DISPLAY", display.toLocal8Bit());
        wm.start({"openbox"}, qPrintable(dir.filePath("openbox.log")));
        const QString runtime = dir.filePath("pulse");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
        const QString socket = runtime + "/native";
        if (!pulse.start({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                          "-L", "module-null-sink sink_name=out rate=44100",
                          "-L", ("module-native-protocol-unix auth-anonymous=1 socket=" + socket).toStdString(),
                          "-L", "module-always-sink"},
                         qPrintable(dir.filePath("pulse.log")))
            || !waitFor([&] { return QFile::exists(socket); }, 10000)) {
            std::fprintf(stderr, "pulseaudio did not start\n");
            return false;
        }
        qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());
        qputenv("PULSE_SINK", "out");
        const QString home = dir.filePath("home");
        QDir().mkpath(home);
        qputenv("HOME", home.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (home + "/.config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", (home + "/.local/share").toLocal8Bit());
        qputenv("XDG_CACHE_HOME", (home + "/.cache").toLocal8Bit());
        return true;
    }

    bool record(const QRect &area, const QString &file)
    {
        const QString ff = TW::Util::externalProgram(QStringLiteral("ffmpeg")) ;
        const bool ok = recorder.start(
            {ff.toStdString(), "-y", "-hide_banner", "-loglevel", "error", "-f", "x11grab", "-framerate",
             std::to_string(GrabFps), "-video_size", QStringLiteral("%1x%2").arg(area.width() & ~1).arg(area.height() & ~1).toStdString(),
             "-i", QStringLiteral("%1+%2,%3").arg(display).arg(area.x()).arg(area.y()).toStdString(),
             "-c:v", "libx264", "-preset", "ultrafast", "-qp", "0", "-copyts", file.toStdString()},
            qPrintable(dir.filePath("recorder.log")));
        const bool listening = sound.start();
        usleep(1500000); // the recorder's first pictures
        return ok && listening;
    }

    void stopRecording(Recording *rec)
    {
        sound.stop(rec);
        if (recorder.pid > 0) {
            kill(recorder.pid, SIGINT);
            int status = 0;
            for (int i = 0; i < 250 && waitpid(recorder.pid, &status, WNOHANG) == 0; ++i)
                usleep(20000);
            recorder.pid = -1;
        }
    }
};

// The bare reference: libvlc playing the clip into a window of its own.
bool runBare(Environment &env, const QString &clip, double scene, Figures *fig)
{
    const char *args[] = {"--no-video-title-show", "--quiet", "--verbose=0"};
    libvlc_instance_t *vlc = libvlc_new(3, args);
    if (!vlc)
        return false;
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(640, 360);
    window.move(0, 0);
    window.setAttribute(Qt::WA_NativeWindow);
    window.show();
    spin(500);
    libvlc_media_t *media = libvlc_media_new_path(vlc, clip.toLocal8Bit().constData());
    libvlc_media_player_t *player = libvlc_media_player_new_from_media(media);
    libvlc_media_release(media);
    libvlc_media_player_set_xwindow(player, uint32_t(window.winId()));
    const QRect area(window.mapToGlobal(QPoint(0, 0)), window.size());
    const QString file = env.dir.filePath("bare.mkv");
    env.record(area, file);
    std::vector<Action> actions;
    const int ms = int(scene * 1000);
    actions.push_back({"play", wallNow(), 1.0});
    libvlc_media_player_play(player);
    spin(ms);
    actions.push_back({"pause", wallNow(), 1.0});
    libvlc_media_player_set_pause(player, 1);
    spin(1000);
    actions.push_back({"play after pause", wallNow(), 1.0});
    libvlc_media_player_set_pause(player, 0);
    spin(ms);
    actions.push_back({"seek back", wallNow(), 1.0});
    libvlc_media_player_set_time(player, 1000);
    spin(ms);
    const double end = wallNow();
    Recording rec;
    env.stopRecording(&rec);
    libvlc_media_player_stop(player);
    libvlc_media_player_release(player);
    libvlc_release(vlc);
    if (!readRecording(file, &rec))
        return false;
    if (!g_dumpPrefix.isEmpty())
        g_dumpPrefix = env.dir.filePath(QStringLiteral("bare"));
    *fig = measure(rec, actions, end);
    return true;
}

QPushButton *button(TW::MainWindow *w, const char *name)
{
    return w->findChild<QPushButton *>(QLatin1String(name));
}

// A click on the transport bar where it shows this frame.
void clickTransportAt(QSlider *slider, int frame)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
    const int span = std::max(1, groove.width() - handle.width());
    const int x = groove.x() + handle.width() / 2
                  + QStyle::sliderPositionFromValue(slider->minimum(), slider->maximum(), frame, span);
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(x, slider->height() / 2));
}

// The clip's frames 750-800 (30-32 s) deleted: the timeline goes on at 30 s
// with the second fragment. A loop at 33-35 s of the timeline at 100 %,
// played twice with no delay.
constexpr int kCutFrom = 750, kCutTo = 800, kLoopFrom = 825, kLoopTo = 875;

bool editProject(TW::MainController *controller, TW::MainWindow *window)
{
    window->getTimeArea()->setSelection({kCutFrom, kCutTo});
    controller->onDelete();
    window->getTimeArea()->setSelection({-1, -1});
    QSharedPointer<TW::VideoLoop> loop(new TW::VideoLoop);
    loop->setName(QStringLiteral("loop"));
    loop->setStartFrame(kLoopFrom);
    loop->setEndFrame(kLoopTo);
    loop->setTempo(100);
    loop->setPitch(0);
    loop->setLoopCount(1);
    loop->setDelay(0);
    controller->onExecute(new TW::AddLoopCommand(loop));
    spin(1500);
    return controller->getMedia()->getTrackFragments().size() == 2;
}

bool runTarnwell(Environment &env, const QString &clip, double scene, Figures *fig, double *counterLead)
{
    TW::MainController *controller = TW::Application::instance()->getMainController();
    controller->exec();
    TW::MainWindow *window = controller->getMainWindow();
    window->move(0, 0);
    window->resize(1200, 780);
    controller->openFile(clip);
    if (controller->getMedia()->isEmpty()) {
        std::fprintf(stderr, "the clip did not open\n");
        return false;
    }
    spin(1500);
    if (!editProject(controller, window)) {
        std::fprintf(stderr, "the section was not deleted\n");
        return false;
    }
    QWidget *view = window->getVideoWidget();
    const QRect area(view->mapToGlobal(QPoint(0, 0)), view->size());
    const QString file = env.dir.filePath("tarnwell.mkv");
    env.record(area, file);

    // The counter as the window shows it, sampled with wall times.
    std::vector<std::pair<double, int>> counter;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { counter.push_back({wallNow(), window->getCurFrame()}); });
    sampler.start(20);

    std::vector<Action> actions;
    const int ms = int(scene * 1000);
    auto act = [&](const char *name, double tempo, const std::function<void()> &what) {
        actions.push_back({QLatin1String(name), wallNow(), tempo});
        what();
    };
    window->activateWindow();
    act("play", 1.0, [&] { QTest::keyClick(window, Qt::Key_Space); });
    spin(ms);
    act("pause", 1.0, [&] { QTest::keyClick(window, Qt::Key_Space); });
    spin(1000);
    act("play after pause", 1.0, [&] { QTest::keyClick(window, Qt::Key_Space); });
    spin(ms);
    act("seek back", 1.0, [&] {
        QSlider *slider = window->getMasterSlider();
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() / 8, slider->height() / 2));
    });
    spin(ms);
    act("tempo 50 %", 0.5, [&] { button(window, "tempo50Btn")->click(); });
    spin(ms);
    act("tempo 25 %", 0.25, [&] { button(window, "tempo20Btn")->click(); });
    spin(ms);
    act("tempo 100 %", 1.0, [&] { button(window, "resetTempoBtn")->click(); });
    spin(ms);
    QSlider *tempo = window->getEditVideoWidget()->tempoSlider();
    // One change, as a drag of the slider's handle gives when it is let go
    // (the value is taken on release): how soon one change is heard.
    act("tempo 150 %", 1.5, [&] {
        tempo->setFocus();
        tempo->setSliderDown(true);
        tempo->setSliderPosition(15000);
        tempo->setSliderDown(false);
    });
    spin(ms);
    // Five changes in a burst (PageUp five times, 10 % each): every step is
    // played in turn, so the last is heard later than a single change.
    act("tempo 200 % by five PageUp", 2.0, [&] {
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(tempo, Qt::Key_PageUp);
    });
    spin(ms);
    // 1.4 s before the cut, at 100 %: across it into the second fragment.
    act("fragment boundary", 1.0, [&] {
        button(window, "resetTempoBtn")->click();
        clickTransportAt(window->getMasterSlider(), kCutFrom - 35);
    });
    spin(ms);
    // 0.6 s before the loop: into it, back to its start once, and on.
    act("loop repeat", 1.0, [&] { clickTransportAt(window->getMasterSlider(), kLoopFrom - 15); });
    spin(ms + 2000);
    const double end = wallNow();
    sampler.stop();
    Recording rec;
    env.stopRecording(&rec);
    controller->onStopVideo();
    if (!readRecording(file, &rec))
        return false;
    if (!g_dumpPrefix.isEmpty())
        g_dumpPrefix = env.dir.filePath(QStringLiteral("tarnwell"));
    *fig = measure(rec, actions, end);

    // The counter against the picture on screen at the same moment.
    std::vector<double> lead;
    size_t p = 0;
    for (const auto &[at, frame] : counter) {
        while (p + 1 < rec.pictureAt.size() && rec.pictureAt[p + 1] <= at)
            ++p;
        if (p < rec.frame.size() && rec.frame[p] >= 0 && frame > 0)
            lead.push_back((frame - rec.frame[p]) * 1000.0 / Fps);
    }
    *counterLead = percentile(lead, 0.5);
    // Silence the program wrote itself because its sound was not made in
    // time (the rest of any inserted silence is the device or the server
    // not being served in time).
    if (TW::MemoryStreamPlayer *out = controller->getMediaPlayer()->getOutputPlayer())
        std::printf("padded by the program: %lld of %lld frames\n", out->audioOutput()->paddingFrames(),
                    out->audioOutput()->framesWritten());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    double scene = 3.0;
    QString size; // of the clip, WxH; 320x180 when not given
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds-per-scene") && i + 1 < argc)
            scene = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--size") && i + 1 < argc)
            size = QString::fromLatin1(argv[++i]);
        else if (!std::strcmp(argv[i], "--keep"))
            keep = true;
    }
    Environment env;
    env.dir.setAutoRemove(!keep);
    if (keep)
        g_dumpPrefix = env.dir.path();
    if (!env.start())
        return 1;
    XInitThreads();
    qputenv("QT_QPA_PLATFORM", "xcb");
    Q_INIT_RESOURCE(resources);
    TW::Util::init();
    // The window's own command line must not see the bench's arguments.
    int appArgc = 1;
    TW::Application app(appArgc, argv);
    const QString clip = env.dir.filePath("clock.mkv");
    if (!makeClip(clip, 40, size)) {
        std::fprintf(stderr, "could not make the clip\n");
        return 1;
    }
    std::printf("playback at the output (%s, a null sink paced by the system clock; %d grabs/s)\n",
                qPrintable(env.display), GrabFps);

    Figures bare;
    if (!runBare(env, clip, scene, &bare)) {
        std::fprintf(stderr, "bare reference failed\n");
        return 1;
    }
    // The chain's own offset: the bare player in steady play. Its seek is
    // left out: libvlc itself shows the pictures late for a while after a
    // seek (+100 ms and more), which is the player's, not the chain's.
    std::vector<double> steady;
    for (const auto &[scene_, v] : bare.offsets)
        if (!scene_.startsWith(QLatin1String("seek")))
            steady.insert(steady.end(), v.begin(), v.end());
    const double calibration = percentile(steady, 0.5);
    print("bare libvlc player (reference, raw)", bare, 0.0);
    std::printf("chain calibration (bare median in steady play): %+.1f ms, subtracted below\n", calibration);

    Figures tw;
    double counterLead = std::nan("");
    if (!runTarnwell(env, clip, scene, &tw, &counterLead)) {
        std::fprintf(stderr, "tarnwell run failed\n");
        return 1;
    }
    print("Tarnwell", tw, calibration);
    std::printf("%-40s %7.0f ms\n", "time counter ahead of the picture", counterLead);
    if (keep)
        std::printf("recordings kept in %s\n", qPrintable(env.dir.path()));
    return 0;
}
