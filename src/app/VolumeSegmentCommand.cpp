#include "app/VolumeSegmentCommand.h"

#include "app/CommandTargets.h"
#include "model/MediaSegment.h"
#include "model/Project.h"

#include <QDebug>
#include <QPointer>

namespace TW {

struct VolumeSegmentCommand::Impl
{
    QPointer<Project> project;
    QList<QSharedPointer<MediaTrackFragment>> savedFragments;
    Time from;
    Time to;
    float volume = 100.0f;
};

VolumeSegmentCommand::VolumeSegmentCommand(Project &project, Time from, Time to, float volume)
    : VolumeSegmentCommand(from, to, volume)
{
    d->project = &project;
}

VolumeSegmentCommand::VolumeSegmentCommand(Time from, Time to, float volume)
    : d(std::make_unique<Impl>())
{
    d->project = Project::current();
    d->from = from;
    d->to = to;
    d->volume = volume;
    setText(QStringLiteral("VolumeSegmentCommand"));
}

VolumeSegmentCommand::~VolumeSegmentCommand() = default;

void VolumeSegmentCommand::redo()
{
    qDebug() << "Volume segment redo" << "from" << d->from.toFrameUnits(false) << "to"
             << d->to.toFrameUnits(false) << "volume" << d->volume;
    const float volume = d->volume;
    CommandTargets::changeSection(d->project, d->from, d->to, &d->savedFragments,
                                  [volume](MediaSegment &segment) { segment.setVolume(volume); });
}

void VolumeSegmentCommand::undo()
{
    qDebug() << "Volume segment undo.";
    CommandTargets::restoreFragments(d->project, d->savedFragments);
}

} // namespace TW
