#pragma once

#include "core/Time.h"

#include <QList>
#include <QSharedPointer>

#include <functional>

namespace TW {

class MediaSegment;
struct MediaTrackFragment;
class Project;

// Steps the edit commands share, on the project they were made for.
class CommandTargets
{
public:
    // Copies of the fragments, each with its own track record.
    static QList<QSharedPointer<MediaTrackFragment>>
    deepCopy(const QList<QSharedPointer<MediaTrackFragment>> &fragments);
    // The section from..to of the edit list cut out, changed and put back
    // at its place; *saved gets a copy of the whole list from before, for
    // undo (empty, and false returned, when there is no such section or no
    // project).
    static bool changeSection(Project *project, Time from, Time to, QList<QSharedPointer<MediaTrackFragment>> *saved,
                              const std::function<void(MediaSegment &)> &change);
    // Undoes an edit that saved the whole list: the saved list becomes the
    // edit list again. Nothing when nothing was saved.
    static void restoreFragments(Project *project, const QList<QSharedPointer<MediaTrackFragment>> &saved);
};

} // namespace TW
