// The per-track cache of extracted audio and waveform images: names that
// stay the same across runs, extraction once, the stored waveform, clearing
// one path's files only, and the silence file's audio.
#include "TestEnv.h"
#include "TestMedia.h"

#include "core/Options.h"
#include "core/VlcMedia.h"
#include "io/ResourceManager.h"
#include "model/MediaTrack.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtConcurrent>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using TW::MediaTrack;
using TW::ResourceManager;
using TW::test::TestMedia;

namespace {

const char ChildVariable[] = "TW_TEST_PRINT_RESOURCE_PATH";

QString tempFolder()
{
    return TW::Options::instance()->getPath(TW::TempFolder);
}

QSharedPointer<MediaTrack> trackOf(const QString &path, int index)
{
    return QSharedPointer<MediaTrack>(new MediaTrack(path, index, path));
}

int audioTrackId(const QString &path, int n)
{
    MediaTrack probe(path, 0, path);
    const auto &tracks = probe.getMedia()->getMediaInfo().audioTracks;
    return n < tracks.size() ? tracks.at(n).trackId : -1;
}

void touch(const QString &path, const QByteArray &content = QByteArray("x"))
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

} // namespace

class ResourceManagerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
        QDir().mkpath(tempFolder());
    }

    void hash_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("hash");
        QTest::newRow("empty") << QString() << 2166136261u;
        QTest::newRow("a") << "a" << 3826002220u;
        QTest::newRow("folder") << "/m" << 1691485513u;
        QTest::newRow("file") << "/clip.avi" << 3098031660u;
    }
    void hash()
    {
        QFETCH(QString, text);
        QFETCH(quint32, hash);
        QCOMPARE(ResourceManager::stableHash(text), hash);
    }

    void resourcePath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folderPart");
        QTest::addColumn<QString>("filePart");
        QTest::newRow("plain") << "/m/clip.avi" << "/m" << "/clip.avi";
        QTest::newRow("in the root") << "/clip.avi" << "" << "/clip.avi";
        QTest::newRow("no separator") << "clip.avi" << "clip.avi" << "clip.avi";
        QTest::newRow("blanks and accents") << "/a b/Ünï/c d.avi" << "/a b/Ünï" << "/c d.avi";
    }
    void resourcePath()
    {
        QFETCH(QString, path);
        QFETCH(QString, folderPart);
        QFETCH(QString, filePart);
        const QString expected = tempFolder() + QDir::separator()
            + QString::number(ResourceManager::stableHash(folderPart)) + "."
            + QString::number(ResourceManager::stableHash(filePart));
        QCOMPARE(ResourceManager::getResourcePath(path), expected);
    }

    // Another process (with Qt's per-process hash seed) names the same files.
    void namesStableAcrossProcesses()
    {
        const QStringList paths{"/m/clip.avi", "/a b/Ünï/c d.avi", "x"};
        for (const QString &path : paths) {
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(ChildVariable, path);
            child.setProcessEnvironment(env);
            child.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(child.waitForFinished(30000));
            QCOMPARE(child.exitCode(), 0);
            QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).trimmed(),
                     ResourceManager::getResourcePath(path));
        }
    }

    // Two audio tracks of one file: two audio files and two waveforms beside
    // one base; each extracted once.
    void twoTracksOfOneFile()
    {
        const QString source = TestMedia::make(TestMedia::TwoAudioTracks, m_dir.path(), 2.0);
        QVERIFY(!source.isEmpty());
        const int first = audioTrackId(source, 0), second = audioTrackId(source, 1);
        QVERIFY(first >= 0 && second >= 0 && first != second);
        const auto a = trackOf(source, first), b = trackOf(source, second);

        const QString base = ResourceManager::getResourcePath(source);
        const QString wavA = ResourceManager::extractAudioSamples(a);
        const QString wavB = ResourceManager::extractAudioSamples(b);
        QCOMPARE(wavA, base + QString("_%1.wav").arg(first));
        QCOMPARE(wavB, base + QString("_%1.wav").arg(second));
        QCOMPARE(ResourceManager::getExtractedAudioFileForTrack(a), wavA);
        QVERIFY(QFileInfo(wavA).size() > 44100 * 4);
        QCOMPARE(QFileInfo(wavA).size(), QFileInfo(wavB).size());
        QFile fa(wavA), fb(wavB);
        QVERIFY(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
        QVERIFY(fa.readAll() != fb.readAll()); // 440 Hz and 880 Hz

        // Present and not empty: taken as it is.
        const QDateTime written = QFileInfo(wavA).lastModified();
        QTest::qWait(20);
        QCOMPARE(ResourceManager::extractAudioSamples(a), wavA);
        QCOMPARE(QFileInfo(wavA).lastModified(), written);

        const QImage waveA = ResourceManager::getAudioWave(a, 800, 60);
        const QImage waveB = ResourceManager::getAudioWave(b, 800, 60);
        QVERIFY(!waveA.isNull() && !waveB.isNull());
        QVERIFY(QFile::exists(base + QString("_%1.png").arg(first)));
        QVERIFY(QFile::exists(base + QString("_%1.png").arg(second)));
    }

    // An empty file (an interrupted run) is extracted again; a non-empty one
    // is trusted; a track without audio leaves no file.
    void leftovers()
    {
        const QString source = TestMedia::make(TestMedia::Mono, m_dir.path(), 1.0);
        const auto track = trackOf(source, audioTrackId(source, 0));
        const QString name = ResourceManager::getExtractedAudioFileForTrack(track);

        touch(name, QByteArray());
        QString got;
        QVERIFY(ResourceManager::tryExtractAudioSamples(track, &got));
        QCOMPARE(got, name);
        QVERIFY(QFileInfo(name).size() > 40000 * 2);

        touch(name, QByteArray(10, '\0'));
        QCOMPARE(ResourceManager::extractAudioSamples(track), name);
        QCOMPARE(QFileInfo(name).size(), qint64(10));

        const QString silent = TestMedia::make(TestMedia::SilentVideo, m_dir.path(), 1.0);
        const auto noAudio = trackOf(silent, 0);
        const QString none = ResourceManager::extractAudioSamples(noAudio);
        QVERIFY(!none.isEmpty());
        QVERIFY(!QFile::exists(none));
        QVERIFY(!ResourceManager::tryExtractAudioSamples(noAudio, nullptr));
    }

    // Two threads asking for the same track's audio at once: one extracts,
    // the other finds its result; both get the complete file.
    void concurrentRequests()
    {
        const QString source = TestMedia::make(TestMedia::AudioOnly, m_dir.path(), 2.0);
        const auto track = trackOf(source, audioTrackId(source, 0));
        const QString name = ResourceManager::getExtractedAudioFileForTrack(track);
        QFile::remove(name);
        auto ask = [track] {
            QString got;
            return ResourceManager::tryExtractAudioSamples(track, &got) ? got : QString();
        };
        QFuture<QString> a = QtConcurrent::run(ask);
        QFuture<QString> b = QtConcurrent::run(ask);
        QCOMPARE(a.result(), name);
        QCOMPARE(b.result(), name);
        QVERIFY(!QFile::exists(name + ".part"));
        const qint64 expected = TestMedia::decodeS16(source, 2).size();
        QVERIFY(QFileInfo(name).size() <= expected && QFileInfo(name).size() >= expected - 2205 * 4);
    }

    void waveform()
    {
        const QString source = TestMedia::make(TestMedia::AudioOnly, m_dir.path(), 2.0);
        const auto track = trackOf(source, audioTrackId(source, 0));
        const QString png = ResourceManager::getResourcePath(source) + QString("_%1.png").arg(track->getTrackIndex());
        QFile::remove(png);

        const QImage first = ResourceManager::getAudioWave(track, 800, 60);
        QVERIFY(!first.isNull());
        QCOMPARE(first.height(), 60);
        QVERIFY(QFile::exists(png));
        // A later request of another size gets the stored image.
        const QImage second = ResourceManager::getAudioWave(track, 1600, 60);
        QCOMPARE(second.size(), first.size());
        QCOMPARE(second.convertToFormat(QImage::Format_RGB32), first.convertToFormat(QImage::Format_RGB32));

        // A damaged stored image is drawn again rather than returned null.
        touch(png, "not a png");
        const QImage again = ResourceManager::getAudioWave(track, 800, 60);
        QCOMPARE(again.convertToFormat(QImage::Format_RGB32), first.convertToFormat(QImage::Format_RGB32));
        QVERIFY(!QImage(png).isNull());
    }

    // A source that has gone since its track was made: no audio file, a
    // null waveform, nothing stored, and the next request tries again.
    void failedExtraction()
    {
        const QString source = m_dir.filePath("vanishing.wav");
        QVERIFY(QFile::copy(TestMedia::make(TestMedia::AudioOnly, m_dir.path(), 1.0), source));
        const auto track = trackOf(source, audioTrackId(source, 0));
        QVERIFY(QFile::remove(source));

        QString name;
        QVERIFY(!ResourceManager::tryExtractAudioSamples(track, &name));
        QVERIFY(!QFile::exists(name));
        QVERIFY(!QFile::exists(name + ".part"));
        QVERIFY(ResourceManager::getAudioWave(track, 800, 60).isNull());
        QVERIFY(!QFile::exists(ResourceManager::getResourcePath(source) + QString("_%1.png").arg(track->getTrackIndex())));

        QVERIFY(QFile::copy(TestMedia::make(TestMedia::AudioOnly, m_dir.path(), 1.0), source));
        QVERIFY(ResourceManager::tryExtractAudioSamples(track, &name));
        QVERIFY(!ResourceManager::getAudioWave(track, 800, 60).isNull());
    }

    void waveformWithoutAudio()
    {
        const QString silent = TestMedia::make(TestMedia::SilentVideo, m_dir.path(), 1.0);
        const auto track = trackOf(silent, 0);
        const QImage image = ResourceManager::getAudioWave(track, 800, 60);
        QCOMPARE(image.size(), QSize(800, 60));
        for (int y = 0; y < image.height(); y += 7)
            for (int x = 0; x < image.width(); x += 13)
                QCOMPARE(qGray(image.pixel(x, y)), 0);
        QVERIFY(!QFile::exists(ResourceManager::getResourcePath(silent) + "_0.png"));
    }

    // Only the files of that path go: every index, both kinds and an
    // unfinished extraction; not another folder's, not a name that merely
    // begins with the same digits, not unrelated files.
    void clearCached()
    {
        const QString path = "/media/clips/holiday.avi";
        const QString base = ResourceManager::getResourcePath(path);
        const QString other = ResourceManager::getResourcePath("/media/other/holiday.avi");
        const QStringList mine{base + "_0.wav", base + "_0.png", base + "_12.wav", base + "_12.png",
                               base + "_3.wav.part"};
        const QStringList kept{other + "_0.wav", other + "_0.png", base + "7_0.wav", base + "1_12.png",
                               base + "_x.wav", base + "_1.wav.bak", base + ".txt"};
        for (const QString &f : mine + kept)
            touch(f);

        ResourceManager::clearCached(path);
        for (const QString &f : mine)
            QVERIFY2(!QFile::exists(f), qPrintable(f));
        for (const QString &f : kept) {
            QVERIFY2(QFile::exists(f), qPrintable(f));
            QFile::remove(f);
        }
    }

    // The silence file's audio is never decoded: a sparse file of zeros of
    // the whole hour appears at once.
    void silenceFile()
    {
        const QString silence = TW::test::binDir() + "/silence_1_hour.avi";
        if (!QFile::exists(silence))
            QSKIP("the build has not made silence_1_hour.avi");
        QVERIFY(ResourceManager::isSilenceFile(silence));

        const auto track = trackOf(silence, 0);
        QVERIFY(track->hasAudioTrack());
        QVERIFY(track->getDuration().unitCount >= 3600LL * 1000000);
        const QString name = ResourceManager::getExtractedAudioFileForTrack(track);
        QFile::remove(name);

        QElapsedTimer timer;
        timer.start();
        QVERIFY(ResourceManager::tryExtractAudioSamples(track, nullptr));
        // Nothing is decoded: the file is written sparse (checked below); the
        // bound only catches a decode of the hour, with room for a loaded
        // machine.
        QVERIFY2(timer.elapsed() < 30000, qPrintable(QString("%1 ms").arg(timer.elapsed())));
        QVERIFY(QFileInfo(name).size() >= 3600LL * 44100 * 2 * 2);
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(name).constData(), &st) == 0);
        QVERIFY2(qint64(st.st_blocks) * 512 < 16 * 1024 * 1024,
                 qPrintable(QString("%1 bytes on disk").arg(qint64(st.st_blocks) * 512)));
        QFile f(name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        for (qint64 at : {qint64(0), qint64(317520000), f.size() - 4096}) {
            QVERIFY(f.seek(at));
            QCOMPARE(f.read(4096), QByteArray(4096, '\0'));
        }

        // Its waveform: a flat line, drawn from the sparse file quickly.
        QFile::remove(ResourceManager::getResourcePath(silence) + "_0.png");
        timer.restart();
        const QImage wave = ResourceManager::getAudioWave(track, 800, 60);
        qDebug() << "silence waveform" << timer.elapsed() << "ms";
        QVERIFY(!wave.isNull());
        QVERIFY(wave.width() > 31000 && wave.width() <= 32000);
        for (int x = 0; x < wave.width(); x += 997)
            for (int y = 0; y < wave.height(); ++y)
                QCOMPARE(qGray(wave.pixel(x, y)) > 127, y == 30);
    }

    // Only the program's own file counts as the silence source.
    void silenceFileElsewhere()
    {
        const QString folder = m_dir.filePath("elsewhere");
        QVERIFY(QDir().mkpath(folder));
        touch(folder + "/silence_1_hour.avi");
        QVERIFY(!ResourceManager::isSilenceFile(folder + "/silence_1_hour.avi"));
        QVERIFY(!ResourceManager::isSilenceFile(TW::test::binDir() + "/silence_2_hours.avi"));
    }
};

int main(int argc, char **argv)
{
    // Child mode of namesStableAcrossProcesses: print one cache name.
    if (qEnvironmentVariableIsSet(ChildVariable)) {
        QCoreApplication app(argc, argv);
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        const QString path = qEnvironmentVariable(ChildVariable);
        QTextStream(stdout) << ResourceManager::getResourcePath(path) << Qt::endl;
        return 0;
    }
    QApplication app(argc, argv);
    ResourceManagerTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ResourceManager.moc"
