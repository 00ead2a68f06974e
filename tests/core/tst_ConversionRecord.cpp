// The record kept beside a converted file: trusted only while the source,
// the converted file and its marker are as they were when it was written.
#include "TestEnv.h"

#include "core/ConversionRecord.h"
#include "core/VideoFileParser.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using TW::AudioTrackInfo;
using TW::ConversionRecord;
using TW::VideoInputFile;

namespace {

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), qint64(data.size()));
}

void setModified(const QString &path, const QDateTime &when)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(when, QFileDevice::FileModificationTime));
}

const QString Digits = QString(24, 'a') + QString(24, 'b');

} // namespace

class ConversionRecordTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_cache;
    QString m_source;
    QString m_converted;

    VideoInputFile checked() const
    {
        VideoInputFile f;
        f.fps = 29.97f;
        f.width = 1280;
        f.height = 720;
        f.bitrate = 4100;
        f.sampleRate = 48000;
        f.audioBitrate = 128;
        f.channels = 2;
        f.duration = 61.5;
        f.aspectRatio = QSize(16, 9);
        f.videoCodec = "h264 (High)";
        return f;
    }

    static QVector<AudioTrackInfo> streams()
    {
        AudioTrackInfo a;
        a.channels = 6;
        a.sampleRate = 48000;
        a.trackId = 2;
        a.description = "[eng] Commentary";
        return {AudioTrackInfo(), a};
    }

    // A fresh source, converted file, marker and record.
    void prepare()
    {
        QDir(m_cache).removeRecursively();
        QVERIFY(QDir().mkpath(m_cache));
        writeFile(m_source, "the source's contents");
        writeFile(m_converted, "converted");
        writeFile(m_converted + ".finished", "");
        const QVector<AudioTrackInfo> audio = streams();
        QVERIFY(ConversionRecord::writeConversion(m_converted, checked(), ConversionRecord::SourceKey::of(m_source),
                                                  &audio));
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
        m_cache = m_dir.filePath("cache");
        m_source = m_dir.filePath("holiday.mp4");
        m_converted = QDir(m_cache).filePath(Digits + "_2.avi");
    }

    void roundTrip()
    {
        prepare();
        ConversionRecord::KnownSource known;
        QVERIFY(ConversionRecord::findSource(m_cache, ConversionRecord::SourceKey::of(m_source), &known));
        QCOMPARE(known.contentName, Digits);
        QVERIFY(known.audioKnown);
        QCOMPARE(known.audioTracks.size(), 2);
        QCOMPARE(known.audioTracks.at(1).trackId, 2);
        QCOMPARE(known.audioTracks.at(1).channels, 6);
        QCOMPARE(known.audioTracks.at(1).description, QString("[eng] Commentary"));

        VideoInputFile f;
        f.outputPath = m_converted;
        QVERIFY(ConversionRecord::readConversion(m_converted, &f));
        const VideoInputFile want = checked();
        QCOMPARE(f.fps, want.fps);
        QCOMPARE(f.width, want.width);
        QCOMPARE(f.height, want.height);
        QCOMPARE(f.bitrate, want.bitrate);
        QCOMPARE(f.sampleRate, want.sampleRate);
        QCOMPARE(f.audioBitrate, want.audioBitrate);
        QCOMPARE(f.channels, want.channels);
        QCOMPARE(f.duration, want.duration);
        QCOMPARE(f.aspectRatio, want.aspectRatio);
        QCOMPARE(f.videoCodec, want.videoCodec);
        QCOMPARE(f.status, int(VideoInputFile::Done));
        QCOMPARE(f.progress, 100);
        QCOMPARE(f.outputPath, m_converted);
    }

    // Whatever changed since the record was written makes it useless for
    // the changed part: the source is hashed again, the conversion checked
    // again, the converted file probed again.
    void notTrustedAfterAChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("sourceKnown");
        QTest::addColumn<bool>("conversionKnown");
        QTest::newRow("nothing") << "" << true << true;
        QTest::newRow("source's time") << "source time" << false << true;
        QTest::newRow("source's size") << "source size" << false << true;
        QTest::newRow("source moved") << "source moved" << false << true;
        QTest::newRow("source gone") << "source gone" << false << true;
        QTest::newRow("converted file rewritten") << "converted size" << true << false;
        QTest::newRow("converted file's time") << "converted time" << true << false;
        QTest::newRow("marker gone") << "marker gone" << true << false;
        QTest::newRow("converted file gone") << "converted gone" << true << false;
        QTest::newRow("record damaged") << "record damaged" << false << false;
        QTest::newRow("record empty") << "record empty" << false << false;
    }
    void notTrustedAfterAChange()
    {
        QFETCH(QString, change);
        QFETCH(bool, sourceKnown);
        QFETCH(bool, conversionKnown);
        prepare();
        const QString recordFile = ConversionRecord::recordPath(m_converted);
        QString source = m_source;
        if (change == "source time")
            setModified(m_source, QDateTime::currentDateTimeUtc().addSecs(-60));
        else if (change == "source size")
            writeFile(m_source, "the source's contents, longer");
        else if (change == "source moved") {
            source = m_dir.filePath("moved.mp4");
            QFile::remove(source);
            QVERIFY(QFile::rename(m_source, source));
        } else if (change == "source gone")
            QVERIFY(QFile::remove(m_source));
        else if (change == "converted size")
            writeFile(m_converted, "converted again, longer");
        else if (change == "converted time")
            setModified(m_converted, QDateTime::currentDateTimeUtc().addSecs(-60));
        else if (change == "marker gone")
            QVERIFY(QFile::remove(m_converted + ".finished"));
        else if (change == "converted gone")
            QVERIFY(QFile::remove(m_converted));
        else if (change == "record damaged")
            writeFile(recordFile, "{\"sources\": [");
        else if (change == "record empty")
            writeFile(recordFile, "");

        QCOMPARE(ConversionRecord::findSource(m_cache, ConversionRecord::SourceKey::of(source), nullptr), sourceKnown);
        QCOMPARE(ConversionRecord::readConversion(m_converted, nullptr), conversionKnown);
        ConversionRecord::storeProbeOutput(m_converted, "{\"format\": {}}");
        QCOMPARE(!ConversionRecord::probeOutput(m_converted).isEmpty(), conversionKnown);
    }

    // Another path of the same contents is added, not put in place of the
    // first; a source recorded again under its own path keeps one entry;
    // the stored probe survives a new record of the same converted file.
    void sourcesAccumulate()
    {
        prepare();
        ConversionRecord::storeProbeOutput(m_converted, "{\"format\": {\"duration\": \"2.5\"}}");
        const QString copy = m_dir.filePath("copy of holiday.mp4");
        QFile::remove(copy);
        QVERIFY(QFile::copy(m_source, copy));
        QVERIFY(ConversionRecord::writeConversion(m_converted, checked(), ConversionRecord::SourceKey::of(copy), nullptr));
        setModified(m_source, QDateTime::currentDateTimeUtc().addSecs(-120));
        QVERIFY(!ConversionRecord::findSource(m_cache, ConversionRecord::SourceKey::of(m_source), nullptr));
        QVERIFY(ConversionRecord::writeConversion(m_converted, checked(), ConversionRecord::SourceKey::of(m_source),
                                                  nullptr));
        for (const QString &s : {m_source, copy}) {
            ConversionRecord::KnownSource known;
            QVERIFY2(ConversionRecord::findSource(m_cache, ConversionRecord::SourceKey::of(s), &known), qPrintable(s));
            // The streams recorded first stay when none are given.
            QVERIFY(known.audioKnown);
            QCOMPARE(known.audioTracks.size(), 2);
        }
        QCOMPARE(ConversionRecord::probeOutput(m_converted), QByteArray("{\"format\": {\"duration\": \"2.5\"}}"));
        QFile record(ConversionRecord::recordPath(m_converted));
        QVERIFY(record.open(QIODevice::ReadOnly));
        QCOMPARE(record.readAll().count(QByteArray("holiday.mp4")), 2); // the source and its copy, once each
    }

    // The probe of a converted file with a record runs ffprobe once; the
    // second parser reads the stored output. A file without a record (not
    // made by the cache) gets nothing stored.
    void probeIsKept()
    {
        QVERIFY(QDir().mkpath(m_cache));
        const QString converted = QDir(m_cache).filePath(Digits + ".avi");
        const QString plain = m_dir.filePath("plain.wav");
        // A short valid file for ffprobe: a WAVE header with no samples.
        QByteArray wav("RIFF");
        const auto le32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char *>(&v), 4); };
        const auto le16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char *>(&v), 2); };
        wav += le32(36) + "WAVEfmt " + le32(16) + le16(1) + le16(2) + le32(44100) + le32(44100 * 4) + le16(4)
            + le16(16) + "data" + le32(0);
        writeFile(converted, wav);
        writeFile(converted + ".finished", "");
        writeFile(plain, wav);
        QVERIFY(ConversionRecord::writeConversion(converted, checked(), {}, nullptr));

        TW::VideoFileParser first;
        first.parseFile(converted);
        QCOMPARE(first.getAudioTracks().size(), 1);
        QVERIFY(!ConversionRecord::probeOutput(converted).isEmpty());
        // Garbage of the same size and time: ffprobe could make nothing of
        // it, so only the stored output can answer.
        const QDateTime modified = QFileInfo(converted).lastModified();
        writeFile(converted, QByteArray(wav.size(), 'z'));
        setModified(converted, modified);
        TW::VideoFileParser second;
        second.parseFile(converted);
        QCOMPARE(second.getAudioTracks().size(), 1);
        QCOMPARE(second.getAudioTracks().first().channels, 2);

        TW::VideoFileParser other;
        other.parseFile(plain);
        QCOMPARE(other.getAudioTracks().size(), 1);
        QVERIFY(!QFile::exists(ConversionRecord::recordPath(plain)));
    }
};

QTEST_MAIN(ConversionRecordTest)
#include "tst_ConversionRecord.moc"
