#include "app/SilenceSegmentCommand.h"

#include "app/CommandTargets.h"
#include "model/Media.h"
#include "model/MediaSegment.h"

#include <QDebug>

namespace TW {

struct SilenceSegmentCommand::Impl
{
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

SilenceSegmentCommand::SilenceSegmentCommand(Time from, Time to)
    : d(std::make_unique<Impl>())
{
    d->from = from;
    d->to = to;
    setText(QStringLiteral("SilenceSegmentCommand"));
}

SilenceSegmentCommand::~SilenceSegmentCommand() = default;

void SilenceSegmentCommand::redo()
{
    qDebug() << "Silence segment redo; from" << d->from.toFrameUnits(false) << "to" << d->to.toFrameUnits(false);
    const QSharedPointer<Media> media = CommandTargets::media();
    if (!media)
        return;
    d->savedFragments = CommandTargets::deepCopy(media->getTrackFragments());
    const QSharedPointer<MediaSegment> segment = media->cutSegment(d->from, d->to);
    if (!segment) {
        d->savedFragments.clear();
        return;
    }
    segment->setAudioEnabled(false, true);
    const QList<QSharedPointer<MediaTrackFragment>> silent = Impl::silenceTracks(segment->fragments);
    segment->fragments.clear();
    segment->addMediaTracks(silent);
    media->acceptSegment(segment, d->from, InsertSegment);
    CommandTargets::editListChanged();
}

void SilenceSegmentCommand::undo()
{
    qDebug() << "Silence segment undo.";
    if (d->savedFragments.isEmpty())
        return;
    CommandTargets::putBackFragments(d->savedFragments);
    CommandTargets::editListChanged();
}

} // namespace TW
