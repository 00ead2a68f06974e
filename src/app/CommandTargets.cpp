#include "app/CommandTargets.h"

#include "model/Media.h"
#include "model/MediaSegment.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrackFragment.h"
#include "model/Project.h"

namespace TW {

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

bool CommandTargets::changeSection(Project *project, Time from, Time to,
                                   QList<QSharedPointer<MediaTrackFragment>> *saved,
                                   const std::function<void(MediaSegment &)> &change)
{
    saved->clear();
    if (!project)
        return false;
    *saved = deepCopy(project->media()->getTrackFragments());
    if (!project->changeSection(from, to, change)) {
        saved->clear();
        return false;
    }
    return true;
}

void CommandTargets::restoreFragments(Project *project, const QList<QSharedPointer<MediaTrackFragment>> &saved)
{
    if (saved.isEmpty() || !project)
        return;
    project->replaceFragments(saved);
}

} // namespace TW
