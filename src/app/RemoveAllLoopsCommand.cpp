#include "app/RemoveAllLoopsCommand.h"

#include "model/MediaTimeLine.h"
#include "model/Project.h"
#include "model/VideoLoop.h"

#include <QDebug>
#include <QPointer>

namespace TW {

struct RemoveAllLoopsCommand::Impl
{
    QPointer<Project> project;
    // The removed loops, in start order; refilled at every redo.
    QVector<VideoLoopPtr> loops;
};

RemoveAllLoopsCommand::RemoveAllLoopsCommand(Project &project)
    : RemoveAllLoopsCommand()
{
    d->project = &project;
}

RemoveAllLoopsCommand::RemoveAllLoopsCommand()
    : d(std::make_unique<Impl>())
{
    d->project = Project::current();
    setText(QStringLiteral("RemoveAllLoopsCommand"));
}

RemoveAllLoopsCommand::~RemoveAllLoopsCommand() = default;

void RemoveAllLoopsCommand::redo()
{
    qDebug() << "Remove all loops redo";
    d->loops = d->project ? d->project->removeAllLoops() : QVector<VideoLoopPtr>();
    qDebug() << "Removed" << d->loops.size() << "loops";
}

void RemoveAllLoopsCommand::undo()
{
    qDebug() << "Remove all loops undo. Restore" << d->loops.size() << "loops";
    if (!d->project)
        return;
    for (const VideoLoopPtr &loop : std::as_const(d->loops))
        d->project->addLoop(loop);
}

} // namespace TW
