#include "app/RemoveBookmarkCommand.h"

#include "model/Project.h"
#include "model/VideoMarker.h"

#include <QDebug>
#include <QPointer>

namespace TW {

struct RemoveBookmarkCommand::Impl
{
    QPointer<Project> project;
    QSharedPointer<VideoMarker> bookmark;
};

RemoveBookmarkCommand::RemoveBookmarkCommand(Project &project, QSharedPointer<VideoMarker> bookmark)
    : d(std::make_unique<Impl>())
{
    d->project = &project;
    d->bookmark = std::move(bookmark);
    setText(QStringLiteral("RemoveBookmarkCommand"));
}

RemoveBookmarkCommand::RemoveBookmarkCommand(QSharedPointer<VideoMarker> bookmark)
    : d(std::make_unique<Impl>())
{
    d->project = Project::current();
    d->bookmark = std::move(bookmark);
    setText(QStringLiteral("RemoveBookmarkCommand"));
}

RemoveBookmarkCommand::~RemoveBookmarkCommand() = default;

void RemoveBookmarkCommand::redo()
{
    qDebug() << "Remove bookmark redo" << *d->bookmark;
    if (d->project)
        d->project->removeBookmark(d->bookmark);
}

void RemoveBookmarkCommand::undo()
{
    qDebug() << "Remove bookmark undo" << *d->bookmark;
    if (d->project)
        d->project->addBookmark(d->bookmark);
}

} // namespace TW
