#include "app/EditBookmarkCommand.h"

#include "model/Project.h"
#include "model/VideoMarker.h"

#include <QDebug>
#include <QPointer>

namespace TW {

namespace {
QSharedPointer<VideoMarker> copyOf(const QSharedPointer<VideoMarker> &values, const QSharedPointer<VideoMarker> &fallback)
{
    const QSharedPointer<VideoMarker> &source = values ? values : fallback;
    return QSharedPointer<VideoMarker>::create(*source);
}
} // namespace

struct EditBookmarkCommand::EditBookmarkCommandImpl
{
    QPointer<Project> project;
    QSharedPointer<VideoMarker> before;
    QSharedPointer<VideoMarker> bookmark;
    QSharedPointer<VideoMarker> after;

    void assign(const VideoMarker &values)
    {
        if (project)
            project->changeBookmark(bookmark, values);
        else
            *bookmark = values;
    }
};

EditBookmarkCommand::EditBookmarkCommand(Project &project, QSharedPointer<VideoMarker> before,
                                         QSharedPointer<VideoMarker> bookmark, QSharedPointer<VideoMarker> after)
    : EditBookmarkCommand(std::move(before), std::move(bookmark), std::move(after))
{
    d->project = &project;
}

EditBookmarkCommand::EditBookmarkCommand(QSharedPointer<VideoMarker> before, QSharedPointer<VideoMarker> bookmark,
                                         QSharedPointer<VideoMarker> after)
    : d(std::make_unique<EditBookmarkCommandImpl>())
{
    d->project = Project::current();
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
    d->assign(*d->after);
}

void EditBookmarkCommand::undo()
{
    qDebug() << "Edit bookmark undo. Current:" << *d->bookmark << "before:" << *d->before;
    d->assign(*d->before);
}

} // namespace TW
