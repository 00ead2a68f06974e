// The waveform renderer: how a sample file is cut into chunks and columns,
// and the image it paints from real files.
#include "TestEnv.h"

#include "io/AudioRenderer.h"
#include "io/AudioWavePainter.h"
#include "io/PeakCalc.h"

#include <QFile>
#include <QReadWriteLock>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using TW::AudioRenderer;

using Ranges = QVector<QPair<qint64, qint64>>;
Q_DECLARE_METATYPE(Ranges)

namespace {

// Writes a sample file in which every block of samplesPerColumn samples has
// one constant amplitude, taken from the list in turn (so each column's RMS
// level is exactly that amplitude).
bool writeColumns(const QString &path, const QVector<qint16> &amplitudes, int samplesPerColumn,
                  qint64 totalSamples)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QVector<qint16> block;
    qint64 written = 0;
    for (int c = 0; written < totalSamples; ++c) {
        const qint16 a = amplitudes.at(c % amplitudes.size());
        const qint64 n = qMin<qint64>(samplesPerColumn, totalSamples - written);
        block.fill(0, int(n));
        for (int i = 0; i < n; ++i)
            block[i] = (i % 2) ? a : qint16(-a); // RMS of +-a is a
        if (f.write(reinterpret_cast<const char *>(block.constData()), n * 2) != n * 2)
            return false;
        written += n;
    }
    return true;
}

// The rows of column x that are white, as (first, count); (-1, 0) when none.
QPair<int, int> whiteRun(const QImage &image, int x)
{
    int first = -1, count = 0;
    for (int y = 0; y < image.height(); ++y) {
        if (qGray(image.pixel(x, y)) > 127) {
            if (first < 0)
                first = y;
            ++count;
        }
    }
    return qMakePair(first, count);
}

} // namespace

class AudioRendererTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
    }

    void layout_data()
    {
        QTest::addColumn<qint64>("samples");
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("samplesPerColumn");
        QTest::addColumn<int>("columnsPerChunk");
        QTest::addColumn<Ranges>("ranges");

        QTest::newRow("32,000,000 samples, 4 threads")
            << qint64(32000000) << 4 << 1000 << 8000
            << Ranges{{0, 16000000}, {16000000, 32000000}, {32000000, 48000000}, {48000000, 64000000}};
        QTest::newRow("one minute, 4 threads: 83 raised to 84")
            << qint64(2646000) << 4 << 84 << 8000
            << Ranges{{0, 1344000}, {1344000, 2688000}, {2688000, 4032000}, {4032000, 5292000}};
        QTest::newRow("1000 samples: no last chunk")
            << qint64(1000) << 4 << 2 << 8000
            << Ranges{{0, 32000}, {32000, 64000}, {64000, 96000}};
        QTest::newRow("one thread: one chunk")
            << qint64(2646000) << 1 << 84 << 32000 << Ranges{{0, 5292000}};
        QTest::newRow("no thread count: one chunk")
            << qint64(2646000) << -1 << 84 << 32000 << Ranges{{0, 5292000}};
        QTest::newRow("one sample")
            << qint64(1) << 2 << 2 << 16000 << Ranges{{0, 64000}};
        QTest::newRow("exact multiple stays even")
            << qint64(32000 * 6) << 3 << 6 << 10666
            << Ranges{{0, 127992}, {127992, 255984}, {255984, 384000}};
    }
    void layout()
    {
        QFETCH(qint64, samples);
        QFETCH(int, threads);
        QFETCH(int, samplesPerColumn);
        QFETCH(int, columnsPerChunk);
        QFETCH(Ranges, ranges);

        const auto l = AudioRenderer::layout(samples * 2, threads);
        QCOMPARE(l.sampleCount, samples);
        QCOMPARE(l.imageWidth, 32000);
        QCOMPARE(l.samplesPerColumn, samplesPerColumn);
        QCOMPARE(l.columnsPerChunk, columnsPerChunk);
        QCOMPARE(l.chunkCount, qMax(1, threads));
        QCOMPARE(AudioRenderer::chunkRanges(l, samples * 2), ranges);
    }

    // Real renderings of long and short sounds on one to four threads: image
    // width, the level of every column and the centring of its line.
    void renderWidths_data()
    {
        QTest::addColumn<qint64>("samples");
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("nonZeroColumns");

        QTest::newRow("32,000,000 samples on 4 threads") << qint64(32000000) << 4 << 32000 << 32000;
        QTest::newRow("one minute on 4 threads") << qint64(2646000) << 4 << 31500 << 31500;
        QTest::newRow("one minute on 1 thread") << qint64(2646000) << 1 << 31500 << 31500;
        QTest::newRow("one minute on 3 threads") << qint64(2646000) << 3 << 31500 << 31500;
        QTest::newRow("1000 samples on 4 threads") << qint64(1000) << 4 << 24000 << 500;
    }
    void renderWidths()
    {
        QFETCH(qint64, samples);
        QFETCH(int, threads);
        QFETCH(int, width);
        QFETCH(int, nonZeroColumns);

        const int perColumn = AudioRenderer::layout(samples * 2, threads).samplesPerColumn;
        const QVector<qint16> amplitudes{1000, 8000, 250, 16000, 0, 4000, 32767};
        const QString path = m_dir.filePath(QString("cols_%1.raw").arg(samples));
        if (!QFile::exists(path))
            QVERIFY(writeColumns(path, amplitudes, perColumn, samples));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QReadWriteLock lock;
        AudioRenderer renderer;
        renderer.setThreadCount(threads);
        const int height = 61;
        const QImage image = renderer.render(&file, &lock, 800, height);
        QCOMPARE(image.width(), width);
        QCOMPARE(image.height(), height);
        QCOMPARE(image.format(), QImage::Format_Mono);

        for (int x = 0; x < image.width(); ++x) {
            const int level = x < nonZeroColumns ? amplitudes.at(x % amplitudes.size()) : 0;
            const int h = level * height / 32767;
            const auto run = whiteRun(image, x);
            // A line from top to top + h (both included, cut at the bottom
            // edge), centred; a zero level leaves the centre pixel.
            const int top = (height - h) / 2;
            const int expected = qMin(top + h, height - 1) - top + 1;
            if (run.second != expected || run.first != top)
                QFAIL(qPrintable(QString("column %1: %2 white rows from %3, level %4, expected %5 from %6")
                                     .arg(x).arg(run.second).arg(run.first).arg(level).arg(expected).arg(top)));
        }
    }

    // The same columns cut into different chunk counts give the same image.
    void chunkingDoesNotChangeTheImage()
    {
        const qint64 samples = 2646000;
        const QString path = m_dir.filePath("noise.raw");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVector<qint16> data(qsizetype{samples});
            quint32 seed = 12345;
            for (int i = 0; i < data.size(); ++i) {
                seed = seed * 1664525u + 1013904223u;
                const double env = std::sin(i * 3.14159 / samples * 7) * 0.5 + 0.5;
                data[i] = qint16((int(seed >> 16) - 32768) * env);
            }
            QVERIFY(f.write(reinterpret_cast<const char *>(data.constData()), samples * 2) == samples * 2);
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QReadWriteLock lock;
        QImage reference;
        for (int threads : {1, 2, 3, 4, 7, 8}) {
            AudioRenderer renderer;
            renderer.setThreadCount(threads);
            const QImage image = renderer.render(&file, &lock, 1, 40);
            QCOMPARE(image.width(), 31500);
            if (reference.isNull())
                reference = image;
            else
                QVERIFY2(image == reference, qPrintable(QString("%1 threads").arg(threads)));
        }
    }

    void allZero()
    {
        const QString path = m_dir.filePath("zero.raw");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(2646000 * 2));
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QReadWriteLock lock;
        AudioRenderer renderer;
        renderer.setThreadCount(4);
        const int height = 60;
        const QImage image = renderer.render(&file, &lock, 100, height);
        QCOMPARE(image.width(), 31500);
        for (int x = 0; x < image.width(); ++x) {
            const auto run = whiteRun(image, x);
            if (run.second != 1 || run.first != height / 2)
                QFAIL(qPrintable(QString("column %1: %2 white rows from %3").arg(x).arg(run.second).arg(run.first)));
        }
    }

    void refused_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("withLock");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");

        const QString some(100, QChar('x'));
        QTest::newRow("empty file") << QString() << true << true << 800 << 60;
        QTest::newRow("file not open") << some << false << true << 800 << 60;
        QTest::newRow("no lock") << some << true << false << 800 << 60;
        QTest::newRow("width 0") << some << true << true << 0 << 60;
        QTest::newRow("height 0") << some << true << true << 800 << 0;
        QTest::newRow("negative height") << some << true << true << 800 << -5;
    }
    void refused()
    {
        QFETCH(QString, content);
        QFETCH(bool, open);
        QFETCH(bool, withLock);
        QFETCH(int, width);
        QFETCH(int, height);

        const QString path = m_dir.filePath(QString("refused_%1.raw").arg(QTest::currentDataTag()));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content.toLatin1());
        }
        QFile file(path);
        if (open)
            QVERIFY(file.open(QIODevice::ReadOnly));
        QReadWriteLock lock;
        AudioRenderer renderer;
        QVERIFY(renderer.render(&file, withLock ? &lock : nullptr, width, height).isNull());
        QVERIFY(renderer.render(nullptr, &lock, 800, 60).isNull());
    }

    // A job reads its chunk through its own handle; the values must be those
    // of block-by-block reads of the shared file under the lock.
    void peaksMatchSharedReads_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<int>("block");
        QTest::newRow("whole file") << qint64(0) << qint64(200000) << 168;
        QTest::newRow("odd block, partial last") << qint64(6) << qint64(199999) << 333;
        QTest::newRow("past the end") << qint64(190000) << qint64(260000) << 1000;
        QTest::newRow("beyond the end") << qint64(300000) << qint64(310000) << 1000;
        QTest::newRow("larger than a piece") << qint64(0) << qint64(200000) << 9000000;
        QTest::newRow("one byte blocks") << qint64(100) << qint64(140) << 1;
        QTest::newRow("empty range") << qint64(500) << qint64(500) << 4;
    }
    void peaksMatchSharedReads()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(int, block);
        const QString path = m_dir.filePath("peaks.raw");
        if (!QFile::exists(path)) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QByteArray data(200000, Qt::Uninitialized);
            quint32 seed = 99;
            for (char &c : data) {
                seed = seed * 1103515245u + 12345u;
                c = char(seed >> 23);
            }
            // Full-scale stretches too.
            for (int i = 1000; i < 3000; i += 2) {
                data[i] = 0;
                data[i + 1] = char(0x80);
            }
            f.write(data);
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QReadWriteLock lock;
        const RmsSet shared = TW::Util::calcRMS(&file, &lock, int(from), int(to), block);
        const RmsSet own = TW::PeakCalc(&file, &lock, from, to, block).calculate();
        QCOMPARE(own.first, shared.first);
        QCOMPARE(own.second, shared.second);
    }

    // A chunk painted against a maximum of 0 or with levels at full scale.
    void painterEdges()
    {
        TW::AudioWavePainter zero({0, 0, 0}, 0, 10);
        QImage image = zero.paint();
        QCOMPARE(image.size(), QSize(3, 10));

        for (int x = 0; x < 3; ++x)
            QCOMPARE(whiteRun(image, x), qMakePair(5, 1));

        TW::AudioWavePainter full({32767, 16383, 0}, 32767, 1000);
        image = full.paint();
        QCOMPARE(image.size(), QSize(3, 1000));
        QCOMPARE(whiteRun(image, 0), qMakePair(0, 1000));
        QCOMPARE(whiteRun(image, 1), qMakePair(250, 500));
        QCOMPARE(whiteRun(image, 2), qMakePair(500, 1));

        QVERIFY(TW::AudioWavePainter({}, 10, 10).paint().isNull());
    }
};

QTEST_MAIN(AudioRendererTest)
#include "tst_AudioRenderer.moc"
