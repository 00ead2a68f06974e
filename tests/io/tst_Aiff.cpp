// The AIFF library: the header it writes byte for byte, appends that keep
// the file valid, sample sizes and clamping, its own reader, ffprobe's
// reading of its files, and the error codes.
#include "io/Aiff.h"

#include "core/Util.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

quint32 be32(const QByteArray &b, int at)
{
    return (quint32(uchar(b[at])) << 24) | (quint32(uchar(b[at + 1])) << 16) | (quint32(uchar(b[at + 2])) << 8)
        | quint32(uchar(b[at + 3]));
}

quint16 be16(const QByteArray &b, int at)
{
    return quint16((uchar(b[at]) << 8) | uchar(b[at + 1]));
}

struct Buffers
{
    int channels;
    float **data;
    Buffers(int c, int frames) : channels(c), data(mAiffAllocateAudioBuffer(c, frames)) {}
    ~Buffers() { mAiffDeallocateAudioBuffer(data, channels); }
};

QByteArray path8(const QString &path)
{
    return QFile::encodeName(path);
}

} // namespace

class tst_Aiff : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void rate80_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("44100") << 44100.0 << QByteArray::fromHex("400EAC44000000000000");
        QTest::newRow("48000") << 48000.0 << QByteArray::fromHex("400EBB80000000000000");
        QTest::newRow("8000") << 8000.0 << QByteArray::fromHex("400BFA00000000000000");
        // A power of two: the exponent must not fall one short.
        QTest::newRow("32768") << 32768.0 << QByteArray::fromHex("400E8000000000000000");
        QTest::newRow("22050.5") << 22050.5 << QByteArray::fromHex("400DAC45000000000000");
        QTest::newRow("zero") << 0.0 << QByteArray(10, '\0');
    }
    void rate80()
    {
        QFETCH(double, rate);
        QFETCH(QByteArray, bytes);
        unsigned char out[10];
        mAiffDoubleToIeee80(rate, out);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(out), 10).toHex(), bytes.toHex());
        QCOMPARE(mAiffIeee80ToDouble(out), rate);
    }

    void newFileHeader()
    {
        const QString path = dir.filePath("new.aiff");
        QCOMPARE(mAiffInitFile(path8(path).constData(), 16, 2, 44100.0f), 0);
        const QByteArray b = readAll(path);
        QCOMPARE(b.size(), 54);
        QCOMPARE(b.left(4), QByteArray("FORM"));
        QCOMPARE(be32(b, 4), 46u);
        QCOMPARE(b.mid(8, 8), QByteArray("AIFFCOMM"));
        QCOMPARE(be32(b, 16), 18u);
        QCOMPARE(be16(b, 20), quint16(2));
        QCOMPARE(be32(b, 22), 0u);
        QCOMPARE(be16(b, 26), quint16(16));
        QCOMPARE(b.mid(28, 10).toHex(), QByteArray("400eac44000000000000"));
        QCOMPARE(b.mid(38, 4), QByteArray("SSND"));
        QCOMPARE(be32(b, 42), 8u);
        QCOMPARE(be32(b, 46), 0u);
        QCOMPARE(be32(b, 50), 0u);
    }

    void appendsKeepTheHeaderTrue()
    {
        const QString path = dir.filePath("append.aiff");
        QCOMPARE(mAiffInitFile(path8(path).constData(), 16, 2, 44100.0f), 0);
        Buffers buf(2, 4096);
        for (int i = 0; i < 4096; ++i) {
            buf.data[0][i] = 0.5f;
            buf.data[1][i] = -0.25f;
        }
        QCOMPARE(mAiffWriteData(path8(path).constData(), buf.data, 4096, 2), 16384);
        QByteArray b = readAll(path);
        QCOMPARE(b.size(), 54 + 16384);
        QCOMPARE(be32(b, 4), 16430u);
        QCOMPARE(be32(b, 22), 4096u);
        QCOMPARE(be32(b, 42), 16392u);
        QCOMPARE(be16(b, 54), quint16(16384));  // 0.5 x 32768
        QCOMPARE(be16(b, 56), quint16(0xE000)); // -0.25 x 32768
        QCOMPARE(mAiffWriteData(path8(path).constData(), buf.data, 4096, 2), 16384);
        QCOMPARE(mAiffGetNumberOfFrames(path8(path).constData()), 8192);
        QCOMPARE(mAiffWriteData(path8(path).constData(), buf.data, 0, 2), 0);
        QCOMPARE(readAll(path).size(), 54 + 2 * 16384);
    }

    void sampleSizes_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<float>("value");
        QTest::addColumn<QByteArray>("bytes"); // the first sample as written
        QTest::newRow("8 half") << 8 << 0.5f << QByteArray::fromHex("40");
        QTest::newRow("8 negative") << 8 << -0.5f << QByteArray::fromHex("c0");
        QTest::newRow("16 full scale") << 16 << 1.5f << QByteArray::fromHex("7ffc");
        QTest::newRow("16 below") << 16 << -2.0f << QByteArray::fromHex("8000");
        QTest::newRow("24 half") << 24 << 0.5f << QByteArray::fromHex("400000");
        QTest::newRow("24 negative") << 24 << -0.5f << QByteArray::fromHex("c00000");
        QTest::newRow("32 quarter") << 32 << 0.25f << QByteArray::fromHex("20000000");
        QTest::newRow("32 minus one") << 32 << -1.0f << QByteArray::fromHex("80000000");
    }
    void sampleSizes()
    {
        QFETCH(int, bits);
        QFETCH(float, value);
        QFETCH(QByteArray, bytes);
        const QString path = dir.filePath(QStringLiteral("bits%1.aiff").arg(QTest::currentDataTag()));
        QCOMPARE(mAiffInitFile(path8(path).constData(), bits, 1, 48000.0f), 0);
        Buffers buf(1, 3);
        buf.data[0][0] = value;
        buf.data[0][1] = 0.125f;
        buf.data[0][2] = -0.125f;
        QCOMPARE(mAiffWriteData(path8(path).constData(), buf.data, 3, 1), 3 * bits / 8);
        QCOMPARE(readAll(path).mid(54, bits / 8).toHex(), bytes.toHex());
        QCOMPARE(mAiffGetWordlength(path8(path).constData()), bits);
        QCOMPARE(mAiffGetSampleRate(path8(path).constData()), 48000);
        // The reader gives back what was written, within one step.
        Buffers back(1, 3);
        QCOMPARE(mAiffReadData(path8(path).constData(), back.data, 0, 3), 3);
        const float step = float(std::ldexp(1.0, 1 - bits));
        const float clamped = qBound(-1.0f, value, 0.9999f);
        QVERIFY2(std::fabs(back.data[0][0] - clamped) <= step, qPrintable(QString::number(back.data[0][0])));
        QCOMPARE(back.data[0][1], 0.125f);
        QCOMPARE(back.data[0][2], -0.125f);
        QCOMPARE(mAiffReadDataFromChannel(path8(path).constData(), back.data[0], 7, 1, 2), 2);
        QCOMPARE(back.data[0][0], 0.125f);
    }

    void clampingWritesBack()
    {
        const QString path = dir.filePath("clamp.aiff");
        QCOMPARE(mAiffInitFile(path8(path).constData(), 16, 1, 44100.0f), 0);
        Buffers buf(1, 3);
        buf.data[0][0] = 1.5f;
        buf.data[0][1] = -2.0f;
        buf.data[0][2] = std::nanf("");
        QCOMPARE(mAiffWriteData(path8(path).constData(), buf.data, 3, 1), 6);
        QCOMPARE(buf.data[0][0], 0.9999f);
        QCOMPARE(buf.data[0][1], -1.0f);
        QCOMPARE(buf.data[0][2], 0.0f);
        const QByteArray b = readAll(path);
        QCOMPARE(qint16(be16(b, 54)), qint16(32764));
        QCOMPARE(qint16(be16(b, 56)), qint16(-32768));
        QCOMPARE(qint16(be16(b, 58)), qint16(0));
    }

    void fewerAndMoreChannelsThanTheFile()
    {
        // A mono block into a stereo file leaves the second channel silent;
        // a stereo block into a mono file keeps its first channel.
        const QString stereo = dir.filePath("ch2.aiff");
        QCOMPARE(mAiffInitFile(path8(stereo).constData(), 16, 2, 44100.0f), 0);
        Buffers one(1, 2);
        one.data[0][0] = one.data[0][1] = 0.5f;
        QCOMPARE(mAiffWriteData(path8(stereo).constData(), one.data, 2, 1), 8);
        QCOMPARE(readAll(stereo).mid(54).toHex(), QByteArray("4000000040000000"));
        const QString mono = dir.filePath("ch1.aiff");
        QCOMPARE(mAiffInitFile(path8(mono).constData(), 16, 1, 44100.0f), 0);
        Buffers two(2, 1);
        two.data[0][0] = 0.25f;
        two.data[1][0] = -0.25f;
        QCOMPARE(mAiffWriteData(path8(mono).constData(), two.data, 1, 2), 2);
        QCOMPARE(readAll(mono).mid(54).toHex(), QByteArray("2000"));
    }

    void ffprobeReadsIt()
    {
        const QString path = dir.filePath("probe.aiff");
        QCOMPARE(mAiffInitFile(path8(path).constData(), 16, 2, 44100.0f), 0);
        Buffers buf(2, 44100);
        for (int i = 0; i < 44100; ++i)
            buf.data[0][i] = buf.data[1][i] = float(0.5 * std::sin(2 * M_PI * 440 * i / 44100.0));
        QVERIFY(mAiffWriteData(path8(path).constData(), buf.data, 22050, 2) > 0);
        QVERIFY(mAiffWriteData(path8(path).constData(), buf.data, 22050, 2) > 0);
        QProcess probe;
        probe.start(TW::Util::externalProgram("ffprobe"),
                    {"-v", "error", "-show_entries", "stream=codec_name,sample_rate,channels,duration", "-of",
                     "default=nw=1", path});
        QVERIFY(probe.waitForFinished(30000));
        QCOMPARE(probe.exitCode(), 0);
        const QString out = QString::fromUtf8(probe.readAllStandardOutput());
        QVERIFY2(out.contains("codec_name=pcm_s16be"), qPrintable(out));
        QVERIFY2(out.contains("sample_rate=44100"), qPrintable(out));
        QVERIFY2(out.contains("channels=2"), qPrintable(out));
        QVERIFY2(out.contains("duration=1.000000"), qPrintable(out));
    }

    void errors()
    {
        const QString twelve = dir.filePath("twelve.aiff");
        QCOMPARE(mAiffInitFile(path8(twelve).constData(), 12, 1, 44100.0f), int(kAiffBadSampleSize));
        QVERIFY(!QFile::exists(twelve));
        QCOMPARE(mAiffInitFile(nullptr, 16, 1, 44100.0f), int(kAiffCannotWrite));
        QCOMPARE(mAiffInitFile(path8(dir.filePath("no/such/folder.aiff")).constData(), 16, 1, 44100.0f),
                 int(kAiffCannotWrite));

        Buffers buf(1, 4);
        QCOMPARE(mAiffWriteData(nullptr, buf.data, 4, 1), int(kAiffCannotWrite));
        QCOMPARE(mAiffWriteData(path8(dir.filePath("missing.aiff")).constData(), buf.data, 4, 1),
                 int(kAiffCannotRead));

        // An AIFF-C file is not appended to, and is left as it was.
        const QString aifc = dir.filePath("c.aifc");
        QFile f(aifc);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("FORM") + QByteArray::fromHex("00000004") + "AIFC");
        f.close();
        QCOMPARE(mAiffWriteData(path8(aifc).constData(), buf.data, 4, 1), int(kAiffNotAiff));
        QCOMPARE(readAll(aifc).size(), 12);
        QCOMPARE(mAiffGetNumberOfChannels(path8(aifc).constData()), int(kAiffNotAiff));

        // Readers: no sample data, too many channels.
        const QString app = dir.filePath("app.aiff");
        QCOMPARE(mAiffWriteAppData(path8(app).constData(), "hello", 5), 0);
        QCOMPARE(mAiffGetNumberOfFrames(path8(app).constData()), int(kAiffNoSampleData));
        const QString six = dir.filePath("six.aiff");
        QCOMPARE(mAiffInitFile(path8(six).constData(), 16, 6, 44100.0f), 0);
        QCOMPARE(mAiffGetNumberOfChannels(path8(six).constData()), int(kAiffTooManyChannels));
        QCOMPARE(mAiffGetNumberOfChannels(nullptr), int(kAiffCannotRead));
    }

    void applicationData()
    {
        const QString path = dir.filePath("appdata.aiff");
        const QByteArray odd("odd bytes"); // odd size: a pad byte follows
        QCOMPARE(mAiffWriteAppData(path8(path).constData(), odd.constData(), int(odd.size())), 0);
        char back[32] = {};
        QCOMPARE(mAiffReadAppData(path8(path).constData(), back, int(sizeof back)), int(odd.size()));
        QCOMPARE(QByteArray(back), odd);
        QCOMPARE(readAll(path).size() % 2, 0);
        NASsampleInfo *info = new NASsampleInfo;
        QCOMPARE(mAiffReadInfo(path8(path).constData(), info), 0);
        QCOMPARE(int(info->numChannels), 1);
        QCOMPARE(int(info->sampleSize), 16);
        QCOMPARE(info->sampleRate, 44100.0f);
        delete info;
        QCOMPARE(QByteArray(mAiffGetVersion()), QByteArray("2.1.0 [1206111600]"));
    }
};

QTEST_GUILESS_MAIN(tst_Aiff)
#include "tst_Aiff.moc"
