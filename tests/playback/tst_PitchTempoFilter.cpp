#include "playback/PitchTempoFilter.h"

#include "AudioSignals.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace TW;
using namespace TW::test;

namespace {

// Pulls in blocks of the size libvlc typically asks for, until the filter
// runs dry or maxFrames are collected.
QVector<qint16> pull(PitchTempoFilter &filter, qint64 maxFrames, int block = 1024)
{
    QVector<qint16> out;
    const int ch = filter.getChannels();
    while (out.size() / ch < maxFrames) {
        char *buffer = nullptr;
        const auto n = filter.getProcessedSamples(block, &buffer);
        for (unsigned long long i = 0; i < n * ch; ++i)
            out.append(qint16(quint16(uchar(buffer[2 * i])) | (quint16(uchar(buffer[2 * i + 1])) << 8)));
        delete[] buffer;
        if (n == 0)
            break;
    }
    return out;
}

} // namespace

class tst_PitchTempoFilter : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString sine440Stereo;
    QString sine440Mono;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        sine440Stereo = dir.filePath("sine440s.raw");
        sine440Mono = dir.filePath("sine440m.raw");
        QVERIFY(writeRaw(sine440Stereo, sine(440, 4.0, 2)));
        QVERIFY(writeRaw(sine440Mono, sine(440, 3.0, 1)));
    }

    void startByte_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<qint64>("micros");
        QTest::addColumn<qint64>("startByte");
        QTest::newRow("mono half second") << 1 << qint64(500000) << qint64(44100);
        QTest::newRow("stereo one second") << 2 << qint64(1000000) << qint64(176400);
        QTest::newRow("stereo rounds down to frame") << 2 << qint64(1000010) << qint64(176400);
        QTest::newRow("stereo 176403 bytes") << 2 << qint64(1000017) << qint64(176400);
        QTest::newRow("negative clamps to start") << 2 << qint64(-5000) << qint64(0);
    }
    void startByte()
    {
        QFETCH(int, channels);
        QFETCH(qint64, micros);
        QFETCH(qint64, startByte);
        PitchTempoFilter filter(44100, 2, channels);
        filter.setStartPosition(Time(micros));
        QCOMPARE(filter.getStartPosition(), startByte);
    }

    void outputLengthFollowsTempo_data()
    {
        QTest::addColumn<float>("tempo");
        for (float t : {25.f, 50.f, 75.f, 100.f, 150.f, 200.f})
            QTest::newRow(qPrintable(QString("%1 %").arg(t))) << t;
    }
    void outputLengthFollowsTempo()
    {
        QFETCH(float, tempo);
        PitchTempoFilter filter(44100, 2, 2);
        QVERIFY(filter.initialise());
        filter.setSourceFileName(sine440Stereo);
        filter.setTempo(tempo);
        filter.setStartPosition(Time(0));
        const QVector<qint16> out = pull(filter, 44100 * 40);
        const double expected = 4.0 * 44100 * 100.0 / tempo;
        const double got = out.size() / 2;
        QVERIFY2(std::abs(got - expected) <= expected * 0.005,
                 qPrintable(QString("got %1 frames, expected %2").arg(got).arg(expected)));
    }

    void pitchShiftsByTrueFactor_data()
    {
        QTest::addColumn<float>("semitones");
        for (float s : {-12.f, -7.f, 7.f, 12.f})
            QTest::newRow(qPrintable(QString("%1").arg(s))) << s;
    }
    void pitchShiftsByTrueFactor()
    {
        QFETCH(float, semitones);
        PitchTempoFilter filter(44100, 2, 1);
        QVERIFY(filter.initialise());
        filter.setSourceFileName(sine440Mono);
        filter.setPitch(semitones);
        filter.setStartPosition(Time(0));
        const QVector<qint16> out = pull(filter, 44100 * 3);
        QVERIFY(out.size() > 44100 * 2);
        // Measure well inside the tone, away from the onset and the tail.
        const QVector<double> mono = channel(out, 1, 0).mid(22050, 44100);
        const double measured = toneFrequency(mono);
        const double expected = 440.0 * std::pow(2.0, semitones / 12.0);
        const double cents = 1200.0 * std::log2(measured / expected);
        QVERIFY2(std::abs(cents) <= 2.0,
                 qPrintable(QString("measured %1 Hz, expected %2 Hz (%3 cents)")
                                .arg(measured).arg(expected).arg(cents)));
    }

    // A loud input with gain must clip, never wrap around at 16 bits (which
    // turns a peak into a full-scale jump of the opposite sign).
    void loudInputWithGainDoesNotFlipSign()
    {
        const QString loud = dir.filePath("loud.raw");
        QVERIFY(writeRaw(loud, sine(200, 1.0, 2, 0.98)));
        PitchTempoFilter filter(44100, 2, 2);
        QVERIFY(filter.initialise());
        filter.setSourceFileName(loud);
        filter.setVolume(180);
        filter.setStartPosition(Time(0));
        const QVector<qint16> out = pull(filter, 44100);
        QVERIFY(out.size() > 44100);
        int peak = 0, largestStep = 0;
        for (int i = 2; i < out.size(); ++i) {
            peak = std::max(peak, std::abs(int(out[i])));
            largestStep = std::max(largestStep, std::abs(int(out[i]) - int(out[i - 2])));
        }
        QCOMPARE(peak, 32768);
        QVERIFY2(largestStep < 16000, qPrintable(QString("step %1").arg(largestStep)));
    }

    void volumeScalesOutput()
    {
        PitchTempoFilter filter(44100, 2, 1);
        QVERIFY(filter.initialise());
        filter.setSourceFileName(sine440Mono);
        filter.setVolume(50);
        QCOMPARE(filter.getGain(), 0.5f);
        filter.setStartPosition(Time(0));
        const QVector<double> half = channel(pull(filter, 22050), 1, 0);
        filter.setVolume(100);
        filter.setStartPosition(Time(0));
        const QVector<double> full = channel(pull(filter, 22050), 1, 0);
        const double ratio = std::sqrt(tonePower(half.mid(4410, 8820), 440)
                                       / tonePower(full.mid(4410, 8820), 440));
        QVERIFY2(std::abs(ratio - 0.5) < 0.02, qPrintable(QString::number(ratio)));
        filter.setVolume(0);
        filter.setStartPosition(Time(0));
        for (qint16 s : pull(filter, 4410))
            QVERIFY(std::abs(int(s)) <= 1);
    }

    // After a move nothing of the old position may be heard: a file of two
    // tones, played in the first, then moved into the second, at two tempos.
    void newPositionHasNothingOfOld_data()
    {
        QTest::addColumn<float>("tempo");
        QTest::newRow("100 %") << 100.f;
        QTest::newRow("75 %") << 75.f;
        QTest::newRow("150 %") << 150.f;
    }
    void newPositionHasNothingOfOld()
    {
        QFETCH(float, tempo);
        const QString twoTone = dir.filePath("twotone.raw");
        QVector<qint16> samples = sine(440, 2.0, 2);
        samples += sine(1000, 2.0, 2);
        QVERIFY(writeRaw(twoTone, samples));

        PitchTempoFilter filter(44100, 2, 2);
        QVERIFY(filter.initialise());
        filter.setSourceFileName(twoTone);
        filter.setTempo(tempo);
        filter.setStartPosition(Time(0));
        const QVector<double> before = channel(pull(filter, 22050), 2, 0);
        QVERIFY(tonePower(before.mid(4096, 8192), 440) > 100 * tonePower(before.mid(4096, 8192), 1000));

        filter.setStartPosition(Time(2500000));
        const QVector<double> after = channel(pull(filter, 8192, 512), 2, 0);
        QVERIFY(after.size() >= 8192);
        const QVector<double> head = after.mid(0, 4096);
        const double old = tonePower(head, 440);
        const double now = tonePower(head, 1000);
        QVERIFY2(old * 1000 < now, qPrintable(QString("440 Hz %1, 1000 Hz %2").arg(old).arg(now)));
    }

    // At 100 % and no pitch change the source comes out as it is, scaled
    // by the gain, from the position asked for: the engine is passed by.
    void bypassCopiesTheSource_data()
    {
        QTest::addColumn<float>("volume");
        QTest::newRow("full") << 100.0f;
        QTest::newRow("half") << 50.0f;
    }
    void bypassCopiesTheSource()
    {
        QFETCH(float, volume);
        const QVector<qint16> in = sine(440, 1.0, 2);
        PitchTempoFilter filter(44100, 2, 2);
        QVERIFY(filter.initialise());
        filter.setSourceFileName(sine440Stereo);
        filter.setVolume(volume);
        filter.setStartPosition(Time(100000)); // frame 4410
        std::vector<qint16> out(4410 * 2);
        QCOMPARE(filter.pullInterleaved(out.data(), 4410), size_t(4410));
        QVERIFY(filter.isBypassed());
        QCOMPARE(filter.latencyFrames(), size_t(0));
        for (int i = 0; i < 4410 * 2; ++i) {
            const int expected = int(std::round(double(in[4410 * 2 + i]) * volume / 100.0));
            if (std::abs(int(out[size_t(i)]) - expected) > 1)
                QFAIL(qPrintable(QString("sample %1: %2, not %3").arg(i).arg(out[size_t(i)]).arg(expected)));
        }
        // Stretched again, the engine takes over; back at 100 % the copy
        // comes back from the next start.
        filter.setTempo(50);
        QVERIFY(filter.pullInterleaved(out.data(), 4410) > 0);
        QVERIFY(!filter.isBypassed());
        filter.setTempo(100);
        filter.setStartPosition(Time(0));
        QVERIFY(filter.pullInterleaved(out.data(), 4410) > 0);
        QVERIFY(filter.isBypassed());
    }

    // Leaving the copy for the engine in the middle of the sound loses and
    // repeats nothing: one second at 100 %, the other three at 50 % last
    // seven seconds, and the tone keeps its pitch.
    void leavingBypassKeepsLengthAndPitch()
    {
        PitchTempoFilter filter(44100, 2, 2);
        QVERIFY(filter.initialise());
        filter.setSourceFileName(sine440Stereo);
        filter.setStartPosition(Time(0));
        std::vector<qint16> first(44100 * 2);
        QCOMPARE(filter.pullInterleaved(first.data(), 44100), size_t(44100));
        filter.setTempo(50);
        const QVector<qint16> rest = pull(filter, 44100 * 20);
        const double seconds = 1.0 + double(rest.size() / 2) / 44100.0;
        QVERIFY2(std::abs(seconds - 7.0) < 7.0 * 0.005, qPrintable(QString("%1 s").arg(seconds)));
        const double hz = toneFrequency(channel(rest, 2, 0).mid(44100, 44100));
        QVERIFY2(std::abs(1200.0 * std::log2(hz / 440.0)) < 2.0, qPrintable(QString("%1 Hz").arg(hz)));
    }

    // The engine's start delay is dropped: at tempo 100 and pitch 0 the
    // output lines up with the input at the position asked for.
    void outputStartsAtThePosition()
    {
        // A rising tone (chirp) makes any offset show as a frequency error.
        const QString chirp = dir.filePath("chirp.raw");
        QVector<qint16> samples(44100 * 3);
        for (int i = 0; i < samples.size(); ++i) {
            const double t = double(i) / 44100;
            samples[i] = qint16(12000 * std::sin(2 * M_PI * (200 * t + 150 * t * t)));
        }
        QVERIFY(writeRaw(chirp, samples));
        PitchTempoFilter filter(44100, 2, 1);
        QVERIFY(filter.initialise());
        filter.setSourceFileName(chirp);
        filter.setStartPosition(Time(1000000));
        const QVector<double> out = channel(pull(filter, 8192), 1, 0);
        QVERIFY(out.size() >= 8192);
        // Best alignment of the output with the source after 1 s.
        int bestLag = 0;
        double best = -1e300;
        for (int lag = -2048; lag <= 2048; ++lag) {
            double acc = 0;
            for (int i = 2048; i < 6144; ++i)
                acc += out[i] * samples[44100 + i + lag];
            if (acc > best) {
                best = acc;
                bestLag = lag;
            }
        }
        QVERIFY2(std::abs(bestLag) <= 64, qPrintable(QString("offset %1 frames").arg(bestLag)));
    }

    // The position is exact at every tempo: from 0.5 s, a beep at 1 s of
    // the source is heard after 0.5 s / tempo of output.
    void positionIsExactAtAnyTempo_data()
    {
        QTest::addColumn<float>("tempo");
        for (float t : {50.f, 75.f, 100.f, 150.f, 200.f})
            QTest::newRow(qPrintable(QString("%1 %").arg(t))) << t;
    }
    void positionIsExactAtAnyTempo()
    {
        QFETCH(float, tempo);
        const QString beeps = dir.filePath("beeps.raw");
        if (!QFile::exists(beeps)) {
            QVector<qint16> s(44100 * 3 * 2);
            for (int i = 0; i < 44100 * 3; ++i) {
                const double t = double(i) / 44100;
                const double v = std::fmod(t, 1.0) < 0.04 ? 0.8 * std::sin(2 * M_PI * 1000 * t) : 0.0;
                s[2 * i] = s[2 * i + 1] = qint16(v * 32767);
            }
            QVERIFY(writeRaw(beeps, s));
        }
        PitchTempoFilter filter(44100, 2, 2);
        QVERIFY(filter.initialise());
        filter.setSourceFileName(beeps);
        filter.setTempo(tempo);
        filter.setStartPosition(Time(500000));
        const QVector<double> out = channel(pull(filter, 44100 * 2), 2, 0);
        int onset = -1;
        for (int i = 0; i < out.size() && onset < 0; ++i)
            if (std::abs(out[i]) > 6000)
                onset = i;
        QVERIFY(onset > 0);
        const double expectedMs = 500.0 * 100.0 / tempo;
        const double gotMs = onset * 1000.0 / 44100;
        QVERIFY2(std::abs(gotMs - expectedMs) <= 12.0,
                 qPrintable(QString("beep after %1 ms, expected %2 ms").arg(gotMs).arg(expectedMs)));
    }

    void withoutEngineOrSourceNothingIsProduced()
    {
        PitchTempoFilter noEngine(44100, 2, 2);
        noEngine.setSourceFileName(sine440Stereo);
        noEngine.setTempo(50);
        noEngine.setPitch(3);
        noEngine.setProperties(3, 50);
        char *buffer = nullptr;
        QCOMPARE(noEngine.getProcessedSamples(1024, &buffer), 0ull);
        delete[] buffer;

        PitchTempoFilter noFile(44100, 2, 2);
        QVERIFY(noFile.initialise());
        QTest::ignoreMessage(QtCriticalMsg, "No source file present");
        noFile.setSourceFileName(dir.filePath("missing.raw"));
        noFile.setStartPosition(Time(0));
        QCOMPARE(noFile.getProcessedSamples(1024, &buffer), 0ull);
        delete[] buffer;

        PitchTempoFilter badFormat(44100, 2, 0);
        QTest::ignoreMessage(QtCriticalMsg, "Could not create Rubber Band instance");
        QVERIFY(!badFormat.initialise());
    }

    void partialTrailingFrameCountsAsRead()
    {
        const QString tiny = dir.filePath("tiny.raw");
        QFile f(tiny);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\x10\x00\x20", 3);
        f.close();
        PitchTempoFilter filter(44100, 2, 1);
        QVERIFY(filter.initialise());
        filter.setSourceFileName(tiny);
        filter.setStartPosition(Time(0));
        const QVector<qint16> out = pull(filter, 44100);
        Q_UNUSED(out);
        // 3 bytes of a 2-byte-per-second-sample mono source: 34 microseconds.
        QCOMPARE(filter.getCurrentTimePosition(), qint64(3 * 1000000 / 88200));
    }

    void exportFormMatchesPlaybackForm()
    {
        PitchTempoFilter a(44100, 2, 2), b(44100, 2, 2);
        QVERIFY(a.initialise());
        QVERIFY(b.initialise());
        for (auto *f : {&a, &b}) {
            f->setSourceFileName(sine440Stereo);
            f->setTempo(75);
            f->setPitch(2);
            f->setStartPosition(Time(0));
        }
        char *bytes = nullptr;
        const auto n = a.getProcessedSamples(4096, &bytes);
        QVector<float> left(4096), right(4096);
        float *planes[2] = {left.data(), right.data()};
        const auto m = b.getProcessedSamples(4096, planes);
        QCOMPARE(n, m);
        QVERIFY(n > 0);
        for (unsigned long long i = 0; i < n; i += 97) {
            const auto s = qint16(quint16(uchar(bytes[4 * i])) | (quint16(uchar(bytes[4 * i + 1])) << 8));
            QVERIFY(std::abs(s - (left[i] * 32767.5f - 0.5f)) <= 1.0f);
        }
        delete[] bytes;
    }
};

QTEST_GUILESS_MAIN(tst_PitchTempoFilter)
#include "tst_PitchTempoFilter.moc"
