#include "app/AddLoopCommand.h"

#include "app/CommandTargets.h"
#include "model/VideoLoop.h"

#include <QDebug>

namespace TW {

struct AddLoopCommand::Impl
{
    QSharedPointer<VideoLoop> loop;
};

AddLoopCommand::AddLoopCommand(QSharedPointer<VideoLoop> loop)
    : d(std::make_unique<Impl>())
{
    d->loop = std::move(loop);
    setText(QStringLiteral("AddLoopCommand"));
}

AddLoopCommand::~AddLoopCommand() = default;

void AddLoopCommand::redo()
{
    qDebug() << "Add loop redo" << *d->loop;
    CommandTargets::addLoopAndAnnounce(d->loop);
}

void AddLoopCommand::undo()
{
    qDebug() << "Add loop undo" << *d->loop;
    CommandTargets::removeLoopAndAnnounce(d->loop);
}

} // namespace TW
