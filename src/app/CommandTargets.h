#pragma once

#include "core/Time.h"

#include <QList>
#include <QSharedPointer>
#include <QVector>

#include <functional>

namespace TW {

class MainController;
class MainWindow;
class Media;
class MediaPlayer;
class MediaSegment;
struct MediaTrackFragment;
class MediaTimeLine;
class VideoLoop;
class VideoMarker;

// What the loop and bookmark commands change, and the steps they share. The
// current project's timeline, the main window and the player are looked up
// afresh on every call through the running application; each is null when
// the application, its controller or the object itself is not there, and
// the steps then leave that part out.
class CommandTargets
{
public:
    static MainController *controller();
    static QSharedPointer<MediaTimeLine> timeline();
    static MainWindow *window();
    static QSharedPointer<MediaPlayer> player();
    static QSharedPointer<Media> media();

    // The edit commands' steps.
    // Copies of the fragments, each with its own track record.
    static QList<QSharedPointer<MediaTrackFragment>>
    deepCopy(const QList<QSharedPointer<MediaTrackFragment>> &fragments);
    // The fragments become the project's edit list again, laid out anew.
    static void putBackFragments(const QList<QSharedPointer<MediaTrackFragment>> &fragments);
    // After the edit list changed: the timeline shows it and the player
    // plays it (a player that has not played this project yet opens it).
    static void editListChanged();
    // The section from..to of the edit list cut out, changed and put back
    // at its place; *saved gets a copy of the whole list from before, for
    // undo (empty, and false returned, when there is no such section).
    static bool changeSection(Time from, Time to, QList<QSharedPointer<MediaTrackFragment>> *saved,
                              const std::function<void(MediaSegment &)> &change);
    // Undoes an edit that saved the whole list: the saved list back, shown
    // and played. Nothing when nothing was saved.
    static void restoreFragments(const QList<QSharedPointer<MediaTrackFragment>> &saved);
    // After loops or bookmarks moved: the ruler shows them where they are
    // now and the player copies any of the loops afresh.
    static void framesChanged(const QVector<QSharedPointer<VideoLoop>> &loops);

    // Timeline first, then the window. A bookmark or loop already on the
    // timeline is not added a second time.
    static void addBookmark(const QSharedPointer<VideoMarker> &bookmark);
    static void removeBookmark(const QSharedPointer<VideoMarker> &bookmark);
    static void addLoop(const QSharedPointer<VideoLoop> &loop);
    // Also makes the player drop its copy of the loop, so that a loop that
    // is gone is not repeated any more.
    static void removeLoop(const QSharedPointer<VideoLoop> &loop);
    // The same, followed by the controller's onLoopAdded / onLoopDeleted.
    static void addLoopAndAnnounce(const QSharedPointer<VideoLoop> &loop);
    static void removeLoopAndAnnounce(const QSharedPointer<VideoLoop> &loop);
    // After the loop's values changed: puts it at its place in the
    // timeline's start order again, re-places the ruler's handles, shows the
    // tempo and pitch now in force and makes the player copy it afresh.
    static void loopChanged(const QSharedPointer<VideoLoop> &loop);
    // The player drops its copy of any of these loops.
    static void forgetLoops(const QVector<QSharedPointer<VideoLoop>> &loops);
};

} // namespace TW
