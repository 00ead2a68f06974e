#include "app/CommandTargets.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "model/Media.h"
#include "model/MediaSegment.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrackFragment.h"
#include "playback/MediaPlayer.h"
#include "ui/MainWindow.h"

namespace TW {

MainController *CommandTargets::controller()
{
    Application *app = Application::instance();
    return app ? app->getMainController() : nullptr;
}

QSharedPointer<MediaTimeLine> CommandTargets::timeline()
{
    MainController *c = controller();
    const QSharedPointer<Media> media = c ? c->getMedia() : QSharedPointer<Media>();
    return media ? media->getTimeline() : QSharedPointer<MediaTimeLine>();
}

MainWindow *CommandTargets::window()
{
    MainController *c = controller();
    return c ? c->getMainWindow() : nullptr;
}

QSharedPointer<MediaPlayer> CommandTargets::player()
{
    MainController *c = controller();
    return c ? c->getMediaPlayer() : QSharedPointer<MediaPlayer>();
}

QSharedPointer<Media> CommandTargets::media()
{
    MainController *c = controller();
    return c ? c->getMedia() : QSharedPointer<Media>();
}

QList<QSharedPointer<MediaTrackFragment>>
CommandTargets::deepCopy(const QList<QSharedPointer<MediaTrackFragment>> &fragments)
{
    QList<QSharedPointer<MediaTrackFragment>> copies;
    for (const QSharedPointer<MediaTrackFragment> &fragment : fragments) {
        if (fragment)
            copies.append(QSharedPointer<MediaTrackFragment>(fragment->clone()));
    }
    return copies;
}

void CommandTargets::putBackFragments(const QList<QSharedPointer<MediaTrackFragment>> &fragments)
{
    if (const QSharedPointer<Media> m = media()) {
        m->replaceTrackFragments(fragments);
        m->updateFragmentPositions();
    }
}

void CommandTargets::editListChanged()
{
    if (MainController *c = controller())
        c->updateTimeline();
    const QSharedPointer<MediaPlayer> p = player();
    const QSharedPointer<Media> m = media();
    if (!p || !m)
        return;
    // A paste into an empty project gives a player that has no project yet
    // something to play.
    if (p->getMedia() != m)
        p->openMedia(m);
    else
        p->updateTrackPlayerCache(DecodingToMemory);
}

bool CommandTargets::changeSection(Time from, Time to, QList<QSharedPointer<MediaTrackFragment>> *saved,
                                   const std::function<void(MediaSegment &)> &change)
{
    const QSharedPointer<Media> project = media();
    if (!project)
        return false;
    *saved = deepCopy(project->getTrackFragments());
    const QSharedPointer<MediaSegment> segment = project->cutSegment(from, to);
    if (!segment) {
        saved->clear();
        return false;
    }
    change(*segment);
    project->acceptSegment(segment, from, InsertSegment);
    editListChanged();
    return true;
}

void CommandTargets::restoreFragments(const QList<QSharedPointer<MediaTrackFragment>> &saved)
{
    if (saved.isEmpty())
        return;
    putBackFragments(saved);
    editListChanged();
}

void CommandTargets::framesChanged(const QVector<QSharedPointer<VideoLoop>> &loops)
{
    if (MainWindow *w = window()) {
        w->updateLoops();
        w->updateBookmarks();
        w->updateTempoPitch();
    }
    forgetLoops(loops);
}

void CommandTargets::addBookmark(const QSharedPointer<VideoMarker> &bookmark)
{
    if (const QSharedPointer<MediaTimeLine> t = timeline()) {
        if (!t->getMarkers().contains(bookmark))
            t->addMarker(bookmark);
    }
    if (MainWindow *w = window())
        w->addBookmark(bookmark);
}

void CommandTargets::removeBookmark(const QSharedPointer<VideoMarker> &bookmark)
{
    if (const QSharedPointer<MediaTimeLine> t = timeline())
        t->removeMarker(bookmark);
    if (MainWindow *w = window())
        w->removeBookmark(bookmark);
}

void CommandTargets::addLoop(const QSharedPointer<VideoLoop> &loop)
{
    if (const QSharedPointer<MediaTimeLine> t = timeline()) {
        if (!t->getLoops().contains(loop))
            t->addLoop(loop);
    }
    if (MainWindow *w = window())
        w->addLoop(loop);
}

void CommandTargets::removeLoop(const QSharedPointer<VideoLoop> &loop)
{
    if (const QSharedPointer<MediaTimeLine> t = timeline())
        t->removeLoop(loop);
    if (MainWindow *w = window())
        w->removeLoop(loop);
    forgetLoops({loop});
}

void CommandTargets::addLoopAndAnnounce(const QSharedPointer<VideoLoop> &loop)
{
    addLoop(loop);
    if (MainController *c = controller())
        c->onLoopAdded(loop);
}

void CommandTargets::removeLoopAndAnnounce(const QSharedPointer<VideoLoop> &loop)
{
    removeLoop(loop);
    if (MainController *c = controller())
        c->onLoopDeleted(loop);
}

void CommandTargets::loopChanged(const QSharedPointer<VideoLoop> &loop)
{
    // The timeline sorts on insertion only; lookups by frame and the export
    // walk the loops in start order.
    if (const QSharedPointer<MediaTimeLine> t = timeline()) {
        if (t->getLoops().contains(loop)) {
            t->removeLoop(loop);
            t->addLoop(loop);
        }
    }
    if (MainWindow *w = window()) {
        w->updateLoops();
        w->updateTempoPitch();
    }
    forgetLoops({loop});
}

void CommandTargets::forgetLoops(const QVector<QSharedPointer<VideoLoop>> &loops)
{
    if (const QSharedPointer<MediaPlayer> p = player()) {
        for (const QSharedPointer<VideoLoop> &loop : loops) {
            if (loop)
                p->resetLoopWithId(loop->getID());
        }
    }
}

} // namespace TW
