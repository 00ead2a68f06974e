// The edit commands on a real clip through the controller: delete, cut,
// copy and paste, insert silence, silence and volume of a section, the
// whole project's volume and the frame size, each with its redo, undo and
// redo again; the locks; the clipboard's refusals; and the track flags.
#include "LogCapture.h"
#include "ModalAnswerer.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/Application.h"
#include "app/AspectRatioCommand.h"
#include "app/DeleteSegmentCommand.h"
#include "app/MainController.h"
#include "app/PasteSegmentCommand.h"
#include "app/SilenceSegmentCommand.h"
#include "app/VolumeMediaCommand.h"
#include "app/VolumeSegmentCommand.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "dialogs/EditSilenceDialog.h"
#include "dialogs/EditVolumeDialog.h"
#include "dialogs/SizeCustomDialog.h"
#include "model/Media.h"
#include "model/MediaSegment.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"
#include "playback/AudioFeed.h"
#include "playback/AudioFragment.h"
#include "playback/MediaPlayer.h"
#include "playback/MediaTrackFragmentPlayer.h"
#include "playback/MemoryStream.h"
#include "playback/VideoDataProvider.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TopToolbarWidget.h"
#include "ui/TimelineWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoStack>
#include <QtTest>

#include <cstdio>
#include <functional>

using namespace TW;
using test::TestMedia;

namespace {

// Runs fill on the next modal dialog of type T once it shows.
template <typename T>
void answerDialog(std::function<void(T *)> fill)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, fill] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            fill(dialog);
        }
    });
    timer->start();
}

void pressOk(QDialog *dialog)
{
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
}

} // namespace

class tst_EditCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void deleteTable_data();
    void deleteTable();
    void deleteRedoUndoRedoIsExact();
    void deleteMovesThePlayPositionOutOfTheRange();
    void pasteTable_data();
    void pasteTable();
    void pasteWorkedExample();
    void pasteIntoAnEmptyProject();
    void clipboardRefusals_data();
    void clipboardRefusals();
    void copyCarriesOnlyUnlockedTracks();
    void cutPasteAtStartUndoTwice();
    void insertSilence_data();
    void insertSilence();
    void insertSilenceRefusals();
    void silenceAndVolumeTable_data();
    void silenceAndVolumeTable();
    void volumeDialogStartsAtTheFragmentsVolume();
    void wholeProjectVolume();
    void frameSizeUndoRestoresAspectRatio();
    void customSizeThroughTheDialog();
    void trackFlags();
    void sectionVolumeIsHeard();

private:
    QSharedPointer<Media> media() const { return m_controller->getMedia(); }
    QSharedPointer<MediaTimeLine> timeline() const { return media()->getTimeline(); }
    QUndoStack *stack() const { return m_controller->getUndoStack(); }
    TimeAreaWidget *ruler() const { return m_window->getTimeArea(); }
    void select(int first, int last) { ruler()->setSelection(PairInt(first, last)); }
    // Moves the play position as a click on the ruler does; the player's
    // reports of the position it had are let through first.
    void moveTo(int frame)
    {
        // Reports of an earlier position may still be on their way (the
        // player sends them queued); the move counts once the window and
        // the player have stayed at the frame for a while.
        QElapsedTimer clock;
        clock.start();
        int steady = 0;
        while (steady < 3 && clock.elapsed() < 10000) {
            if (m_window->getCurFrame() != frame
                || m_controller->getMediaPlayer()->getPositionFrame() != frame) {
                steady = 0;
                m_window->setCurrentFrame(frame);
                m_controller->onPlaybackFrameChanged(quint32(frame));
            } else {
                ++steady;
            }
            QTest::qWait(50);
        }
        QCOMPARE(m_window->getCurFrame(), frame);
    }
    void setLocks(bool video, bool audio)
    {
        m_window->setVideoLocked(video);
        m_window->setAudioLocked(audio);
    }
    void placeMarks();
    QString editList() const;
    QString marks() const;
    // Frames as text, "D" standing for the clip's last frame.
    QString withEnd(QString text) const { return text.replace(QLatin1Char('D'), QString::number(m_frames)); }

    QTemporaryDir m_dir;
    MainController *m_controller = nullptr;
    MainWindow *m_window = nullptr;
    QSharedPointer<MediaTrackFragment> m_original;
    int m_frames = 0;
    QVector<VideoLoopPtr> m_loops;
    QVector<VideoMarkerPtr> m_bookmarks;
    std::unique_ptr<test::ModalAnswerer> m_answers;
};

void tst_EditCommands::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_controller = Application::instance()->getMainController();
    m_controller->exec();
    m_window = m_controller->getMainWindow();
    const QString clip = TestMedia::make(TestMedia::VideoStereo, m_dir.path(), 20.0);
    QVERIFY(!clip.isEmpty());
    m_controller->openFile(clip);
    QCOMPARE(media()->getTrackFragments().size(), 1);
    m_original = media()->getTrackFragments().constFirst();
    m_frames = int(media()->getDuration().toFrameUnits(false));
    QVERIFY2(m_frames >= 500 && m_frames < 503, qPrintable(QString::number(m_frames)));
    m_answers = std::make_unique<test::ModalAnswerer>();
    test::installLogCapture();
}

void tst_EditCommands::cleanupTestCase()
{
    test::removeLogCapture();
    m_answers.reset();
}

// Every test starts from the opened clip: one fragment, no locks, the
// fixture's loops and bookmarks, an empty undo stack.
void tst_EditCommands::init()
{
    stack()->clear();
    setLocks(false, false);
    media()->replaceTrackFragments({QSharedPointer<MediaTrackFragment>(m_original->clone())});
    media()->updateFragmentPositions();
    m_controller->updateTimeline();
    m_controller->getMediaPlayer()->updateTrackPlayerCache(DecodingToMemory);
    placeMarks();
    m_window->clearSelection();
    m_window->setCurrentFrame(0);
    m_controller->onPlaybackFrameChanged(0);
    m_answers->clear();
    test::clearLog();
}

void tst_EditCommands::placeMarks()
{
    timeline()->clearLoops();
    for (const VideoMarkerPtr &m : timeline()->getMarkers())
        timeline()->removeMarker(m);
    m_window->clearLoops();
    m_window->clearBookmarks();
    m_loops.clear();
    m_bookmarks.clear();
    for (const auto &span : {qMakePair(20, 80), qMakePair(120, 260), qMakePair(280, 320), qMakePair(400, 480)}) {
        const VideoLoopPtr loop = timeline()->allocLoop(span.first, span.second);
        timeline()->addLoop(loop);
        m_window->addLoop(loop);
        m_loops << loop;
    }
    for (int frame : {50, 150, 250, 350, 450}) {
        const VideoMarkerPtr bookmark(new VideoMarker(frame));
        timeline()->addMarker(bookmark);
        m_window->addBookmark(bookmark);
        m_bookmarks << bookmark;
    }
}

// The edit list as it plays: pieces of a source in frames with their
// picture and sound flags and volume; neighbours that continue each other
// are one piece however the list is split.
QString tst_EditCommands::editList() const
{
    struct Piece
    {
        QString source;
        qint64 start, end, position;
        QString flags;
        float volume;
    };
    QVector<Piece> pieces;
    for (const auto &f : media()->getTrackFragments()) {
        const QString source = QFileInfo(f->track->getName()).fileName().contains("silence_1_hour") ? "silence" : "clip";
        Piece p{source, f->startPosition.toFrameUnits(false), f->endPosition.toFrameUnits(false),
                f->timelinePosition.toFrameUnits(false),
                QString(f->playVideo ? "V" : "-") + (f->playAudio ? "A" : "-"), f->volume};
        if (p.end == p.start)
            continue;
        if (!pieces.isEmpty()) {
            Piece &last = pieces.last();
            if (last.source == p.source && last.end == p.start && last.flags == p.flags && last.volume == p.volume) {
                last.end = p.end;
                continue;
            }
        }
        pieces << p;
    }
    QStringList out;
    for (const Piece &p : pieces) {
        QString text = QStringLiteral("%1 %2-%3 %4").arg(p.source).arg(p.start).arg(p.end).arg(p.flags);
        if (p.volume != 100.0f)
            text += QStringLiteral(" @%1").arg(double(p.volume));
        out << text;
    }
    return out.join(QStringLiteral(" | "));
}

// Loops and bookmarks by fixture index: "L1[120,260] M0@50".
QString tst_EditCommands::marks() const
{
    QStringList out;
    for (const VideoLoopPtr &l : timeline()->getLoops())
        out << QStringLiteral("L%1[%2,%3]").arg(m_loops.indexOf(l)).arg(l->getStartFrame()).arg(l->getEndFrame());
    for (const VideoMarkerPtr &m : timeline()->getMarkers())
        out << QStringLiteral("M%1@%2").arg(m_bookmarks.indexOf(m)).arg(m->getFrame());
    return out.join(QLatin1Char(' '));
}

const char *const OriginalMarks =
    "L0[20,80] L1[120,260] L2[280,320] L3[400,480] M0@50 M1@150 M2@250 M3@350 M4@450";

void tst_EditCommands::deleteTable_data()
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

void tst_EditCommands::deleteTable()
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
void tst_EditCommands::deleteRedoUndoRedoIsExact()
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

void tst_EditCommands::deleteMovesThePlayPositionOutOfTheRange()
{
    moveTo(300);
    select(200, 300);
    m_controller->onDelete();
    QCOMPARE(m_window->getCurFrame(), 200);
}

void tst_EditCommands::pasteTable_data()
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

void tst_EditCommands::pasteTable()
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

void tst_EditCommands::pasteWorkedExample()
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

void tst_EditCommands::pasteIntoAnEmptyProject()
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

void tst_EditCommands::clipboardRefusals_data()
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

void tst_EditCommands::clipboardRefusals()
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

void tst_EditCommands::copyCarriesOnlyUnlockedTracks()
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
void tst_EditCommands::cutPasteAtStartUndoTwice()
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

void tst_EditCommands::insertSilence_data()
{
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("edits");
    QTest::addColumn<QString>("marksAfter");
    QTest::newRow("10 s at the beginning")
        << "10" << "beginningRadioButton" << "silence 0-250 V- | clip 0-D VA"
        << "L0[270,330] L1[370,510] L2[530,570] L3[650,730] M0@300 M1@400 M2@500 M3@600 M4@700";
    QTest::newRow("10 s at the end") << "10" << "endRadioButton" << "clip 0-D VA | silence 0-250 V-" << OriginalMarks;
    QTest::newRow("2.5 s at the play position (300)")
        << "2.5" << "currentRadioButton" << "clip 0-300 VA | silence 0-62 V- | clip 300-D VA"
        << "L0[20,80] L1[120,260] L2[280,382] L3[462,542] M0@50 M1@150 M2@250 M3@412 M4@512";
}

void tst_EditCommands::insertSilence()
{
    QFETCH(QString, length);
    QFETCH(QString, where);
    QFETCH(QString, edits);
    QFETCH(QString, marksAfter);
    const QString original = editList();
    moveTo(300);
    answerDialog<EditSilenceDialog>([length, where](EditSilenceDialog *dialog) {
        dialog->findChild<QLineEdit *>("amountSilenceLineEdit")->setText(length);
        dialog->findChild<QRadioButton *>(where)->setChecked(true);
        pressOk(dialog);
    });
    m_controller->onInsertSilence();
    QCOMPARE(stack()->count(), 1);
    QCOMPARE(editList(), withEnd(edits));
    QCOMPARE(marks(), marksAfter);
    // The silence file plays as any source; its sound is never extracted.
    const auto fragments = media()->getTrackFragments();
    for (const auto &f : fragments) {
        if (f->track->getName().contains("silence_1_hour"))
            QVERIFY(f->track->isLoaded());
    }
    stack()->undo();
    QCOMPARE(editList(), original);
    QCOMPARE(marks(), QString(OriginalMarks));
}

void tst_EditCommands::insertSilenceRefusals()
{
    // An hour or more is refused with a box; nothing is pushed.
    answerDialog<EditSilenceDialog>([](EditSilenceDialog *dialog) {
        dialog->findChild<QLineEdit *>("amountSilenceLineEdit")->setText("3600");
        pressOk(dialog);
    });
    m_answers->answerBox(QMessageBox::Ok);
    m_controller->onInsertSilence();
    QCOMPARE(stack()->count(), 0);
    QCOMPARE(m_answers->boxes(), QStringList{"Information: You cannot insert more than 1 hour of silence at once."});

    // With the audio locked no dialog shows at all.
    setLocks(false, true);
    m_controller->onInsertSilence();
    QCOMPARE(stack()->count(), 0);
    QVERIFY(test::logged("Audio is locked."));
}

void tst_EditCommands::silenceAndVolumeTable_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("videoLocked");
    QTest::addColumn<QString>("edits");
    QTest::newRow("silence start") << "silence" << 0 << 100 << false << "clip 0-100 V- | clip 100-D VA";
    QTest::newRow("silence middle, video locked") << "silence" << 100 << 200 << true
                                                  << "clip 0-100 VA | clip 100-200 V- | clip 200-D VA";
    QTest::newRow("silence end") << "silence" << 400 << -1 << false << "clip 0-400 VA | clip 400-D V-";
    QTest::newRow("volume start") << "volume" << 0 << 100 << false << "clip 0-100 VA @50 | clip 100-D VA";
    QTest::newRow("volume middle, video locked") << "volume" << 100 << 200 << true
                                                 << "clip 0-100 VA | clip 100-200 VA @50 | clip 200-D VA";
    QTest::newRow("volume end") << "volume" << 400 << -1 << false << "clip 0-400 VA | clip 400-D VA @50";
}

void tst_EditCommands::silenceAndVolumeTable()
{
    QFETCH(QString, command);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, videoLocked);
    QFETCH(QString, edits);
    if (last < 0)
        last = m_frames;
    const QString original = editList();
    setLocks(videoLocked, false);
    select(first, last);
    if (command == "silence") {
        m_controller->onSilenceSection();
    } else {
        answerDialog<EditVolumeDialog>([](EditVolumeDialog *dialog) {
            dialog->findChild<QSlider *>("volumeSlider")->setValue(500);
            pressOk(dialog);
        });
        m_controller->onVolume();
    }
    QCOMPARE(stack()->count(), 1);
    QCOMPARE(editList(), withEnd(edits));
    QCOMPARE(int(media()->getDuration().toFrameUnits(false)), m_frames);
    QCOMPARE(marks(), QString(OriginalMarks));
    stack()->undo();
    QCOMPARE(editList(), original);
    stack()->redo();
    QCOMPARE(editList(), withEnd(edits));

    // With the audio locked neither runs.
    stack()->clear();
    setLocks(false, true);
    if (command == "silence")
        m_controller->onSilenceSection();
    else
        m_controller->onVolume();
    QCOMPARE(stack()->count(), 0);
}

void tst_EditCommands::volumeDialogStartsAtTheFragmentsVolume()
{
    // A section at 80 % given 50 % plays at 50 %, not 40 %.
    m_controller->onExecute(new VolumeSegmentCommand(Time::fromFrameUnits(100), Time::fromFrameUnits(200), 80.0f));
    moveTo(150);
    select(100, 200);
    double shown = -1;
    answerDialog<EditVolumeDialog>([&shown](EditVolumeDialog *dialog) {
        shown = dialog->getOptions().getVolume();
        dialog->findChild<QSlider *>("volumeSlider")->setValue(500);
        pressOk(dialog);
    });
    m_controller->onVolume();
    QCOMPARE(shown, 80.0);
    QCOMPARE(editList(), withEnd("clip 0-100 VA | clip 100-200 VA @50 | clip 200-D VA"));

    // Leaving the dialog at its start makes no command.
    answerDialog<EditVolumeDialog>([](EditVolumeDialog *dialog) { pressOk(dialog); });
    m_controller->onVolume();
    QCOMPARE(stack()->count(), 2);
}

void tst_EditCommands::wholeProjectVolume()
{
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    const float projectVolume = o->getProjectVolume();
    m_controller->onExecute(new VolumeSegmentCommand(Time::fromFrameUnits(100), Time::fromFrameUnits(200), 80.0f));
    answerDialog<EditVolumeDialog>([](EditVolumeDialog *dialog) {
        dialog->findChild<QSlider *>("volumeSlider")->setValue(1500);
        pressOk(dialog);
    });
    m_controller->onVolume();
    QCOMPARE(stack()->count(), 2);
    QCOMPARE(editList(), withEnd("clip 0-D VA @150"));
    // The project's own level (the slider's, which an export multiplies
    // in as well) stays, so the change is not applied twice.
    QCOMPARE(o->getProjectVolume(), projectVolume);
    stack()->undo();
    QCOMPARE(editList(), withEnd("clip 0-100 VA | clip 100-200 VA @80 | clip 200-D VA"));
}

void tst_EditCommands::frameSizeUndoRestoresAspectRatio()
{
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    o->m_videoWidth = 720;
    o->m_videoHeight = 480;
    o->m_aspectRatio = QSize(16, 9);
    m_window->setCurrentFrame(100);
    m_controller->onSizeClicked(QSize(640, 360));
    QCOMPARE(QSize(o->m_videoWidth, o->m_videoHeight), QSize(640, 360));
    QCOMPARE(o->m_aspectRatio, QSize(640, 360));
    QCOMPARE(Options::instance()->getSizeMostRecent(), QSize(640, 360));
    QCOMPARE(m_window->getCurFrame(), 0);
    m_controller->onSizeClicked(QSize(1280, 720));
    stack()->undo();
    QCOMPARE(QSize(o->m_videoWidth, o->m_videoHeight), QSize(640, 360));
    QCOMPARE(o->m_aspectRatio, QSize(640, 360));
    stack()->undo();
    QCOMPARE(QSize(o->m_videoWidth, o->m_videoHeight), QSize(720, 480));
    QCOMPARE(o->m_aspectRatio, QSize(16, 9));
    QCOMPARE(Options::instance()->getSizeMostRecent(), QSize(720, 480));
    // The source's own size.
    m_controller->onSizeOriginalClicked();
    QCOMPARE(QSize(o->m_videoWidth, o->m_videoHeight), QSize(320, 240));
}

void tst_EditCommands::customSizeThroughTheDialog()
{
    answerDialog<SizeCustomDialog>([](SizeCustomDialog *dialog) {
        const auto fields = dialog->findChildren<QLineEdit *>();
        fields.at(0)->setText("1024");
        fields.at(1)->setText("576");
        for (QPushButton *b : dialog->findChildren<QPushButton *>())
            if (b->text() == "OK")
                b->click();
    });
    m_controller->onSizeCustomClicked();
    QCOMPARE(Options::instance()->getSizeCustom(), QSize(1024, 576));
    QCOMPARE(stack()->count(), 1);
    const OptionsHolder *o = Singleton<OptionsHolder>::instance();
    QCOMPARE(QSize(o->m_videoWidth, o->m_videoHeight), QSize(1024, 576));
}

void tst_EditCommands::trackFlags()
{
    TimelineWidget *row = m_window->getTimeline();
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    row->onVideoPlayableClicked();
    QVERIFY(!timeline()->isVideoPlayable());
    row->onAudioPlayableClicked();
    QVERIFY(!timeline()->isAudioPlayable());
    row->onVideoLockClicked();
    QVERIFY(timeline()->isVideoLocked());
    QVERIFY(m_window->isVideoLocked());
    // A change to save.
    QVERIFY(!stack()->isClean());
    row->onVideoPlayableClicked();
    row->onAudioPlayableClicked();
    row->onVideoLockClicked();
    QVERIFY(timeline()->isVideoPlayable() && timeline()->isAudioPlayable() && !timeline()->isVideoLocked());

    // Saved with the project and back on open, in the window and the model.
    row->onVideoPlayableClicked();
    row->onAudioLockClicked();
    m_answers->answerFile(m_dir.filePath("flags"));
    m_controller->saveCurrentProjectAs();
    QVERIFY(QFileInfo::exists(m_dir.filePath("flags.twp")));
    m_window->setVideoPlayable(true);
    m_window->setAudioLocked(false);
    m_controller->openFile(m_dir.filePath("flags.twp"));
    QVERIFY(!timeline()->isVideoPlayable());
    QVERIFY(timeline()->isAudioLocked());
    QVERIFY(!m_window->getTimeline()->isVideoPlayable());
    QVERIFY(m_window->isAudioLocked());
    QVERIFY(timeline()->isAudioPlayable() && !timeline()->isVideoLocked());
    row->onVideoPlayableClicked();
    row->onAudioLockClicked();
    QVERIFY(timeline()->isVideoPlayable() && !timeline()->isAudioLocked());
    Q_UNUSED(player);
}

// Frames 100 .. 200 at 50 %: while the project plays, the sound blocks the
// player makes for that section are about half as loud as those around it.
void tst_EditCommands::sectionVolumeIsHeard()
{
    m_controller->onExecute(new VolumeSegmentCommand(Time::fromFrameUnits(100), Time::fromFrameUnits(200), 50.0f));
    QCOMPARE(editList(), withEnd("clip 0-100 VA | clip 100-200 VA @50 | clip 200-D VA"));
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    AudioFeed *feed = player->getAudioFeed();
    QVERIFY(feed);
    QMap<int, QVector<double>> levels; // fragment -> block levels
    QElapsedTimer clock;
    clock.start();
    // The sound the device gets from a frame on, in blocks of 10 ms, by the
    // fragment they fall in.
    auto listenFrom = [&](int frame, int fragment) {
        feed->seek(Time::fromFrameUnits(frame).unitCount);
        std::vector<qint16> block(441 * 2);
        for (int n = 0; n < 40; ++n) {
            // A device asks every 10 ms: the feed's reader keeps up with it.
            if (!QTest::qWaitFor([feed] { return feed->isFilled(); }, 10000))
                break;
            AudioOutput::Block what;
            const size_t got = feed->pull(block.data(), block.size() / 2, &what);
            if (got == 0)
                break;
            double sum = 0;
            for (size_t i = 0; i < got * 2; ++i)
                sum += double(block[i]) * block[i];
            if (n >= 5) // past the stage's onset
                levels[fragment] << std::sqrt(sum / double(got * 2));
        }
    };
    auto median = [](QVector<double> v) {
        std::sort(v.begin(), v.end());
        return v.isEmpty() ? 0.0 : v.at(v.size() / 2);
    };
    listenFrom(10, 0);
    listenFrom(110, 1);
    listenFrom(210, 2);
    std::fprintf(stderr, "blocks per fragment %d %d %d, median levels %.0f %.0f %.0f, %lld ms\n",
                 int(levels.value(0).size()), int(levels.value(1).size()), int(levels.value(2).size()),
                 median(levels.value(0)), median(levels.value(1)), median(levels.value(2)),
                 qint64(clock.elapsed()));
    for (int i = 0; i < 3; ++i)
        QVERIFY(levels.value(i).size() >= 10);
    QVERIFY(std::abs(median(levels.value(0)) / median(levels.value(2)) - 1.0) < 0.1);
    const double loud = median(levels.value(2));
    const double quiet = median(levels.value(1));
    QVERIFY(loud > 1000);
    QVERIFY2(quiet / loud > 0.4 && quiet / loud < 0.6, qPrintable(QString::number(quiet / loud)));
}

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    // The test's own arguments (test functions to run) are no files to open.
    int appArgc = 1;
    Application app(appArgc, argv);
    tst_EditCommands tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_EditCommands.moc"
