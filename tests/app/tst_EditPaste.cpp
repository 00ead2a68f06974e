// Cut, copy and paste through the controller on a real clip, with redo, undo
// and redo again; the locks and the clipboard's refusals.
#include "EditFixture.h"

using namespace TW;
using namespace TW::test;

class tst_EditPaste : public QObject, protected EditFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanupTestCase() { tearDownCase(); }

    void pasteTable_data();
    void pasteTable();
    void pasteWorkedExample();
    void pasteIntoAnEmptyProject();
    void clipboardRefusals_data();
    void clipboardRefusals();
    void copyCarriesOnlyUnlockedTracks();
    void cutPasteAtStartUndoTwice();
};

void tst_EditPaste::pasteTable_data()
{
    QTest::addColumn<int>("at");
    QTest::addColumn<bool>("videoLocked");
    QTest::addColumn<bool>("audioLocked");
    QTest::addColumn<QString>("edits");
    QTest::addColumn<QString>("marksAfter");
    // The clipboard holds frames 100 .. 200 (4 seconds).
    const QString same = OriginalMarks;
    const QString startMarks = "L0[120,180] L1[220,360] L2[380,420] L3[500,580] M0@150 M1@250 M2@350 M3@450 M4@550";
    const QString middleMarks = "L0[20,80] L1[120,360] L2[380,420] L3[500,580] M0@50 M1@150 M2@250 M3@450 M4@550";
    QTest::newRow("start, no lock") << 0 << false << false << "clip 100-200 VA | clip 0-D VA" << startMarks;
    QTest::newRow("start, video locked") << 0 << true << false << "clip 100-200 -A | clip 0-D VA" << startMarks;
    QTest::newRow("start, audio locked") << 0 << false << true << "clip 100-200 V- | clip 0-D VA" << startMarks;
    QTest::newRow("start, both locked") << 0 << true << true << "clip 0-D VA" << same;
    QTest::newRow("middle, no lock") << 250 << false << false
                                     << "clip 0-250 VA | clip 100-200 VA | clip 250-D VA" << middleMarks;
    QTest::newRow("middle, video locked") << 250 << true << false
                                          << "clip 0-250 VA | clip 100-200 -A | clip 250-D VA" << middleMarks;
    QTest::newRow("middle, audio locked") << 250 << false << true
                                          << "clip 0-250 VA | clip 100-200 V- | clip 250-D VA" << middleMarks;
    QTest::newRow("middle, both locked") << 250 << true << true << "clip 0-D VA" << same;
    QTest::newRow("end, no lock") << -1 << false << false << "clip 0-D VA | clip 100-200 VA" << same;
    QTest::newRow("end, video locked") << -1 << true << false << "clip 0-D VA | clip 100-200 -A" << same;
    QTest::newRow("end, audio locked") << -1 << false << true << "clip 0-D VA | clip 100-200 V-" << same;
    QTest::newRow("end, both locked") << -1 << true << true << "clip 0-D VA" << same;
}

void tst_EditPaste::pasteTable()
{
    QFETCH(int, at);
    QFETCH(bool, videoLocked);
    QFETCH(bool, audioLocked);
    QFETCH(QString, edits);
    QFETCH(QString, marksAfter);
    const QString original = editList();
    select(100, 200);
    m_controller->onCopy();
    QVERIFY(QGuiApplication::clipboard()->mimeData()->hasFormat("tarnwell/data"));
    // The paste goes in at the play position; the end is the last frame's end.
    const Time position = at < 0 ? media()->getDuration() : Time::fromFrameUnits(at);
    setLocks(videoLocked, audioLocked);
    if (at >= 0) {
        moveTo(at);
        m_controller->onPaste();
    } else {
        QSharedPointer<MediaSegment> segment(new MediaSegment);
        QVERIFY(MediaSegment::fromByteArray(QGuiApplication::clipboard()->mimeData()->data("tarnwell/data"), *segment));
        m_controller->onExecute(new PasteSegmentCommand(segment, position));
    }
    if (videoLocked && audioLocked) {
        QCOMPARE(editList(), withEnd(edits));
        QCOMPARE(marks(), marksAfter);
        return;
    }
    QCOMPARE(stack()->count(), 1);
    QCOMPARE(editList(), withEnd(edits));
    QCOMPARE(marks(), marksAfter);
    QCOMPARE(int(media()->getDuration().toFrameUnits(false)), m_frames + 100);
    stack()->undo();
    QCOMPARE(editList(), original);
    QCOMPARE(marks(), QString(OriginalMarks));
    stack()->redo();
    QCOMPARE(editList(), withEnd(edits));
    QCOMPARE(marks(), marksAfter);
}

void tst_EditPaste::pasteWorkedExample()
{
    const VideoMarkerPtr at50(new VideoMarker(50)), at60(new VideoMarker(60));
    for (const auto &m : {at50, at60})
        timeline()->addMarker(m);
    select(100, 200);
    m_controller->onCopy();
    moveTo(50);
    m_controller->onPaste();
    QCOMPARE(at60->getFrame(), quint64(160));
    QCOMPARE(at50->getFrame(), quint64(50));
    stack()->undo();
    QCOMPARE(at60->getFrame(), quint64(60));
}

void tst_EditPaste::pasteIntoAnEmptyProject()
{
    select(100, 200);
    m_controller->onCopy();
    media()->replaceTrackFragments({});
    media()->updateFragmentPositions();
    m_controller->getMediaPlayer()->updateTrackPlayerCache(DecodingToMemory);
    m_window->setCurrentFrame(0);
    // The gate lets a paste through although the project has no duration.
    m_controller->onPaste();
    QCOMPARE(stack()->count(), 1);
    QCOMPARE(editList(), QStringLiteral("clip 100-200 VA"));
    stack()->undo();
    QVERIFY(media()->isEmpty());
    stack()->redo();
    QCOMPARE(editList(), QStringLiteral("clip 100-200 VA"));
    // Any other command is still refused on an empty project.
    stack()->undo();
    m_controller->onExecute(new VolumeMediaCommand(50.0f));
    QCOMPARE(stack()->count(), 1);
    QVERIFY(test::logged("Command execution denied"));
}

void tst_EditPaste::clipboardRefusals_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("bytes");
    QSharedPointer<MediaSegment> good(new MediaSegment);
    good->length = Time(4000000);
    good->addTrack(QSharedPointer<MediaTrackFragment>(new MediaTrackFragment));
    const QByteArray whole = good->toByteArray();
    QTest::newRow("another program's text") << "text/plain" << QByteArray("hello");
    QTest::newRow("cut short") << "tarnwell/data" << whole.left(whole.size() - 3);
    QTest::newRow("bytes left over") << "tarnwell/data" << whole + QByteArray(4, '\0');
    QByteArray huge = whole;
    huge[8 + 8 + 1 + 1 + 3] = char(0x7f); // a count far beyond the bytes
    QTest::newRow("impossible count") << "tarnwell/data" << huge;
    QTest::newRow("empty") << "tarnwell/data" << QByteArray();
}

void tst_EditPaste::clipboardRefusals()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, bytes);
    const QString original = editList();
    auto *data = new QMimeData;
    data->setData(format, bytes);
    QGuiApplication::clipboard()->setMimeData(data);
    m_window->statusBar()->clearMessage();
    m_window->setCurrentFrame(100);
    m_controller->onPaste();
    QCOMPARE(stack()->count(), 0);
    QCOMPARE(editList(), original);
    QVERIFY(m_window->statusBar()->currentMessage().contains("nothing was pasted"));
}

void tst_EditPaste::copyCarriesOnlyUnlockedTracks()
{
    setLocks(true, false);
    select(100, 200);
    m_controller->onCopy();
    MediaSegment segment;
    QVERIFY(MediaSegment::fromByteArray(QGuiApplication::clipboard()->mimeData()->data("tarnwell/data"), segment));
    QVERIFY(!segment.video);
    QVERIFY(segment.audio);
    for (const auto &f : segment.fragments)
        QVERIFY(!f->playVideo);
    // Nothing of it may go in while the audio is locked.
    setLocks(false, true);
    m_controller->onPaste();
    QCOMPARE(stack()->count(), 0);
    QVERIFY(test::logged("Unable to paste any data."));
    // Equal ends are no selection: the clipboard stays as it was.
    setLocks(false, false);
    select(150, 150);
    test::clearLog();
    m_controller->onCopy();
    QVERIFY(test::logged("No selection."));
}

// The whole road of a user: select on the ruler, the side panel's Cut,
// the play position to the start, Paste, and the toolbar's Undo twice.
void tst_EditPaste::cutPasteAtStartUndoTwice()
{
    const QString original = editList();
    select(100, 200);
    m_window->getEditVideoWidget()->button("cutBtn")->click();
    QCOMPARE(editList(), withEnd("clip 0-100 VA | clip 200-D VA"));
    moveTo(0);
    m_window->getEditVideoWidget()->button("pasteBtn")->click();
    QCOMPARE(editList(), withEnd("clip 100-200 VA | clip 0-100 VA | clip 200-D VA"));
    QCOMPARE(stack()->count(), 2);
    QVERIFY(QMetaObject::invokeMethod(m_window->getTopToolbar(), "undoButtonClicked"));
    QVERIFY(QMetaObject::invokeMethod(m_window->getTopToolbar(), "undoButtonClicked"));
    QCOMPARE(editList(), original);
    QCOMPARE(marks(), QString(OriginalMarks));
    QVERIFY(stack()->isClean());
}

int main(int argc, char **argv)
{
    isolateHome();
    Q_INIT_RESOURCE(resources);
    // The test's own arguments (test functions to run) are no files to open.
    int appArgc = 1;
    Application app(appArgc, argv);
    tst_EditPaste tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_EditPaste.moc"
