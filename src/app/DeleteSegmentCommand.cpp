#include "app/DeleteSegmentCommand.h"

#include "app/CommandTargets.h"
#include "model/Media.h"
#include "model/MediaSegment.h"
#include "model/MediaTimeLine.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"

#include <QDebug>

namespace TW {

namespace {

// Fragments shorter than this are not put back for the locked track.
constexpr qint64 ShortestKeptFragment = 100;

} // namespace

struct DeleteSegmentCommand::DeleteSegmentCommandImpl
{
    QSharedPointer<MediaSegment> segment;
    // The whole edit list before the last redo; empty when it changed nothing.
    QList<QSharedPointer<MediaTrackFragment>> savedFragments;
    QVector<VideoLoopPtr> removedLoops;
    QVector<VideoMarkerPtr> removedBookmarks;
    // Loops and bookmarks with their frames before the last redo.
    MediaTimeLine::FrameState frames;
    bool bothTracksUnlocked = false;

    qint64 firstFrame() const { return segment->start.toFrameUnits(false); }
    qint64 lastFrame() const { return (segment->start + segment->length).toFrameUnits(false); }

    static void select(qint64 first, qint64 last)
    {
        if (MainWindow *w = CommandTargets::window()) {
            if (TimeAreaWidget *ruler = w->getTimeArea())
                ruler->setSelection(PairInt(int(first), int(last)));
        }
    }

    // The locked track's content of the span goes back in, so that only
    // the unlocked track's content is lost and the length stays.
    void addBackLockedTrack(const QSharedPointer<Media> &media, bool videoLocked, bool audioLocked)
    {
        qDebug() << "Add back one track.";
        QSharedPointer<MediaSegment> back(new MediaSegment);
        back->start = segment->start;
        back->length = segment->length;
        back->video = segment->video;
        back->audio = segment->audio;
        back->volume = segment->volume;
        // Copies, so that the command's own segment keeps its flags for a
        // later redo under other locks.
        for (const QSharedPointer<MediaTrackFragment> &fragment : std::as_const(segment->fragments)) {
            if ((fragment->endPosition - fragment->startPosition).unitCount < ShortestKeptFragment)
                continue;
            QSharedPointer<MediaTrackFragment> copy(fragment->clone());
            copy->playAudio = copy->playAudio && audioLocked;
            copy->playVideo = copy->playVideo && videoLocked;
            back->addTrack(copy);
        }
        if (!back->fragments.isEmpty())
            media->acceptSegment(back, segment->start, InsertSegment);
    }
};

DeleteSegmentCommand::DeleteSegmentCommand(QSharedPointer<MediaSegment> segment)
    : d(std::make_unique<DeleteSegmentCommandImpl>())
{
    d->segment = std::move(segment);
    setText(QStringLiteral("DeleteSegmentCommand"));
}

DeleteSegmentCommand::~DeleteSegmentCommand() = default;

void DeleteSegmentCommand::redo()
{
    qDebug() << "Delete segment redo." << *d->segment;
    const QSharedPointer<Media> media = CommandTargets::media();
    MainWindow *window = CommandTargets::window();
    const bool videoLocked = window && window->isVideoLocked();
    const bool audioLocked = window && window->isAudioLocked();
    d->removedLoops.clear();
    d->removedBookmarks.clear();
    d->bothTracksUnlocked = false;
    if ((videoLocked && audioLocked) || !media) {
        qDebug() << "Can't delete, tracks are locked.";
        d->savedFragments.clear();
        return;
    }
    qDebug() << "Can delete video" << !videoLocked << "audio" << !audioLocked;

    d->savedFragments = CommandTargets::deepCopy(media->getTrackFragments());
    media->deleteSegment(d->segment->start, d->segment->start + d->segment->length);
    d->bothTracksUnlocked = !videoLocked && !audioLocked;
    if (!d->bothTracksUnlocked) {
        d->addBackLockedTrack(media, videoLocked, audioLocked);
        CommandTargets::editListChanged();
        return;
    }

    const QSharedPointer<MediaTimeLine> timeline = media->getTimeline();
    d->frames = timeline->getFrameState();
    timeline->cutFrames(d->firstFrame(), d->lastFrame(), &d->removedLoops, &d->removedBookmarks);
    if (window) {
        for (const VideoMarkerPtr &bookmark : std::as_const(d->removedBookmarks))
            window->removeBookmark(bookmark);
        for (const VideoLoopPtr &loop : std::as_const(d->removedLoops))
            window->removeLoop(loop);
    }
    d->select(d->firstFrame(), d->firstFrame());
    CommandTargets::editListChanged();
    CommandTargets::framesChanged(d->frames.loops);
}

void DeleteSegmentCommand::undo()
{
    qDebug() << "Delete segment undo." << *d->segment;
    if (d->savedFragments.isEmpty())
        return;
    CommandTargets::putBackFragments(d->savedFragments);
    if (d->bothTracksUnlocked) {
        if (const QSharedPointer<Media> media = CommandTargets::media())
            media->getTimeline()->restoreFrameState(d->frames);
        if (MainWindow *window = CommandTargets::window()) {
            for (const VideoMarkerPtr &bookmark : std::as_const(d->removedBookmarks))
                window->addBookmark(bookmark);
            for (const VideoLoopPtr &loop : std::as_const(d->removedLoops))
                window->addLoop(loop);
        }
    }
    CommandTargets::editListChanged();
    if (d->bothTracksUnlocked) {
        CommandTargets::framesChanged(d->frames.loops);
        d->select(d->firstFrame(), d->lastFrame());
    }
}

} // namespace TW
