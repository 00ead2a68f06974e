#include "app/RemoveLoopCommand.h"

#include "app/CommandTargets.h"
#include "model/VideoLoop.h"

#include <QDebug>

namespace TW {

struct RemoveLoopCommand::Impl
{
    QSharedPointer<VideoLoop> loop;
};

RemoveLoopCommand::RemoveLoopCommand(QSharedPointer<VideoLoop> loop)
    : d(std::make_unique<Impl>())
{
    d->loop = std::move(loop);
    setText(QStringLiteral("RemoveLoopCommand"));
}

RemoveLoopCommand::~RemoveLoopCommand() = default;

void RemoveLoopCommand::redo()
{
    qDebug() << "Remove loop redo" << *d->loop;
    CommandTargets::removeLoop(d->loop);
}

void RemoveLoopCommand::undo()
{
    qDebug() << "Remove loop undo" << *d->loop;
    CommandTargets::addLoop(d->loop);
}

} // namespace TW
