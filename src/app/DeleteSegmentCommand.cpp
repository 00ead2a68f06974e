#include "app/DeleteSegmentCommand.h"

#include "app/CommandTargets.h"
#include "model/Media.h"
#include "model/MediaSegment.h"
#include "model/MediaTimeLine.h"
#include "model/Project.h"

#include <QDebug>
#include <QPointer>

namespace TW {

namespace {

// Fragments shorter than this are not put back for the locked track.
constexpr qint64 ShortestKeptFragment = 100;

} // namespace

struct DeleteSegmentCommand::DeleteSegmentCommandImpl
{
    QPointer<Project> project;
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

    // The locked track's content of the span goes back in, so that only
    // the unlocked track's content is lost and the length stays.
    void addBackLockedTrack(Media &media, bool videoLocked, bool audioLocked)
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
            media.acceptSegment(back, segment->start, InsertSegment);
    }
};

DeleteSegmentCommand::DeleteSegmentCommand(Project &project, QSharedPointer<MediaSegment> segment)
    : DeleteSegmentCommand(std::move(segment))
{
    d->project = &project;
}

DeleteSegmentCommand::DeleteSegmentCommand(QSharedPointer<MediaSegment> segment)
    : d(std::make_unique<DeleteSegmentCommandImpl>())
{
    d->project = Project::current();
    d->segment = std::move(segment);
    setText(QStringLiteral("DeleteSegmentCommand"));
}

DeleteSegmentCommand::~DeleteSegmentCommand() = default;

void DeleteSegmentCommand::redo()
{
    qDebug() << "Delete segment redo." << *d->segment;
    Project *project = d->project;
    const Project::TrackLocks locks = project ? project->locks() : Project::TrackLocks();
    const bool videoLocked = locks.video;
    const bool audioLocked = locks.audio;
    d->removedLoops.clear();
    d->removedBookmarks.clear();
    d->bothTracksUnlocked = false;
    if ((videoLocked && audioLocked) || !project) {
        qDebug() << "Can't delete, tracks are locked.";
        d->savedFragments.clear();
        return;
    }
    qDebug() << "Can delete video" << !videoLocked << "audio" << !audioLocked;

    d->savedFragments = CommandTargets::deepCopy(project->media()->getTrackFragments());
    d->bothTracksUnlocked = !videoLocked && !audioLocked;
    const Time start = d->segment->start;
    const Time end = d->segment->start + d->segment->length;
    if (!d->bothTracksUnlocked) {
        project->changeEditList([&](Media &media) {
            media.deleteSegment(start, end);
            d->addBackLockedTrack(media, videoLocked, audioLocked);
        });
        return;
    }

    d->frames = project->timeline()->getFrameState();
    project->changeEditList([&](Media &media) { media.deleteSegment(start, end); });
    project->cutFrames(d->firstFrame(), d->lastFrame(), &d->removedLoops, &d->removedBookmarks);
    project->proposeSelection(d->firstFrame(), d->firstFrame());
}

void DeleteSegmentCommand::undo()
{
    qDebug() << "Delete segment undo." << *d->segment;
    if (d->savedFragments.isEmpty() || !d->project)
        return;
    d->project->replaceFragments(d->savedFragments);
    if (d->bothTracksUnlocked) {
        d->project->restoreFrames(d->frames, d->removedLoops, d->removedBookmarks);
        d->project->proposeSelection(d->firstFrame(), d->lastFrame());
    }
}

} // namespace TW
