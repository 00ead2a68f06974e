#pragma once

#include <QSharedPointer>
#include <QUndoCommand>

#include <memory>

namespace TW {

class VideoLoop;

// Adds a new loop to the project timeline, the window and the player; undo
// takes it out of all three, so the player no longer repeats it.
class AddLoopCommand : public QUndoCommand
{
public:
    explicit AddLoopCommand(QSharedPointer<VideoLoop> loop);
    ~AddLoopCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
