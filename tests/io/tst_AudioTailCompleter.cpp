// Completing the end of an extracted sample file from ffmpeg's decoding:
// the seam search, the appended end, and the silence fallback.
#include "TestEnv.h"
#include "TestMedia.h"

#include "io/AudioTailCompleter.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using TW::AudioTailCompleter;
using TW::test::TestMedia;

namespace {

// Interleaved 16-bit frames from a list of sample values.
QByteArray pcm(const QVector<qint16> &samples)
{
    return QByteArray(reinterpret_cast<const char *>(samples.constData()), samples.size() * 2);
}

QVector<qint16> noise(int count, quint32 seed)
{
    QRandomGenerator gen(seed);
    QVector<qint16> s(count);
    for (qint16 &v : s)
        v = qint16(gen.bounded(-20000, 20000));
    return s;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class AudioTailCompleterTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_source;     // two seconds of stereo noise, 16-bit PCM WAVE
    QByteArray m_decoded; // ffmpeg's samples of it

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
        m_source = m_dir.filePath("noise.wav");
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "anoisesrc=d=2:c=pink:r=44100:a=0.5", "-ac", "2",
                                   "-c:a", "pcm_s16le", m_source}));
        m_decoded = TestMedia::decodeS16(m_source, 2);
        QCOMPARE(m_decoded.size(), 2 * 44100 * 4);
    }

    void findSeam_data()
    {
        QTest::addColumn<int>("writtenFrom"); // frames of the decoded noise the written part covers
        QTest::addColumn<int>("writtenTo");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("disturb");     // added to every written sample
        QTest::addColumn<int>("seam");

        // 2 channels, 1000 frames of noise; the written end is 100 frames long.
        QTest::newRow("at the expected place") << 0 << 600 << 500 << 0 << 500;
        QTest::newRow("away from the expected place") << 0 << 600 << 380 << 0 << 500;
        QTest::newRow("expected beyond the end") << 0 << 600 << 5000 << 0 << 500;
        QTest::newRow("within tolerance") << 0 << 600 << 500 << 3 << 500;
        QTest::newRow("beyond tolerance") << 0 << 600 << 500 << 40 << -1;
        QTest::newRow("written reaches the end") << 0 << 1000 << 900 << 0 << 900;
        QTest::newRow("nothing written") << 0 << 0 << 0 << 0 << 0;
    }
    void findSeam()
    {
        QFETCH(int, writtenFrom);
        QFETCH(int, writtenTo);
        QFETCH(int, expected);
        QFETCH(int, disturb);
        QFETCH(int, seam);

        const QVector<qint16> decoded = noise(2000, 7);
        QVector<qint16> written = decoded.mid(writtenFrom * 2, (writtenTo - writtenFrom) * 2);
        for (qint16 &v : written)
            v = qint16(v + disturb);
        const int match = qMin(100, writtenTo - writtenFrom);
        QCOMPARE(AudioTailCompleter::findSeam(pcm(written), pcm(decoded), 2, match, expected, 16),
                 qint64(seam));
    }

    // Audio that repeats itself (here silence, then a short period) aligns
    // at the offset nearest the expected one.
    void findSeamRepeatingAudio()
    {
        const QVector<qint16> silence(2 * 1000, 0);
        QCOMPARE(AudioTailCompleter::findSeam(pcm(silence.mid(0, 200)), pcm(silence), 2, 50, 321, 0), qint64(321));

        QVector<qint16> periodic(2 * 1000);
        for (int i = 0; i < periodic.size(); ++i)
            periodic[i] = qint16((i / 2) % 10 * 1000);
        // The written part ends at frame 600; every 10 frames the same.
        const QByteArray written = pcm(periodic.mid(0, 2 * 600));
        QCOMPARE(AudioTailCompleter::findSeam(written, pcm(periodic), 2, 50, 553, 0), qint64(550));
        QCOMPARE(AudioTailCompleter::findSeam(written, pcm(periodic), 2, 50, 556, 0), qint64(560));

        // Asked for, the search tells whether the place is the only one.
        bool unique = true;
        QCOMPARE(AudioTailCompleter::findSeam(written, pcm(periodic), 2, 50, 553, 0, &unique), qint64(550));
        QVERIFY(!unique);
        QCOMPARE(AudioTailCompleter::findSeam(pcm(silence.mid(0, 200)), pcm(silence), 2, 50, 321, 0, &unique),
                 qint64(321));
        QVERIFY(!unique);
        const QVector<qint16> varied = noise(2 * 1000, 11);
        QCOMPARE(AudioTailCompleter::findSeam(pcm(varied.mid(0, 2 * 600)), pcm(varied), 2, 50, 530, 0, &unique),
                 qint64(550));
        QVERIFY(unique);
        QCOMPARE(AudioTailCompleter::findSeam(pcm(noise(2 * 100, 12)), pcm(varied), 2, 50, 530, 0, &unique),
                 qint64(-1));
        QVERIFY(!unique);
    }

    void findSeamRefusals()
    {
        const QVector<qint16> decoded = noise(200, 3);
        // More to match than was decoded; no channels.
        QCOMPARE(AudioTailCompleter::findSeam(pcm(noise(400, 3)), pcm(decoded), 2, 150, 0, 16), qint64(-1));
        QCOMPARE(AudioTailCompleter::findSeam(pcm(decoded), pcm(decoded), 0, 10, 0, 16), qint64(-1));
    }

    // A file that stops short of the end (as the stream output leaves it)
    // gets exactly the missing samples.
    void completesTheEnd_data()
    {
        QTest::addColumn<int>("keptBytes");
        const int total = 2 * 44100 * 4;
        QTest::newRow("one block short") << total - 2205 * 4;
        QTest::newRow("one frame short") << total - 4;
        QTest::newRow("already complete") << total;
        QTest::newRow("torn last frame") << total - 1000 * 4 + 3;
        QTest::newRow("only 30 ms written") << 1323 * 4;
        QTest::newRow("nothing written") << 0;
    }
    void completesTheEnd()
    {
        QFETCH(int, keptBytes);
        const QString file = m_dir.filePath("short.raw");
        QVERIFY(writeFile(file, m_decoded.left(keptBytes)));

        const auto result = AudioTailCompleter::complete(file, m_source, 0, 2, 2000000);
        QVERIFY2(result.ok, qPrintable(result.message));
        QVERIFY(!result.padded);
        QCOMPARE(result.addedFrames, qint64(m_decoded.size() - keptBytes / 4 * 4) / 4);
        QVERIFY(readFile(file) == m_decoded);
    }

    // Without decoded audio that fits, silence keeps the sample positions:
    // up to the duration, and never more than the bound.
    void padsWithSilence_data()
    {
        QTest::addColumn<int>("streamIndex");
        QTest::addColumn<int>("disturb");
        QTest::addColumn<qint64>("durationUs");
        QTest::addColumn<int>("finalFrames");
        QTest::addColumn<bool>("ok");

        const int kept = 2 * 44100 - 3000;
        QTest::newRow("no such stream") << 5 << 0 << qint64(2000000) << 2 * 44100 << true;
        QTest::newRow("samples differ") << 0 << 500 << qint64(2000000) << 2 * 44100 << true;
        QTest::newRow("duration far longer") << 5 << 0 << qint64(60000000) << kept + AudioTailCompleter::MaxPadFrames
                                             << true;
        QTest::newRow("duration unknown") << 5 << 0 << qint64(0) << kept << false;
    }
    void padsWithSilence()
    {
        QFETCH(int, streamIndex);
        QFETCH(int, disturb);
        QFETCH(qint64, durationUs);
        QFETCH(int, finalFrames);
        QFETCH(bool, ok);

        const int kept = 2 * 44100 - 3000;
        QVector<qint16> samples(kept * 2);
        memcpy(samples.data(), m_decoded.constData(), size_t(samples.size()) * 2);
        for (qint16 &v : samples)
            v = qint16(qBound(-32768, v + disturb, 32767));
        const QString file = m_dir.filePath("padded.raw");
        QVERIFY(writeFile(file, pcm(samples)));

        const auto result = AudioTailCompleter::complete(file, m_source, streamIndex, 2, durationUs);
        QCOMPARE(result.ok, ok);
        QVERIFY(!result.message.isEmpty());
        const QByteArray after = readFile(file);
        QCOMPARE(after.size(), finalFrames * 4);
        QVERIFY(after.left(kept * 4) == pcm(samples));
        QVERIFY(after.mid(kept * 4).count('\0') == after.size() - kept * 4);
    }

    void missingFile()
    {
        const auto result = AudioTailCompleter::complete(m_dir.filePath("none/x.raw"), m_source, 0, 2, 2000000);
        QVERIFY(!result.ok);
        QVERIFY(!QFile::exists(m_dir.filePath("none/x.raw")));
    }
};

QTEST_MAIN(AudioTailCompleterTest)
#include "tst_AudioTailCompleter.moc"
