// Deleting a section through the controller on a real clip, with redo, undo
// and redo again, under every lock.
#include "EditFixture.h"

using namespace TW;
using namespace TW::test;

class tst_EditDelete : public QObject, protected EditFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanupTestCase() { tearDownCase(); }

    void deleteTable_data();
    void deleteTable();
    void deleteRedoUndoRedoIsExact();
    void deleteMovesThePlayPositionOutOfTheRange();
};

void tst_EditDelete::deleteTable_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("videoLocked");
    QTest::addColumn<bool>("audioLocked");
    QTest::addColumn<QString>("edits");
    QTest::addColumn<QString>("marksAfter");
    const QString same = OriginalMarks;
    const QString startMarks = "L1[20,160] L2[180,220] L3[300,380] M1@50 M2@150 M3@250 M4@350";
    const QString middleMarks = "L0[20,80] L1[120,200] L2[200,220] L3[300,380] M0@50 M1@150 M3@250 M4@350";
    const QString endMarks = "L0[20,80] L1[120,260] L2[280,320] M0@50 M1@150 M2@250 M3@350";
    QTest::newRow("start, no lock") << 0 << 100 << false << false << "clip 100-D VA" << startMarks;
    QTest::newRow("start, video locked") << 0 << 100 << true << false << "clip 0-100 V- | clip 100-D VA" << same;
    QTest::newRow("start, audio locked") << 0 << 100 << false << true << "clip 0-100 -A | clip 100-D VA" << same;
    QTest::newRow("start, both locked") << 0 << 100 << true << true << "clip 0-D VA" << same;
    QTest::newRow("middle, no lock") << 200 << 300 << false << false << "clip 0-200 VA | clip 300-D VA" << middleMarks;
    QTest::newRow("middle, video locked") << 200 << 300 << true << false
                                          << "clip 0-200 VA | clip 200-300 V- | clip 300-D VA" << same;
    QTest::newRow("middle, audio locked") << 200 << 300 << false << true
                                          << "clip 0-200 VA | clip 200-300 -A | clip 300-D VA" << same;
    QTest::newRow("middle, both locked") << 200 << 300 << true << true << "clip 0-D VA" << same;
    QTest::newRow("end, no lock") << 400 << -1 << false << false << "clip 0-400 VA" << endMarks;
    QTest::newRow("end, video locked") << 400 << -1 << true << false << "clip 0-400 VA | clip 400-D V-" << same;
    QTest::newRow("end, audio locked") << 400 << -1 << false << true << "clip 0-400 VA | clip 400-D -A" << same;
    QTest::newRow("end, both locked") << 400 << -1 << true << true << "clip 0-D VA" << same;
}

void tst_EditDelete::deleteTable()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, videoLocked);
    QFETCH(bool, audioLocked);
    QFETCH(QString, edits);
    QFETCH(QString, marksAfter);
    if (last < 0)
        last = m_frames;
    const QString original = editList();
    setLocks(videoLocked, audioLocked);
    select(first, last);
    m_controller->onDelete();
    const bool pushed = !(videoLocked && audioLocked);
    QCOMPARE(stack()->count(), pushed ? 1 : 0);
    QCOMPARE(editList(), withEnd(edits));
    QCOMPARE(marks(), marksAfter);
    const int shorter = videoLocked || audioLocked ? 0 : last - first;
    QCOMPARE(int(media()->getDuration().toFrameUnits(false)), m_frames - shorter);
    QCOMPARE(m_controller->getMediaPlayer()->getMedia(), media());
    if (!pushed)
        return;
    // The ruler shows what the timeline holds.
    QCOMPARE(ruler()->getLoops().size(), timeline()->getLoopCount());
    QCOMPARE(ruler()->getBookmarks().size(), timeline()->getMarkers().size());
    QCOMPARE(ruler()->getSelection(), shorter ? PairInt(first, first) : PairInt(first, last));

    stack()->undo();
    QCOMPARE(editList(), original);
    QCOMPARE(marks(), QString(OriginalMarks));
    QCOMPARE(timeline()->getLoops(), m_loops);
    QCOMPARE(ruler()->getLoops().size(), m_loops.size());
    QCOMPARE(ruler()->getBookmarks().size(), m_bookmarks.size());
    QCOMPARE(ruler()->getSelection(), PairInt(first, last));
    QCOMPARE(int(media()->getDuration().toFrameUnits(false)), m_frames);

    stack()->redo();
    QCOMPARE(editList(), withEnd(edits));
    QCOMPARE(marks(), marksAfter);
}

// Random ranges, loops and bookmarks: redo, undo, redo through the stack
// gives the first redo's project again and undo gives the original back.
void tst_EditDelete::deleteRedoUndoRedoIsExact()
{
    for (int seq = 0; seq < 6; ++seq) {
        init();
        QRandomGenerator rng(quint32(seq) * 2654435761u + 3);
        timeline()->clearLoops();
        m_window->clearLoops();
        m_loops.clear();
        for (int i = 0; i < 5; ++i) {
            const int a = int(rng.bounded(m_frames));
            const VideoLoopPtr loop = timeline()->allocLoop(a, a + 1 + int(rng.bounded(m_frames - a)));
            timeline()->addLoop(loop);
            m_window->addLoop(loop);
            m_loops << loop;
        }
        for (int i = 0; i < 4; ++i) {
            const VideoMarkerPtr bookmark(new VideoMarker(rng.bounded(m_frames)));
            timeline()->addMarker(bookmark);
            m_window->addBookmark(bookmark);
            m_bookmarks << bookmark;
        }
        int first = int(rng.bounded(m_frames)), last = int(rng.bounded(m_frames));
        if (first > last)
            std::swap(first, last);
        if (first == last)
            continue;
        const QByteArray where = QByteArray("sequence ") + QByteArray::number(seq);
        const QString originalEdits = editList(), originalMarks = marks();
        select(first, last);
        m_controller->onDelete();
        QCOMPARE(stack()->count(), 1);
        const QString edits = editList(), after = marks();
        stack()->undo();
        QVERIFY2(editList() == originalEdits, where.constData());
        QVERIFY2(marks() == originalMarks, (where + ": " + marks().toUtf8() + " != " + originalMarks.toUtf8()).constData());
        stack()->redo();
        QVERIFY2(editList() == edits, where.constData());
        QVERIFY2(marks() == after, where.constData());
        stack()->undo();
        QVERIFY2(marks() == originalMarks, where.constData());
        QCOMPARE(timeline()->getLoopCount(), m_loops.size());
        QCOMPARE(timeline()->getMarkers().size(), m_bookmarks.size());
    }
}

void tst_EditDelete::deleteMovesThePlayPositionOutOfTheRange()
{
    moveTo(300);
    select(200, 300);
    m_controller->onDelete();
    QCOMPARE(m_window->getCurFrame(), 200);
}

int main(int argc, char **argv)
{
    isolateHome();
    Q_INIT_RESOURCE(resources);
    // The test's own arguments (test functions to run) are no files to open.
    int appArgc = 1;
    Application app(appArgc, argv);
    tst_EditDelete tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_EditDelete.moc"
