#include "app/RemoveLoopCommand.h"

#include "model/Project.h"
#include "model/VideoLoop.h"

#include <QDebug>
#include <QPointer>

namespace TW {

struct RemoveLoopCommand::Impl
{
    QPointer<Project> project;
    QSharedPointer<VideoLoop> loop;
};

RemoveLoopCommand::RemoveLoopCommand(Project &project, QSharedPointer<VideoLoop> loop)
    : d(std::make_unique<Impl>())
{
    d->project = &project;
    d->loop = std::move(loop);
    setText(QStringLiteral("RemoveLoopCommand"));
}

RemoveLoopCommand::RemoveLoopCommand(QSharedPointer<VideoLoop> loop)
    : d(std::make_unique<Impl>())
{
    d->project = Project::current();
    d->loop = std::move(loop);
    setText(QStringLiteral("RemoveLoopCommand"));
}

RemoveLoopCommand::~RemoveLoopCommand() = default;

void RemoveLoopCommand::redo()
{
    qDebug() << "Remove loop redo" << *d->loop;
    if (d->project)
        d->project->removeLoop(d->loop);
}

void RemoveLoopCommand::undo()
{
    qDebug() << "Remove loop undo" << *d->loop;
    if (d->project)
        d->project->addLoop(d->loop);
}

} // namespace TW
