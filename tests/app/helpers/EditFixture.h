#pragma once

// The ground the edit commands' tests share: a 20 s clip opened through the
// controller, the fixture's loops and bookmarks, and readers of the edit
// list and the marks as text. Included only by those tests.
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


namespace TW::test {

// Runs fill on the next modal dialog of type T once it shows.
template <typename T>
inline void answerDialog(std::function<void(T *)> fill)
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

inline void pressOk(QDialog *dialog)
{
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
}

inline const char *const OriginalMarks =
    "L0[20,80] L1[120,260] L2[280,320] L3[400,480] M0@50 M1@150 M2@250 M3@350 M4@450";


class EditFixture
{
protected:
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
        while (steady < 10 && clock.elapsed() < 60000) {
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
    // What initTestCase, cleanupTestCase and init of each test do.
    void setUpCase();
    void tearDownCase();
    void setUp();
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
    std::unique_ptr<ModalAnswerer> m_answers;
};

inline void EditFixture::setUpCase()
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
    m_answers = std::make_unique<ModalAnswerer>();
    installLogCapture();
}


inline void EditFixture::tearDownCase()
{
    removeLogCapture();
    m_answers.reset();
}


// Every test starts from the opened clip: one fragment, no locks, the
// fixture's loops and bookmarks, an empty undo stack.
inline void EditFixture::setUp()
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
    clearLog();
}


inline void EditFixture::placeMarks()
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
inline QString EditFixture::editList() const
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
inline QString EditFixture::marks() const
{
    QStringList out;
    for (const VideoLoopPtr &l : timeline()->getLoops())
        out << QStringLiteral("L%1[%2,%3]").arg(m_loops.indexOf(l)).arg(l->getStartFrame()).arg(l->getEndFrame());
    for (const VideoMarkerPtr &m : timeline()->getMarkers())
        out << QStringLiteral("M%1@%2").arg(m_bookmarks.indexOf(m)).arg(m->getFrame());
    return out.join(QLatin1Char(' '));
}

} // namespace TW::test
