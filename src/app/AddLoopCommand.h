#pragma once

#include <QSharedPointer>
#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;
class VideoLoop;

// Adds a new loop to the project timeline, the window and the player; undo
// takes it out of all three, so the player no longer repeats it.
class AddLoopCommand : public QUndoCommand
{
public:
    // On the project that runs it.
    AddLoopCommand(Project &project, QSharedPointer<VideoLoop> loop);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    explicit AddLoopCommand(QSharedPointer<VideoLoop> loop);
    ~AddLoopCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
