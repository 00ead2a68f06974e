#include "app/EditBookmarkCommand.h"

#include "app/CommandTargets.h"
#include "model/VideoMarker.h"
#include "ui/MainWindow.h"

#include <QDebug>

namespace TW {

namespace {
QSharedPointer<VideoMarker> copyOf(const QSharedPointer<VideoMarker> &values, const QSharedPointer<VideoMarker> &fallback)
{
    const QSharedPointer<VideoMarker> &source = values ? values : fallback;
    return QSharedPointer<VideoMarker>::create(*source);
}

void assign(const QSharedPointer<VideoMarker> &bookmark, const VideoMarker &values)
{
    *bookmark = values;
    if (MainWindow *w = CommandTargets::window())
        w->updateBookmarks();
}
} // namespace

struct EditBookmarkCommand::EditBookmarkCommandImpl
{
    QSharedPointer<VideoMarker> before;
    QSharedPointer<VideoMarker> bookmark;
    QSharedPointer<VideoMarker> after;
};

EditBookmarkCommand::EditBookmarkCommand(QSharedPointer<VideoMarker> before, QSharedPointer<VideoMarker> bookmark,
                                         QSharedPointer<VideoMarker> after)
    : d(std::make_unique<EditBookmarkCommandImpl>())
{
    d->bookmark = std::move(bookmark);
    // A missing value set means "as the bookmark is now".
    d->before = copyOf(before, d->bookmark);
    d->after = copyOf(after, d->bookmark);
    setText(QStringLiteral("EditBookmarkCommand"));
}

EditBookmarkCommand::~EditBookmarkCommand() = default;

void EditBookmarkCommand::redo()
{
    qDebug() << "Edit bookmark redo. Current:" << *d->bookmark << "after:" << *d->after;
    assign(d->bookmark, *d->after);
}

void EditBookmarkCommand::undo()
{
    qDebug() << "Edit bookmark undo. Current:" << *d->bookmark << "before:" << *d->before;
    assign(d->bookmark, *d->before);
}

} // namespace TW
