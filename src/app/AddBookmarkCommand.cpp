#include "app/AddBookmarkCommand.h"

#include "model/Project.h"
#include "model/VideoMarker.h"

#include <QDebug>
#include <QPointer>

namespace TW {

struct AddBookmarkCommand::Impl
{
    QPointer<Project> project;
    QSharedPointer<VideoMarker> bookmark;
};

AddBookmarkCommand::AddBookmarkCommand(Project &project, QSharedPointer<VideoMarker> bookmark)
    : d(std::make_unique<Impl>())
{
    d->project = &project;
    d->bookmark = std::move(bookmark);
    setText(QStringLiteral("AddBookmarkCommand"));
}

AddBookmarkCommand::AddBookmarkCommand(QSharedPointer<VideoMarker> bookmark)
    : d(std::make_unique<Impl>())
{
    d->project = Project::current();
    d->bookmark = std::move(bookmark);
    setText(QStringLiteral("AddBookmarkCommand"));
}

AddBookmarkCommand::~AddBookmarkCommand() = default;

void AddBookmarkCommand::redo()
{
    qDebug() << "Add bookmark redo" << *d->bookmark;
    if (d->project)
        d->project->addBookmark(d->bookmark);
}

void AddBookmarkCommand::undo()
{
    qDebug() << "Add bookmark undo" << *d->bookmark;
    if (d->project)
        d->project->removeBookmark(d->bookmark);
}

} // namespace TW
