#include "playback/TempoPitchStage.h"

#include "playback/PitchTempoFilter.h"

#include "AudioSignals.h"

#include <QTemporaryDir>
#include <QtTest>

#include <vector>

using namespace TW;
using namespace TW::test;

class tst_TempoPitchStage : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString quietThenTone; // 1 s of silence, then 1 s of 440 Hz, stereo

    size_t pull(TempoPitchStage &stage, std::vector<qint16> &out, float tempo)
    {
        size_t got = 0;
        while (got < out.size() / 2) {
            const size_t n = stage.pullAudio(out.data() + got * 2, out.size() / 2 - got, tempo, 0, 1);
            if (n == 0)
                break;
            got += n;
        }
        return got;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        quietThenTone = dir.filePath("quiet-then-tone.raw");
        QVector<qint16> samples(44100 * 2, 0);
        samples += sine(440, 1.0, 2);
        QVERIFY(writeRaw(quietThenTone, samples));
    }

    // A restart reads from the place asked for: from 1 s the tone is
    // heard at once.
    void restartReadsFromThePlace()
    {
        TempoPitchStage stage(44100, 2);
        stage.setSourceFile(quietThenTone);
        QCOMPARE(stage.sourceFile(), quietThenTone);
        std::vector<qint16> out(4410 * 2);
        stage.restartAt(0);
        QCOMPARE(pull(stage, out, 100), size_t(4410));
        QVERIFY(std::all_of(out.begin(), out.end(), [](qint16 v) { return std::abs(int(v)) < 50; }));
        stage.restartAt(1000000);
        QCOMPARE(pull(stage, out, 100), size_t(4410));
        QVERIFY(*std::max_element(out.begin(), out.end()) > 10000);
    }

    // The feed's tempo wins over what the fragment player's setter gave:
    // a second out at 100 % reads about a second of the source, at 50 %
    // about half of one.
    void pullsAtTheTempoAskedFor_data()
    {
        QTest::addColumn<float>("tempo");
        QTest::addColumn<qint64>("read");
        QTest::newRow("100") << 100.0f << qint64(1000000);
        QTest::newRow("50") << 50.0f << qint64(500000);
    }
    void pullsAtTheTempoAskedFor()
    {
        QFETCH(float, tempo);
        QFETCH(qint64, read);
        TempoPitchStage stage(44100, 2);
        stage.setSourceFile(quietThenTone);
        stage.setTempo(tempo == 100.0f ? 50.0f : 100.0f);
        stage.restartAt(0);
        std::vector<qint16> out(44100 * 2);
        QCOMPARE(pull(stage, out, tempo), size_t(44100));
        const qint64 was = stage.getFilter()->getCurrentTimePosition();
        QVERIFY2(std::abs(was - read) < 250000, qPrintable(QString::number(was)));
    }
};

QTEST_MAIN(tst_TempoPitchStage)
#include "tst_TempoPitchStage.moc"
