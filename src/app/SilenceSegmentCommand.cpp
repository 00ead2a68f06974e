#include "app/SilenceSegmentCommand.h"

#include "app/CommandTargets.h"
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
    CommandTargets::changeSection(d->from, d->to, &d->savedFragments, [](MediaSegment &segment) {
        segment.setAudioEnabled(false, true);
        const QList<QSharedPointer<MediaTrackFragment>> silent = Impl::silenceTracks(segment.fragments);
        segment.fragments.clear();
        segment.addMediaTracks(silent);
    });
}

void SilenceSegmentCommand::undo()
{
    qDebug() << "Silence segment undo.";
    CommandTargets::restoreFragments(d->savedFragments);
}

} // namespace TW
