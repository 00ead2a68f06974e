// An edited project exported to mp4 shows, at every moment of the output,
// the picture its edit list puts there: every output frame is decoded to
// the source frame number drawn into it and compared with the time the
// edit list gives, piece by piece (a section deleted, a section silenced,
// silence inserted, a loop at its own tempo and pitch with a repeat after a
// pause, the rest at the project's tempo). The sound is silent where the
// edit list says so.
#include "TestEnv.h"
#include "TestMedia.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "io/MediaExporter.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"
#include "model/VideoLoop.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace TW;
using TW::test::TestMedia;

namespace {

constexpr double Fps = 25.0;
constexpr int Bits = 10;          // bars of the frame number
constexpr int Bars = Bits + 1;    // and one always white: a picture of the clip
constexpr int BarWidth = 16;
constexpr int Width = Bars * BarWidth;
constexpr int Height = 32;

// The frame number of every picture of a file (-1: not a picture of the
// clip, such as black), each bar averaged to one grey value.
QVector<int> frameNumbers(const QString &file)
{
    QProcess p;
    p.start(Util::externalProgram("ffmpeg"), {"-v", "error", "-i", file, "-vf",
                                              QString("scale=%1:1:flags=area").arg(Bars), "-f", "rawvideo",
                                              "-pix_fmt", "gray", "-"});
    p.waitForFinished(120000);
    const QByteArray raw = p.readAllStandardOutput();
    QVector<int> numbers;
    for (int i = 0; i + Bars <= raw.size(); i += Bars) {
        const auto *bar = reinterpret_cast<const uchar *>(raw.constData() + i);
        int value = 0;
        bool clear = bar[Bits] > 200;
        for (int b = 0; b < Bits && clear; ++b) {
            if (bar[b] > 200)
                value |= 1 << b;
            else if (bar[b] > 55)
                clear = false; // a blend of two pictures, or no bars
        }
        numbers << (clear ? value : -1);
    }
    return numbers;
}

// One piece of the output as the edit list gives it.
struct Piece
{
    QString what;
    double outStart = 0;  // seconds of output
    double outLength = 0;
    double mediaStart = 0; // seconds of the clip; < 0: black
    double speed = 1;      // seconds of clip per second of output (0: held)
    bool audible = true;
};

} // namespace

class tst_ExportedPictures : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString source; // the clip as the input converter leaves it
    QString silence;

    static QSharedPointer<MediaTrackFragment> fragment(const QString &file, double from, double to, bool audio)
    {
        QSharedPointer<MediaTrackFragment> f(new MediaTrackFragment);
        f->track = QSharedPointer<MediaTrack>(new MediaTrack(file, 0, file));
        f->startPosition = Time(qint64(from * 1e6));
        f->endPosition = Time(qint64(to * 1e6));
        f->playAudio = audio;
        return f;
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(dir.isValid());
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        o->m_originalvideoWidth = o->m_videoWidth = Width;
        o->m_originalvideoHeight = o->m_videoHeight = Height;
        o->m_fps = float(Fps);
        o->m_numChannels = 2;
        o->m_audioSampleRate = 44100;
        o->m_exportTempDirPath = dir.filePath("export") + "/";
        // Frame N shows N in binary as white bars, with a white marker bar.
        const QString bit = QString("bitand(N\\,pow(2\\,floor(X/%1)))").arg(BarWidth);
        const QString picture = QString("color=c=black:s=%1x%2:r=25:d=12,format=gray,"
                                        "geq=lum='if(gte(floor(X/%3)\\,%4)\\,255\\,if(%5\\,255\\,0))'")
                                    .arg(Width)
                                    .arg(Height)
                                    .arg(BarWidth)
                                    .arg(Bits)
                                    .arg(bit);
        const QString made = dir.filePath("numbers.mp4");
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", picture, "-f", "lavfi", "-i", "sine=f=440:r=44100:d=12",
                                   "-ac", "2", "-c:v", "libx264", "-preset", "ultrafast", "-qp", "0", "-c:a", "aac",
                                   "-shortest", made}));
        // What the program plays and exports from: MPEG-2 with a key picture
        // every 4 frames and PCM sound, in AVI.
        source = dir.filePath("numbers.avi");
        QVERIFY(TestMedia::ffmpeg({"-i", made, "-vcodec", "mpeg2video", "-g", "4", "-r", "25", "-vb", "10M",
                                   "-acodec", "pcm_s16le", "-ar", "44100", "-ac", "2", source}));
        silence = MediaExporter::silenceFilePath();
        if (!QFileInfo::exists(silence))
            QSKIP("The build made no silence file (no ffmpeg at build time).");
    }

    void editedProjectStaysInStep()
    {
        // The edit list: 2 s to 3 s deleted, 4 s to 5.08 s silenced, a second
        // of silence inserted after it, then the rest; the second fragment
        // after the silence starts just past 5 s of the clip.
        QSharedPointer<Media> media(new Media);
        media->replaceTrackFragments({fragment(source, 0.0, 2.0, true), fragment(source, 3.0, 4.0, true),
                                      fragment(source, 4.0, 5.08, false), fragment(silence, 0.0, 1.0, false),
                                      fragment(source, 5.08, 11.0, true)});
        media->updateFragmentPositions();
        QCOMPARE(media->getDuration().unitCount, qint64(11000000));
        // A loop over 8 s to 9 s (of the timeline and of the clip: the second
        // deleted and the second inserted make up for each other) at 60 %
        // and +4, played twice with a pause of a second between.
        QSharedPointer<VideoLoop> loop(new VideoLoop);
        loop->setStartFrame(200);
        loop->setEndFrame(225);
        loop->setTempo(60);
        loop->setPitch(4);
        loop->setLoopCount(1);
        loop->setDelay(1);
        loop->setVolume(100);
        media->getTimeline()->addLoop(loop);

        // The output as the edit list gives it, at 75 % outside the loop.
        const double project = 0.75, inLoop = 0.6;
        QVector<Piece> pieces;
        double at = 0;
        const auto add = [&](const QString &what, double from, double length, double speed, bool audible) {
            const double out = speed > 0 ? length / speed : length;
            pieces << Piece{what, at, out, from, speed, audible};
            at += out;
        };
        add("clip 0-2", 0.0, 2.0, project, true);
        add("clip 3-4", 3.0, 1.0, project, true);
        add("clip 4-5.08, silenced", 4.0, 1.08, project, false);
        add("inserted silence", -1, 1.0, project, false);
        add("clip 5.08-8 (start past 5 s)", 5.08, 2.92, project, true);
        add("loop, first pass", 8.0, 1.0, inLoop, true);
        add("pause before the repeat", 8.96, 1.0, 0, false);
        add("loop, repeat", 8.0, 1.0, inLoop, true);
        add("tail", 9.0, 2.0, project, true);

        MediaExporter exporter;
        exporter.setMedia(media);
        ExportOptions o;
        o.file = dir.filePath("edited.mp4");
        o.tempo = 75;
        o.pitch = 2;
        o.volume = 100;
        o.useLoopCount = true;
        o.videoSize = QSize(Width, Height);
        o.cropArea = QRectF(0, 0, 1, 1);
        QVERIFY2(exporter.exportEntireMedia(o), qPrintable(exporter.lastError()));

        const QVector<int> numbers = frameNumbers(o.file);
        QVERIFY2(std::abs(numbers.size() - qRound(at * Fps)) <= 1,
                 qPrintable(QString("%1 frames for %2 s").arg(numbers.size()).arg(at)));
        // Away from the joins (a piece is rounded to whole frames), each
        // picture is the clip's picture of its moment, within two frames.
        const double tolerance = 2.0 / Fps + 1e-6;
        for (const Piece &piece : pieces) {
            int checked = 0;
            double worst = 0;
            QString where;
            for (int i = 0; i < numbers.size(); ++i) {
                const double t = i / Fps;
                if (t < piece.outStart + 0.07 || t > piece.outStart + piece.outLength - 0.07)
                    continue;
                ++checked;
                if (piece.mediaStart < 0) {
                    QVERIFY2(numbers[i] == -1, qPrintable(QString("%1: at %2 s of output frame %3 instead of black")
                                                              .arg(piece.what).arg(t).arg(numbers[i])));
                    continue;
                }
                const double expected = piece.mediaStart + (t - piece.outStart) * piece.speed;
                const double shown = numbers[i] < 0 ? -100.0 : numbers[i] / Fps;
                if (std::fabs(shown - expected) > worst) {
                    worst = std::fabs(shown - expected);
                    where = QString("at %1 s of output clip %2 s instead of %3 s").arg(t).arg(shown).arg(expected);
                }
            }
            QVERIFY2(checked >= 10, qPrintable(piece.what));
            QVERIFY2(worst <= tolerance, qPrintable(piece.what + ": " + where));
        }

        // The sound: silent in the silenced section, the inserted silence
        // and the pause; heard elsewhere (away from the joins, where the
        // stretcher settles).
        const QByteArray sound = TestMedia::decodeS16(o.file, 1);
        const auto *samples = reinterpret_cast<const qint16 *>(sound.constData());
        const qint64 count = sound.size() / 2;
        for (const Piece &piece : pieces) {
            const qint64 from = qint64((piece.outStart + 0.15) * 44100), to = qint64((piece.outStart + piece.outLength - 0.15) * 44100);
            QVERIFY2(to <= count, qPrintable(piece.what + ": the sound ends early"));
            double power = 0;
            for (qint64 i = from; i < to; ++i)
                power += double(samples[i]) * samples[i];
            const double rms = std::sqrt(power / double(qMax<qint64>(1, to - from)));
            if (piece.audible)
                QVERIFY2(rms > 800, qPrintable(QString("%1: level %2").arg(piece.what).arg(rms)));
            else
                QVERIFY2(rms < 50, qPrintable(QString("%1: level %2").arg(piece.what).arg(rms)));
        }
    }
};

QTEST_GUILESS_MAIN(tst_ExportedPictures)
#include "tst_ExportedPictures.moc"
