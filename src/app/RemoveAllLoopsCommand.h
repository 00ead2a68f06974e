#pragma once

#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;

// Takes every loop out of the project timeline, the window and the player;
// undo puts the same loop objects back.
class RemoveAllLoopsCommand : public QUndoCommand
{
public:
    // On the project that runs it.
    explicit RemoveAllLoopsCommand(Project &project);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    RemoveAllLoopsCommand();
    ~RemoveAllLoopsCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
