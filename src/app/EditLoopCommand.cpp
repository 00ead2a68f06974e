#include "app/EditLoopCommand.h"

#include "model/MediaTimeLine.h"
#include "model/Project.h"
#include "model/VideoLoop.h"

#include <QDebug>
#include <QPointer>

#include <algorithm>

namespace TW {

namespace {
const int kLoopGap = 5;

QSharedPointer<VideoLoop> copyOf(const QSharedPointer<VideoLoop> &values, const QSharedPointer<VideoLoop> &fallback)
{
    return QSharedPointer<VideoLoop>::create(values ? *values : *fallback);
}
} // namespace

struct EditLoopCommand::EditLoopCommandImpl
{
    EditLoopCommandImpl(Project *project, QSharedPointer<VideoLoop> before, QSharedPointer<VideoLoop> loop,
                        QSharedPointer<VideoLoop> after)
        : project(project), loop(std::move(loop))
    {
        // A missing value set means "as the loop is now".
        this->before = copyOf(before, this->loop);
        this->after = copyOf(after, this->loop);
        const QSharedPointer<MediaTimeLine> timeline = project ? project->timeline() : nullptr;
        fitBetweenNeighbours(timeline ? timeline->getLoops() : QVector<VideoLoopPtr>(), this->loop,
                             *this->before, *this->after);
    }

    void apply(const VideoLoop &values)
    {
        if (project)
            project->changeLoop(loop, values);
        else
            *loop = values;
    }

    QPointer<Project> project;
    QSharedPointer<VideoLoop> before;
    QSharedPointer<VideoLoop> loop;
    QSharedPointer<VideoLoop> after;
};

EditLoopCommand::EditLoopCommand(Project &project, QSharedPointer<VideoLoop> before, QSharedPointer<VideoLoop> loop,
                                 QSharedPointer<VideoLoop> after)
    : d(std::make_unique<EditLoopCommandImpl>(&project, std::move(before), std::move(loop), std::move(after)))
{
    setText(QStringLiteral("EditLoopCommand"));
    qDebug() << "Creating EditLoopCommand" << *d->before << *d->loop << *d->after;
}

EditLoopCommand::EditLoopCommand(QSharedPointer<VideoLoop> before, QSharedPointer<VideoLoop> loop,
                                 QSharedPointer<VideoLoop> after)
    : d(std::make_unique<EditLoopCommandImpl>(Project::current(), std::move(before), std::move(loop), std::move(after)))
{
    setText(QStringLiteral("EditLoopCommand"));
    qDebug() << "Creating EditLoopCommand" << *d->before << *d->loop << *d->after;
}

EditLoopCommand::~EditLoopCommand() = default;

void EditLoopCommand::redo()
{
    qDebug() << "Edit loop redo. Current:" << *d->loop << "after" << *d->after;
    d->apply(*d->after);
}

void EditLoopCommand::undo()
{
    qDebug() << "Edit loop undo. Current:" << *d->loop << "before" << *d->before;
    d->apply(*d->before);
}

QSharedPointer<VideoLoop> EditLoopCommand::getBefore() const { return d->before; }
QSharedPointer<VideoLoop> EditLoopCommand::getAfter() const { return d->after; }

void EditLoopCommand::fitBetweenNeighbours(const QVector<QSharedPointer<VideoLoop>> &loops,
                                           const QSharedPointer<VideoLoop> &loop, const VideoLoop &before,
                                           VideoLoop &after)
{
    // Walk in start order whatever order the caller holds them in; equal
    // starts keep their order.
    QVector<VideoLoopPtr> sorted;
    for (const VideoLoopPtr &other : loops) {
        if (other && other != loop)
            sorted << other;
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const VideoLoopPtr &a, const VideoLoopPtr &b) {
        return a->getStartFrame() < b->getStartFrame();
    });
    int start = after.getStartFrame();
    int end = after.getEndFrame();
    for (const VideoLoopPtr &other : sorted) {
        if (start > other->getStartFrame())
            start = std::max(start, other->getEndFrame() + kLoopGap);
        else if (start < other->getStartFrame())
            end = std::min(end, other->getStartFrame() - kLoopGap);
    }
    if (start == end)
        end = start + kLoopGap;
    if (start > end) {
        qDebug() << "No room for the edited loop between its neighbours; it keeps its bounds";
        start = before.getStartFrame();
        end = before.getEndFrame();
    }
    after.setStartFrame(start);
    after.setEndFrame(end);
}

} // namespace TW
