#pragma once

#include <QSharedPointer>
#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;
class VideoLoop;

// Takes a loop out of the project timeline and the window and makes the
// player drop it; undo puts the same object back.
class RemoveLoopCommand : public QUndoCommand
{
public:
    // On the project that runs it.
    RemoveLoopCommand(Project &project, QSharedPointer<VideoLoop> loop);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    explicit RemoveLoopCommand(QSharedPointer<VideoLoop> loop);
    ~RemoveLoopCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
