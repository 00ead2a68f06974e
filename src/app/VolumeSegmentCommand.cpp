#include "app/VolumeSegmentCommand.h"

#include "app/CommandTargets.h"
#include "model/Media.h"
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
    const QSharedPointer<Media> media = CommandTargets::media();
    if (!media)
        return;
    d->savedFragments = CommandTargets::deepCopy(media->getTrackFragments());
    const QSharedPointer<MediaSegment> segment = media->cutSegment(d->from, d->to);
    if (!segment) {
        d->savedFragments.clear();
        return;
    }
    segment->setVolume(d->volume);
    media->acceptSegment(segment, d->from, InsertSegment);
    CommandTargets::editListChanged();
}

void VolumeSegmentCommand::undo()
{
    qDebug() << "Volume segment undo.";
    if (d->savedFragments.isEmpty())
        return;
    CommandTargets::putBackFragments(d->savedFragments);
    CommandTargets::editListChanged();
}

} // namespace TW
