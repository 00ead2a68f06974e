// Audio extraction compared sample for sample with what the ffmpeg program
// decodes from the same stream ("ffmpeg -i X -f s16le -ac C -ar 44100 -").
#include "TestEnv.h"
#include "TestMedia.h"

#include "core/VideoFileParser.h"
#include "io/AudioDataExtractor.h"
#include "model/MediaTrack.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using TW::AudioDataExtractor;
using TW::MediaTrack;
using TW::test::TestMedia;

namespace {

// The stream index (as the probe and the program name it) of the n-th
// audio stream of a file.
int audioStreamIndex(const QString &path, int n)
{
    TW::VideoFileParser parser;
    parser.parseFile(path);
    const auto tracks = parser.getAudioTracks();
    return n < tracks.size() ? tracks.at(n).trackId : -1;
}

// ffmpeg's own decoding of one stream of a file.
QByteArray ffmpegDecode(const QString &path, int streamIndex, int channels)
{
    QProcess p;
    p.start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-nostdin", "-i", path,
                       "-map", QString("0:%1").arg(streamIndex), "-f", "s16le", "-ac",
                       QString::number(channels), "-ar", "44100", "-"});
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning() << "ffmpeg failed:" << p.readAllStandardError();
        return {};
    }
    return p.readAllStandardOutput();
}

// Where two sample files first differ, in 16-bit samples; -1 when they are
// the same.
qint64 firstDifference(const QByteArray &a, const QByteArray &b)
{
    const qint64 n = qMin(a.size(), b.size()) / 2;
    const auto *x = reinterpret_cast<const qint16 *>(a.constData());
    const auto *y = reinterpret_cast<const qint16 *>(b.constData());
    for (qint64 i = 0; i < n; ++i) {
        if (x[i] != y[i])
            return i;
    }
    return a.size() == b.size() ? -1 : n;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class AudioDataExtractorTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // The child's half of fullDiskLeavesNoFile.
    static void runWithFullDisk(const QString &source, const QString &out, qint64 limit)
    {
        MediaTrack track(source, audioStreamIndex(source, 0), source);
        QVERIFY(track.hasAudioTrack());
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit size{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &size), 0);
        size.rlim_cur = rlim_t(limit);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &size), 0);
        AudioDataExtractor extractor;
        const bool done = extractor.exportToFile(&track, out);
        QVERIFY2(!done, "a samples file was kept that cannot hold the whole track");
        QVERIFY(!extractor.lastError().isEmpty());
        qInfo("Extraction refused: %s", qPrintable(extractor.lastError()));
        QVERIFY(!QFile::exists(out));
        QVERIFY(!QFile::exists(out + ".part"));
    }

    // The form the program plays: the conversion's MPEG-2 video with 16-bit
    // PCM at 44100 Hz in AVI, made from source as the conversion makes it.
    QString convertedForm(const QString &source, int channels)
    {
        const QString out = m_dir.filePath(QFileInfo(source).completeBaseName() + "_converted.avi");
        if (QFileInfo(out).size() > 0)
            return out;
        const bool ok = TestMedia::ffmpeg({"-i", source, "-map", "0:v:0?", "-map", "0:a:0", "-vcodec", "mpeg2video",
                                           "-g", "4", "-r", "25", "-vb", "10M", "-acodec", "pcm_s16le", "-ar", "44100",
                                           "-ac", QString::number(channels), out});
        return ok ? out : QString();
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
    }

    // The extracted samples are ffmpeg's, every one of them: same length
    // (nothing appended, nothing lost at either end) and same values. The
    // decoder's priming (AAC's encoder delay, given by the mp4's edit list;
    // the mp3 encoder's delay and padding, given by its LAME header) is
    // dropped as the container tells, as ffmpeg drops it.
    void matchesFfmpeg_data()
    {
        QTest::addColumn<QString>("source");    // a lavfi source, or "" for a TestMedia kind
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("audioStream");   // among the audio streams
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("converted");    // extract from the converted form

        const QString noise48k = "anoisesrc=d=3:c=pink:r=48000:a=0.5";
        QTest::newRow("aac in mp4") << QString() << int(TestMedia::VideoStereo) << 0 << 2 << false;
        QTest::newRow("mp3 with a picture") << QString() << int(TestMedia::CoverArt) << 0 << 2 << false;
        QTest::newRow("aac, converted form") << QString() << int(TestMedia::VideoStereo) << 0 << 2 << true;
        QTest::newRow("mp3, converted form") << QString() << int(TestMedia::CoverArt) << 0 << 2 << true;
        QTest::newRow("pcm mono mkv") << QString() << int(TestMedia::Mono) << 0 << 1 << false;
        QTest::newRow("second of two tracks") << QString() << int(TestMedia::TwoAudioTracks) << 1 << 2 << false;
        QTest::newRow("5.1 mixed down to stereo") << QString() << int(TestMedia::SixChannel) << 0 << 2 << false;
        QTest::newRow("aac at 48000 Hz, resampled") << noise48k << 0 << 0 << 2 << false;
    }
    void matchesFfmpeg()
    {
        QFETCH(QString, source);
        QFETCH(int, kind);
        QFETCH(int, audioStream);
        QFETCH(int, channels);
        QFETCH(bool, converted);

        QString path;
        if (source.isEmpty()) {
            path = TestMedia::make(TestMedia::Kind(kind), m_dir.path(), 3.0);
        } else {
            path = m_dir.filePath("aac_48k.m4a");
            QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", source, "-ac", "2", "-c:a", "aac", path}));
        }
        QVERIFY(!path.isEmpty());
        const QString original = path;
        if (converted) {
            path = convertedForm(original, channels);
            QVERIFY(!path.isEmpty());
        }
        const int index = audioStreamIndex(path, converted ? 0 : audioStream);
        QVERIFY(index >= 0);

        MediaTrack track(path, index, path);
        QVERIFY(track.hasAudioTrack());
        const QString out = m_dir.filePath(QString("out_%1.raw").arg(QTest::currentDataTag()).replace(' ', '_'));
        AudioDataExtractor extractor;
        QVERIFY2(extractor.exportToFile(&track, out), qPrintable(extractor.lastError()));
        QVERIFY(!QFile::exists(out + ".part"));
        const QByteArray got = readAll(out);

        const QByteArray ref = ffmpegDecode(path, index, channels);
        QVERIFY(ref.size() > 44100 * 2 * channels);
        QCOMPARE(got.size(), ref.size());
        const qint64 at = firstDifference(got, ref);
        QVERIFY2(at < 0, qPrintable(QString("first difference at sample %1 of %2").arg(at).arg(ref.size() / 2)));

        if (converted) {
            // The conversion keeps ffmpeg's decoding of the user's file, so
            // what is played is that file's sound from its first sample.
            const QByteArray fromOriginal = ffmpegDecode(original, audioStreamIndex(original, 0), channels);
            QCOMPARE(got.size(), fromOriginal.size());
            QVERIFY(got == fromOriginal);
        }
    }

    void noAudio()
    {
        const QString source = TestMedia::make(TestMedia::SilentVideo, m_dir.path(), 1.0);
        MediaTrack track(source, 0, source);
        QVERIFY(!track.hasAudioTrack());
        const QString out = m_dir.filePath("silent_video.wav");
        AudioDataExtractor extractor;
        QVERIFY(extractor.exportToFile(&track, out));
        QVERIFY(!QFile::exists(out));
    }

    // A failed extraction is reported and leaves neither the file nor its
    // temporary name behind; an older file of that name is kept.
    void failures_data()
    {
        QTest::addColumn<QString>("why");
        QTest::newRow("source gone") << "gone";
        QTest::newRow("source now garbage") << "garbage";
        QTest::newRow("source cut to its header") << "header";
        QTest::newRow("destination not writable") << "unwritable";
    }
    void failures()
    {
        QFETCH(QString, why);
        const QString folder = m_dir.filePath("fail_" + why);
        QVERIFY(QDir().mkpath(folder));
        const QString original = TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 1.0);
        const QString source = folder + "/clip.mp4";
        QFile::remove(source);
        QVERIFY(QFile::copy(original, source));
        MediaTrack track(source, audioStreamIndex(source, 0), source);
        QVERIFY(track.hasAudioTrack());

        QString outFolder = folder;
        if (why == "gone") {
            QVERIFY(QFile::remove(source));
        } else if (why == "garbage") {
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(4096, '\x5a'));
        } else if (why == "header") {
            QFile f(source);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.resize(64));
        } else {
            // A "folder" that is a plain file: nothing can be written there.
            outFolder = folder + "/plain_file";
            QFile f(outFolder);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString out = outFolder + "/out.wav";
        AudioDataExtractor extractor;
        QVERIFY(!extractor.exportToFile(&track, out));
        QVERIFY(!extractor.lastError().isEmpty());
        QVERIFY(!QFile::exists(out));
        QVERIFY(!QFile::exists(out + ".part"));
    }

    // A disk that fills during the extraction: no samples file is left
    // (a short one would be taken for the whole track on every later open)
    // and the failure is reported. A limit on the size of the files a child
    // run of this test writes stands in for the full disk.
    void fullDiskLeavesNoFile()
    {
        const QByteArray limit = qgetenv("TW_TEST_FILE_SIZE_LIMIT");
        if (!limit.isEmpty()) {
            runWithFullDisk(qgetenv("TW_TEST_SOURCE"), qgetenv("TW_TEST_OUTPUT"), limit.toLongLong());
            return;
        }
        const QString source = TestMedia::make(TestMedia::AudioOnly, m_dir.path(), 12.0);
        QVERIFY(!source.isEmpty());
        const QString out = m_dir.filePath("full_disk/out.wav");
        QVERIFY(QDir().mkpath(QFileInfo(out).path()));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Twelve seconds of stereo samples are about 2 MB; a sixth of that
        // fits, more than one of the blocks the samples are written in.
        env.insert("TW_TEST_FILE_SIZE_LIMIT", QString::number(350000));
        env.insert("TW_TEST_SOURCE", source);
        env.insert("TW_TEST_OUTPUT", out);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"fullDiskLeavesNoFile"});
        QVERIFY(child.waitForFinished(120000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.right(3000).constData());
        QVERIFY2(output.contains("Extraction refused:"), output.right(3000).constData());
        QVERIFY(!QFile::exists(out));
        QVERIFY(!QFile::exists(out + ".part"));
    }

    // Names with characters that a shell, a URL or FFmpeg's protocol
    // prefixes would take apart, on both sides.
    void awkwardNames()
    {
        const QString original = TestMedia::make(TestMedia::Mono, m_dir.path(), 1.0);
        const QString folder = m_dir.filePath("we}ird, fo\"lder 'x' $(true)");
        QVERIFY(QDir().mkpath(folder));
        const QString source = folder + "/concat:a|b?c#d.mkv";
        QVERIFY(QFile::copy(original, source));
        MediaTrack track(source, audioStreamIndex(source, 0), source);
        const QString out = folder + "/a b,c}.wav";
        AudioDataExtractor extractor;
        QVERIFY2(extractor.exportToFile(&track, out), qPrintable(extractor.lastError()));
        QVERIFY(readAll(out) == TestMedia::decodeS16(original, 1));
    }

    // A second extraction to the same name replaces the first whole.
    void replacesAnOlderFile()
    {
        const QString source = TestMedia::make(TestMedia::AudioOnly, m_dir.path(), 1.0);
        MediaTrack track(source, audioStreamIndex(source, 0), source);
        const QString out = m_dir.filePath("replaced.wav");
        {
            QFile f(out);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(10 * 1000 * 1000, '\x11'));
        }
        AudioDataExtractor extractor;
        QVERIFY2(extractor.exportToFile(&track, out), qPrintable(extractor.lastError()));
        QVERIFY(readAll(out) == TestMedia::decodeS16(source, 2));
    }

    // Work that outlasts its limit ends the extraction as a failure.
    void timeLimitReached()
    {
        const QString source = m_dir.filePath("five_minutes.wav");
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=300",
                                   "-ac", "2", "-c:a", "pcm_s16le", source}));
        MediaTrack track(source, audioStreamIndex(source, 0), source);
        const QString out = m_dir.filePath("five_minutes_out.wav");
        AudioDataExtractor extractor;
        // Five minutes of samples (53 MB) are never decoded and written
        // within a millisecond.
        extractor.setTimeLimitMs(1);
        QVERIFY(!extractor.exportToFile(&track, out));
        QVERIFY(extractor.lastError().contains("no end"));
        QVERIFY(!QFile::exists(out));
        QVERIFY(!QFile::exists(out + ".part"));
        QFile::remove(source);
    }

    void timeLimit()
    {
        QVERIFY(AudioDataExtractor::timeLimitMs(3600LL * 1000000) >= 2 * 3600 * 1000);
        QVERIFY(AudioDataExtractor::timeLimitMs(1000000) < 60 * 1000);
        QVERIFY(AudioDataExtractor::timeLimitMs(-1000) > 0);
    }
};

QTEST_MAIN(AudioDataExtractorTest)
#include "tst_AudioDataExtractor.moc"
