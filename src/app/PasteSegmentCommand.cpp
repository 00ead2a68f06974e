#include "app/PasteSegmentCommand.h"

#include "app/CommandTargets.h"
#include "model/Media.h"
#include "model/MediaSegment.h"
#include "model/MediaTimeLine.h"
#include "ui/MainWindow.h"

#include <QDebug>

namespace TW {

struct PasteSegmentCommand::PasteSegmentCommandImpl
{
    QSharedPointer<MediaSegment> segment;
    Time position;
    // The whole edit list before the last redo; empty when it changed nothing.
    QList<QSharedPointer<MediaTrackFragment>> savedFragments;
    MediaTimeLine::FrameState frames;
    // Whether the last redo changed the project (a paste into an empty
    // project saves an empty list, and is undone all the same).
    bool applied = false;
};

PasteSegmentCommand::PasteSegmentCommand(QSharedPointer<MediaSegment> segment, Time position)
    : d(std::make_unique<PasteSegmentCommandImpl>())
{
    d->segment = std::move(segment);
    d->position = position;
    setText(QStringLiteral("PasteSegmentCommand"));
}

PasteSegmentCommand::~PasteSegmentCommand() = default;

void PasteSegmentCommand::redo()
{
    qDebug() << "Paste segment redo." << *d->segment;
    const QSharedPointer<Media> media = CommandTargets::media();
    MainWindow *window = CommandTargets::window();
    const bool videoLocked = window && window->isVideoLocked();
    const bool audioLocked = window && window->isAudioLocked();
    if ((videoLocked && audioLocked) || !media) {
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

    d->savedFragments = CommandTargets::deepCopy(media->getTrackFragments());
    const QSharedPointer<MediaTimeLine> timeline = media->getTimeline();
    d->frames = timeline->getFrameState();
    media->acceptSegment(copy, d->position, InsertSegment);
    d->applied = true;
    // The project grows by the whole length whatever the locks.
    const qint64 pivot = d->position.toFrameUnits(false);
    const qint64 amount = d->segment->length.toFrameUnits(false);
    timeline->shiftBookmarks(pivot, amount);
    timeline->shiftLoops(pivot, amount);
    CommandTargets::editListChanged();
    CommandTargets::framesChanged(d->frames.loops);
}

void PasteSegmentCommand::undo()
{
    qDebug() << "Paste segment undo.";
    if (!d->applied)
        return;
    CommandTargets::putBackFragments(d->savedFragments);
    if (const QSharedPointer<Media> media = CommandTargets::media())
        media->getTimeline()->restoreFrameState(d->frames);
    CommandTargets::editListChanged();
    CommandTargets::framesChanged(d->frames.loops);
}

} // namespace TW
