#include "app/VolumeMediaCommand.h"

#include "app/CommandTargets.h"
#include "app/MainController.h"
#include "model/Media.h"
#include "playback/MediaPlayer.h"
#include "playback/MediaTrackFragmentPlayer.h"

#include <QDebug>

namespace TW {

struct VolumeMediaCommand::Impl
{
    QList<QSharedPointer<MediaTrackFragment>> savedFragments;
    float newVolume = 100.0f;
};

VolumeMediaCommand::VolumeMediaCommand(float volume)
    : d(std::make_unique<Impl>())
{
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
    const QSharedPointer<Media> media = CommandTargets::media();
    if (!media)
        return;
    const QList<QSharedPointer<MediaTrackFragment>> fragments = media->getTrackFragments();
    d->savedFragments = CommandTargets::deepCopy(fragments);
    // In place: the fragment players read their fragment's volume.
    for (const QSharedPointer<MediaTrackFragment> &fragment : fragments)
        fragment->volume = d->newVolume;
    // Heard at once: the fragment playing now takes its new volume.
    if (const QSharedPointer<MediaPlayer> player = CommandTargets::player()) {
        if (const QSharedPointer<MediaTrackFragmentPlayer> current = player->getCurrentFragmentPlayer())
            current->setVolume(player->getCommonVolume());
    }
    if (MainController *c = CommandTargets::controller())
        c->updateTimeline();
}

void VolumeMediaCommand::undo()
{
    qDebug() << "Volume undo" << d->newVolume;
    CommandTargets::restoreFragments(d->savedFragments);
}

} // namespace TW
