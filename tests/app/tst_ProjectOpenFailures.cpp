// Opens that fail through the controller, with real clips and project
// files: bad input of every kind, truncated projects, a second open during
// an import, a cancelled import, and the command gate while no project is
// open.
#include "ProjectFileFixture.h"

class tst_ProjectOpenFailures : public QObject, protected ProjectFileFixture
{
    Q_OBJECT
private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanupTestCase() { tearDownCase(); }

    void badInput_data();
    void badInput();
    void truncatedProjects();
    void openWorksAfterBadInput();
    void secondOpenDuringImportIsRefused();
    void cancelledImportKeepsTheOpenProject();
    void commandGate_data();
    void commandGate();
};


void tst_ProjectOpenFailures::badInput_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("expected");      // 1 opens, 0 fails, -1 either
    QTest::addColumn<QString>("reason");    // the start of the box that says why
    QTest::newRow("version 3") << "version 3" << 0 << "Open file: The project";
    QTest::newRow("no version") << "no version" << 0 << "Open file: The project";
    QTest::newRow("missing options") << "no options" << 0 << "Open file: The project";
    QTest::newRow("missing media element") << "no media" << 0 << "Open file: The project";
    QTest::newRow("media files missing, none given") << "missing media" << 0
                                                     << "Open Project: Open project has been cancelled";
    QTest::newRow("garbage word attributes") << "garbage:word" << -1 << QString();
    QTest::newRow("garbage number attributes") << "garbage:-99999999999999999999" << -1 << QString();
    QTest::newRow("garbage empty attributes") << "garbage:" << -1 << QString();
    QTest::newRow("garbage control characters") << QStringLiteral("garbage:\x01\x02") << -1 << QString();
    QTest::newRow("old text form") << "old form" << 0 << "Open file: ";
    QTest::newRow("folder") << "folder" << 0 << "Open file: *is not a regular file.";
    QTest::newRow("empty media file") << "empty" << 0 << "Video Import: Video Import Failed";
    QTest::newRow("random bytes named mp4") << "random" << 0 << "Video Import: Video Import Failed";
    QTest::newRow("truncated mp4") << "truncated" << 0 << QString();
    QTest::newRow("video without audio") << "silent" << -1 << QString();
    QTest::newRow("audio without video") << "audio" << -1 << QString();
    QTest::newRow("six channels") << "six" << 1 << QString();
}


void tst_ProjectOpenFailures::badInput()
{
    QFETCH(QString, kind);
    QFETCH(int, expected);
    QFETCH(QString, reason);
    const QByteArray project = readFile(m_project);
    QVERIFY(!project.isEmpty());
    QString file;
    const auto edited = [&](const std::function<void(QDomDocument &)> &edit) {
        QDomDocument document;
        if (!document.setContent(project))
            return QString();
        edit(document);
        return writeFile(path(QStringLiteral("edited.twp")), document.toByteArray(1));
    };
    if (kind == QLatin1String("version 3")) {
        file = edited([](QDomDocument &d) { d.documentElement().setAttribute(QStringLiteral("version"), 3); });
    } else if (kind == QLatin1String("no version")) {
        file = edited([](QDomDocument &d) { d.documentElement().removeAttribute(QStringLiteral("version")); });
    } else if (kind == QLatin1String("no options") || kind == QLatin1String("no media")) {
        const QString tag = kind.mid(3);
        file = edited([tag](QDomDocument &d) {
            d.documentElement().removeChild(d.documentElement().firstChildElement(tag));
        });
    } else if (kind == QLatin1String("missing media")) {
        // Neither the converted file nor its source exists any more.
        file = edited([this](QDomDocument &d) {
            const QString text = d.toString(1)
                                     .replace(QFileInfo(m_clip).absolutePath(), path(QStringLiteral("gone")))
                                     .replace(Options::instance()->getPath(CacheFolder), path(QStringLiteral("gone")));
            d.setContent(text);
        });
        m_answers->answerFile(QString()); // the user gives no replacement
    } else if (kind.startsWith(QLatin1String("garbage:"))) {
        const QString garbage = kind.mid(8);
        file = edited([garbage](QDomDocument &d) {
            const QDomNodeList all = d.elementsByTagName(QStringLiteral("*"));
            for (int i = 0; i < all.size(); ++i) {
                QDomElement element = all.at(i).toElement();
                if (element == d.documentElement())
                    continue;
                const QDomNamedNodeMap attributes = element.attributes();
                for (int a = 0; a < attributes.size(); ++a)
                    element.setAttribute(attributes.item(a).nodeName(), garbage);
            }
        });
        m_answers->answerFile(QString());
    } else if (kind == QLatin1String("old form")) {
        file = writeFile(path(QStringLiteral("old.twp")), "[Tarnwell Project]\nversion=1\n");
    } else if (kind == QLatin1String("folder")) {
        QDir().mkpath(path(QStringLiteral("folder.mp4")));
        file = path(QStringLiteral("folder.mp4"));
    } else if (kind == QLatin1String("empty")) {
        file = writeFile(path(QStringLiteral("empty.mp4")), QByteArray());
    } else if (kind == QLatin1String("random")) {
        QByteArray bytes(64 * 1024, '\0');
        QRandomGenerator generator(11);
        for (char &c : bytes)
            c = char(generator.bounded(256));
        file = writeFile(path(QStringLiteral("random.mp4")), bytes);
    } else if (kind == QLatin1String("truncated")) {
        file = writeFile(path(QStringLiteral("truncated.mp4")), readFile(m_clip).left(3000));
    } else if (kind == QLatin1String("silent")) {
        file = TestMedia::make(TestMedia::SilentVideo, path(QString()), 1.0);
    } else if (kind == QLatin1String("audio")) {
        file = TestMedia::make(TestMedia::AudioOnly, path(QString()), 1.0);
    } else if (kind == QLatin1String("six")) {
        file = TestMedia::make(TestMedia::SixChannel, path(QString()), 1.0);
    }
    QVERIFY(!file.isEmpty());

    // Start from an open project, so a failure has something to replace.
    QVERIFY(openQuietly(m_clip));
    const QSharedPointer<Media> media = m_controller->getMedia();
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    const QString title = m_window->windowTitle();
    const QStringList recent = Options::instance()->getOpenedFiles();
    open(file);
    const bool opened = m_controller->getMedia() != media;
    if (expected >= 0)
        QCOMPARE(opened, expected == 1);
    if (opened) {
        QVERIFY(allTracksLoaded(*m_controller->getMedia()));
        QCOMPARE(Options::instance()->getOpenedFiles().value(0), file);
        QVERIFY(!visibleProgressDialog());
    } else {
        verifyProjectKept(media, player, title);
        QCOMPARE(Options::instance()->getOpenedFiles(), recent);
        QVERIFY2(!m_answers->boxes().isEmpty(), "the user was not told why the file did not open");
        // A reason may hold one "*": what comes before starts the message
        // and what comes after ends it.
        const QString head = reason.section(QLatin1Char('*'), 0, 0);
        const QString tail = reason.contains(QLatin1Char('*')) ? reason.section(QLatin1Char('*'), 1) : QString();
        if (!reason.isEmpty())
            QVERIFY2(m_answers->boxes().first().startsWith(head) && m_answers->boxes().first().endsWith(tail),
                     qPrintable(m_answers->boxes().first()));
        // One reason, not two.
        QCOMPARE(m_answers->boxes().size(), 1);
    }
}


// A project cut short at every tenth byte opens whole or fails with a
// reason, and the application carries on with the project it had.
void tst_ProjectOpenFailures::truncatedProjects()
{
    const QByteArray whole = readFile(m_project);
    QVERIFY(whole.size() > 200);
    const QString cut = path(QStringLiteral("cut.twp"));
    for (int length = 0; length < whole.size(); length += 10) {
        m_answers->clear();
        QVERIFY(!writeFile(cut, whole.left(length)).isNull());
        const QSharedPointer<Media> media = m_controller->getMedia();
        const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
        m_controller->getUndoStack()->clear();
        m_controller->getUndoStack()->setClean();
        open(cut);
        const QString at = QStringLiteral("cut at %1").arg(length);
        if (m_controller->getMedia() != media) {
            QVERIFY2(allTracksLoaded(*m_controller->getMedia()), qPrintable(at));
            continue;
        }
        QVERIFY2(m_controller->getMediaPlayer() == player, qPrintable(at));
        QVERIFY2(m_answers->boxes().size() == 1, qPrintable(at + QStringLiteral(": ") + m_answers->boxes().join('|')));
        QVERIFY2(m_answers->unexpected().size() == 1, qPrintable(at)); // the box that says why
        QVERIFY2(!visibleProgressDialog(), qPrintable(at));
        QVERIFY(!InputController::isBusy());
    }
}


void tst_ProjectOpenFailures::openWorksAfterBadInput()
{
    makeEmpty();
    QVERIFY(openQuietly(m_project));
    QCOMPARE(m_window->getTimeArea()->getFrameCount(), 50);
    m_controller->onPlayVideo();
    m_controller->onPauseVideo();
    m_controller->onStopVideo();
    QVERIFY(m_answers->seen().isEmpty());
}


void tst_ProjectOpenFailures::secondOpenDuringImportIsRefused()
{
    // Content not seen before, so a real conversion runs.
    QDir().mkpath(path("c"));
    const QString fresh = TestMedia::make(TestMedia::VideoStereo, path("c"), 3.0);
    QVERIFY(!fresh.isEmpty());
    makeEmpty();
    bool triedDuringImport = false;
    QTimer poll;
    poll.setInterval(1);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (!InputController::isBusy())
            return;
        poll.stop();
        triedDuringImport = true;
        m_controller->openFile(m_clip);
        m_controller->saveCurrentProjectAs();
        m_controller->saveCurrentProject();
    });
    poll.start();
    open(fresh);
    poll.stop();
    QVERIFY(triedDuringImport);
    QVERIFY(logged(QStringLiteral("Another file is being opened; refused:")));
    QCOMPARE(m_controller->getMedia()->getFilePath(), fresh);
    QVERIFY(allTracksLoaded(*m_controller->getMedia()));
    QCOMPARE(m_controller->getMedia()->getTrackFragments().size(), 1);
    QVERIFY(m_answers->seen().isEmpty()); // no save dialog during the import
}


void tst_ProjectOpenFailures::cancelledImportKeepsTheOpenProject()
{
    QDir().mkpath(path("d"));
    const QString fresh = TestMedia::make(TestMedia::VideoStereo, path("d"), 8.0);
    QVERIFY(!fresh.isEmpty());
    QVERIFY(openQuietly(m_clip));
    const QSharedPointer<Media> media = m_controller->getMedia();
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    const QString title = m_window->windowTitle();
    QTimer poll;
    poll.setInterval(1);
    connect(&poll, &QTimer::timeout, this, [&] {
        QDialog *progress = visibleProgressDialog();
        if (!progress)
            return;
        poll.stop();
        if (auto *cancel = progress->findChild<QPushButton *>(QStringLiteral("cancelPushButton")))
            cancel->click();
    });
    poll.start();
    open(fresh);
    poll.stop();
    QCOMPARE(m_answers->boxes(), QStringList{QStringLiteral("Video Import: Video Import Cancelled.")});
    verifyProjectKept(media, player, title);
    QCOMPARE(m_controller->getMedia()->getTrackFragments().size(), 1);
}


void tst_ProjectOpenFailures::commandGate_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("add bookmark") << "bookmark";
    QTest::newRow("add loop") << "loop";
    QTest::newRow("remove all loops") << "remove loops";
    QTest::newRow("any other command") << "other";
}


void tst_ProjectOpenFailures::commandGate()
{
    QFETCH(QString, command);
    const auto make = [&command]() -> QUndoCommand * {
        if (command == QLatin1String("bookmark")) {
            QSharedPointer<VideoMarker> bookmark(new VideoMarker);
            bookmark->setFrame(3);
            return new AddBookmarkCommand(bookmark);
        }
        if (command == QLatin1String("loop")) {
            QSharedPointer<VideoLoop> loop(new VideoLoop);
            loop->setStartFrame(4);
            loop->setEndFrame(9);
            return new AddLoopCommand(loop);
        }
        if (command == QLatin1String("remove loops"))
            return new RemoveAllLoopsCommand;
        return new QUndoCommand(QStringLiteral("other"));
    };
    makeEmpty();
    QUndoStack *stack = m_controller->getUndoStack();
    m_controller->onExecute(make());
    QCOMPARE(stack->count(), 0);
    QVERIFY(logged(QStringLiteral("Command execution denied")));
    QVERIFY(m_controller->getMedia()->getTimeline()->getLoops().isEmpty());
    QVERIFY(m_controller->getMedia()->getTimeline()->getMarkers().isEmpty());

    QVERIFY(openQuietly(m_clip));
    m_controller->onExecute(make());
    QCOMPARE(stack->count(), 1);
    QVERIFY(!stack->isClean());
}

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_ProjectOpenFailures tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_ProjectOpenFailures.moc"
