#include "app/ProjectSubscriptions.h"

#include "app/ControllerContext.h"
#include "app/MainController.h"
#include "model/Media.h"
#include "model/Project.h"
#include "model/VideoLoop.h"
#include "model/VideoMarker.h"
#include "playback/MediaPlayer.h"
#include "playback/MediaTrackFragmentPlayer.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"

#include <QPointF>

namespace TW {

namespace {

void forgetLoops(ControllerContext &c, const QVector<VideoLoopPtr> &loops)
{
    if (!c.player)
        return;
    for (const VideoLoopPtr &loop : loops) {
        if (loop)
            c.player->resetLoopWithId(loop->getID());
    }
}

// The edit list changed: the timeline shows it and the player plays it (a
// player that has not played this project yet opens it: a paste into an
// empty project).
void followEditList(ControllerContext &c)
{
    c.owner->updateTimeline();
    const QSharedPointer<Media> media = c.media();
    if (!c.player)
        return;
    if (c.player->getMedia() != media)
        c.player->openMedia(media);
    else
        c.player->updateTrackPlayerCache(DecodingToMemory);
}

void subscribePlayer(ControllerContext &c)
{
    Project *p = c.project;
    QObject::connect(p, &Project::playbackSettingsChanged, c.owner, [&c](PlaybackSettingsPtr settings) {
        if (c.player)
            c.player->setPlaybackSettings(settings);
    });
    QObject::connect(p, &Project::playableChanged, c.owner, [&c](bool video, bool audio) {
        if (!c.player)
            return;
        c.player->setVideoEnabled(video);
        c.player->setAudioEnabled(audio);
    });
    QObject::connect(p, &Project::videoSizeChanged, c.owner, [&c](QSize, QSize aspect) {
        if (c.player)
            c.player->setAspectRatio(QPointF(aspect.width(), aspect.height()));
    });
    QObject::connect(p, &Project::editListChanged, c.owner, [&c] { followEditList(c); });
    // Heard at once: the fragment playing now takes its new volume.
    QObject::connect(p, &Project::fragmentVolumesChanged, c.owner, [&c] {
        if (c.player) {
            if (const QSharedPointer<MediaTrackFragmentPlayer> current = c.player->getCurrentFragmentPlayer())
                current->setVolume(c.player->getCommonVolume());
        }
        c.owner->updateTimeline();
    });
    // A loop that is gone or changed is copied afresh (or no longer
    // repeated) by the player.
    QObject::connect(p, &Project::loopRemoved, c.owner,
                     [&c](VideoLoopPtr loop, qint64, qint64) { forgetLoops(c, {loop}); });
    QObject::connect(p, &Project::loopChanged, c.owner,
                     [&c](VideoLoopPtr loop, qint64, qint64) { forgetLoops(c, {loop}); });
    QObject::connect(p, &Project::loopsCleared, c.owner, [&c](QVector<VideoLoopPtr> loops) { forgetLoops(c, loops); });
    QObject::connect(p, &Project::framesMoved, c.owner, [&c](QVector<VideoLoopPtr> loops) { forgetLoops(c, loops); });
}

void subscribeWindow(ControllerContext &c)
{
    Project *p = c.project;
    QObject::connect(p, &Project::loopAdded, c.owner, [&c](VideoLoopPtr loop, qint64, qint64) {
        if (c.mainWindow)
            c.mainWindow->addLoop(loop);
    });
    QObject::connect(p, &Project::loopRemoved, c.owner, [&c](VideoLoopPtr loop, qint64, qint64) {
        if (c.mainWindow)
            c.mainWindow->removeLoop(loop);
    });
    QObject::connect(p, &Project::loopChanged, c.owner, [&c](VideoLoopPtr, qint64, qint64) {
        if (c.mainWindow)
            c.mainWindow->updateLoops();
    });
    QObject::connect(p, &Project::loopsCleared, c.owner, [&c](QVector<VideoLoopPtr>) {
        if (c.mainWindow)
            c.mainWindow->clearLoops();
    });
    QObject::connect(p, &Project::bookmarkAdded, c.owner, [&c](VideoMarkerPtr bookmark, qint64) {
        if (c.mainWindow)
            c.mainWindow->addBookmark(bookmark);
    });
    QObject::connect(p, &Project::bookmarkRemoved, c.owner, [&c](VideoMarkerPtr bookmark, qint64) {
        if (c.mainWindow)
            c.mainWindow->removeBookmark(bookmark);
    });
    QObject::connect(p, &Project::bookmarkChanged, c.owner, [&c](VideoMarkerPtr, qint64) {
        if (c.mainWindow)
            c.mainWindow->updateBookmarks();
    });
    // The ruler shows loops and bookmarks where they are now, and the
    // side panel the tempo and pitch in force there.
    QObject::connect(p, &Project::framesMoved, c.owner, [&c](QVector<VideoLoopPtr>) {
        if (!c.mainWindow)
            return;
        c.mainWindow->updateLoops();
        c.mainWindow->updateBookmarks();
        c.mainWindow->updateTempoPitch();
    });
    QObject::connect(p, &Project::settingsChanged, c.owner, [&c](qint64, qint64) {
        if (c.mainWindow)
            c.mainWindow->updateTempoPitch();
    });
    QObject::connect(p, &Project::videoSizeChanged, c.owner, [&c](QSize size, QSize) {
        if (!c.mainWindow)
            return;
        c.mainWindow->setCurrentFrame(0);
        c.mainWindow->setSizeMostRecent(size);
    });
    QObject::connect(p, &Project::selectionProposed, c.owner, [&c](qint64 first, qint64 last) {
        if (!c.mainWindow)
            return;
        if (TimeAreaWidget *ruler = c.mainWindow->getTimeArea())
            ruler->setSelection(PairInt(int(first), int(last)));
    });
}

} // namespace

void subscribeToProject(ControllerContext &context)
{
    // The window first: a view shows a change before the player acts on it,
    // as the commands did when they told each in turn.
    subscribeWindow(context);
    subscribePlayer(context);
}

} // namespace TW
