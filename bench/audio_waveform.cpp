// One hour of stereo audio through the audio extraction and the waveform
// rendering, each timed against its reference from the same run:
//   extraction  / ffmpeg decoding the same source to raw 16-bit samples
//   waveform    / one plain read of the sample file (the physical floor)
//   waveform    / ffmpeg's showwavespic on the same samples
// Usage: bench_audio_waveform [minutes] [--aac] [--source=FILE]
// (default 60 minutes of PCM in AVI, the form of the converted files; --aac
// makes an AAC source, which the extraction transcodes; --source takes an
// existing file instead of making one).
#include "core/Util.h"
#include "io/AudioDataExtractor.h"
#include "io/AudioRenderer.h"
#include "core/VlcMedia.h"
#include "model/MediaTrack.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QReadWriteLock>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

namespace {

QTextStream out(stdout);

// Runs ffmpeg and returns its wall time in seconds, or -1 on failure.
double runFfmpeg(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(TW::Util::externalProgram(QStringLiteral("ffmpeg")), QStringList{"-y", "-hide_banner", "-loglevel", "error", "-nostdin"} + args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return t.elapsed() / 1000.0;
}

double plainRead(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    QElapsedTimer t;
    t.start();
    qint64 sum = 0;
    for (qint64 n; (n = f.read(buffer.data(), buffer.size())) > 0;)
        sum += buffer.at(int(n - 1));
    const double s = t.elapsed() / 1000.0;
    if (sum == 42) // keep the reads
        out << "";
    return s;
}

// Whether two files hold the same bytes; on a difference, where it is.
QString sameBytes(const QString &a, const QString &b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read");
    for (qint64 at = 0;; ) {
        const QByteArray x = fa.read(1 << 22), y = fb.read(1 << 22);
        if (x != y) {
            qint64 i = 0;
            while (i < x.size() && i < y.size() && x[int(i)] == y[int(i)])
                ++i;
            return QStringLiteral("first difference at byte %1").arg(at + i);
        }
        if (x.isEmpty())
            return QStringLiteral("identical");
        at += x.size();
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("TW_TEST_MODE"))
        qputenv("TW_TEST_MODE", "1"); // libvlc without sound card or display
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type >= QtWarningMsg)
            QTextStream(stderr) << msg << Qt::endl;
    });

    int minutes = 60;
    bool aac = false;
    QString given;
    for (const QString &a : app.arguments().mid(1)) {
        if (a == "--aac")
            aac = true;
        else if (a.startsWith("--source="))
            given = a.mid(9);
        else if (a.toInt() > 0)
            minutes = a.toInt();
    }

    QTemporaryDir dir;
    const QString source = given.isEmpty() ? dir.filePath(aac ? "source.m4a" : "source.avi") : given;
    const QString extracted = dir.filePath("extracted.raw");
    const QString reference = dir.filePath("ffmpeg.raw");
    const QString png = dir.filePath("showwavespic.png");
    int seconds = minutes * 60;

    if (given.isEmpty())
        out << "Making " << minutes << " minutes of stereo audio (" << (aac ? "AAC" : "16-bit PCM in AVI")
        << ")..." << Qt::endl;
    // Two beating tones under a slow swell, so the waveform is not flat.
    const QString tones = QString("aevalsrc=exprs='(0.3+0.3*sin(2*PI*t/37))*sin(2*PI*440*t)|"
                                  "(0.3+0.3*sin(2*PI*t/53))*sin(2*PI*554*t)':s=44100:d=%1")
                              .arg(seconds);
    QStringList make{"-f", "lavfi", "-i", tones};
    make << (aac ? QStringList{"-c:a", "aac", "-b:a", "128k"} : QStringList{"-c:a", "pcm_s16le"}) << source;
    if (given.isEmpty() && runFfmpeg(make) < 0) {
        out << "ffmpeg could not make the source" << Qt::endl;
        return 1;
    }

    // Extraction through libvlc's stream output.
    TW::MediaTrack track(source, 0, source);
    int id = 0;
    if (track.getMedia() && !track.getMedia()->getMediaInfo().audioTracks.isEmpty())
        id = track.getMedia()->getMediaInfo().audioTracks.first().trackId;
    TW::MediaTrack chosen(source, id, source);
    if (!given.isEmpty())
        seconds = int(chosen.getDuration().unitCount / 1000000);
    TW::AudioDataExtractor extractor;
    QElapsedTimer t;
    t.start();
    const bool ok = extractor.exportToFile(&chosen, extracted);
    const double extractSeconds = t.elapsed() / 1000.0;
    if (!ok) {
        out << "extraction failed: " << extractor.lastError() << Qt::endl;
        return 1;
    }
    const double ffmpegSeconds = runFfmpeg({"-i", source, "-f", "s16le", "-ac", "2", "-ar", "44100", reference});

    // Waveform: warm the page cache first so both sides read from memory.
    plainRead(extracted);
    const double readSeconds = plainRead(extracted);
    QFile file(extracted);
    file.open(QIODevice::ReadOnly);
    QReadWriteLock lock;
    TW::AudioRenderer renderer;
    t.restart();
    const QImage image = renderer.render(&file, &lock, 800, 60);
    const double waveSeconds = t.elapsed() / 1000.0;
    const double showwavesSeconds = runFfmpeg({"-f", "s16le", "-ar", "44100", "-ac", "2", "-i", extracted,
                                               "-filter_complex", "showwavespic=s=32000x60", "-frames:v", "1",
                                               "-update", "1", png});

    const double mb = QFileInfo(extracted).size() / 1048576.0;
    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(3);
    out << "threads:                      " << QThread::idealThreadCount() << Qt::endl;
    const qint64 bytes = QFileInfo(extracted).size(), refBytes = QFileInfo(reference).size();
    out << "sample file:                  " << mb << " MB, " << bytes << " bytes (ffmpeg: " << refBytes
        << " bytes" << (bytes == refBytes ? ", the same length" : ", NOT the same length") << ")" << Qt::endl;
    out << "extracted vs ffmpeg samples:  " << sameBytes(extracted, reference) << Qt::endl;
    out << "extraction:                   " << extractSeconds << " s, " << seconds / extractSeconds
        << " x realtime" << Qt::endl;
    out << "ffmpeg to s16le:              " << ffmpegSeconds << " s" << Qt::endl;
    out << "extraction / ffmpeg:          " << extractSeconds / ffmpegSeconds << " (aim <= 1.5)" << Qt::endl;
    out << "plain read of the samples:    " << readSeconds << " s, " << mb / readSeconds << " MB/s" << Qt::endl;
    out << "waveform:                     " << waveSeconds << " s, image " << image.width() << "x"
        << image.height() << Qt::endl;
    out << "waveform / plain read:        " << waveSeconds / readSeconds << " (aim <= 3)" << Qt::endl;
    out << "ffmpeg showwavespic:          " << showwavesSeconds << " s" << Qt::endl;
    out << "waveform / showwavespic:      " << waveSeconds / showwavesSeconds << " (aim < 1)" << Qt::endl;
    return 0;
}
