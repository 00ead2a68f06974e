// Export end to end on generated clips: every output type has the length
// its tempo gives, a tone is shifted by the pitch, loops are unrolled with
// their counts and pauses as playback plays them, awkward file names
// export, a cancel or a failure leaves an existing output as it was, and the export temporary folder
// keeps what else it holds. Also the fixed pieces: segment lists, the
// fragment script's arguments and the concat list's quoting.
#include "TestEnv.h"
#include "TestMedia.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "core/WorkingFiles.h"
#include "io/AudioFilterExporter.h"
#include "io/MediaExporter.h"
#include "io/ResourceManager.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrack.h"
#include "model/VideoLoop.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <unistd.h>

using namespace TW;
using TW::test::TestMedia;

namespace {

OptionsHolder *holder()
{
    return Singleton<OptionsHolder>::instance();
}

// A value of ffprobe's for the file ("format=duration", "stream=codec_name").
QString probe(const QString &file, const QString &entries, const QString &streams = QString())
{
    QProcess p;
    QStringList args{"-v", "error"};
    if (!streams.isEmpty())
        args << "-select_streams" << streams;
    args << "-show_entries" << entries << "-of" << "default=nw=1:nk=1" << file;
    p.start(Util::externalProgram("ffprobe"), args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// How long the output plays: its picture as frames counted at the rate (no
// video: 0), its sound as decoded samples.
struct Played
{
    double video = 0;
    double audio = 0;
};

Played played(const QString &file)
{
    Played p;
    const QStringList rate = probe(file, "stream=r_frame_rate", "v:0").split('/');
    const double fps = rate.size() == 2 && rate[1].toDouble() > 0 ? rate[0].toDouble() / rate[1].toDouble() : 0;
    if (fps > 0) {
        QProcess count;
        count.start(Util::externalProgram("ffprobe"), {"-v", "error", "-count_packets", "-select_streams", "v:0",
                                                        "-show_entries", "stream=nb_read_packets", "-of",
                                                        "csv=p=0", file});
        count.waitForFinished(60000);
        p.video = QString::fromUtf8(count.readAllStandardOutput()).trimmed().toDouble() / fps;
    }
    // Lossy encoders may add up to one codec frame (1152 samples) of
    // padding at the end; containers state durations unevenly, so the
    // decoded sound is measured.
    const bool pcm = probe(file, "stream=codec_name", "a:0").startsWith("pcm");
    const double decoded = double(TestMedia::decodeS16(file, 1).size()) / 2.0 / 44100.0;
    const double padding = pcm ? 0.0 : 1152.0 / 44100.0;
    p.audio = decoded > padding ? decoded - padding : decoded;
    return p;
}

// The frequency of a pure tone from its interpolated rising zero crossings.
double toneFrequency(const QByteArray &s16, int channels, int rate)
{
    const auto *v = reinterpret_cast<const qint16 *>(s16.constData());
    const qint64 frames = s16.size() / 2 / channels;
    double first = -1, last = -1;
    int crossings = 0;
    // Skip the edges, where the stretcher settles.
    for (qint64 i = frames / 10; i + 1 < frames * 9 / 10; ++i) {
        const double a = v[i * channels], b = v[(i + 1) * channels];
        if (a < 0 && b >= 0) {
            const double at = double(i) + (-a) / (b - a);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0.0;
}

// One frame at 25 frames per second.
constexpr double OneFrame = 0.04;

bool lasts(const QString &file, double expected, bool video, QString *why)
{
    const Played p = played(file);
    *why = QString("%1: picture %2 s, sound %3 s, expected %4 s").arg(file).arg(p.video).arg(p.audio).arg(expected);
    return std::fabs(p.audio - expected) <= OneFrame + 1e-6
        && (!video || std::fabs(p.video - expected) <= OneFrame + 1e-6);
}

// Alive and not a zombie.
bool alive(qint64 pid)
{
    if (::kill(pid_t(pid), 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return !(close > 0 && text.size() > close + 2 && text.at(close + 2) == 'Z');
}

// Every process below pid, from /proc.
QList<qint64> descendants(qint64 pid)
{
    QMultiHash<qint64, qint64> children;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 child = entry.toLongLong(&number);
        QFile stat("/proc/" + entry + "/stat");
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        children.insert(fields.value(1).toLongLong(), child);
    }
    QList<qint64> found;
    QList<qint64> queue{pid};
    while (!queue.isEmpty()) {
        const QList<qint64> next = children.values(queue.takeFirst());
        found += next;
        queue += next;
    }
    return found;
}

} // namespace

class tst_MediaExporter : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;     // 3 s, 320x240 at 25 fps, 1 kHz stereo tone
    QString longClip; // 4 s of the same
    QString exportTemp;

    static QSharedPointer<Media> project(const QString &file)
    {
        QSharedPointer<Media> media(new Media);
        media->addTrack(QSharedPointer<MediaTrack>(new MediaTrack(file, 0, file)));
        media->updateFragmentPositions();
        return media;
    }

    static QSharedPointer<VideoLoop> loop(int start, int end, float tempo, int count, int delay)
    {
        QSharedPointer<VideoLoop> l(new VideoLoop);
        l->setStartFrame(start);
        l->setEndFrame(end);
        l->setTempo(tempo);
        l->setPitch(0);
        l->setLoopCount(count);
        l->setDelay(delay);
        l->setVolume(100);
        return l;
    }

    static ExportOptions options(const QString &file, float tempo = 100, float pitch = 0)
    {
        ExportOptions o;
        o.file = file;
        o.tempo = tempo;
        o.pitch = pitch;
        o.volume = 100;
        o.cropArea = QRectF(0, 0, 1, 1);
        return o;
    }

    static QString makeClip(const QString &path, double seconds, const QString &rate = "25")
    {
        const QString d = QString::number(seconds);
        const bool ok = TestMedia::ffmpeg({"-f", "lavfi", "-i", "testsrc=s=320x240:r=" + rate + ":d=" + d, "-f",
                                           "lavfi", "-i", "sine=f=1000:r=44100:d=" + d, "-ac", "2", "-c:v",
                                           "libx264", "-preset", "ultrafast", "-g", "25", "-c:a", "aac", "-shortest",
                                           path});
        return ok ? path : QString();
    }

public:
    static void prepareProject(const QString &exportTemp)
    {
        OptionsHolder *o = holder();
        o->m_originalvideoWidth = o->m_videoWidth = 320;
        o->m_originalvideoHeight = o->m_videoHeight = 240;
        o->m_fps = 25.0f;
        o->m_numChannels = 2;
        o->m_audioSampleRate = 44100;
        o->m_exportTempDirPath = exportTemp + "/";
    }

    // The program of killedExportLeavesNothing: exports, and waits to be
    // killed.
    static int exportingChild(int argc, char **argv)
    {
        QCoreApplication app(argc, argv);
        WorkingFiles::setFolder(qEnvironmentVariable("TW_EXPORT_CHILD_JOURNALS"));
        prepareProject(qEnvironmentVariable("TW_EXPORT_CHILD_TEMP"));
        MediaExporter exporter;
        exporter.setMedia(project(qEnvironmentVariable("TW_EXPORT_CHILD_CLIP")));
        exporter.exportEntireMediaAsync(options(qEnvironmentVariable("TW_EXPORT_CHILD_OUT")));
        return app.exec();
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(dir.isValid());
        // The export temporary folder already holds things of the user's,
        // and its name has a blank and a quote.
        exportTemp = dir.filePath("user's export tmp");
        prepareProject(exportTemp);
        QVERIFY(QDir().mkpath(exportTemp + "/keep"));
        QFile keep(exportTemp + "/keep/notes.txt");
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("mine");
        keep.close();
        clip = makeClip(dir.filePath("clip.mp4"), 3.0);
        longClip = makeClip(dir.filePath("long.mp4"), 4.0);
        QVERIFY(!clip.isEmpty() && !longClip.isEmpty());
        QVERIFY(!MediaExporter::scriptPath().isEmpty());
    }

    void cleanup()
    {
        // Nothing of an export stays in the temporary folder, and nothing
        // that was there before goes.
        QCOMPARE(QDir(exportTemp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"keep"});
        QFile keep(exportTemp + "/keep/notes.txt");
        QVERIFY(keep.open(QIODevice::ReadOnly));
        QCOMPARE(keep.readAll(), QByteArray("mine"));
    }

    void formats_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("apple");
        QTest::addColumn<bool>("audioOnly");
        QTest::addColumn<float>("tempo");
        QTest::addColumn<QString>("videoCodec");
        QTest::addColumn<QString>("audioCodec");
        QTest::newRow("mp4 at 75 %") << "out.mp4" << false << false << 75.0f << "h264" << "mp3";
        QTest::newRow("mp4 for devices") << "apple.mp4" << true << false << 100.0f << "h264" << "aac";
        QTest::newRow("mov at 150 %") << "out.mov" << false << false << 150.0f << "h264" << "mp3";
        QTest::newRow("mpg at 50 %") << "out.mpg" << true << false << 50.0f << "mpeg1video" << "mp2";
        QTest::newRow("flv") << "out.flv" << false << false << 100.0f << "h264" << "mp3";
        QTest::newRow("wav at 80 %") << "out.wav" << false << true << 80.0f << "" << "pcm_s16le";
    }
    void formats()
    {
        QFETCH(QString, name);
        QFETCH(bool, apple);
        QFETCH(bool, audioOnly);
        QFETCH(float, tempo);
        QFETCH(QString, videoCodec);
        QFETCH(QString, audioCodec);
        MediaExporter exporter;
        exporter.setMedia(project(clip));
        ExportOptions o = options(dir.filePath(name), tempo);
        o.appleCompatible = apple;
        o.audioOnly = audioOnly;
        QSignalSpy finished(&exporter, &MediaExporter::processingFinished);
        QVERIFY2(exporter.exportEntireMedia(o), qPrintable(exporter.lastError()));
        QCOMPARE(finished.count(), 1);
        QString why;
        QVERIFY2(lasts(o.file, 3.0 * 100.0 / tempo, !audioOnly, &why), qPrintable(why));
        if (!videoCodec.isEmpty()) {
            QCOMPARE(probe(o.file, "stream=codec_name", "v:0"), videoCodec);
            QCOMPARE(probe(o.file, "stream=width,height", "v:0"), QString("320\n240"));
        }
        QCOMPARE(probe(o.file, "stream=codec_name", "a:0"), audioCodec);
    }

    void mpegGetsARateItAccepts()
    {
        // 29.97 frames per second is written as MPEG-1's own 30000/1001.
        const QString ntsc = makeClip(dir.filePath("ntsc.mp4"), 2.0, "30000/1001");
        QVERIFY(!ntsc.isEmpty());
        MediaExporter exporter;
        exporter.setMedia(project(ntsc));
        const ExportOptions o = options(dir.filePath("ntsc.mpg"));
        QVERIFY2(exporter.exportEntireMedia(o), qPrintable(exporter.lastError()));
        QCOMPARE(probe(o.file, "stream=r_frame_rate", "v:0"), QString("30000/1001"));
    }

    void toneIsShiftedByThePitch()
    {
        const QString tone = dir.filePath("tone.wav");
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "sine=f=1000:r=44100:d=3", "-ac", "2", tone}));
        MediaExporter exporter;
        exporter.setMedia(project(tone));
        ExportOptions o = options(dir.filePath("tone+2.wav"), 100, 2);
        o.audioOnly = true;
        QVERIFY2(exporter.exportEntireMedia(o), qPrintable(exporter.lastError()));
        const double f = toneFrequency(TestMedia::decodeS16(o.file, 2), 2, 44100);
        const double cents = 1200.0 * std::log2(f / (1000.0 * std::pow(2.0, 2.0 / 12.0)));
        QVERIFY2(std::fabs(cents) <= 2.0, qPrintable(QString("%1 Hz, %2 cents").arg(f).arg(cents)));
    }

    void loopsUnrolled_data()
    {
        QTest::addColumn<bool>("audioOnly");
        QTest::addColumn<bool>("useLoopCount");
        QTest::addColumn<double>("expected");
        // 3 s clip, a loop over 1 s to 2 s at 50 %, count 3 (three jumps
        // back: four passes), 1 s pause: 1 + 4 x 2 + 3 x 1 + 1 with the
        // counts, 1 + 2 + 1 without.
        QTest::newRow("video, counted") << false << true << 13.0;
        QTest::newRow("video, once") << false << false << 4.0;
        QTest::newRow("audio, counted") << true << true << 13.0;
    }
    void loopsUnrolled()
    {
        QFETCH(bool, audioOnly);
        QFETCH(bool, useLoopCount);
        QFETCH(double, expected);
        QSharedPointer<Media> media = project(clip);
        media->getTimeline()->addLoop(loop(25, 50, 50, 3, 1));
        MediaExporter exporter;
        exporter.setMedia(media);
        ExportOptions o = options(dir.filePath(audioOnly ? "loops.wav" : "loops.mp4"));
        o.audioOnly = audioOnly;
        o.useLoopCount = useLoopCount;
        QVERIFY2(exporter.exportEntireMedia(o), qPrintable(exporter.lastError()));
        QString why;
        QVERIFY2(lasts(o.file, expected, !audioOnly, &why), qPrintable(why));
    }

    void loopPassesAndPausesAsPlayed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("delay");
        QTest::newRow("count 2, 1 s pause, wav") << "passes.wav" << 2 << 1;
        QTest::newRow("count 2, 1 s pause, mp4") << "passes.mp4" << 2 << 1;
        QTest::newRow("count 1, 2 s pause, mp4") << "passes2.mp4" << 1 << 2;
        QTest::newRow("count 0: played once") << "once.wav" << 0 << 1;
        QTest::newRow("no pause below a second") << "nopause.wav" << 2 << 0;
    }
    void loopPassesAndPausesAsPlayed()
    {
        // The sound's level rises with the clip's time, so a level read
        // from the output tells which moment of the clip is heard.
        QFETCH(QString, name);
        QFETCH(int, count);
        QFETCH(int, delay);
        const QString ramp = dir.filePath("ramp.mp4");
        if (!QFileInfo::exists(ramp)) {
            QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=3", "-f", "lavfi", "-i",
                                       "aevalsrc='(0.1+0.2*t)*sin(2*PI*500*t)':s=44100:d=3", "-ac", "2", "-c:v",
                                       "libx264", "-preset", "ultrafast", "-g", "25", "-c:a", "pcm_s16le",
                                       "-shortest", dir.filePath("ramp.mkv")}));
            QVERIFY(QFile::rename(dir.filePath("ramp.mkv"), ramp));
        }
        QSharedPointer<Media> media = project(ramp);
        media->getTimeline()->addLoop(loop(25, 50, 100, count, delay));
        MediaExporter exporter;
        exporter.setMedia(media);
        ExportOptions o = options(dir.filePath(name));
        o.audioOnly = name.endsWith(".wav");
        o.useLoopCount = true;
        QVERIFY2(exporter.exportEntireMedia(o), qPrintable(exporter.lastError()));

        // The level (RMS) of every 20 ms of the output.
        const QByteArray sound = TestMedia::decodeS16(o.file, 1);
        const auto *v = reinterpret_cast<const qint16 *>(sound.constData());
        const int window = 882;
        QVector<double> level;
        for (qint64 i = 0; i + window <= sound.size() / 2; i += window) {
            double power = 0;
            for (int j = 0; j < window; ++j)
                power += double(v[i + j]) * v[i + j];
            level << std::sqrt(power / window) / 32768.0 * std::sqrt(2.0);
        }
        // The level at a moment of the output. Up to the end of the first
        // pass (2 s) the output is the clip as it stands, so the level at a
        // clip time t is the output's at t.
        const auto at = [&](double seconds) { return level.value(int(seconds / 0.02)); };
        // Silent stretches: the pauses, with the levels 0.2 s around them.
        struct Pause { double start, length, before, after; };
        QVector<Pause> pauses;
        for (int i = 0; i < level.size(); ++i) {
            if (level[i] > 0.01)
                continue;
            int j = i;
            while (j < level.size() && level[j] <= 0.01)
                ++j;
            if (i > 10 && j + 10 < level.size())
                pauses << Pause{i * 0.02, (j - i) * 0.02, level[i - 10], level[j + 10]};
            i = j;
        }
        const int passes = count + 1;
        const int expectedPauses = delay >= 1 ? count : 0;
        QCOMPARE(pauses.size(), expectedPauses);
        for (int k = 0; k < pauses.size(); ++k) {
            const Pause &p = pauses[k];
            const QString where = QString("pause %1 at %2 s: %3 s long, level %4 before (clip 1.8 s: %5), "
                                          "%6 after (clip 1.2 s: %7)")
                                      .arg(k).arg(p.start).arg(p.length).arg(p.before).arg(at(1.8))
                                      .arg(p.after).arg(at(1.2));
            // The pause lasts the delay; before it the loop's end was heard,
            // after it the loop's start.
            QVERIFY2(std::fabs(p.length - delay) <= 0.05, qPrintable(where));
            QVERIFY2(std::fabs(p.before - at(1.8)) <= 0.1 * at(1.8), qPrintable(where));
            QVERIFY2(std::fabs(p.after - at(1.2)) <= 0.1 * at(1.2), qPrintable(where));
            // Pass k + 2 starts after this pause: the gap, k + 1 passes and k
            // pauses before it.
            QVERIFY2(std::fabs(p.start - (1.0 + (k + 1) * 1.0 + k * delay)) <= 0.05, qPrintable(where));
        }
        QString why;
        QVERIFY2(lasts(o.file, 1.0 + passes * 1.0 + expectedPauses * delay + 1.0, !o.audioOnly, &why),
                 qPrintable(why));
    }

    void allLoopsAndOneLoop()
    {
        QSharedPointer<Media> media = project(clip);
        // A loop tempo of 0 (an unreadable project value) plays at 100 %.
        media->getTimeline()->addLoop(loop(0, 25, 0, 2, 0));
        media->getTimeline()->addLoop(loop(50, 75, 200, 2, 0));
        MediaExporter exporter;
        exporter.setMedia(media);
        ExportOptions o = options(dir.filePath("all loops.mp4"));
        o.useLoopCount = true;
        QVERIFY2(exporter.exportAllLoops(o), qPrintable(exporter.lastError()));
        QString why;
        // Count 2: three passes of each.
        QVERIFY2(lasts(o.file, 3 * 1.0 + 3 * 0.5, true, &why), qPrintable(why));
        o.file = dir.filePath("one loop.mp4");
        MediaExporter second;
        second.setMedia(media);
        QVERIFY2(second.exportLoop(media->getTimeline()->getLoops().at(1).data(), o), qPrintable(second.lastError()));
        QVERIFY2(lasts(o.file, 3 * 0.5, true, &why), qPrintable(why));
    }

    void switchedOffTracks()
    {
        // Picture off: black from the silence file; sound off: silence.
        QSharedPointer<Media> media = project(clip);
        media->getTrackFragments().first()->playVideo = false;
        media->getTrackFragments().first()->playAudio = false;
        MediaExporter exporter;
        exporter.setMedia(media);
        const ExportOptions o = options(dir.filePath("switched off.mp4"), 150);
        QVERIFY2(exporter.exportEntireMedia(o), qPrintable(exporter.lastError()));
        QString why;
        QVERIFY2(lasts(o.file, 2.0, true, &why), qPrintable(why));
        QProcess frame;
        frame.start(Util::externalProgram("ffmpeg"), {"-v", "error", "-ss", "1", "-i", o.file, "-frames:v", "1",
                                                       "-f", "rawvideo", "-pix_fmt", "gray", "-"});
        QVERIFY(frame.waitForFinished(60000));
        const QByteArray gray = frame.readAllStandardOutput();
        QCOMPARE(gray.size(), 320 * 240);
        qint64 sum = 0;
        for (char c : gray)
            sum += uchar(c);
        QVERIFY2(sum / gray.size() < 24, qPrintable(QString::number(sum / gray.size())));
        const QByteArray sound = TestMedia::decodeS16(o.file, 1);
        const auto *v = reinterpret_cast<const qint16 *>(sound.constData());
        int peak = 0;
        for (int i = 0; i < sound.size() / 2; ++i)
            peak = qMax(peak, qAbs(int(v[i])));
        QVERIFY2(peak < 40, qPrintable(QString::number(peak)));
    }

    void awkwardNames()
    {
        const QString folder = dir.filePath("a folder with blanks");
        const QString source = folder + "/it's \"quoted\" – ü.mp4";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(clip, source));
        MediaExporter exporter;
        exporter.setMedia(project(source));
        const ExportOptions o = options(folder + "/don't $(touch x) ü.mp4");
        QVERIFY2(exporter.exportEntireMedia(o), qPrintable(exporter.lastError()));
        QString why;
        QVERIFY2(lasts(o.file, 3.0, true, &why), qPrintable(why));
        QVERIFY(!QFile::exists(QDir::current().filePath("x")));
        // An ordinary file, not the private one the temporary file was.
        QVERIFY(QFile::permissions(o.file) & QFileDevice::ReadOther);
        // Only the output was added beside the source.
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
    }

    void cancelKeepsTheOldOutput()
    {
        const QString out = dir.filePath("kept.mp4");
        QFile old(out);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an earlier export");
        old.close();
        MediaExporter exporter;
        exporter.setMedia(project(longClip));
        QSignalSpy finished(&exporter, &MediaExporter::processingFinished);
        QSignalSpy failed(&exporter, &MediaExporter::processingFailed);
        // The audio is the first half of the progress; past it the last (and
        // only) fragment's picture is being encoded.
        std::atomic<int> progress{0};
        connect(&exporter, &MediaExporter::progressChanged, this, [&progress](int p) { progress = p; },
                Qt::DirectConnection);
        exporter.exportEntireMediaAsync(options(out, 25));
        QTRY_VERIFY_WITH_TIMEOUT(progress >= 52, 60000);
        QVERIFY(exporter.isRunning());
        exporter.stop();
        exporter.wait();
        QCOMPARE(finished.count(), 0);
        QCOMPARE(failed.count(), 0);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("an earlier export"));
        old.close();
        QCOMPARE(QDir(dir.path()).entryList({".kept*"}, QDir::Files | QDir::Hidden), QStringList());
    }

    // A program killed with SIGKILL in the middle of an export leaves no
    // tool running (ffmpeg under the fragment script included), and its
    // working files go at the next start.
    void killedExportLeavesNothing()
    {
        const QString journals = dir.filePath("journals");
        const QString out = dir.filePath("killed.mp4");
        const QString ready = dir.filePath("killed.ready");
        // The fragment's encoder stands in for an ffmpeg that is busy (and
        // quiet) until it is killed, with a helper of its own; every other
        // run is the real ffmpeg.
        const QString bin = dir.filePath("standin-bin");
        QVERIFY(QDir().mkpath(bin));
        QFile standIn(bin + "/ffmpeg");
        QVERIFY(standIn.open(QIODevice::WriteOnly));
        standIn.write("#!/bin/sh\n"
                      "case \" $* \" in\n"
                      "*\" -filter:v \"*)\n"
                      "    sleep 600 &\n"
                      "    echo $$ $! > \"$TW_STANDIN_READY.tmp\"; mv \"$TW_STANDIN_READY.tmp\" \"$TW_STANDIN_READY\"\n"
                      "    wait ;;\n"
                      "*) exec \"$TW_REAL_FFMPEG\" \"$@\" ;;\n"
                      "esac\n");
        standIn.close();
        QVERIFY(standIn.setPermissions(standIn.permissions() | QFile::ExeOwner));

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TW_REAL_FFMPEG", Util::externalProgram("ffmpeg"));
        env.insert("PATH", bin + ":" + env.value("PATH"));
        env.insert("TW_STANDIN_READY", ready);
        env.insert("TW_EXPORT_CHILD_JOURNALS", journals);
        env.insert("TW_EXPORT_CHILD_TEMP", exportTemp);
        env.insert("TW_EXPORT_CHILD_CLIP", longClip);
        env.insert("TW_EXPORT_CHILD_OUT", out);
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(program.waitForStarted(60000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ready), 240000);
        // The encoder (the fragment script became it) and its helper, and
        // whatever else runs below the program.
        const QList<qint64> tools = descendants(program.processId());
        QFile pids(ready);
        QVERIFY(pids.open(QIODevice::ReadOnly));
        for (const QByteArray &pid : pids.readAll().simplified().split(' '))
            QVERIFY2(tools.contains(pid.toLongLong()), pid.constData());
        ::kill(pid_t(program.processId()), SIGKILL);
        QVERIFY(program.waitForFinished(60000));
        for (const qint64 pid : std::as_const(tools))
            QTRY_VERIFY_WITH_TIMEOUT(!alive(pid), 30000);

        // Left behind: the output in the making and the working folder.
        const QStringList partial{".killed-*"};
        QCOMPARE(QDir(dir.path()).entryList(partial, QDir::Files | QDir::Hidden).size(), 1);
        QCOMPARE(QDir(exportTemp).entryList({"export-*"}, QDir::Dirs).size(), 1);
        // The next start removes them.
        WorkingFiles::setFolder(journals);
        QCOMPARE(WorkingFiles::removeLeftovers().size(), 2);
        QCOMPARE(QDir(dir.path()).entryList(partial, QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(!QFile::exists(out));
        QFile::remove(ready);
    }

    void failuresNameTheStep()
    {
        // The picture's source has gone after its audio was extracted: the
        // fragment's encoding fails and says so.
        const QString gone = dir.filePath("gone.mp4");
        QVERIFY(QFile::copy(clip, gone));
        QSharedPointer<Media> media = project(gone);
        QVERIFY(ResourceManager::tryExtractAudioSamples(media->getTrackFragments().first()->track, nullptr));
        QVERIFY(QFile::remove(gone));
        const QString out = dir.filePath("failed.mp4");
        QFile old(out);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("before");
        old.close();
        MediaExporter exporter;
        exporter.setMedia(media);
        QSignalSpy finished(&exporter, &MediaExporter::processingFinished);
        QSignalSpy failed(&exporter, &MediaExporter::processingFailed);
        QVERIFY(!exporter.exportEntireMedia(options(out)));
        QCOMPARE(finished.count(), 0);
        QCOMPARE(failed.count(), 1);
        QVERIFY2(exporter.lastError().startsWith("Encoding fragment 0_0 failed"), qPrintable(exporter.lastError()));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("before"));
        old.close();

        // An output whose folder cannot be made.
        MediaExporter second;
        second.setMedia(project(clip));
        QVERIFY(!second.exportEntireMedia(options(out + "/inside.mp4")));
        QVERIFY2(second.lastError().startsWith("Cannot create the folder"), qPrintable(second.lastError()));
    }

    void segmentLists()
    {
        QSharedPointer<Media> media = project(clip);
        MediaExporter exporter;
        exporter.setMedia(media);
        MediaExporter::SegmentList none = exporter.convertTimeLineToSegments(90, 1, 80);
        QCOMPARE(none.size(), 1);
        QCOMPARE(none.at(0).segment->start.unitCount, qint64(0));
        QCOMPARE(none.at(0).segment->start.unitCount + none.at(0).segment->length.unitCount,
                 media->getDuration().unitCount - 1);
        QCOMPARE(none.at(0).tempo, 90.0f);
        QCOMPARE(none.at(0).volume, 80.0f);

        media->getTimeline()->addLoop(loop(0, 10, 50, 3, 2));
        media->getTimeline()->addLoop(loop(30, 40, 0, 1, 0));
        const MediaExporter::SegmentList two = exporter.convertTimeLineToSegments(100, 0, 100);
        QCOMPARE(two.size(), 5);
        QVERIFY(!two.at(0).segment || two.at(0).segment->length.unitCount == 0); // loop at frame 0
        QCOMPARE(two.at(1).tempo, 50.0f);
        QCOMPARE(two.at(1).repeat, 4); // count 3: three jumps back, four passes
        QCOMPARE(two.at(1).delay, 2);
        QCOMPARE(two.at(2).segment->length.unitCount, qint64(800000));
        QCOMPARE(two.at(3).tempo, 100.0f); // tempo 0 means unchanged
    }

    void fragmentArguments_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<float>("tempo");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("apple");
        QTest::addColumn<QStringList>("expected"); // arguments 1, 3, 4, 5, 8, 17
        const QString x264 = "-codec:v libx264 -profile:v main -preset slow -threads 0";
        QTest::newRow("start 3 s") << 3.0 << 100.0f << "mp4" << false
                                   << QStringList{"3.00000", "0.00000", "2.00000", "1.00000", x264, "mp3"};
        QTest::newRow("start 12.5 s at 50 %") << 12.5 << 50.0f << "mp4" << true
                                              << QStringList{"7.50000", "10.00000", "4.00000", "2.00000", x264, "aac"};
        QTest::newRow("mpg") << 0.0 << 100.0f << "mpg" << true
                             << QStringList{"0.00000", "0.00000", "2.00000", "1.00000", "-vcodec mpeg1video", "mp2"};
        QTest::newRow("MPG is not mpg") << 0.0 << 100.0f << "MPG" << false
                                        << QStringList{"0.00000", "0.00000", "2.00000", "1.00000", x264, "mp3"};
        QTest::newRow("tempo 0") << 0.0 << 0.0f << "mov" << false
                                 << QStringList{"0.00000", "0.00000", "2.00000", "1.00000", x264, "mp3"};
    }
    void fragmentArguments()
    {
        QFETCH(double, start);
        QFETCH(float, tempo);
        QFETCH(QString, extension);
        QFETCH(bool, apple);
        QFETCH(QStringList, expected);
        MediaExporter::FragmentCommand c;
        c.startSeconds = start;
        c.lengthSeconds = 2.0;
        c.tempo = tempo;
        c.extension = extension;
        ExportOptions o;
        o.appleCompatible = apple;
        const QStringList args = MediaExporter::fragmentArguments(c, o);
        QCOMPARE(args.size(), 17);
        QCOMPARE((QStringList{args[0], args[2], args[3], args[4], args[7], args[16]}), expected);
    }

    void frameSizes_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("expected");
        QTest::newRow("rounded down") << QSize(722, 480) << "720:480";
        QTest::newRow("project's source size") << QSize(-1, -1) << "320:240";
        QTest::newRow("too small") << QSize(8, 8) << "320:240";
    }
    void frameSizes()
    {
        QFETCH(QSize, size);
        QFETCH(QString, expected);
        ExportOptions o;
        o.videoSize = size;
        QCOMPARE(MediaExporter::frameSizeArgument(o), expected);
    }

    void frameRates_data()
    {
        QTest::addColumn<float>("fps");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("expected");
        QTest::newRow("mp4 keeps its rate") << 29.97f << "mp4" << "29.970";
        QTest::newRow("mpg NTSC") << 29.97f << "mpg" << "30000/1001";
        QTest::newRow("mpg 15 fps") << 15.0f << "mpg" << "24000/1001";
        QTest::newRow("mpg 25") << 25.0f << "mpg" << "25";
        QTest::newRow("unknown") << 0.0f << "mov" << "25.000";
    }
    void frameRates()
    {
        QFETCH(float, fps);
        QFETCH(QString, extension);
        QFETCH(QString, expected);
        QCOMPARE(MediaExporter::frameRateArgument(fps, extension), expected);
    }

    void concatQuoting_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << "/tmp/a.mp4" << "file '/tmp/a.mp4'\n";
        QTest::newRow("blank") << "/tmp/a b.mp4" << "file '/tmp/a b.mp4'\n";
        QTest::newRow("quote") << "/tmp/it's.mp4" << "file '/tmp/it'\\''s.mp4'\n";
        QTest::newRow("backslash") << "/tmp/a\\b.mp4" << "file '/tmp/a\\b.mp4'\n";
    }
    void concatQuoting()
    {
        QFETCH(QString, path);
        QFETCH(QString, line);
        QCOMPARE(MediaExporter::concatListLine(path), line);
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("TW_EXPORT_CHILD_OUT"))
        return tst_MediaExporter::exportingChild(argc, argv);
    QCoreApplication app(argc, argv);
    tst_MediaExporter test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_MediaExporter.moc"
