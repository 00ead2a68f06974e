#include "app/RemoveBookmarkCommand.h"

#include "app/CommandTargets.h"
#include "model/VideoMarker.h"

#include <QDebug>

namespace TW {

struct RemoveBookmarkCommand::Impl
{
    QSharedPointer<VideoMarker> bookmark;
};

RemoveBookmarkCommand::RemoveBookmarkCommand(QSharedPointer<VideoMarker> bookmark)
    : d(std::make_unique<Impl>())
{
    d->bookmark = std::move(bookmark);
    setText(QStringLiteral("RemoveBookmarkCommand"));
}

RemoveBookmarkCommand::~RemoveBookmarkCommand() = default;

void RemoveBookmarkCommand::redo()
{
    qDebug() << "Remove bookmark redo" << *d->bookmark;
    CommandTargets::removeBookmark(d->bookmark);
}

void RemoveBookmarkCommand::undo()
{
    qDebug() << "Remove bookmark undo" << *d->bookmark;
    CommandTargets::addBookmark(d->bookmark);
}

} // namespace TW
