#include "app/PasteSegmentCommand.h"

#include "app/CommandTargets.h"
#include "model/Media.h"
#include "model/MediaSegment.h"
#include "model/MediaTimeLine.h"
#include "model/Project.h"

#include <QDebug>
#include <QPointer>

namespace TW {

struct PasteSegmentCommand::PasteSegmentCommandImpl
{
    QPointer<Project> project;
    QSharedPointer<MediaSegment> segment;
    Time position;
    // The whole edit list before the last redo; empty when it changed nothing.
    QList<QSharedPointer<MediaTrackFragment>> savedFragments;
    MediaTimeLine::FrameState frames;
    // Whether the last redo changed the project (a paste into an empty
    // project saves an empty list, and is undone all the same).
    bool applied = false;
};

PasteSegmentCommand::PasteSegmentCommand(Project &project, QSharedPointer<MediaSegment> segment, Time position)
    : PasteSegmentCommand(std::move(segment), position)
{
    d->project = &project;
}

PasteSegmentCommand::PasteSegmentCommand(QSharedPointer<MediaSegment> segment, Time position)
    : d(std::make_unique<PasteSegmentCommandImpl>())
{
    d->project = Project::current();
    d->segment = std::move(segment);
    d->position = position;
    setText(QStringLiteral("PasteSegmentCommand"));
}

PasteSegmentCommand::~PasteSegmentCommand() = default;

void PasteSegmentCommand::redo()
{
    qDebug() << "Paste segment redo." << *d->segment;
    Project *project = d->project;
    const Project::TrackLocks locks = project ? project->locks() : Project::TrackLocks();
    const bool videoLocked = locks.video;
    const bool audioLocked = locks.audio;
    if ((videoLocked && audioLocked) || !project) {
        qDebug() << "Can't paste, tracks are locked.";
        d->savedFragments.clear();
        d->applied = false;
        return;
    }
    qDebug() << "Can paste video" << !videoLocked << "audio" << !audioLocked;

    // A copy of its own for every redo: the locks of this redo must not
    // stay in the command's segment.
    QSharedPointer<MediaSegment> copy(new MediaSegment(*d->segment));
    if (videoLocked)
        copy->setVideoEnabled(false, true);
    if (audioLocked)
        copy->setAudioEnabled(false, true);

    d->savedFragments = CommandTargets::deepCopy(project->media()->getTrackFragments());
    d->frames = project->timeline()->getFrameState();
    const Time position = d->position;
    project->changeEditList([&](Media &media) { media.acceptSegment(copy, position, InsertSegment); });
    d->applied = true;
    // The project grows by the whole length whatever the locks.
    project->shiftFrames(d->position.toFrameUnits(false), d->segment->length.toFrameUnits(false));
}

void PasteSegmentCommand::undo()
{
    qDebug() << "Paste segment undo.";
    if (!d->applied || !d->project)
        return;
    d->project->replaceFragments(d->savedFragments);
    d->project->restoreFrames(d->frames);
}

} // namespace TW
