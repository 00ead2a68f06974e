#include "model/Project.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaSegment.h"
#include "model/MediaTrackFragment.h"
#include "model/VideoLoop.h"
#include "model/VideoMarker.h"

#include <cmath>

namespace TW {

namespace {

Project *currentProject = nullptr;

OptionsHolder &storage()
{
    return *Singleton<OptionsHolder>::instance();
}

// Values that differ by less than this are the same.
bool same(float a, float b)
{
    return std::fabs(a - b) < 0.001f;
}

} // namespace

Project::Project(QObject *parent) : QObject(parent), m_media(new Media)
{
    qRegisterMetaType<PlaybackSettingsPtr>("TW::PlaybackSettingsPtr");
}

Project::~Project()
{
    if (currentProject == this)
        currentProject = nullptr;
}

Project *Project::current()
{
    return currentProject;
}

void Project::setCurrent(Project *project)
{
    currentProject = project;
}

QSharedPointer<Media> Project::media() const
{
    return m_media;
}

QSharedPointer<MediaTimeLine> Project::timeline() const
{
    return m_media ? m_media->getTimeline() : nullptr;
}

const OptionsHolder &Project::settings() const
{
    return storage();
}

bool Project::isEmpty() const
{
    return !m_media || m_media->isEmpty();
}

OptionsHolder &Project::settingsForLoading()
{
    return storage();
}

void Project::setMedia(QSharedPointer<Media> media)
{
    m_media = media ? media : QSharedPointer<Media>(new Media);
    emit mediaReplaced();
    emit settingsChanged(0, -1);
    publishSettings();
}

PlaybackValues Project::valuesAt(qint64 frame) const
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (const VideoLoopPtr loop = t ? t->getLoopByFrame(long(frame)) : VideoLoopPtr())
        return PlaybackSettings::valuesOf(*loop);
    const OptionsHolder &o = storage();
    return {o.getProjectTempo(), o.getProjectPitch(), o.getProjectVolume()};
}

PlaybackSettingsPtr Project::playbackSettings() const
{
    return PlaybackSettings::of(m_media.data(), storage());
}

void Project::publishSettings()
{
    emit playbackSettingsChanged(playbackSettings());
}

bool Project::setTempoAt(qint64 frame, float tempo)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    const VideoLoopPtr loop = t ? t->getLoopByFrame(long(frame)) : VideoLoopPtr();
    if (same(loop ? loop->getTempo() : storage().getProjectTempo(), tempo))
        return false;
    if (loop)
        loop->setTempo(tempo);
    else
        storage().setProjectTempo(tempo);
    emit settingsChanged(loop ? loop->getStartFrame() : 0, loop ? loop->getEndFrame() : -1);
    publishSettings();
    return true;
}

bool Project::setPitchAt(qint64 frame, float pitch)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    const VideoLoopPtr loop = t ? t->getLoopByFrame(long(frame)) : VideoLoopPtr();
    if (same(loop ? loop->getPitch() : storage().getProjectPitch(), pitch))
        return false;
    if (loop)
        loop->setPitch(pitch);
    else
        storage().setProjectPitch(pitch);
    emit settingsChanged(loop ? loop->getStartFrame() : 0, loop ? loop->getEndFrame() : -1);
    publishSettings();
    return true;
}

bool Project::setVolume(float volume)
{
    if (same(storage().getProjectVolume(), volume))
        return false;
    storage().setProjectVolume(volume);
    emit settingsChanged(0, -1);
    publishSettings();
    return true;
}

void Project::setVideoSize(QSize size, QSize aspectRatio)
{
    OptionsHolder &o = storage();
    o.m_aspectRatio = aspectRatio;
    o.m_videoWidth = size.width();
    o.m_videoHeight = size.height();
    emit videoSizeChanged(size, aspectRatio);
}

bool Project::setVideoLocked(bool locked)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (!t || t->isVideoLocked() == locked)
        return false;
    t->setVideoLocked(locked);
    emit locksChanged(t->isVideoLocked(), t->isAudioLocked());
    return true;
}

bool Project::setAudioLocked(bool locked)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (!t || t->isAudioLocked() == locked)
        return false;
    t->setAudioLocked(locked);
    emit locksChanged(t->isVideoLocked(), t->isAudioLocked());
    return true;
}

bool Project::setVideoPlayable(bool playable)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (!t || t->isVideoPlayable() == playable)
        return false;
    t->setVideoPlayable(playable);
    emit playableChanged(t->isVideoPlayable(), t->isAudioPlayable());
    return true;
}

bool Project::setAudioPlayable(bool playable)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (!t || t->isAudioPlayable() == playable)
        return false;
    t->setAudioPlayable(playable);
    emit playableChanged(t->isVideoPlayable(), t->isAudioPlayable());
    return true;
}

void Project::setLockSource(std::function<TrackLocks()> source)
{
    m_lockSource = std::move(source);
}

Project::TrackLocks Project::locks() const
{
    if (m_lockSource)
        return m_lockSource();
    const QSharedPointer<MediaTimeLine> t = timeline();
    return t ? TrackLocks{t->isVideoLocked(), t->isAudioLocked()} : TrackLocks{};
}

void Project::replaceFragments(const QList<QSharedPointer<MediaTrackFragment>> &fragments)
{
    m_media->replaceTrackFragments(fragments);
    m_media->updateFragmentPositions();
    emit editListChanged();
}

void Project::changeEditList(const std::function<void(Media &)> &change)
{
    change(*m_media);
    emit editListChanged();
}

bool Project::changeSection(Time start, Time end, const std::function<void(MediaSegment &)> &change)
{
    const QSharedPointer<MediaSegment> segment = m_media->cutSegment(start, end);
    if (!segment)
        return false;
    change(*segment);
    m_media->acceptSegment(segment, start, InsertSegment);
    emit editListChanged();
    return true;
}

void Project::setFragmentVolumes(float volume)
{
    // In place: the fragment players read their fragment's volume.
    for (const QSharedPointer<MediaTrackFragment> &fragment : m_media->getTrackFragments())
        fragment->volume = volume;
    emit fragmentVolumesChanged();
}

void Project::addLoop(const QSharedPointer<VideoLoop> &loop)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (!loop || !t)
        return;
    if (!t->getLoops().contains(loop))
        t->addLoop(loop);
    emit loopAdded(loop, loop->getStartFrame(), loop->getEndFrame());
    emit settingsChanged(loop->getStartFrame(), loop->getEndFrame());
    publishSettings();
}

void Project::removeLoop(const QSharedPointer<VideoLoop> &loop)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (!loop || !t)
        return;
    t->removeLoop(loop);
    emit loopRemoved(loop, loop->getStartFrame(), loop->getEndFrame());
    emit settingsChanged(loop->getStartFrame(), loop->getEndFrame());
    publishSettings();
}

void Project::changeLoop(const QSharedPointer<VideoLoop> &loop, const VideoLoop &values)
{
    if (!loop)
        return;
    const qint64 oldFirst = loop->getStartFrame();
    const qint64 oldLast = loop->getEndFrame();
    *loop = values;
    // The timeline sorts on insertion only; lookups by frame and the export
    // walk the loops in start order.
    if (const QSharedPointer<MediaTimeLine> t = timeline()) {
        if (t->getLoops().contains(loop)) {
            t->removeLoop(loop);
            t->addLoop(loop);
        }
    }
    const qint64 first = qMin<qint64>(oldFirst, loop->getStartFrame());
    const qint64 last = qMax<qint64>(oldLast, loop->getEndFrame());
    emit loopChanged(loop, first, last);
    emit settingsChanged(first, last);
    publishSettings();
}

QVector<QSharedPointer<VideoLoop>> Project::removeAllLoops()
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    const QVector<VideoLoopPtr> loops = t ? t->getLoops() : QVector<VideoLoopPtr>();
    if (t)
        t->clearLoops();
    emit loopsCleared(loops);
    if (!loops.isEmpty())
        emit settingsChanged(loops.constFirst()->getStartFrame(), loops.constLast()->getEndFrame());
    publishSettings();
    return loops;
}

void Project::addBookmark(const QSharedPointer<VideoMarker> &bookmark)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (!bookmark || !t)
        return;
    if (!t->getMarkers().contains(bookmark))
        t->addMarker(bookmark);
    emit bookmarkAdded(bookmark, qint64(bookmark->getFrame()));
}

void Project::removeBookmark(const QSharedPointer<VideoMarker> &bookmark)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (!bookmark || !t)
        return;
    t->removeMarker(bookmark);
    emit bookmarkRemoved(bookmark, qint64(bookmark->getFrame()));
}

void Project::changeBookmark(const QSharedPointer<VideoMarker> &bookmark, const VideoMarker &values)
{
    if (!bookmark)
        return;
    *bookmark = values;
    emit bookmarkChanged(bookmark, qint64(bookmark->getFrame()));
}

void Project::cutFrames(qint64 first, qint64 last, QVector<QSharedPointer<VideoLoop>> *removedLoops,
                        QVector<QSharedPointer<VideoMarker>> *removedBookmarks)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (!t)
        return;
    const QVector<VideoLoopPtr> before = t->getLoops();
    t->cutFrames(first, last, removedLoops, removedBookmarks);
    for (const VideoMarkerPtr &bookmark : std::as_const(*removedBookmarks))
        emit bookmarkRemoved(bookmark, qint64(bookmark->getFrame()));
    for (const VideoLoopPtr &loop : std::as_const(*removedLoops))
        emit loopRemoved(loop, loop->getStartFrame(), loop->getEndFrame());
    emit framesMoved(before);
    publishSettings();
}

void Project::shiftFrames(qint64 pivot, qint64 amount)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (!t)
        return;
    const QVector<VideoLoopPtr> before = t->getLoops();
    t->shiftBookmarks(pivot, amount);
    t->shiftLoops(pivot, amount);
    emit framesMoved(before);
    publishSettings();
}

void Project::restoreFrames(const MediaTimeLine::FrameState &state, const QVector<QSharedPointer<VideoLoop>> &removedLoops,
                            const QVector<QSharedPointer<VideoMarker>> &removedBookmarks)
{
    const QSharedPointer<MediaTimeLine> t = timeline();
    if (!t)
        return;
    t->restoreFrameState(state);
    for (const VideoMarkerPtr &bookmark : removedBookmarks)
        emit bookmarkAdded(bookmark, qint64(bookmark->getFrame()));
    for (const VideoLoopPtr &loop : removedLoops)
        emit loopAdded(loop, loop->getStartFrame(), loop->getEndFrame());
    emit framesMoved(state.loops);
    publishSettings();
}

void Project::proposeSelection(qint64 first, qint64 last)
{
    emit selectionProposed(first, last);
}

} // namespace TW
