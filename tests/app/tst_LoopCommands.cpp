// The loop and bookmark undo commands against the running application: each
// redo, undo and redo leaves the project timeline, the ruler and the player
// in the state it should, and an edited loop is fitted between its
// neighbours.
#include "TestEnv.h"

#include "app/AddBookmarkCommand.h"
#include "app/AddLoopCommand.h"
#include "app/Application.h"
#include "app/EditBookmarkCommand.h"
#include "app/EditLoopCommand.h"
#include "app/MainController.h"
#include "app/RemoveAllLoopsCommand.h"
#include "app/RemoveBookmarkCommand.h"
#include "app/RemoveLoopCommand.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Time.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "playback/MediaPlayer.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"

#include "LogCapture.h"

#include <QUndoStack>
#include <QtTest>

using namespace TW;

namespace {

VideoLoopPtr makeLoop(const QString &name, int start, int end)
{
    VideoLoopPtr loop(new VideoLoop);
    loop->setName(name);
    loop->setStartFrame(start);
    loop->setEndFrame(end);
    return loop;
}

VideoMarkerPtr makeBookmark(const QString &name, unsigned long frame)
{
    VideoMarkerPtr bookmark(new VideoMarker(frame));
    bookmark->setName(name);
    return bookmark;
}

template <typename T>
int copies(const QVector<QSharedPointer<T>> &list, const QSharedPointer<T> &item)
{
    return int(std::count(list.begin(), list.end(), item));
}

QVector<int> starts(const QVector<VideoLoopPtr> &loops)
{
    QVector<int> out;
    for (const VideoLoopPtr &l : loops)
        out << l->getStartFrame();
    return out;
}

} // namespace

class tst_LoopCommands : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void commandTexts();
    void addBookmarkRedoUndoRedo();
    void removeBookmarkRedoUndoRedo();
    void editBookmarkSwitchesValues();
    void addLoopRedoUndoRedo();
    void removeLoopRedoUndoRedo();
    void removeAllLoops();
    void removeAllLoopsWithNoLoops();
    void fitting_data();
    void fitting();
    void editLoopSwitchesValuesWithoutRefitting();
    void editLoopKeepsStartOrder();
    void playerForgetsRemovedLoop_data();
    void playerForgetsRemovedLoop();
    void pushedThroughTheUndoStack();

private:
    QSharedPointer<MediaTimeLine> timeline() const { return m_controller->getMedia()->getTimeline(); }
    TimeAreaWidget *ruler() const { return m_controller->getMainWindow()->getTimeArea(); }
    // Puts the loop on the timeline and the ruler as a redone add would.
    void place(const VideoLoopPtr &loop)
    {
        timeline()->addLoop(loop);
        m_controller->getMainWindow()->addLoop(loop);
    }

    MainController *m_controller = nullptr;
};

void tst_LoopCommands::initTestCase()
{
    QVERIFY(Application::instance());
    m_controller = Application::instance()->getMainController();
    QVERIFY(m_controller);
    m_controller->exec();
    QVERIFY(m_controller->getMainWindow());
    QVERIFY(m_controller->getMedia());
    QVERIFY(timeline());
    Singleton<OptionsHolder>::instance()->m_fps = 25;
    // Loops and bookmarks only show on a ruler with a length.
    m_controller->getMainWindow()->setDuration(QTime(0, 1), 25.0);
    TW::test::installLogCapture();
}

void tst_LoopCommands::cleanupTestCase()
{
    TW::test::removeLogCapture();
}

void tst_LoopCommands::init()
{
    TW::test::clearLog();
    timeline()->clearLoops();
    for (const VideoMarkerPtr &m : timeline()->getMarkers())
        timeline()->removeMarker(m);
    m_controller->getMainWindow()->clearLoops();
    m_controller->getMainWindow()->clearBookmarks();
}

void tst_LoopCommands::commandTexts()
{
    const VideoLoopPtr loop = makeLoop("L1", 10, 20);
    const VideoMarkerPtr bookmark = makeBookmark("M1", 5);
    QCOMPARE(AddBookmarkCommand(bookmark).text(), QStringLiteral("AddBookmarkCommand"));
    QCOMPARE(RemoveBookmarkCommand(bookmark).text(), QStringLiteral("RemoveBookmarkCommand"));
    QCOMPARE(EditBookmarkCommand(bookmark, bookmark, bookmark).text(), QStringLiteral("EditBookmarkCommand"));
    QCOMPARE(AddLoopCommand(loop).text(), QStringLiteral("AddLoopCommand"));
    QCOMPARE(RemoveLoopCommand(loop).text(), QStringLiteral("RemoveLoopCommand"));
    QCOMPARE(EditLoopCommand(loop, loop, loop).text(), QStringLiteral("EditLoopCommand"));
    QCOMPARE(RemoveAllLoopsCommand().text(), QStringLiteral("RemoveAllLoopsCommand"));
    // Commands never merge.
    QCOMPARE(AddLoopCommand(loop).id(), -1);
}

void tst_LoopCommands::addBookmarkRedoUndoRedo()
{
    const VideoMarkerPtr bookmark = timeline()->allocBookmark(100);
    QVERIFY(bookmark);
    const QString id = bookmark->getID();
    AddBookmarkCommand command(bookmark);

    command.redo();
    QCOMPARE(copies(timeline()->getMarkers(), bookmark), 1);
    QCOMPARE(copies(ruler()->getBookmarks(), bookmark), 1);
    QVERIFY(TW::test::logged("Add bookmark redo"));

    command.undo();
    QCOMPARE(timeline()->getMarkers().size(), 0);
    QCOMPARE(ruler()->getBookmarks().size(), 0);
    QVERIFY(TW::test::logged("Add bookmark undo"));

    command.redo();
    // The very object comes back, with its identifier, once.
    QCOMPARE(copies(timeline()->getMarkers(), bookmark), 1);
    QCOMPARE(copies(ruler()->getBookmarks(), bookmark), 1);
    QCOMPARE(timeline()->getMarkers().constFirst()->getID(), id);
}

void tst_LoopCommands::removeBookmarkRedoUndoRedo()
{
    const VideoMarkerPtr keep = makeBookmark("M1", 10);
    const VideoMarkerPtr gone = makeBookmark("M2", 20);
    for (const VideoMarkerPtr &m : {keep, gone}) {
        timeline()->addMarker(m);
        m_controller->getMainWindow()->addBookmark(m);
    }
    RemoveBookmarkCommand command(gone);

    command.redo();
    QCOMPARE(timeline()->getMarkers(), QVector<VideoMarkerPtr>{keep});
    QCOMPARE(ruler()->getBookmarks(), QVector<VideoMarkerPtr>{keep});

    command.undo();
    QCOMPARE(copies(timeline()->getMarkers(), gone), 1);
    QCOMPARE(copies(ruler()->getBookmarks(), gone), 1);
    QCOMPARE(timeline()->getMarkers().size(), 2);

    command.redo();
    QCOMPARE(timeline()->getMarkers(), QVector<VideoMarkerPtr>{keep});
    QCOMPARE(ruler()->getBookmarks(), QVector<VideoMarkerPtr>{keep});
    QVERIFY(TW::test::logged("Remove bookmark redo"));
    QVERIFY(TW::test::logged("Remove bookmark undo"));
}

void tst_LoopCommands::editBookmarkSwitchesValues()
{
    const VideoMarkerPtr bookmark = makeBookmark("M1", 10);
    const QString id = bookmark->getID();
    timeline()->addMarker(bookmark);
    m_controller->getMainWindow()->addBookmark(bookmark);
    const VideoMarkerPtr before(new VideoMarker(*bookmark));
    const VideoMarkerPtr after = makeBookmark("Chorus", 250);

    EditBookmarkCommand command(before, bookmark, after);
    // The caller's value sets may change afterwards without effect.
    after->setFrame(999);
    before->setName("changed");

    for (int round = 0; round < 2; ++round) {
        command.redo();
        QCOMPARE(bookmark->getFrame(), quint64(250));
        QCOMPARE(bookmark->getName(), QStringLiteral("Chorus"));
        QCOMPARE(bookmark->getID(), id);
        command.undo();
        QCOMPARE(bookmark->getFrame(), quint64(10));
        QCOMPARE(bookmark->getName(), QStringLiteral("M1"));
        QCOMPARE(bookmark->getID(), id);
    }
    QCOMPARE(timeline()->getMarkers(), QVector<VideoMarkerPtr>{bookmark});
    QVERIFY(TW::test::logged("Edit bookmark redo. Current:"));
    QVERIFY(TW::test::logged("Edit bookmark undo. Current:"));
}

void tst_LoopCommands::addLoopRedoUndoRedo()
{
    const VideoLoopPtr first = makeLoop("L1", 300, 400);
    place(first);
    const VideoLoopPtr loop = timeline()->allocLoop(100, 200);
    AddLoopCommand command(loop);

    command.redo();
    QCOMPARE(timeline()->getLoops(), (QVector<VideoLoopPtr>{loop, first}));
    QCOMPARE(copies(ruler()->getLoops(), loop), 1);
    QCOMPARE(ruler()->getLoopHandlesGeom(loop).size(), 2);

    command.undo();
    QCOMPARE(timeline()->getLoops(), QVector<VideoLoopPtr>{first});
    QCOMPARE(ruler()->getLoops(), QVector<VideoLoopPtr>{first});
    QVERIFY(ruler()->getLoopHandlesGeom(loop).isEmpty());

    command.redo();
    QCOMPARE(timeline()->getLoops(), (QVector<VideoLoopPtr>{loop, first}));
    QCOMPARE(copies(ruler()->getLoops(), loop), 1);
    QVERIFY(TW::test::logged("Add loop redo"));
    QVERIFY(TW::test::logged("Add loop undo"));
}

void tst_LoopCommands::removeLoopRedoUndoRedo()
{
    const VideoLoopPtr a = makeLoop("L1", 10, 50);
    const VideoLoopPtr b = makeLoop("L2", 100, 150);
    place(a);
    place(b);
    RemoveLoopCommand command(a);

    command.redo();
    QCOMPARE(timeline()->getLoops(), QVector<VideoLoopPtr>{b});
    QCOMPARE(ruler()->getLoops(), QVector<VideoLoopPtr>{b});

    command.undo();
    QCOMPARE(timeline()->getLoops(), (QVector<VideoLoopPtr>{a, b}));
    QCOMPARE(ruler()->getLoops(), (QVector<VideoLoopPtr>{a, b}));

    command.redo();
    QCOMPARE(timeline()->getLoops(), QVector<VideoLoopPtr>{b});
    QCOMPARE(ruler()->getLoops(), QVector<VideoLoopPtr>{b});
    QVERIFY(TW::test::logged("Remove loop redo"));
    QVERIFY(TW::test::logged("Remove loop undo"));
}

void tst_LoopCommands::removeAllLoops()
{
    const VideoLoopPtr a = makeLoop("L1", 10, 50);
    const VideoLoopPtr b = makeLoop("L2", 100, 150);
    place(b);
    place(a);
    RemoveAllLoopsCommand command;

    command.redo();
    QVERIFY(timeline()->getLoops().isEmpty());
    QVERIFY(ruler()->getLoops().isEmpty());
    QVERIFY(TW::test::logged("Removed 2 loops"));

    command.undo();
    QCOMPARE(timeline()->getLoops(), (QVector<VideoLoopPtr>{a, b}));
    QCOMPARE(ruler()->getLoops(), (QVector<VideoLoopPtr>{a, b}));
    QVERIFY(TW::test::logged("Remove all loops undo. Restore 2 loops"));

    // The kept list is refilled at every redo: a loop added in between is
    // removed and restored too, and nothing is doubled.
    const VideoLoopPtr c = makeLoop("L3", 200, 250);
    place(c);
    command.redo();
    QVERIFY(timeline()->getLoops().isEmpty());
    command.undo();
    QCOMPARE(timeline()->getLoops(), (QVector<VideoLoopPtr>{a, b, c}));
    QCOMPARE(ruler()->getLoops(), (QVector<VideoLoopPtr>{a, b, c}));
}

void tst_LoopCommands::removeAllLoopsWithNoLoops()
{
    RemoveAllLoopsCommand command;
    command.redo();
    QVERIFY(TW::test::logged("Removed 0 loops"));
    command.undo();
    QVERIFY(timeline()->getLoops().isEmpty());
    QVERIFY(ruler()->getLoops().isEmpty());
}

void tst_LoopCommands::fitting_data()
{
    // Other loops as start,end pairs; the edited loop starts as [1000, 1100].
    QTest::addColumn<QVector<int>>("others");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("fittedStart");
    QTest::addColumn<int>("fittedEnd");
    QTest::newRow("neighbour after overlaps the end") << QVector<int>{150, 300} << 100 << 200 << 100 << 145;
    QTest::newRow("neighbour before overlaps the start") << QVector<int>{50, 98} << 100 << 200 << 103 << 200;
    QTest::newRow("far neighbours") << QVector<int>{10, 20, 500, 600} << 100 << 200 << 100 << 200;
    QTest::newRow("both sides") << QVector<int>{50, 120, 180, 300} << 100 << 200 << 125 << 175;
    QTest::newRow("empty span grows 5 frames") << QVector<int>{} << 10 << 10 << 10 << 15;
    QTest::newRow("same start is not fitted") << QVector<int>{100, 150} << 100 << 200 << 100 << 200;
    QTest::newRow("clipped to an empty span") << QVector<int>{50, 95, 105, 300} << 90 << 200 << 100 << 105;
    // Less than 10 frames between two neighbours: there is no room; the
    // loop keeps where it was rather than ending before it starts.
    QTest::newRow("no room keeps the old bounds") << QVector<int>{50, 100, 104, 300} << 90 << 200 << 1000 << 1100;
    QTest::newRow("inverted input keeps the old bounds") << QVector<int>{} << 300 << 200 << 1000 << 1100;
}

void tst_LoopCommands::fitting()
{
    QFETCH(QVector<int>, others);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, fittedStart);
    QFETCH(int, fittedEnd);

    const VideoLoopPtr loop = makeLoop("L1", 1000, 1100);
    place(loop);
    for (int i = 0; i + 1 < others.size(); i += 2)
        place(makeLoop(QStringLiteral("O%1").arg(i), others.at(i), others.at(i + 1)));
    const VideoLoopPtr before(new VideoLoop(*loop));
    const VideoLoopPtr after(new VideoLoop(*loop));
    after->setStartFrame(start);
    after->setEndFrame(end);
    after->setTempo(80.0f);

    EditLoopCommand command(before, loop, after);
    QCOMPARE(command.getAfter()->getStartFrame(), fittedStart);
    QCOMPARE(command.getAfter()->getEndFrame(), fittedEnd);
    QCOMPARE(command.getBefore()->getStartFrame(), 1000);
    QVERIFY(TW::test::logged("Creating EditLoopCommand"));
    // Building fits; only redo changes the loop.
    QCOMPARE(loop->getStartFrame(), 1000);
    command.redo();
    QCOMPARE(loop->getStartFrame(), fittedStart);
    QCOMPARE(loop->getEndFrame(), fittedEnd);
    QCOMPARE(loop->getTempo(), 80.0f);
    QVERIFY(loop->getStartFrame() < loop->getEndFrame());
}

void tst_LoopCommands::editLoopSwitchesValuesWithoutRefitting()
{
    const VideoLoopPtr loop = makeLoop("L1", 100, 200);
    const QString id = loop->getID();
    const VideoLoopPtr other = makeLoop("L2", 150, 300);
    place(loop);
    place(other);
    const VideoLoopPtr before(new VideoLoop(*loop));
    const VideoLoopPtr after(new VideoLoop(*loop));
    after->setEndFrame(250);
    after->setName("Verse");
    after->setLoopCount(3);
    after->setDelay(2);
    after->setVolume(40.0);
    after->setPitch(-2.0f);
    EditLoopCommand command(before, loop, after);

    for (int round = 0; round < 3; ++round) {
        command.redo();
        QCOMPARE(loop->getStartFrame(), 100);
        QCOMPARE(loop->getEndFrame(), 145);
        QCOMPARE(loop->getName(), QStringLiteral("Verse"));
        QCOMPARE(loop->getLoopCount(), 3);
        QCOMPARE(loop->getDelay(), 2);
        QCOMPARE(loop->getVolume(), 40.0);
        QCOMPARE(loop->getPitch(), -2.0f);
        QCOMPARE(loop->getID(), id);
        // Moving the other loop in between does not fit the stored value again.
        other->setStartFrame(120);
        command.undo();
        QCOMPARE(loop->getStartFrame(), 100);
        QCOMPARE(loop->getEndFrame(), 200);
        QCOMPARE(loop->getName(), QStringLiteral("L1"));
        QCOMPARE(loop->getLoopCount(), 999);
        QCOMPARE(loop->getID(), id);
    }
    QCOMPARE(copies(timeline()->getLoops(), loop), 1);
    QCOMPARE(copies(ruler()->getLoops(), loop), 1);
    QVERIFY(TW::test::logged("Edit loop redo. Current:"));
    QVERIFY(TW::test::logged("Edit loop undo. Current:"));
}

void tst_LoopCommands::editLoopKeepsStartOrder()
{
    const VideoLoopPtr a = makeLoop("L1", 10, 20);
    const VideoLoopPtr b = makeLoop("L2", 50, 60);
    const VideoLoopPtr c = makeLoop("L3", 90, 95);
    place(a);
    place(b);
    place(c);
    const VideoLoopPtr before(new VideoLoop(*a));
    const VideoLoopPtr after(new VideoLoop(*a));
    after->setStartFrame(200);
    after->setEndFrame(240);
    EditLoopCommand command(before, a, after);

    command.redo();
    QCOMPARE(starts(timeline()->getLoops()), (QVector<int>{50, 90, 200}));
    QCOMPARE(timeline()->getLoops().constLast(), a);
    QCOMPARE(timeline()->getLoopByFrame(220), a);
    QCOMPARE(timeline()->getLoopByFrame(15), VideoLoopPtr());
    QCOMPARE(timeline()->getLoops().size(), 3);

    command.undo();
    QCOMPARE(starts(timeline()->getLoops()), (QVector<int>{10, 50, 90}));
    QCOMPARE(timeline()->getLoops().constFirst(), a);
    QCOMPARE(timeline()->getLoops().size(), 3);
}

void tst_LoopCommands::playerForgetsRemovedLoop_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("remove loop") << "remove";
    QTest::newRow("undo of the addition") << "undo add";
    QTest::newRow("remove all loops") << "remove all";
    QTest::newRow("edit loop") << "edit";
}

void tst_LoopCommands::playerForgetsRemovedLoop()
{
    QFETCH(QString, how);
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    QVERIFY(player);
    player->openMedia(m_controller->getMedia());

    const VideoLoopPtr loop = makeLoop("L1", 25, 75);
    AddLoopCommand add(loop);
    add.redo();
    // The player enters the loop at frame 50 (2 s at 25 fps) and keeps a copy.
    QVERIFY(QMetaObject::invokeMethod(player.data(), "handleClock", Q_ARG(qint64, 2000000)));
    QVERIFY(player->getCurrentLoop());
    QCOMPARE(player->getCurrentLoop()->getID(), loop->getID());

    RemoveLoopCommand remove(loop);
    RemoveAllLoopsCommand removeAll;
    const VideoLoopPtr after(new VideoLoop(*loop));
    after->setLoopCount(1);
    EditLoopCommand edit(VideoLoopPtr(new VideoLoop(*loop)), loop, after);
    if (how == QLatin1String("remove"))
        remove.redo();
    else if (how == QLatin1String("undo add"))
        add.undo();
    else if (how == QLatin1String("remove all"))
        removeAll.redo();
    else
        edit.redo();
    QVERIFY(!player->getCurrentLoop());
    player->resetMedia();
}

void tst_LoopCommands::pushedThroughTheUndoStack()
{
    QUndoStack *stack = m_controller->getUndoStack();
    QVERIFY(stack);
    stack->clear();
    const VideoLoopPtr loop = timeline()->allocLoop(10, 40);
    stack->push(new AddLoopCommand(loop));
    stack->push(new RemoveLoopCommand(loop));
    QVERIFY(timeline()->getLoops().isEmpty());
    stack->undo();
    QCOMPARE(timeline()->getLoops(), QVector<VideoLoopPtr>{loop});
    stack->undo();
    QVERIFY(timeline()->getLoops().isEmpty());
    stack->redo();
    stack->redo();
    QVERIFY(timeline()->getLoops().isEmpty());
    QVERIFY(ruler()->getLoops().isEmpty());
    stack->clear();
}

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_LoopCommands tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_LoopCommands.moc"
