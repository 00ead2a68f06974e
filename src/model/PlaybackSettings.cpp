#include "model/PlaybackSettings.h"

#include "core/OptionsHolder.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"

namespace TW {

QSharedPointer<const VideoLoop> PlaybackSettings::loopAt(qint64 frame) const
{
    for (const QSharedPointer<const VideoLoop> &loop : loops) {
        if (qint64(loop->getStartFrame()) <= frame && qint64(loop->getEndFrame()) >= frame)
            return loop;
    }
    return {};
}

QSharedPointer<const VideoLoop> PlaybackSettings::loopWithId(const QString &id) const
{
    for (const QSharedPointer<const VideoLoop> &loop : loops) {
        if (loop->getID() == id)
            return loop;
    }
    return {};
}

PlaybackValues PlaybackSettings::valuesAt(qint64 frame) const
{
    const QSharedPointer<const VideoLoop> loop = loopAt(frame);
    return loop ? valuesOf(*loop) : project;
}

PlaybackValues PlaybackSettings::valuesOf(const VideoLoop &loop)
{
    return {loop.getTempo(), loop.getPitch(), float(loop.getVolume())};
}

QSharedPointer<const PlaybackSettings> PlaybackSettings::of(const Media *media, const OptionsHolder &options)
{
    auto settings = QSharedPointer<PlaybackSettings>::create();
    settings->project = {options.getProjectTempo(), options.getProjectPitch(), options.getProjectVolume()};
    const QSharedPointer<MediaTimeLine> timeline = media ? media->getTimeline() : nullptr;
    if (timeline) {
        for (const VideoLoopPtr &loop : timeline->getLoops())
            settings->loops.append(QSharedPointer<const VideoLoop>(new VideoLoop(*loop)));
    }
    return settings;
}

QSharedPointer<const PlaybackSettings> PlaybackSettings::withValues(float tempo, float pitch, float volume)
{
    auto settings = QSharedPointer<PlaybackSettings>::create();
    settings->project = {tempo, pitch, volume};
    return settings;
}

} // namespace TW
