#include "app/VolumeSegmentCommand.h"

#include "app/CommandTargets.h"
#include "model/MediaSegment.h"

#include <QDebug>

namespace TW {

struct VolumeSegmentCommand::Impl
{
    QList<QSharedPointer<MediaTrackFragment>> savedFragments;
    Time from;
    Time to;
    float volume = 100.0f;
};

VolumeSegmentCommand::VolumeSegmentCommand(Time from, Time to, float volume)
    : d(std::make_unique<Impl>())
{
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
    CommandTargets::changeSection(d->from, d->to, &d->savedFragments,
                                  [volume](MediaSegment &segment) { segment.setVolume(volume); });
}

void VolumeSegmentCommand::undo()
{
    qDebug() << "Volume segment undo.";
    CommandTargets::restoreFragments(d->savedFragments);
}

} // namespace TW
