#include "app/AddBookmarkCommand.h"

#include "app/CommandTargets.h"
#include "model/VideoMarker.h"

#include <QDebug>

namespace TW {

struct AddBookmarkCommand::Impl
{
    QSharedPointer<VideoMarker> bookmark;
};

AddBookmarkCommand::AddBookmarkCommand(QSharedPointer<VideoMarker> bookmark)
    : d(std::make_unique<Impl>())
{
    d->bookmark = std::move(bookmark);
    setText(QStringLiteral("AddBookmarkCommand"));
}

AddBookmarkCommand::~AddBookmarkCommand() = default;

void AddBookmarkCommand::redo()
{
    qDebug() << "Add bookmark redo" << *d->bookmark;
    CommandTargets::addBookmark(d->bookmark);
}

void AddBookmarkCommand::undo()
{
    qDebug() << "Add bookmark undo" << *d->bookmark;
    CommandTargets::removeBookmark(d->bookmark);
}

} // namespace TW
