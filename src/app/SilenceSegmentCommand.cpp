#include "app/SilenceSegmentCommand.h"

#include "app/CommandTargets.h"
#include "model/Media.h"
#include "model/MediaSegment.h"
#include "model/Project.h"

#include <QDebug>
#include <QPointer>

namespace TW {

struct SilenceSegmentCommand::Impl
{
    QPointer<Project> project;
    QList<QSharedPointer<MediaTrackFragment>> savedFragments;
    Time from;
    Time to;

    // The fragments with their sound off. The segment's fragments are
    // already copies of the project's, so they are changed as they are.
    static QList<QSharedPointer<MediaTrackFragment>> silenceTracks(QList<QSharedPointer<MediaTrackFragment>> fragments)
    {
        for (const QSharedPointer<MediaTrackFragment> &fragment : std::as_const(fragments))
            fragment->playAudio = false;
        return fragments;
    }
};

SilenceSegmentCommand::SilenceSegmentCommand(Project &project, Time from, Time to)
    : SilenceSegmentCommand(from, to)
{
    d->project = &project;
}

SilenceSegmentCommand::SilenceSegmentCommand(Time from, Time to)
    : d(std::make_unique<Impl>())
{
    d->project = Project::current();
    d->from = from;
    d->to = to;
    setText(QStringLiteral("SilenceSegmentCommand"));
}

SilenceSegmentCommand::~SilenceSegmentCommand() = default;

void SilenceSegmentCommand::redo()
{
    qDebug() << "Silence segment redo; from" << d->from.toFrameUnits(false) << "to" << d->to.toFrameUnits(false);
    CommandTargets::changeSection(d->project, d->from, d->to, &d->savedFragments, [](MediaSegment &segment) {
        segment.setAudioEnabled(false, true);
        const QList<QSharedPointer<MediaTrackFragment>> silent = Impl::silenceTracks(segment.fragments);
        segment.fragments.clear();
        segment.addMediaTracks(silent);
    });
}

void SilenceSegmentCommand::undo()
{
    qDebug() << "Silence segment undo.";
    CommandTargets::restoreFragments(d->project, d->savedFragments);
}

} // namespace TW
