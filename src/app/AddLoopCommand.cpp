#include "app/AddLoopCommand.h"

#include "model/Project.h"
#include "model/VideoLoop.h"

#include <QDebug>
#include <QPointer>

namespace TW {

struct AddLoopCommand::Impl
{
    QPointer<Project> project;
    QSharedPointer<VideoLoop> loop;
};

AddLoopCommand::AddLoopCommand(Project &project, QSharedPointer<VideoLoop> loop)
    : d(std::make_unique<Impl>())
{
    d->project = &project;
    d->loop = std::move(loop);
    setText(QStringLiteral("AddLoopCommand"));
}

AddLoopCommand::AddLoopCommand(QSharedPointer<VideoLoop> loop)
    : d(std::make_unique<Impl>())
{
    d->project = Project::current();
    d->loop = std::move(loop);
    setText(QStringLiteral("AddLoopCommand"));
}

AddLoopCommand::~AddLoopCommand() = default;

void AddLoopCommand::redo()
{
    qDebug() << "Add loop redo" << *d->loop;
    if (d->project)
        d->project->addLoop(d->loop);
}

void AddLoopCommand::undo()
{
    qDebug() << "Add loop undo" << *d->loop;
    if (d->project)
        d->project->removeLoop(d->loop);
}

} // namespace TW
