#include "app/VolumeMediaCommand.h"

#include "app/CommandTargets.h"
#include "model/Media.h"
#include "model/Project.h"

#include <QDebug>
#include <QPointer>

namespace TW {

struct VolumeMediaCommand::Impl
{
    QPointer<Project> project;
    QList<QSharedPointer<MediaTrackFragment>> savedFragments;
    float newVolume = 100.0f;
};

VolumeMediaCommand::VolumeMediaCommand(Project &project, float volume)
    : VolumeMediaCommand(volume)
{
    d->project = &project;
}

VolumeMediaCommand::VolumeMediaCommand(float volume)
    : d(std::make_unique<Impl>())
{
    d->project = Project::current();
    d->newVolume = volume;
    setText(QStringLiteral("VolumeMediaCommand"));
}

VolumeMediaCommand::~VolumeMediaCommand() = default;

// The project's own volume (the level the volume slider stands at, which an
// export also applies) stays as it is: it multiplies with the fragments'
// volumes, so setting it as well would apply the change twice.
void VolumeMediaCommand::redo()
{
    qDebug() << "Volume redo" << d->newVolume;
    if (!d->project)
        return;
    d->savedFragments = CommandTargets::deepCopy(d->project->media()->getTrackFragments());
    d->project->setFragmentVolumes(d->newVolume);
}

void VolumeMediaCommand::undo()
{
    qDebug() << "Volume undo" << d->newVolume;
    CommandTargets::restoreFragments(d->project, d->savedFragments);
}

} // namespace TW
