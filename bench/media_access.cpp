// Media access figures: the content name of a large file against md5sum of
// the same file, and a conversion of a 60 s clip by the converter against
// the bare ffmpeg command with the same arguments. Prints times and ratios.
//
// Usage: bench_media_access [size of the hashed file in MiB, default 1024]
#include "core/Options.h"
#include "core/Util.h"
#include "core/VideoInputConverter.h"
#include "core/VideoInputFile.h"
#include "core/VideoInputStorage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

bool run(const QString &program, const QStringList &args, QByteArray *out = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted() || !p.waitForFinished(-1))
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool makeFile(const QString &path, qint64 mib)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (qint64 i = 0; i < mib; ++i) {
        auto *w = reinterpret_cast<quint32 *>(block.data());
        for (int j = 0; j < block.size() / 4; ++j) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            w[j] = x;
        }
        if (f.write(block) != block.size())
            return false;
    }
    return true;
}

double seconds(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    QTemporaryDir dir;
    if (!dir.isValid() || mib <= 0)
        return 1;
    TW::Options::instance()->setPath(TW::CacheFolder, dir.filePath("cache"));

    // ---- Content name against md5sum ----
    const QString big = dir.filePath("big.bin");
    std::printf("writing a %lld MiB file...\n", mib);
    std::fflush(stdout);
    if (!makeFile(big, mib)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(big));
        return 1;
    }
    // Both read from the page cache: one read first, then the best of three.
    run("md5sum", {big});
    double ours = 1e9, theirs = 1e9;
    QString name;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        name = TW::VideoInputStorage::contentName(big);
        ours = std::min(ours, seconds(t));
        t.restart();
        if (!run("md5sum", {big})) {
            std::fprintf(stderr, "md5sum failed\n");
            return 1;
        }
        theirs = std::min(theirs, seconds(t));
    }
    QFile::remove(big);
    std::printf("content name (%lld MiB): %.3f s (%.0f MB/s)\n", mib, ours, mib * 1.048576 / ours);
    std::printf("md5sum      (%lld MiB): %.3f s (%.0f MB/s)\n", mib, theirs, mib * 1.048576 / theirs);
    std::printf("content name / md5sum ratio: %.3f\n", ours / theirs);
    std::fflush(stdout);

    // ---- Conversion of a 60 s clip against bare ffmpeg ----
    const QString ffmpeg = TW::Util::externalProgram("ffmpeg");
    const QString clip = dir.filePath("clip60.mp4");
    if (!run(ffmpeg, {"-y", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                      "testsrc=size=640x360:rate=25:duration=60", "-f", "lavfi", "-i",
                      "sine=frequency=440:sample_rate=44100:duration=60", "-c:v", "libx264", "-preset",
                      "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", clip})) {
        std::fprintf(stderr, "cannot make the 60 s clip\n");
        return 1;
    }

    TW::VideoInputFile file;
    file.inputPath = clip;
    file.outputPath = dir.filePath("converted.avi");
    QElapsedTimer t;
    t.start();
    {
        TW::VideoInputConverter converter(file);
        QEventLoop loop;
        QObject::connect(&converter, &TW::VideoInputConverter::progressUpdated, &loop, [&] {
            if (file.status == TW::VideoInputFile::Done || file.status == TW::VideoInputFile::Failed)
                loop.quit();
        });
        loop.exec();
    }
    const double converter = seconds(t);
    if (file.status != TW::VideoInputFile::Done) {
        std::fprintf(stderr, "conversion failed\n");
        return 1;
    }
    QFile::remove(file.outputPath);
    QFile::remove(file.outputPath + ".finished");
    t.restart();
    if (!run(ffmpeg, TW::VideoInputConverter::conversionArguments(file))) {
        std::fprintf(stderr, "bare ffmpeg failed\n");
        return 1;
    }
    const double bare = seconds(t);
    std::printf("converter (check + conversion, 60 s clip): %.3f s\n", converter);
    std::printf("bare ffmpeg, same arguments:               %.3f s\n", bare);
    std::printf("converter / bare ffmpeg ratio: %.3f\n", converter / bare);
    return 0;
}
