// Audio extraction through libvlc's stream output, compared sample by
// sample with what ffmpeg decodes from the same clip.
#include "TestEnv.h"
#include "TestMedia.h"

#include "core/VlcMedia.h"
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

QVector<qint16> samplesOf(const QByteArray &bytes)
{
    QVector<qint16> s(bytes.size() / 2);
    memcpy(s.data(), bytes.constData(), size_t(s.size()) * 2);
    return s;
}

struct Match
{
    int offsetFrames = 0; // extracted frame i matches reference frame i + offset
    int maxDiff = 0;
    qint64 compared = 0;
};

// Aligns the extracted samples on the reference (decoders may put a few
// frames of priming or padding at the start) and measures the largest
// difference over the overlap.
Match compare(const QVector<qint16> &got, const QVector<qint16> &ref, int channels, int maxOffset)
{
    Match best;
    double bestScore = -1;
    const qint64 probeStart = 2000, probeLen = 4000;
    for (int off = -maxOffset; off <= maxOffset; ++off) {
        double score = 0;
        qint64 n = 0;
        for (qint64 f = probeStart; f < probeStart + probeLen; ++f) {
            const qint64 g = f * channels, r = (f + off) * channels;
            if (r < 0 || r >= ref.size() || g >= got.size())
                continue;
            score += qAbs(int(got[g]) - int(ref[r]));
            ++n;
        }
        if (n < probeLen / 2)
            continue;
        score /= n;
        if (bestScore < 0 || score < bestScore) {
            bestScore = score;
            best.offsetFrames = off;
        }
    }
    for (qint64 i = 0; i < got.size(); ++i) {
        const qint64 r = i + qint64(best.offsetFrames) * channels;
        if (r < 0 || r >= ref.size())
            continue;
        best.maxDiff = qMax(best.maxDiff, qAbs(int(got[i]) - int(ref[r])));
        ++best.compared;
    }
    return best;
}

} // namespace

class AudioDataExtractorTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // The libvlc id of the n-th audio stream of the file.
    static int audioTrackId(const QString &path, int n)
    {
        MediaTrack probe(path, 0, path);
        const auto &tracks = probe.getMedia()->getMediaInfo().audioTracks;
        return n < tracks.size() ? tracks.at(n).trackId : -1;
    }

    // The child's half of fullDiskLeavesNoFile.
    static void runWithFullDisk(const QString &source, const QString &out, qint64 limit)
    {
        MediaTrack track(source, audioTrackId(source, 0), source);
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

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
    }

    void matchesFfmpeg_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("stream");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<int>("maxOffset");
        QTest::addColumn<int>("lengthSlack"); // frames

        // 16-bit PCM at 44100 Hz goes out unchanged: exact. The first row
        // is the form of the converted inputs (MPEG-2 video, PCM in AVI).
        QTest::newRow("converted form: pcm in avi") << -1 << 0 << 2 << 0 << 0 << 0;
        QTest::newRow("pcm stereo wav") << int(TestMedia::AudioOnly) << 0 << 2 << 0 << 0 << 0;
        QTest::newRow("pcm mono mkv") << int(TestMedia::Mono) << 0 << 1 << 0 << 0 << 0;
        QTest::newRow("second of two tracks") << int(TestMedia::TwoAudioTracks) << 1 << 2 << 0 << 0 << 0;
        // AAC is decoded and transcoded: rounding may differ by a step or
        // two, and the encoder's priming may shift the start.
        QTest::newRow("aac in mp4") << int(TestMedia::VideoStereo) << 0 << 2 << 4 << 2200 << 32;
        QTest::newRow("mp3") << int(TestMedia::CoverArt) << 0 << 2 << 4 << 2400 << 32;
    }
    void matchesFfmpeg()
    {
        QFETCH(int, kind);
        QFETCH(int, stream);
        QFETCH(int, channels);
        QFETCH(int, tolerance);
        QFETCH(int, maxOffset);
        QFETCH(int, lengthSlack);

        QString source;
        if (kind < 0) {
            source = m_dir.filePath("converted_form.avi");
            QVERIFY(TestMedia::ffmpeg({"-i", TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 3.0),
                                       "-c:v", "mpeg2video", "-c:a", "pcm_s16le", "-ar", "44100", source}));
        } else {
            source = TestMedia::make(TestMedia::Kind(kind), m_dir.path(), 3.0);
        }
        QVERIFY(!source.isEmpty());
        const int id = audioTrackId(source, stream);
        QVERIFY(id >= 0);

        MediaTrack track(source, id, source);
        QVERIFY(track.hasAudioTrack());
        const QString out = m_dir.filePath(QString("out_%1.wav").arg(QTest::currentDataTag()).replace(' ', '_'));
        AudioDataExtractor extractor;
        QVERIFY2(extractor.exportToFile(&track, out), qPrintable(extractor.lastError()));
        QVERIFY(!QFile::exists(out + ".part"));

        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QVector<qint16> got = samplesOf(f.readAll());

        QByteArray refBytes;
        if (stream == 0) {
            refBytes = TestMedia::decodeS16(source, channels);
        } else {
            const QString refPath = m_dir.filePath("ref_stream.raw");
            QVERIFY(TestMedia::ffmpeg({"-i", source, "-map", QString("0:a:%1").arg(stream), "-f", "s16le",
                                       "-ar", "44100", "-ac", QString::number(channels), refPath}));
            QFile r(refPath);
            QVERIFY(r.open(QIODevice::ReadOnly));
            refBytes = r.readAll();
        }
        const QVector<qint16> ref = samplesOf(refBytes);
        QVERIFY(ref.size() > 44100);

        // The whole track: as long as ffmpeg's decoding once both are
        // aligned (decoders differ on the priming of compressed streams).
        const Match m = compare(got, ref, channels, maxOffset);
        qDebug() << "extracted" << got.size() << "decoded" << ref.size() << "offset" << m.offsetFrames;
        const qint64 alignedRef = ref.size() - qint64(m.offsetFrames) * channels;
        QVERIFY2(qAbs(got.size() - alignedRef) <= qint64(lengthSlack) * channels,
                 qPrintable(QString("%1 samples extracted, %2 decoded (offset %3)")
                                .arg(got.size()).arg(ref.size()).arg(m.offsetFrames)));
        QVERIFY2(m.compared > ref.size() * 9 / 10,
                 qPrintable(QString("only %1 of %2 samples overlap").arg(m.compared).arg(ref.size())));
        QVERIFY2(m.maxDiff <= tolerance,
                 qPrintable(QString("largest difference %1 at offset %2").arg(m.maxDiff).arg(m.offsetFrames)));
    }

    // A long track that goes out unchanged is streamed in ranges side by
    // side and joined; where the ranges cannot be placed with certainty
    // (silence at every seam) it is streamed again in one piece. Either way
    // the samples are ffmpeg's, every one of them.
    void longTrackInRanges_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("channels");
        QTest::newRow("noise, pcm in avi") << "anoisesrc=d=150:c=pink:r=44100:a=0.4" << 2;
        QTest::newRow("digital silence, mono wav") << "anullsrc=r=44100:cl=mono:d=95" << 1;
    }
    void longTrackInRanges()
    {
        QFETCH(QString, source);
        QFETCH(int, channels);
        const QString path = m_dir.filePath(channels == 2 ? "long_noise.avi" : "long_silence.wav");
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", source, "-ac", QString::number(channels),
                                   "-c:a", "pcm_s16le", path}));
        MediaTrack track(path, audioTrackId(path, 0), path);
        const QString out = m_dir.filePath("long_out.wav");
        AudioDataExtractor extractor;
        QVERIFY2(extractor.exportToFile(&track, out), qPrintable(extractor.lastError()));
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray got = f.readAll();
        const QByteArray ref = TestMedia::decodeS16(path, channels);
        QCOMPARE(got.size(), ref.size());
        QVERIFY(got == ref);
        const QStringList left = QDir(m_dir.path()).entryList({"long_out.wav.*"});
        QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));
        f.close();
        QFile::remove(out);
        QFile::remove(path);
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
    // temporary name behind.
    void failures_data()
    {
        QTest::addColumn<QString>("why");
        QTest::newRow("source gone") << "gone";
        QTest::newRow("source now garbage") << "garbage";
        QTest::newRow("destination not writable") << "unwritable";
    }
    void failures()
    {
        QFETCH(QString, why);
        const QString folder = m_dir.filePath("fail_" + why);
        QVERIFY(QDir().mkpath(folder));
        const QString original = TestMedia::make(TestMedia::AudioOnly, m_dir.path(), 1.0);
        const QString source = folder + "/clip.wav";
        QFile::remove(source);
        QVERIFY(QFile::copy(original, source));
        MediaTrack track(source, audioTrackId(source, 0), source);
        QVERIFY(track.hasAudioTrack());

        QString outFolder = folder;
        if (why == "gone") {
            QVERIFY(QFile::remove(source));
        } else if (why == "garbage") {
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(4096, '\x5a'));
        } else {
            // A "folder" that is a plain file: nothing can be written there.
            outFolder = folder + "/plain_file";
            QFile f(outFolder);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString out = outFolder + "/out.wav";
        AudioDataExtractor extractor;
        QElapsedTimer t;
        t.start();
        QVERIFY(!extractor.exportToFile(&track, out));
        QVERIFY(!extractor.lastError().isEmpty());
        QVERIFY(t.elapsed() < 20000);
        QVERIFY(!QFile::exists(out));
        QVERIFY(!QFile::exists(out + ".part"));
    }

    // A disk that fills during the extraction: no samples file is left
    // (a short one would be taken for the whole track on every later open)
    // and the failure is reported. A limit on the size of the files a child
    // run of this test writes stands in for the full disk; it holds for
    // libvlc's writes and for the programs the child starts alike.
    void fullDiskLeavesNoFile()
    {
        const QByteArray limit = qgetenv("TW_TEST_FILE_SIZE_LIMIT");
        if (!limit.isEmpty()) {
            runWithFullDisk(qgetenv("TW_TEST_SOURCE"), qgetenv("TW_TEST_OUTPUT"), limit.toLongLong());
            return;
        }
        const QString source = TestMedia::make(TestMedia::AudioOnly, m_dir.path(), 6.0);
        QVERIFY(!source.isEmpty());
        const QString out = m_dir.filePath("full_disk/out.wav");
        QVERIFY(QDir().mkpath(QFileInfo(out).path()));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Six seconds of stereo samples are about 1 MB; a third of that fits.
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

    // The output chain: quoted destination, transcoding only when needed.
    void streamOptions_data()
    {
        QTest::addColumn<quint32>("codec");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("chainStart");

        const quint32 s16l = 's' | '1' << 8 | '6' << 16 | quint32('l') << 24;
        const quint32 mp4a = 'm' | 'p' << 8 | '4' << 16 | quint32('a') << 24;
        QTest::newRow("s16l 44100: no transcoding") << s16l << 44100 << 2 << ":sout=#standard{";
        QTest::newRow("s16l 48000") << s16l << 48000 << 2
                                    << ":sout=#transcode{acodec=s16l,samplerate=44100,channels=2}:standard{";
        QTest::newRow("aac") << mp4a << 44100 << 1
                             << ":sout=#transcode{acodec=s16l,samplerate=44100,channels=1}:standard{";
        QTest::newRow("unknown") << quint32(0) << 0 << 0 << ":sout=#transcode{acodec=s16l,samplerate=44100}:standard{";
    }
    void streamOptions()
    {
        QFETCH(quint32, codec);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QString, chainStart);

        const QStringList options = AudioDataExtractor::streamOptions("/t/a \"b\"}, c.wav", 3, codec, rate, channels);
        QVERIFY(options.contains(":no-sout-video"));
        QVERIFY(options.contains(":audio-track-id=3"));
        QVERIFY(options.last().startsWith(chainStart));
        QVERIFY(options.last().endsWith("access=file,mux=raw,dst=\"/t/a \\\"b\\\"}, c.wav\"}"));
    }

    // A destination whose name holds characters of the chain syntax.
    void awkwardDestination()
    {
        const QString source = TestMedia::make(TestMedia::Mono, m_dir.path(), 1.0);
        MediaTrack track(source, audioTrackId(source, 0), source);
        const QString folder = m_dir.filePath("we}ird, fo\"lder 'x'");
        QVERIFY(QDir().mkpath(folder));
        const QString out = folder + "/a b,c}.wav";
        AudioDataExtractor extractor;
        QVERIFY2(extractor.exportToFile(&track, out), qPrintable(extractor.lastError()));
        const qint64 expected = TestMedia::decodeS16(source, 1).size();
        QCOMPARE(QFileInfo(out).size(), expected);
    }

    // A wait that outlasts its limit ends the extraction as a failure.
    void timeLimitReached()
    {
        const QString source = m_dir.filePath("five_minutes.wav");
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=300",
                                   "-ac", "2", "-c:a", "pcm_s16le", source}));
        MediaTrack track(source, audioTrackId(source, 0), source);
        const QString out = m_dir.filePath("five_minutes_out.wav");
        AudioDataExtractor extractor;
        extractor.setTimeLimitMs(30);
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
