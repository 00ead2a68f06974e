// The audio of one export fragment: its length follows the tempo exactly,
// sound starts at once (the stretcher's start-up latency is pulled
// through), the channel count follows the project, a missing source or a
// silent fragment gives silence of the right length, and a stop leaves a
// valid file.
#include "TestEnv.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "io/Aiff.h"
#include "io/AudioFilterExporter.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <vector>

using namespace TW;

namespace {

// Headerless 16-bit little-endian samples of a sine.
bool writeSine(const QString &path, double seconds, int channels, double frequency = 440.0)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const int frames = int(seconds * 44100);
    QByteArray data(frames * channels * 2, '\0');
    auto *p = reinterpret_cast<qint16 *>(data.data());
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            p[i * channels + c] = qint16(16000 * std::sin(2 * M_PI * frequency * i / 44100.0));
    return f.write(data) == data.size();
}

QByteArray name(const QString &path)
{
    return QFile::encodeName(path);
}

// The largest magnitude among the first frames of channel 0.
float peakOfFirst(const QString &aiff, int frames)
{
    std::vector<float> buffer(size_t(frames), 0.0f);
    if (mAiffReadDataFromChannel(name(aiff).constData(), buffer.data(), 0, 0, frames) <= 0)
        return 0;
    float peak = 0;
    for (float v : buffer)
        peak = std::max(peak, std::fabs(v));
    return peak;
}

} // namespace

class tst_AudioFilterExporter : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString stereo;
    QString mono;

    void setChannels(int channels)
    {
        Singleton<OptionsHolder>::instance()->m_numChannels = channels;
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(dir.isValid());
        Singleton<OptionsHolder>::instance()->m_audioSampleRate = 44100;
        stereo = dir.filePath("stereo.raw");
        mono = dir.filePath("mono.raw");
        QVERIFY(writeSine(stereo, 4.0, 2));
        QVERIFY(writeSine(mono, 4.0, 1));
    }

    void blockSize_data()
    {
        QTest::addColumn<float>("tempo");
        QTest::addColumn<int>("block");
        QTest::newRow("100") << 100.0f << 4096;
        QTest::newRow("50") << 50.0f << 8192;
        QTest::newRow("200") << 200.0f << 2048;
        QTest::newRow("75") << 75.0f << 5461;
        QTest::newRow("0 counts as 100") << 0.0f << 4096;
        QTest::newRow("NaN counts as 100") << std::nanf("") << 4096;
    }
    void blockSize()
    {
        QFETCH(float, tempo);
        QFETCH(int, block);
        QCOMPARE(AudioFilterExporter::blockSize(tempo), block);
    }

    void lengthFollowsTheTempo_data()
    {
        QTest::addColumn<float>("tempo");
        QTest::addColumn<float>("pitch");
        QTest::addColumn<qint64>("startUs");
        QTest::addColumn<qint64>("lengthUs");
        QTest::newRow("unchanged") << 100.0f << 0.0f << qint64(0) << qint64(1000000);
        QTest::newRow("half speed, +2") << 50.0f << 2.0f << qint64(500000) << qint64(1000000);
        QTest::newRow("double speed, -3") << 200.0f << -3.0f << qint64(250000) << qint64(2000000);
        QTest::newRow("75 %, odd length") << 75.0f << 0.0f << qint64(0) << qint64(226757);
        QTest::newRow("past the source's end") << 100.0f << 0.0f << qint64(3500000) << qint64(1000000);
        QTest::newRow("zero length") << 100.0f << 0.0f << qint64(0) << qint64(0);
    }
    void lengthFollowsTheTempo()
    {
        QFETCH(float, tempo);
        QFETCH(float, pitch);
        QFETCH(qint64, startUs);
        QFETCH(qint64, lengthUs);
        setChannels(2);
        AudioFilterExporter exporter;
        exporter.tempo = tempo;
        exporter.pitch = pitch;
        exporter.volume = 100;
        const QString aiff = dir.filePath(QStringLiteral("len_%1.aiff").arg(QTest::currentDataTag()));
        QVERIFY2(exporter.exportFragment(stereo, Time(startUs), Time(lengthUs), aiff), qPrintable(exporter.error()));
        const qint64 sourceFrames = qint64(double(lengthUs) * 44100 / 1000000.0);
        QCOMPARE(qint64(mAiffGetNumberOfFrames(name(aiff).constData())),
                 qint64(std::llround(double(sourceFrames) * 100.0 / tempo)));
        QCOMPARE(mAiffGetNumberOfChannels(name(aiff).constData()), 2);
        // Sound from the first block on: the stretcher's start-up latency
        // must not turn into leading silence.
        if (lengthUs > 0 && startUs + lengthUs <= 4000000)
            QVERIFY(peakOfFirst(aiff, 2048) > 0.2f);
    }

    void fixedLength()
    {
        setChannels(2);
        AudioFilterExporter exporter;
        exporter.tempo = 50;
        const QString aiff = dir.filePath("fixed.aiff");
        QVERIFY(exporter.exportFragment(stereo, Time(0), Time(1000000), aiff, 88000));
        QCOMPARE(mAiffGetNumberOfFrames(name(aiff).constData()), 88000);
        QVERIFY(exporter.exportFragment(stereo, Time(0), Time(1000000), aiff, 88400));
        QCOMPARE(mAiffGetNumberOfFrames(name(aiff).constData()), 88400);
    }

    void channels_data()
    {
        QTest::addColumn<int>("project");
        QTest::addColumn<int>("written");
        QTest::newRow("mono") << 1 << 1;
        QTest::newRow("stereo") << 2 << 2;
        QTest::newRow("six limited to two") << 6 << 2;
        QTest::newRow("none counts as mono") << 0 << 1;
    }
    void channels()
    {
        QFETCH(int, project);
        QFETCH(int, written);
        setChannels(project);
        AudioFilterExporter exporter;
        const QString aiff = dir.filePath(QStringLiteral("ch_%1.aiff").arg(project));
        QVERIFY(exporter.exportFragment(written == 1 ? mono : stereo, Time(0), Time(500000), aiff));
        QCOMPARE(mAiffGetNumberOfChannels(name(aiff).constData()), written);
        QVERIFY(peakOfFirst(aiff, 4096) > 0.2f);
    }

    void silenceWhereThereIsNoSound()
    {
        setChannels(2);
        AudioFilterExporter exporter;
        exporter.tempo = 80;
        const QString missing = dir.filePath("missing.aiff");
        QVERIFY(exporter.exportFragment(dir.filePath("no such file.raw"), Time(0), Time(1000000), missing));
        QCOMPARE(mAiffGetNumberOfFrames(name(missing).constData()), 55125);
        QCOMPARE(peakOfFirst(missing, 55125), 0.0f);
        exporter.volume = 0;
        const QString muted = dir.filePath("muted.aiff");
        QVERIFY(exporter.exportFragment(stereo, Time(0), Time(1000000), muted));
        QCOMPARE(peakOfFirst(muted, 55125), 0.0f);
        // A pause keeps its own length whatever tempo the exporter holds.
        const QString pause = dir.filePath("pause.aiff");
        QVERIFY(exporter.exportSilence(Time(2000000), pause));
        QCOMPARE(mAiffGetNumberOfFrames(name(pause).constData()), 88200);
        QCOMPARE(exporter.tempo, 80.0f);
    }

    void progressAndStop()
    {
        setChannels(2);
        AudioFilterExporter exporter;
        QVector<int> seen;
        const QString aiff = dir.filePath("stopped.aiff");
        connect(&exporter, &AudioFilterExporter::progressChanged, this, [&](int percent) {
            seen << percent;
            if (percent >= 30)
                exporter.stop();
        });
        QVERIFY(!exporter.exportFragment(stereo, Time(0), Time(3000000), aiff));
        QVERIFY(exporter.error().isEmpty());
        QVERIFY(!seen.isEmpty());
        QVERIFY(std::is_sorted(seen.cbegin(), seen.cend()));
        // What was written is a valid file holding the blocks made so far.
        const int frames = mAiffGetNumberOfFrames(name(aiff).constData());
        QVERIFY(frames > 0 && frames < 3 * 44100);
        QCOMPARE(QFile(aiff).size(), qint64(54 + frames * 4));
        // A stopped exporter stays stopped.
        QVERIFY(!exporter.exportFragment(stereo, Time(0), Time(100000), aiff));
        QCOMPARE(mAiffGetNumberOfFrames(name(aiff).constData()), 0);
    }

    void unwritableFile()
    {
        AudioFilterExporter exporter;
        QVERIFY(!exporter.exportFragment(stereo, Time(0), Time(100000), dir.filePath("no/folder/x.aiff")));
        QVERIFY(exporter.error().contains("no/folder/x.aiff"));
    }
};

QTEST_GUILESS_MAIN(tst_AudioFilterExporter)
#include "tst_AudioFilterExporter.moc"
