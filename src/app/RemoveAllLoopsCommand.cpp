#include "app/RemoveAllLoopsCommand.h"

#include "app/CommandTargets.h"
#include "model/MediaTimeLine.h"
#include "model/VideoLoop.h"
#include "ui/MainWindow.h"

#include <QDebug>
#include <QVector>

namespace TW {

struct RemoveAllLoopsCommand::Impl
{
    // The removed loops, in start order; refilled at every redo.
    QVector<VideoLoopPtr> loops;
};

RemoveAllLoopsCommand::RemoveAllLoopsCommand()
    : d(std::make_unique<Impl>())
{
    setText(QStringLiteral("RemoveAllLoopsCommand"));
}

RemoveAllLoopsCommand::~RemoveAllLoopsCommand() = default;

void RemoveAllLoopsCommand::redo()
{
    qDebug() << "Remove all loops redo";
    const QSharedPointer<MediaTimeLine> timeline = CommandTargets::timeline();
    d->loops = timeline ? timeline->getLoops() : QVector<VideoLoopPtr>();
    if (MainWindow *w = CommandTargets::window())
        w->clearLoops();
    if (timeline)
        timeline->clearLoops();
    CommandTargets::forgetLoops(d->loops);
    qDebug() << "Removed" << d->loops.size() << "loops";
}

void RemoveAllLoopsCommand::undo()
{
    qDebug() << "Remove all loops undo. Restore" << d->loops.size() << "loops";
    if (const QSharedPointer<MediaTimeLine> timeline = CommandTargets::timeline()) {
        QVector<VideoLoopPtr> missing;
        const QVector<VideoLoopPtr> present = timeline->getLoops();
        for (const VideoLoopPtr &loop : d->loops) {
            if (!present.contains(loop))
                missing << loop;
        }
        timeline->addLoops(missing);
    }
    if (MainWindow *w = CommandTargets::window()) {
        for (const VideoLoopPtr &loop : d->loops)
            w->addLoop(loop);
    }
}

} // namespace TW
