// The project as the one owner of the open project's state: every command
// changes it through the project, the project announces each change, and
// undo and redo bring the whole model back to the state before and after.

#include "TestEnv.h"

#include "app/AddBookmarkCommand.h"
#include "app/AddLoopCommand.h"
#include "app/AspectRatioCommand.h"
#include "app/DeleteSegmentCommand.h"
#include "app/EditBookmarkCommand.h"
#include "app/EditLoopCommand.h"
#include "app/PasteSegmentCommand.h"
#include "app/RemoveAllLoopsCommand.h"
#include "app/RemoveBookmarkCommand.h"
#include "app/RemoveLoopCommand.h"
#include "app/SilenceSegmentCommand.h"
#include "app/VolumeMediaCommand.h"
#include "app/VolumeSegmentCommand.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaSegment.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"
#include "model/Project.h"
#include "model/VideoLoop.h"
#include "model/VideoMarker.h"
#include "playback/MediaPlayer.h"

#include <QLoggingCategory>
#include <QMetaMethod>
#include <QUndoCommand>
#include <QtTest>

#include <memory>

using namespace TW;

namespace {

constexpr qint64 Second = 1000000;

QSharedPointer<MediaTrackFragment> piece(const QString &name, qint64 length)
{
    QSharedPointer<MediaTrackFragment> f(new MediaTrackFragment);
    f->track->setSource(name, 0, name);
    f->startPosition = Time(0);
    f->endPosition = Time(length);
    return f;
}

// The whole model as text, one line per item, so that a difference shows
// in QCOMPARE's message.
QStringList state(const Project &project)
{
    QStringList lines;
    for (const auto &f : project.media()->getTrackFragments()) {
        lines << QStringLiteral("fragment %1 %2-%3 at %4 volume %5 audio %6 video %7")
                     .arg(f->track->getName())
                     .arg(f->startPosition.unitCount)
                     .arg(f->endPosition.unitCount)
                     .arg(f->timelinePosition.unitCount)
                     .arg(double(f->volume))
                     .arg(f->playAudio)
                     .arg(f->playVideo);
    }
    for (const VideoLoopPtr &loop : project.timeline()->getLoops()) {
        lines << QStringLiteral("loop %1 %2-%3 tempo %4 pitch %5 volume %6 count %7")
                     .arg(loop->getID())
                     .arg(loop->getStartFrame())
                     .arg(loop->getEndFrame())
                     .arg(double(loop->getTempo()))
                     .arg(double(loop->getPitch()))
                     .arg(loop->getVolume())
                     .arg(loop->getLoopCount());
    }
    // Bookmarks are kept in order of addition: one put back by an undo
    // comes last. Their order carries no meaning, so it is not compared.
    QStringList bookmarks;
    for (const VideoMarkerPtr &bookmark : project.timeline()->getMarkers())
        bookmarks << QStringLiteral("bookmark %1 at %2 %3").arg(bookmark->getID()).arg(bookmark->getFrame()).arg(bookmark->getName());
    bookmarks.sort();
    lines << bookmarks;
    const OptionsHolder &o = project.settings();
    lines << QStringLiteral("settings tempo %1 pitch %2 volume %3 size %4x%5 aspect %6x%7")
                 .arg(double(o.getProjectTempo()))
                 .arg(double(o.getProjectPitch()))
                 .arg(double(o.getProjectVolume()))
                 .arg(o.m_videoWidth)
                 .arg(o.m_videoHeight)
                 .arg(o.m_aspectRatio.width())
                 .arg(o.m_aspectRatio.height());
    return lines;
}

// The names of the project's signals in the order they came.
class SignalLog : public QObject
{
public:
    explicit SignalLog(Project &project)
    {
        const QMetaObject *meta = project.metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() != QMetaMethod::Signal)
                continue;
            spies.push_back(std::make_unique<QSignalSpy>(&project, QByteArray("2" + method.methodSignature()).constData()));
            names << QString::fromLatin1(method.name());
        }
    }

    // Which signals came since the last call (each name once).
    QStringList take()
    {
        QStringList came;
        for (size_t i = 0; i < spies.size(); ++i) {
            if (!spies[i]->isEmpty())
                came << names.at(int(i));
            spies[i]->clear();
        }
        came.sort();
        return came;
    }

private:
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    QStringList names;
};

} // namespace

class tst_Project : public QObject
{
    Q_OBJECT

    std::unique_ptr<Project> m_project;
    VideoLoopPtr m_loop;         // 10..40, tempo 75
    VideoLoopPtr m_laterLoop;    // 200..240
    VideoMarkerPtr m_bookmark;   // at 60
    VideoMarkerPtr m_lateMark;   // at 220

    QUndoCommand *makeCommand(const QString &kind);

private slots:
    void initTestCase();
    void init();
    void commandsChangeTheModelOnlyThroughTheProject_data();
    void commandsChangeTheModelOnlyThroughTheProject();
    void valuesAtAFrame_data();
    void valuesAtAFrame();
    void playerFollowsTheSettings();
    void lockSourceDecidesWhatAnEditTouches();
};

void tst_Project::initTestCase()
{
    TW::test::isolateHome();
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    Singleton<OptionsHolder>::instance()->m_fps = 25.0f;
}

// Three sources of 4 s each (100 frames at 25 fps) end to end, two loops,
// two bookmarks, project tempo 100, pitch 0, volume 100.
void tst_Project::init()
{
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    o->reset();
    o->m_fps = 25.0f;
    o->m_videoWidth = 320;
    o->m_videoHeight = 240;
    o->m_aspectRatio = QSize(4, 3);
    m_project = std::make_unique<Project>();
    QSharedPointer<Media> media(new Media);
    media->replaceTrackFragments({piece(QStringLiteral("a"), 4 * Second), piece(QStringLiteral("b"), 4 * Second),
                                  piece(QStringLiteral("c"), 4 * Second)});
    media->updateFragmentPositions();
    const QSharedPointer<MediaTimeLine> timeline = media->getTimeline();
    m_loop = timeline->allocLoop(10, 40);
    m_loop->setTempo(75.0f);
    timeline->addLoop(m_loop);
    m_laterLoop = timeline->allocLoop(200, 240);
    timeline->addLoop(m_laterLoop);
    m_bookmark = timeline->allocBookmark(60);
    timeline->addMarker(m_bookmark);
    m_lateMark = timeline->allocBookmark(220);
    timeline->addMarker(m_lateMark);
    m_project->setMedia(media);
}

QUndoCommand *tst_Project::makeCommand(const QString &kind)
{
    Project &p = *m_project;
    if (kind == QLatin1String("add loop"))
        return new AddLoopCommand(p, p.timeline()->allocLoop(100, 150));
    if (kind == QLatin1String("remove loop"))
        return new RemoveLoopCommand(p, m_loop);
    if (kind == QLatin1String("edit loop")) {
        auto after = QSharedPointer<VideoLoop>::create(*m_loop);
        after->setStartFrame(20);
        after->setEndFrame(80);
        after->setTempo(60.0f);
        return new EditLoopCommand(p, QSharedPointer<VideoLoop>::create(*m_loop), m_loop, after);
    }
    if (kind == QLatin1String("remove all loops"))
        return new RemoveAllLoopsCommand(p);
    if (kind == QLatin1String("add bookmark"))
        return new AddBookmarkCommand(p, p.timeline()->allocBookmark(120));
    if (kind == QLatin1String("remove bookmark"))
        return new RemoveBookmarkCommand(p, m_bookmark);
    if (kind == QLatin1String("edit bookmark")) {
        auto after = QSharedPointer<VideoMarker>::create(*m_bookmark);
        after->setFrame(70);
        after->setName(QStringLiteral("chorus"));
        return new EditBookmarkCommand(p, nullptr, m_bookmark, after);
    }
    if (kind == QLatin1String("delete section"))
        return new DeleteSegmentCommand(p, p.media()->getSegment(Time::fromFrameUnits(50), Time::fromFrameUnits(150)));
    if (kind == QLatin1String("paste"))
        return new PasteSegmentCommand(p, p.media()->getSegment(Time::fromFrameUnits(0), Time::fromFrameUnits(25)),
                                       Time::fromFrameUnits(100));
    if (kind == QLatin1String("silence section"))
        return new SilenceSegmentCommand(p, Time::fromFrameUnits(50), Time::fromFrameUnits(150));
    if (kind == QLatin1String("section volume"))
        return new VolumeSegmentCommand(p, Time::fromFrameUnits(50), Time::fromFrameUnits(150), 40.0f);
    if (kind == QLatin1String("project volume"))
        return new VolumeMediaCommand(p, 40.0f);
    if (kind == QLatin1String("picture size"))
        return new AspectRatioCommand(p, QSize(640, 360));
    return nullptr;
}

void tst_Project::commandsChangeTheModelOnlyThroughTheProject_data()
{
    QTest::addColumn<QString>("kind");
    // The signals each step must bring (sorted); the snapshot for playback
    // comes with every change of loops and frames.
    QTest::addColumn<QStringList>("onRedo");
    QTest::addColumn<QStringList>("onUndo");

    const QString settings = QStringLiteral("playbackSettingsChanged");
    const QString changed = QStringLiteral("settingsChanged");
    auto sorted = [](QStringList l) {
        l.sort();
        return l;
    };
    QTest::newRow("add loop") << "add loop" << sorted({"loopAdded", settings, changed})
                              << sorted({"loopRemoved", settings, changed});
    QTest::newRow("remove loop") << "remove loop" << sorted({"loopRemoved", settings, changed})
                                 << sorted({"loopAdded", settings, changed});
    QTest::newRow("edit loop") << "edit loop" << sorted({"loopChanged", settings, changed})
                               << sorted({"loopChanged", settings, changed});
    QTest::newRow("remove all loops") << "remove all loops" << sorted({"loopsCleared", settings, changed})
                                      << sorted({"loopAdded", settings, changed});
    QTest::newRow("add bookmark") << "add bookmark" << QStringList{"bookmarkAdded"} << QStringList{"bookmarkRemoved"};
    QTest::newRow("remove bookmark") << "remove bookmark" << QStringList{"bookmarkRemoved"}
                                     << QStringList{"bookmarkAdded"};
    QTest::newRow("edit bookmark") << "edit bookmark" << QStringList{"bookmarkChanged"}
                                   << QStringList{"bookmarkChanged"};
    // Frames 50..150 hold the bookmark at 60: it goes, the loop at 200
    // moves back, and undo brings both back.
    QTest::newRow("delete section")
        << "delete section"
        << sorted({"bookmarkRemoved", "editListChanged", "framesMoved", "selectionProposed", settings})
        << sorted({"bookmarkAdded", "editListChanged", "framesMoved", "selectionProposed", settings});
    QTest::newRow("paste") << "paste" << sorted({"editListChanged", "framesMoved", settings})
                           << sorted({"editListChanged", "framesMoved", settings});
    QTest::newRow("silence section") << "silence section" << QStringList{"editListChanged"}
                                     << QStringList{"editListChanged"};
    QTest::newRow("section volume") << "section volume" << QStringList{"editListChanged"}
                                    << QStringList{"editListChanged"};
    QTest::newRow("project volume") << "project volume" << QStringList{"fragmentVolumesChanged"}
                                    << QStringList{"editListChanged"};
    QTest::newRow("picture size") << "picture size" << QStringList{"videoSizeChanged"}
                                  << QStringList{"videoSizeChanged"};
}

void tst_Project::commandsChangeTheModelOnlyThroughTheProject()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, onRedo);
    QFETCH(QStringList, onUndo);

    std::unique_ptr<QUndoCommand> command(makeCommand(kind));
    QVERIFY(command);
    SignalLog log(*m_project);
    PlaybackSettingsPtr published;
    connect(m_project.get(), &Project::playbackSettingsChanged, this,
            [&published](PlaybackSettingsPtr s) { published = s; });

    const QStringList state0 = state(*m_project);
    command->redo();
    const QStringList state1 = state(*m_project);
    QVERIFY2(state1 != state0, "the command changed nothing");
    QCOMPARE(log.take(), onRedo);

    command->undo();
    QCOMPARE(state(*m_project), state0);
    QCOMPARE(log.take(), onUndo);

    command->redo();
    QCOMPARE(state(*m_project), state1);
    QCOMPARE(log.take(), onRedo);

    // What playback was last handed is what the project holds now.
    if (published) {
        const PlaybackSettingsPtr now = m_project->playbackSettings();
        QCOMPARE(published->loops.size(), now->loops.size());
        for (int i = 0; i < now->loops.size(); ++i) {
            QCOMPARE(published->loops.at(i)->getID(), now->loops.at(i)->getID());
            QCOMPARE(published->loops.at(i)->getStartFrame(), now->loops.at(i)->getStartFrame());
            QCOMPARE(published->loops.at(i)->getEndFrame(), now->loops.at(i)->getEndFrame());
            QCOMPARE(published->loops.at(i)->getTempo(), now->loops.at(i)->getTempo());
        }
    }
}

void tst_Project::valuesAtAFrame_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<float>("tempo");
    QTest::addColumn<float>("pitch");

    // The project is at 90 %, +1; the loop 10..40 at 75 %, -2.
    QTest::newRow("before the loop") << 9 << 90.0f << 1.0f;
    QTest::newRow("on its start") << 10 << 75.0f << -2.0f;
    QTest::newRow("inside") << 25 << 75.0f << -2.0f;
    QTest::newRow("on its end") << 40 << 75.0f << -2.0f;
    QTest::newRow("after") << 41 << 90.0f << 1.0f;
}

void tst_Project::valuesAtAFrame()
{
    QFETCH(int, frame);
    QFETCH(float, tempo);
    QFETCH(float, pitch);
    QVERIFY(m_project->setTempoAt(0, 90.0f));
    QVERIFY(m_project->setPitchAt(0, 1.0f));
    QVERIFY(m_project->setPitchAt(20, -2.0f));
    // The project answers and the snapshot playback gets agree.
    QCOMPARE(m_project->valuesAt(frame).tempo, tempo);
    QCOMPARE(m_project->valuesAt(frame).pitch, pitch);
    QCOMPARE(m_project->playbackSettings()->valuesAt(frame).tempo, tempo);
    QCOMPARE(m_project->playbackSettings()->valuesAt(frame).pitch, pitch);
}

// A tempo change made through the project reaches the player as a new
// snapshot; the player's answers derive from it and the model holds only
// what the project wrote.
void tst_Project::playerFollowsTheSettings()
{
    MediaPlayer player;
    connect(m_project.get(), &Project::playbackSettingsChanged, &player, &MediaPlayer::setPlaybackSettings);
    QSignalSpy settingsChanged(m_project.get(), &Project::settingsChanged);

    QVERIFY(m_project->setTempoAt(100, 80.0f));
    QCOMPARE(settingsChanged.count(), 1);
    QCOMPARE(settingsChanged.at(0).at(0).toLongLong(), 0);
    QCOMPARE(settingsChanged.at(0).at(1).toLongLong(), -1);
    QCOMPARE(player.getCommonTempo(), 80.0f);
    QCOMPARE(player.getEffectiveTempo(), 80.0f);

    // Inside a loop the loop's tempo changes, with the loop's range.
    QVERIFY(m_project->setTempoAt(20, 60.0f));
    QCOMPARE(settingsChanged.count(), 2);
    QCOMPARE(settingsChanged.at(1).at(0).toLongLong(), 10);
    QCOMPARE(settingsChanged.at(1).at(1).toLongLong(), 40);
    QCOMPARE(m_loop->getTempo(), 60.0f);
    QCOMPARE(player.getPlaybackSettings()->loopWithId(m_loop->getID())->getTempo(), 60.0f);
    QCOMPARE(player.getCommonTempo(), 80.0f);
    QCOMPARE(m_project->settings().getProjectTempo(), 80.0f);

    // The same value again is no change and no new snapshot.
    const PlaybackSettingsPtr before = player.getPlaybackSettings();
    QVERIFY(!m_project->setTempoAt(20, 60.0f));
    QCOMPARE(player.getPlaybackSettings(), before);

    QVERIFY(m_project->setVolume(70.0f));
    QCOMPARE(player.getCommonVolume(), 70.0f);
}

void tst_Project::lockSourceDecidesWhatAnEditTouches()
{
    bool audioLocked = true;
    m_project->setLockSource([&audioLocked] { return Project::TrackLocks{false, audioLocked}; });
    DeleteSegmentCommand command(*m_project, m_project->media()->getSegment(Time::fromFrameUnits(50),
                                                                           Time::fromFrameUnits(150)));
    const QStringList state0 = state(*m_project);
    // With the sound locked the length stays and the loops and bookmarks
    // stay where they are.
    command.redo();
    QCOMPARE(m_project->media()->getDuration(), Time(12 * Second));
    QCOMPARE(m_project->timeline()->getMarkers().size(), 2);
    command.undo();
    QCOMPARE(state(*m_project), state0);
    // A later redo under other locks takes both tracks.
    audioLocked = false;
    command.redo();
    QCOMPARE(m_project->media()->getDuration(), Time(12 * Second) - (Time::fromFrameUnits(150) - Time::fromFrameUnits(50)));
    QCOMPARE(m_project->timeline()->getMarkers().size(), 1);
    command.undo();
    QCOMPARE(state(*m_project), state0);
}

QTEST_MAIN(tst_Project)
#include "tst_Project.moc"
