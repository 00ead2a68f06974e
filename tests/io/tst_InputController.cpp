// Opening paths into the project: telling projects from media files, the
// XML project form and its bad inputs, importing media files through the
// conversion cache, finding a project's media again, and the user's say
// (audio track choice, progress and cancel, missing files) through the
// controller's interaction hooks.
#include "io/InputController.h"
#include "model/VideoLoop.h"
#include "model/MediaTimeLine.h"

#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "core/VideoFileParser.h"
#include "core/VideoInputStorage.h"
#include "model/Media.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <QDialog>
#include <QProcess>
#include <QStandardPaths>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QRegularExpression>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

using TW::InputController;
using TW::Media;
using TW::OptionsHolder;
using TW::Singleton;
using TW::test::TestMedia;

// Stands in for the progress dialog: records what it is told and can cancel
// the import the way a user does.
class FakeProgress : public QDialog
{
    Q_OBJECT

public:
    QStringList messages;
    QList<int> values;
    std::function<void(FakeProgress *)> onShow;

    ~FakeProgress() override;

public slots:
    void setMessage(const QString &message) { messages << message; }
    void setProgress(int percent) { values << percent; }

signals:
    void cancelled();

protected:
    void showEvent(QShowEvent *event) override
    {
        QDialog::showEvent(event);
        if (onShow)
            QTimer::singleShot(0, this, [this] { onShow(this); });
    }
};

namespace {

// What the hooks were asked and what they answer.
struct User
{
    int chooseAnswer = 0;
    QList<QVector<TW::AudioTrackInfo>> chooseCalls;
    QStringList missingAsked;
    QStringList missingAnswers; // taken in order; empty answer once used up
    QList<QPair<QString, QString>> boxes;
    QList<QPair<QString, QString>> warnings; // also in boxes
    int dialogsMade = 0;
    QStringList dialogMessages;
    bool dialogVisibleAfterwards = false;
    std::function<void(FakeProgress *)> onProgressShown;
};

User *g_user = nullptr;

void installFakeUser()
{
    InputController::Interaction hooks;
    hooks.chooseAudioTrack = [](const QVector<TW::AudioTrackInfo> &tracks) {
        g_user->chooseCalls << tracks;
        return g_user->chooseAnswer;
    };
    hooks.makeProgressDialog = []() -> QDialog * {
        ++g_user->dialogsMade;
        auto *dialog = new FakeProgress;
        dialog->onShow = g_user->onProgressShown;
        return dialog;
    };
    hooks.findMissingFile = [](const QString &missing) {
        g_user->missingAsked << missing;
        return g_user->missingAnswers.isEmpty() ? QString() : g_user->missingAnswers.takeFirst();
    };
    hooks.inform = [](const QString &title, const QString &text) { g_user->boxes << qMakePair(title, text); };
    hooks.warn = [](const QString &title, const QString &text) {
        g_user->boxes << qMakePair(title, text);
        g_user->warnings << qMakePair(title, text);
    };
    InputController::setInteraction(hooks);
}

OptionsHolder &projectOptions()
{
    return *Singleton<OptionsHolder>::instance();
}

using TW::test::readFile;
using TW::test::writeFile;

// The XML project form as the project writer lays it out.
QByteArray projectXml(const Media &media, const OptionsHolder &options, const QString &version = "2")
{
    QDomDocument document;
    QDomElement root = document.createElement("tarnwell_project");
    root.setAttribute("version", version);
    document.appendChild(root);
    root.appendChild(media.toDomElement(document, "media"));
    root.appendChild(options.toDomElement(document, "options"));
    return document.toByteArray(1);
}

bool allTracksLoaded(const Media &media)
{
    for (const auto &fragment : media.getTrackFragments()) {
        if (!fragment->track || !fragment->track->isLoaded())
            return false;
    }
    return true;
}

} // namespace

FakeProgress::~FakeProgress()
{
    g_user->dialogMessages = messages;
    g_user->dialogVisibleAfterwards = isVisible();
}

class InputControllerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    User m_user;
    QString m_clip;           // a video with one stereo track
    QString m_clipProject;    // a saved project over m_clip
    QString m_clipConverted;  // its converted file in the cache

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString cacheFolder() const { return TW::Options::instance()->getPath(TW::CacheFolder); }

    // Opens a path the way opening a file does.
    bool open(const QString &file, QSharedPointer<Media> media, QString *error = nullptr,
              bool projectsOnly = false, bool checkMedia = true)
    {
        InputController controller(file, media);
        const bool loaded = controller.exec(nullptr, projectsOnly, checkMedia);
        if (error)
            *error = controller.errorString();
        return loaded;
    }

    // The clip's project with its track naming another converted file and
    // source.
    QByteArray projectOver(const QString &converted, const QString &source)
    {
        QByteArray xml = readFile(m_clipProject);
        xml.replace(QDir::toNativeSeparators(m_clipConverted).toUtf8(), converted.toUtf8());
        xml.replace(QDir::toNativeSeparators(m_clip).toUtf8(), source.toUtf8());
        return xml;
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        QVERIFY(m_dir.isValid());
        g_user = &m_user;
        installFakeUser();
        m_clip = TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 1.0);
        QVERIFY(!m_clip.isEmpty());

        // One real import makes the converted file the project tests reuse.
        auto media = QSharedPointer<Media>::create();
        QString error;
        QVERIFY2(open(m_clip, media, &error), qPrintable(error));
        QCOMPARE(media->getTrackFragments().size(), 1);
        m_clipConverted = media->getTrackFragments().first()->track->getName();
        QVERIFY(QFile::exists(m_clipConverted));
        m_clipProject = writeFile(path("clip.twp"), projectXml(*media, projectOptions()));
        QVERIFY(!m_clipProject.isEmpty());
    }

    void init()
    {
        m_user = User();
        projectOptions().reset();
    }

    void importsMediaFile()
    {
        // A clip of its own: the one of initTestCase is in the cache already.
        const QString clip = TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 1.2);
        QVERIFY(!clip.isEmpty());
        auto media = QSharedPointer<Media>::create();
        QString error;
        QVERIFY2(open(clip, media, &error), qPrintable(error));
        QVERIFY(error.isEmpty());
        QCOMPARE(media->getFilePath(), clip);
        QCOMPARE(media->getTrackFragments().size(), 1);
        const auto track = media->getTrackFragments().first()->track;
        QVERIFY(track->isLoaded());
        QCOMPARE(track->getOrigName(), QDir::toNativeSeparators(clip));
        QVERIFY(track->getName().startsWith(QDir::toNativeSeparators(cacheFolder())));
        // The played track is the converted file's own audio track.
        QCOMPARE(track->getChannels(), 2);
        QVERIFY(media->getDuration() > TW::Time(0));

        // The converted file's properties shape the project.
        QCOMPARE(projectOptions().m_originalvideoWidth, 320);
        QCOMPARE(projectOptions().m_originalvideoHeight, 240);
        QCOMPARE(projectOptions().m_videoWidth, 320);
        QCOMPARE(projectOptions().m_videoHeight, 240);
        QCOMPARE(projectOptions().m_originalfps, 25.0f);
        QCOMPARE(projectOptions().m_numChannels, 2);

        // One track: nothing to choose. The progress dialog was shown with
        // its message and closed.
        QCOMPARE(m_user.chooseCalls.size(), 0);
        QCOMPARE(m_user.dialogsMade, 1);
        QCOMPARE(m_user.dialogMessages, QStringList{"Importing video"});
        QVERIFY(!m_user.dialogVisibleAfterwards);
        QVERIFY(m_user.boxes.isEmpty());
    }

    void choosesAmongAudioTracks_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("frequency");
        QTest::newRow("second track") << 1 << 880;
        QTest::newRow("first track") << 0 << 440;
        // A chooser that answers nothing usable gets the first track.
        QTest::newRow("out of range") << 7 << 440;
    }
    void choosesAmongAudioTracks()
    {
        QFETCH(int, answer);
        QFETCH(int, frequency);
        const QString source = TestMedia::make(TestMedia::TwoAudioTracks, m_dir.path(), 1.0);
        QVERIFY(!source.isEmpty());
        m_user.chooseAnswer = answer;
        auto media = QSharedPointer<Media>::create();
        QString error;
        QVERIFY2(open(source, media, &error), qPrintable(error));
        QCOMPARE(m_user.chooseCalls.size(), 1);
        QCOMPARE(m_user.chooseCalls.first().size(), 2);
        const auto track = media->getTrackFragments().first()->track;
        QCOMPARE(track->getChannels(), 2);

        // The converted file carries the chosen stream: count zero crossings
        // of its audio to tell 440 Hz from 880 Hz.
        const QByteArray samples = TestMedia::decodeS16(track->getName(), 1);
        QVERIFY(samples.size() > 44100);
        const auto *s = reinterpret_cast<const qint16 *>(samples.constData());
        int crossings = 0;
        for (int i = 1; i < 44100 / 2; ++i)
            crossings += (s[i - 1] < 0) != (s[i] < 0);
        QVERIFY2(qAbs(crossings - frequency) < frequency / 10, qPrintable(QString::number(crossings)));

        // The first (default) track keeps the plain content name that other
        // installations look for; only another track's conversion is marked.
        const QString name = QFileInfo(track->getName()).completeBaseName();
        QVERIFY2(QRegularExpression(frequency == 440 ? "^[0-9a-f]{48}$" : "^[0-9a-f]{48}_\\d+$").match(name).hasMatch(),
                 qPrintable(name));
    }

    void cancelledImportLeavesNoTrack()
    {
        const QString source = path("cancel-me.mkv");
        QVERIFY(QFile::copy(TestMedia::make(TestMedia::Mono, m_dir.path(), 1.0), source));
        m_user.onProgressShown = [](FakeProgress *dialog) { emit dialog->cancelled(); };
        auto media = QSharedPointer<Media>::create();
        QString error;
        QVERIFY(!open(source, media, &error));
        QVERIFY(media->getTrackFragments().isEmpty());
        QCOMPARE(m_user.boxes.size(), 1);
        QCOMPARE(m_user.boxes.first(), qMakePair(QString("Video Import"), QString("Video Import Cancelled.")));
        // The user was told; nothing more to show.
        QVERIFY(error.isEmpty());
    }

    // The content name of a source (a whole read of it) is worked out on a
    // worker thread, not on the window's.
    void contentNameIsReadOffTheWindowThread()
    {
        const QString source = path("large.mkv");
        QVERIFY(QFile::copy(TestMedia::make(TestMedia::Mono, m_dir.path(), 1.0), source));
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.resize(file.size() + 64 * 1024 * 1024)); // sparse: read as zeros
        }
        static QThread *hashedOn = nullptr;
        static QtMessageHandler previous = nullptr;
        hashedOn = nullptr;
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
            if (text.contains(QLatin1String("hash:")))
                hashedOn = QThread::currentThread();
            if (previous)
                previous(type, context, text);
        });
        auto media = QSharedPointer<Media>::create();
        QString error;
        const bool opened = open(source, media, &error);
        qInstallMessageHandler(previous);
        QVERIFY2(opened, qPrintable(error));
        QVERIFY(hashedOn);
        QVERIFY(hashedOn != QCoreApplication::instance()->thread());
        QVERIFY(!media->getTrackFragments().isEmpty());
    }

    // Events are processed while a conversion runs, so a second open can
    // arrive meanwhile: it is refused and leaves its project alone.
    void secondOpenDuringImportIsRefused()
    {
        const QString source = path("busy.mkv");
        QVERIFY(QFile::copy(TestMedia::make(TestMedia::Mono, m_dir.path(), 1.0), source));
        auto other = QSharedPointer<Media>::create();
        other->setFilePath("untouched");
        bool refused = false;
        QString refusal;
        m_user.onProgressShown = [&](FakeProgress *) {
            QVERIFY(InputController::isBusy());
            InputController second(m_clip, other);
            refused = !second.exec(nullptr, false, true);
            refusal = second.errorString();
        };
        auto media = QSharedPointer<Media>::create();
        QVERIFY(open(source, media));
        QVERIFY(refused);
        QVERIFY(!refusal.isEmpty());
        QCOMPARE(other->getFilePath(), QString("untouched"));
        QVERIFY(!InputController::isBusy());
        QCOMPARE(media->getTrackFragments().size(), 1);
    }

    // The bad media inputs: each opens with loaded tracks or fails with a
    // reason the user gets to see; the progress dialog never stays up.
    void badMediaInputs_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("expected"); // 1 opens, 0 fails, -1 either
        QTest::newRow("empty file") << "empty" << 0;
        QTest::newRow("random bytes named mp4") << "random" << 0;
        QTest::newRow("truncated mp4") << "truncated" << 0;
        QTest::newRow("no audio") << "silent" << -1;
        QTest::newRow("no video") << "audio" << -1;
        QTest::newRow("six channels") << "six" << 1;
    }
    void badMediaInputs()
    {
        QFETCH(QString, kind);
        QFETCH(int, expected);
        QString source;
        if (kind == "empty") {
            source = writeFile(path("empty.mp4"), QByteArray());
        } else if (kind == "random") {
            QByteArray bytes(64 * 1024, '\0');
            QRandomGenerator generator(7);
            for (char &c : bytes)
                c = char(generator.bounded(256));
            source = writeFile(path("random.mp4"), bytes);
        } else if (kind == "truncated") {
            source = writeFile(path("truncated.mp4"), readFile(m_clip).left(3000));
        } else if (kind == "silent") {
            source = TestMedia::make(TestMedia::SilentVideo, m_dir.path(), 1.0);
        } else if (kind == "audio") {
            source = TestMedia::make(TestMedia::AudioOnly, m_dir.path(), 1.0);
        } else if (kind == "six") {
            source = TestMedia::make(TestMedia::SixChannel, m_dir.path(), 1.0);
        }
        QVERIFY(!source.isEmpty());

        auto media = QSharedPointer<Media>::create();
        QString error;
        const bool loaded = open(source, media, &error);
        if (expected >= 0)
            QCOMPARE(loaded, expected == 1);
        if (loaded) {
            QVERIFY(!media->getTrackFragments().isEmpty());
            QVERIFY(allTracksLoaded(*media));
            QVERIFY(media->getDuration() > TW::Time(0));
            QVERIFY(projectOptions().m_numChannels >= 1 && projectOptions().m_numChannels <= 2);
        } else {
            QVERIFY2(!error.isEmpty() || !m_user.boxes.isEmpty(), "a failed open must say why");
            QVERIFY(!m_user.dialogVisibleAfterwards);
            if (!m_user.boxes.isEmpty())
                QCOMPARE(m_user.boxes.first().first, QString("Video Import"));
            // Bytes that are no media at all are called so, as a warning.
            if (kind == "empty" || kind == "random") {
                const QString told = m_user.warnings.isEmpty() ? error : m_user.warnings.first().second;
                QVERIFY2(told.contains("not a media file that ffmpeg can read"), qPrintable(told));
            }
        }
        QVERIFY(!InputController::isBusy());
    }

    void sixChannelsPlayAsTwo()
    {
        const QString source = TestMedia::make(TestMedia::SixChannel, m_dir.path(), 1.0);
        auto media = QSharedPointer<Media>::create();
        QVERIFY(open(source, media));
        QCOMPARE(projectOptions().m_numChannels, 2);
    }

    // The first bytes decide the kind of a file; only the root's opening tag
    // at the very start makes an XML project.
    void detectsKindByFirstBytes_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("isXmlProject");
        QTest::newRow("xml project") << QByteArray() << true;
        QTest::newRow("xml declaration first") << QByteArray("<?xml version=\"1.0\"?>\n") << false;
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF") << false;
        QTest::newRow("leading blank") << QByteArray(" ") << false;
        QTest::newRow("comment first") << QByteArray("<!-- saved -->") << false;
    }
    void detectsKindByFirstBytes()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, isXmlProject);
        const QString file = writeFile(path("head.twp"), head + readFile(m_clipProject));
        auto media = QSharedPointer<Media>::create();
        QString error;
        // Projects only: anything else is refused without being imported.
        QCOMPARE(open(file, media, &error, true, false), isXmlProject);
        QCOMPARE(m_user.dialogsMade, 0);
        if (!isXmlProject)
            QVERIFY(error.contains("not a project"));
    }

    void oldTextForm_data()
    {
        QTest::addColumn<bool>("projectsOnly");
        QTest::newRow("opening") << false;
        QTest::newRow("projects only") << true;
    }
    // A project of the old text form opens its media file with the project's
    // pitch and tempo and one loop; where only XML projects are wanted (the
    // cache clearing) it is refused.
    void oldTextForm()
    {
        QFETCH(bool, projectsOnly);
        const QString file = writeFile(path("old.twp"), "[Tarnwell Project]\nAviFullPath=" + m_clip.toUtf8() +
                                                            "\npitch=2\ntempo=-25\nstartloop=1.9\nendloop=2\n");
        auto media = QSharedPointer<Media>::create();
        QString error;
        QCOMPARE(open(file, media, &error, projectsOnly), !projectsOnly);
        QCOMPARE(m_user.dialogsMade, projectsOnly ? 0 : m_user.dialogsMade);
        if (projectsOnly) {
            QVERIFY(error.contains("old text form"));
            QVERIFY(media->isEmpty());
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(media->getTrackFragments().size(), 1);
        const OptionsHolder *options = Singleton<OptionsHolder>::instance();
        QCOMPARE(options->getProjectPitch(), 2.0f);
        QCOMPARE(options->getProjectTempo(), 75.0f);
        const auto loops = media->getTimeline()->getLoops();
        QCOMPARE(loops.size(), 1);
        const double fps = options->m_fps;
        QCOMPARE(loops.first()->getStartFrame(), int(1 * fps));
        QCOMPARE(loops.first()->getEndFrame(), int(2 * fps));
        QCOMPARE(loops.first()->getPitch(), 2.0f);
        QCOMPARE(loops.first()->getTempo(), 75.0f);
    }

    void oldTextFormRefusals_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("loop without end") << QByteArray("pitch=0\ntempo=0\nstartloop=1\n") << "line 5:";
        QTest::newRow("tempo out of range") << QByteArray("pitch=0\ntempo=500\nstartloop=1\nendloop=2\n") << "line 4:";
        QTest::newRow("blanks around the equals sign")
            << QByteArray("pitch=0\ntempo = 5\nstartloop=1\nendloop=2\n") << "no \"tempo\"";
    }
    void oldTextFormRefusals()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        const QString file = writeFile(path("broken-old.twp"), "[Tarnwell Project]\navifullpath=" + m_clip.toUtf8() + "\n" + text);
        auto media = QSharedPointer<Media>::create();
        QString error;
        QVERIFY(!open(file, media, &error, false));
        QVERIFY2(error.contains("could not be read") && error.contains(message), qPrintable(error));
        QVERIFY(media->isEmpty());
        QCOMPARE(m_user.dialogsMade, 0);
    }

    // Devices, pipes and folders, also behind a link, are refused at once
    // with a message instead of being read for ever.
    void nonRegularFilesAreRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("device") << "device";
        QTest::newRow("link to a device") << "link";
        QTest::newRow("pipe") << "fifo";
        QTest::newRow("folder") << "folder";
    }
    void nonRegularFilesAreRefused()
    {
        QFETCH(QString, kind);
        QString target;
        if (kind == "device") {
            target = "/dev/zero";
        } else if (kind == "link") {
            target = path("zero.mp4");
            QFile::remove(target);
            QVERIFY(QFile::link("/dev/zero", target));
        } else if (kind == "fifo") {
            target = path("pipe.mp4");
            QFile::remove(target);
            QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        } else {
            target = path("folder.mp4");
            QVERIFY(QDir().mkpath(target));
        }
        auto media = QSharedPointer<Media>::create();
        QString error;
        QElapsedTimer took;
        took.start();
        QVERIFY(!open(target, media, &error));
        QVERIFY(took.elapsed() < 5000);
        QVERIFY2(error.contains("not a regular file"), qPrintable(error));
        QCOMPARE(m_user.dialogsMade, 0);
    }

    void unreadablePathFails_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("said");
        QTest::newRow("missing file") << "nowhere.twp" << "Unable to open";
        QTest::newRow("folder") << "folder.twp" << "not a regular file";
    }
    void unreadablePathFails()
    {
        QFETCH(QString, name);
        QFETCH(QString, said);
        QDir(m_dir.path()).mkpath("folder.twp");
        auto media = QSharedPointer<Media>::create();
        QString error;
        QVERIFY(!open(path(name), media, &error));
        QVERIFY2(error.contains(said), qPrintable(error));
        QCOMPARE(media->getFilePath(), path(name));
        QCOMPARE(m_user.dialogsMade, 0);
    }

    // A saved project opens again with the same edit list and settings, its
    // converted file found in the cache without converting anything. The
    // project's path is the file opened, not the one it was saved from.
    void projectRoundTrip()
    {
        auto media = QSharedPointer<Media>::create();
        QVERIFY(open(m_clip, media));
        projectOptions().setProjectTempo(75.0f);
        projectOptions().setProjectPitch(2.0f);
        const QString file = writeFile(path("round.twp"), projectXml(*media, projectOptions()));

        projectOptions().reset();
        m_user = User();
        auto reopened = QSharedPointer<Media>::create();
        QString error;
        QVERIFY2(open(file, reopened, &error), qPrintable(error));
        QCOMPARE(m_user.dialogsMade, 0);
        QCOMPARE(reopened->getFilePath(), file);
        QCOMPARE(reopened->getTrackFragments().size(), 1);
        QVERIFY(allTracksLoaded(*reopened));
        const auto track = reopened->getTrackFragments().first()->track;
        const auto before = media->getTrackFragments().first()->track;
        QCOMPARE(track->getName(), before->getName());
        QCOMPARE(track->getOrigName(), before->getOrigName());
        QCOMPARE(track->getTrackIndex(), before->getTrackIndex());
        QCOMPARE(reopened->getDuration(), media->getDuration());
        QCOMPARE(projectOptions().getProjectTempo(), 75.0f);
        QCOMPARE(projectOptions().getProjectPitch(), 2.0f);
        QCOMPARE(projectOptions().m_originalvideoWidth, 320);
    }

    // Reading for cache clearing: projects only, media not touched.
    void readingWithoutMediaCheckLeavesTracksUnloaded()
    {
        auto media = QSharedPointer<Media>::create();
        QVERIFY(open(m_clipProject, media, nullptr, true, false));
        QCOMPARE(media->getTrackFragments().size(), 1);
        QVERIFY(!media->getTrackFragments().first()->track->isLoaded());
        QCOMPARE(m_user.dialogsMade, 0);
        QVERIFY(m_user.missingAsked.isEmpty());
    }

    void cacheListingIncludesSubfolders()
    {
        QDir(cacheFolder()).mkpath("kept/deeper");
        const QString moved = QDir(cacheFolder()).filePath("kept/deeper/moved.avi");
        QFile::remove(moved);
        QVERIFY(QFile::copy(m_clipConverted, moved));
        QVERIFY(writeFile(moved + ".finished", QByteArray()) == moved + ".finished");
        const QString file = writeFile(path("sub.twp"), projectOver(moved, path("gone.mp4")));
        auto media = QSharedPointer<Media>::create();
        QString error;
        QVERIFY2(open(file, media, &error), qPrintable(error));
        QCOMPARE(m_user.dialogsMade, 0);
        QVERIFY(m_user.missingAsked.isEmpty());
        QCOMPARE(media->getTrackFragments().first()->track->getName(), QDir::toNativeSeparators(moved));
        QVERIFY(allTracksLoaded(*media));
    }

    // A converted file that is gone, or was cut short (no ".finished"
    // marker beside it), is made again from its source.
    void missingConversionIsMadeAgainFromSource_data()
    {
        QTest::addColumn<bool>("partialLeft");
        QTest::newRow("converted file gone") << false;
        QTest::newRow("conversion cut short") << true;
    }
    void missingConversionIsMadeAgainFromSource()
    {
        QFETCH(bool, partialLeft);
        const QString converted = QDir(cacheFolder()).filePath("partial.avi");
        QFile::remove(converted);
        if (partialLeft)
            QVERIFY(writeFile(converted, readFile(m_clipConverted).left(20000)) == converted);
        const QString file = writeFile(path("reconvert.twp"), projectOver(converted, m_clip));
        auto media = QSharedPointer<Media>::create();
        QString error;
        QVERIFY2(open(file, media, &error), qPrintable(error));
        // The source's conversion is in the cache, unchanged: it is found
        // without converting (no progress to show).
        QCOMPARE(m_user.dialogsMade, 0);
        QVERIFY(m_user.missingAsked.isEmpty());
        const auto track = media->getTrackFragments().first()->track;
        QVERIFY(track->isLoaded());
        QVERIFY(QFile::exists(track->getName()));
        QCOMPARE(track->getName(), QDir::toNativeSeparators(m_clipConverted));
        QCOMPARE(track->getOrigName(), QDir::toNativeSeparators(m_clip));
        QCOMPARE(track->getChannels(), 2);
    }

    // Opening a file whose conversion is in the cache runs no tool: what the
    // probes and the conversion's check found is kept with the converted
    // file, and the source is known by its path, size and modification time
    // instead of a hash of its contents. The tools are counted by wrappers
    // first on the search path of a child run of this test.
    void cachedReopenRunsNoTool()
    {
        const QByteArray log = qgetenv("TW_TEST_TOOL_LOG");
        if (log.isEmpty()) {
            const QString tools = path("counting_tools");
            QVERIFY(QDir().mkpath(tools));
            for (const QString tool : {"ffprobe", "ffmpeg"}) {
                const QString real = QStandardPaths::findExecutable(tool);
                QVERIFY(!real.isEmpty());
                const QString script = QDir(tools).filePath(tool);
                QVERIFY(writeFile(script, QString("#!/bin/sh\necho \"%1 $*\" >> \"$TW_TEST_TOOL_LOG\"\nexec '%2' \"$@\"\n")
                                              .arg(tool, real).toUtf8()) == script);
                QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            }
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("PATH", tools + ":" + env.value("PATH"));
            env.insert("TW_TEST_TOOL_LOG", QDir(tools).filePath("runs.log"));
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QCoreApplication::applicationFilePath(), {"cachedReopenRunsNoTool"});
            QVERIFY(child.waitForFinished(240000));
            // The child's verdict, without its debug lines.
            QStringList verdict;
            for (const QByteArray &line : child.readAll().split('\n')) {
                if (line.startsWith("PASS") || line.startsWith("FAIL") || line.contains("Loc:"))
                    verdict << QString::fromUtf8(line.left(2000));
            }
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(verdict.join('\n')));
            QVERIFY2(verdict.contains("PASS   : InputControllerTest::cachedReopenRunsNoTool()"),
                     qPrintable(verdict.join('\n')));
            return;
        }
        const auto runs = [&log] { return QString::fromUtf8(readFile(QString::fromUtf8(log))).split('\n', Qt::SkipEmptyParts); };
        QCOMPARE(QFileInfo(TW::Util::externalProgram("ffprobe")).absolutePath(),
                 QFileInfo(QString::fromUtf8(log)).absolutePath());

        // Two audio tracks: the choice is asked on every open, from the
        // streams recorded the first time.
        const QString clip = TestMedia::make(TestMedia::TwoAudioTracks, m_dir.path(), 1.5);
        QVERIFY(!clip.isEmpty());
        struct Opened
        {
            QString converted;
            int channels = 0;
            TW::Time duration;
            float fps = 0;
            int width = 0, height = 0, numChannels = 0, sampleRate = 0;
            QSize aspect;
        };
        const auto openClip = [&](const QString &file) -> Opened {
            projectOptions().reset();
            auto media = QSharedPointer<Media>::create();
            QString error;
            if (!open(file, media, &error) || media->getTrackFragments().size() != 1) {
                qWarning() << "open failed:" << error;
                return {};
            }
            const auto track = media->getTrackFragments().first()->track;
            const OptionsHolder &o = projectOptions();
            return {track->getName(), track->getChannels(), track->getDuration(), o.m_originalfps,
                    o.m_originalvideoWidth, o.m_originalvideoHeight, o.m_numChannels,
                    o.m_originalaudioSampleRate, o.m_aspectRatio};
        };
        m_user.chooseAnswer = 1;
        const int before = runs().size();
        const Opened first = openClip(clip);
        QVERIFY(!first.converted.isEmpty());
        const QStringList firstRuns = runs().mid(before);
        // The source probed, checked and converted; the converted file
        // probed once (the track's load and the choice of its audio stream
        // share the probe).
        QVERIFY2(firstRuns.size() == 4, qPrintable(firstRuns.join('\n')));
        QCOMPARE(m_user.dialogsMade, 1);

        const auto sameAsFirst = [&first](const Opened &o) {
            return o.converted == first.converted && o.channels == first.channels && o.duration == first.duration
                && o.fps == first.fps && o.width == first.width && o.height == first.height
                && o.numChannels == first.numChannels && o.sampleRate == first.sampleRate && o.aspect == first.aspect;
        };
        const Opened again = openClip(clip);
        QVERIFY2(runs().size() == before + 4, qPrintable(runs().mid(before + 4).join('\n')));
        QVERIFY(sameAsFirst(again));
        QCOMPARE(m_user.chooseCalls.size(), 2);
        QCOMPARE(m_user.chooseCalls.last().size(), 2);
        QCOMPARE(m_user.dialogsMade, 1);

        // A project over the clip loads its track from the cache alike.
        {
            auto media = QSharedPointer<Media>::create();
            QVERIFY(open(clip, media));
            const QString project = writeFile(path("reopen.twp"), projectXml(*media, projectOptions()));
            auto reopened = QSharedPointer<Media>::create();
            QString error;
            QVERIFY2(open(project, reopened, &error), qPrintable(error));
            QVERIFY(allTracksLoaded(*reopened));
            QVERIFY2(runs().size() == before + 4, qPrintable(runs().mid(before + 4).join('\n')));
        }

        // A source changed since (here only its time): probed, hashed and
        // checked again, and still the same contents, so the same file; the
        // record then knows the source as it is now.
        QFile touched(clip);
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600), QFileDevice::FileModificationTime));
        touched.close();
        const Opened changed = openClip(clip);
        const QStringList changedRuns = runs().mid(before + 4);
        QVERIFY2(changedRuns.size() == 2, qPrintable(changedRuns.join('\n')));
        QVERIFY(changedRuns.at(0).startsWith("ffprobe ") && changedRuns.at(1).startsWith("ffmpeg "));
        QVERIFY(sameAsFirst(changed));
        QVERIFY(sameAsFirst(openClip(clip)));
        QCOMPARE(runs().size(), before + 6);
    }

    // A conversion cut short is not used even when its source is gone: the
    // source is asked for instead of playing a part of the media.
    void unfinishedConversionIsNeverUsed()
    {
        const QString converted = QDir(cacheFolder()).filePath("cut-short.avi");
        QVERIFY(writeFile(converted, readFile(m_clipConverted).left(20000)) == converted);
        QFile::remove(converted + ".finished");
        const QString missing = path("gone-away.mp4");
        const QString file = writeFile(path("cut-short.twp"), projectOver(converted, missing));
        auto media = QSharedPointer<Media>::create();
        QString error;
        QVERIFY(!open(file, media, &error));
        QCOMPARE(m_user.missingAsked, QStringList{QDir::toNativeSeparators(missing)});
        QVERIFY(media->getTrackFragments().isEmpty() || !allTracksLoaded(*media));
    }

    void missingSourceIsAskedFor_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::newRow("user gives a file") << true;
        QTest::newRow("user gives none") << false;
    }
    void missingSourceIsAskedFor()
    {
        QFETCH(bool, answered);
        const QString missing = path("moved-away/clip.mp4");
        const QString file = writeFile(path("missing.twp"),
                                       projectOver(QDir(cacheFolder()).filePath("lost.avi"), missing));
        if (answered)
            m_user.missingAnswers << m_clip;
        auto media = QSharedPointer<Media>::create();
        QString error;
        const bool loaded = open(file, media, &error);
        QCOMPARE(m_user.missingAsked, QStringList{QDir::toNativeSeparators(missing)});
        QCOMPARE(loaded, answered);
        if (answered) {
            const auto track = media->getTrackFragments().first()->track;
            QVERIFY(track->isLoaded());
            QCOMPARE(track->getOrigName(), QDir::toNativeSeparators(m_clip));
            QVERIFY(m_user.boxes.isEmpty());
        } else {
            QCOMPARE(m_user.boxes.size(), 1);
            QCOMPARE(m_user.boxes.first(),
                     qMakePair(QString("Open Project"), QString("Open project has been cancelled")));
            QVERIFY(error.isEmpty());
        }
    }

    // Giving no file for the second of three missing sources ends the open
    // there: the third is not asked for.
    void noFileForSecondMissingSourceStopsAsking()
    {
        QDomDocument document;
        QVERIFY(document.setContent(readFile(m_clipProject)));
        QDomElement tracks = document.documentElement().firstChildElement("media").firstChildElement("tracks");
        const QDomElement first = tracks.firstChildElement("track_fragment");
        QVERIFY(!first.isNull());
        tracks.appendChild(first.cloneNode(true));
        tracks.appendChild(first.cloneNode(true));
        int n = 0;
        for (QDomElement f = tracks.firstChildElement("track_fragment"); !f.isNull();
             f = f.nextSiblingElement("track_fragment")) {
            QDomElement track = f.firstChildElement("track");
            ++n;
            track.setAttribute("name", QDir(cacheFolder()).filePath(QString("lost%1.avi").arg(n)));
            track.setAttribute("orig_name", path(QString("gone%1.mp4").arg(n)));
        }
        QCOMPARE(n, 3);
        const QString file = writeFile(path("three.twp"), document.toByteArray(1));
        m_user.missingAnswers << m_clip << QString();
        auto media = QSharedPointer<Media>::create();
        QVERIFY(!open(file, media));
        QCOMPARE(m_user.missingAsked, (QStringList{path("gone1.mp4"), path("gone2.mp4")}));
        QCOMPARE(m_user.boxes.size(), 1);
        QCOMPARE(m_user.boxes.first().first, QString("Open Project"));
    }

    // A cancelled conversion while finding a project's media ends the open:
    // no project with unloaded tracks comes out of it.
    void cancelledReconversionFailsOpen()
    {
        const QString source = path("recancel.mkv");
        QVERIFY(QFile::copy(TestMedia::make(TestMedia::Mono, m_dir.path(), 1.0), source));
        const QString file = writeFile(path("recancel.twp"),
                                       projectOver(QDir(cacheFolder()).filePath("lost.avi"), source));
        m_user.onProgressShown = [](FakeProgress *dialog) { emit dialog->cancelled(); };
        auto media = QSharedPointer<Media>::create();
        QVERIFY(!open(file, media));
        QCOMPARE(m_user.boxes.size(), 1);
        QCOMPARE(m_user.boxes.first().second, QString("Video Import Cancelled."));
    }

    // The bad project inputs: each is refused with a reason, and a refused
    // project leaves the current settings alone.
    void badProjects_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("version 3") << "version 3";
        QTest::newRow("no version") << "no version";
        QTest::newRow("version not a number") << "version two";
        QTest::newRow("other root") << "other root";
        QTest::newRow("missing options") << "no options";
        QTest::newRow("missing media") << "no media";
        QTest::newRow("frame rate 1e-6") << "fps 1e-6";
        QTest::newRow("frame rate 1e30") << "fps 1e30";
        QTest::newRow("frame rate nan") << "fps nan";
        QTest::newRow("tempo 0") << "tempo 0";
        QTest::newRow("nested 100000 deep") << "deep";
        QTest::newRow("larger than any project") << "huge";
    }
    void badProjects()
    {
        QFETCH(QString, change);
        QDomDocument document;
        QVERIFY(document.setContent(readFile(m_clipProject)));
        QDomElement root = document.documentElement();
        if (change == "version 3")
            root.setAttribute("version", "3");
        else if (change == "no version")
            root.removeAttribute("version");
        else if (change == "version two")
            root.setAttribute("version", "two");
        else if (change == "other root")
            root.setTagName("tarnwell_projects");
        else if (change == "no options")
            root.removeChild(root.firstChildElement("options"));
        else if (change == "no media")
            root.removeChild(root.firstChildElement("media"));
        else if (change.startsWith("fps "))
            root.firstChildElement("options").setAttribute("fps", change.mid(4));
        else if (change == "tempo 0")
            root.firstChildElement("options").setAttribute("tempo", "0");
        QByteArray bytes = document.toByteArray(1);
        if (change == "deep") {
            const int at = bytes.indexOf("<options");
            bytes.insert(at, QByteArray("<x>").repeated(100000) + QByteArray("</x>").repeated(100000));
        }
        const QString file = writeFile(path("bad.twp"), bytes);
        if (change == "huge") {
            QFile grown(file);
            QVERIFY(grown.open(QIODevice::ReadWrite));
            QVERIFY(grown.resize(qint64(65) * 1024 * 1024)); // sparse
        }

        projectOptions().setProjectTempo(61.0f);
        auto media = QSharedPointer<Media>::create();
        QString error;
        QElapsedTimer took;
        took.start();
        QVERIFY(!open(file, media, &error));
        QVERIFY(took.elapsed() < 5000);
        QVERIFY(!error.isEmpty());
        if (change.startsWith("fps") || change == "tempo 0")
            QVERIFY2(error.contains("out of range"), qPrintable(error));
        QVERIFY(media->isEmpty());
        QCOMPARE(projectOptions().getProjectTempo(), 61.0f);
        QCOMPARE(m_user.dialogsMade, 0);
    }

    // Garbage in every attribute: opens or fails, never a crash or hang.
    void garbageAttributes_data()
    {
        QTest::addColumn<QString>("garbage");
        QTest::newRow("word") << "garbage";
        QTest::newRow("negative") << "-99999999999999999999";
        QTest::newRow("empty") << "";
        QTest::newRow("control characters") << QString("\x01\x02");
    }
    void garbageAttributes()
    {
        QFETCH(QString, garbage);
        QDomDocument document;
        QVERIFY(document.setContent(readFile(m_clipProject)));
        const QDomNodeList all = document.elementsByTagName("*");
        for (int i = 0; i < all.size(); ++i) {
            QDomElement element = all.at(i).toElement();
            if (element == document.documentElement())
                continue;
            const QDomNamedNodeMap attributes = element.attributes();
            for (int a = 0; a < attributes.size(); ++a)
                element.setAttribute(attributes.item(a).nodeName(), garbage);
        }
        const QString file = writeFile(path("garbage.twp"), document.toByteArray(1));
        auto media = QSharedPointer<Media>::create();
        QString error;
        if (open(file, media, &error))
            QVERIFY(allTracksLoaded(*media));
        else
            QVERIFY(!error.isEmpty() || !m_user.boxes.isEmpty());
        QVERIFY(m_user.missingAsked.size() <= 1);
    }

    // A project cut short at every tenth byte: refused with a reason (or, for
    // a cut that keeps the file whole, opened), never a crash or hang.
    void truncatedProjects()
    {
        const QByteArray whole = readFile(m_clipProject);
        QVERIFY(whole.size() > 100);
        for (int length = 0; length < whole.size(); length += 10) {
            m_user = User();
            const QString file = writeFile(path("cut.twp"), whole.left(length));
            auto media = QSharedPointer<Media>::create();
            QString error;
            const bool loaded = open(file, media, &error);
            if (loaded) {
                QVERIFY2(allTracksLoaded(*media), qPrintable(QString("cut at %1").arg(length)));
            } else {
                QVERIFY2(!error.isEmpty() || !m_user.boxes.isEmpty(),
                         qPrintable(QString("cut at %1 failed silently").arg(length)));
            }
            QVERIFY(!InputController::isBusy());
        }
    }
};

QTEST_MAIN(InputControllerTest)
#include "tst_InputController.moc"
