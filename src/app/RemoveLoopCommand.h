#pragma once

#include <QSharedPointer>
#include <QUndoCommand>

#include <memory>

namespace TW {

class VideoLoop;

// Takes a loop out of the project timeline and the window and makes the
// player drop it; undo puts the same object back.
class RemoveLoopCommand : public QUndoCommand
{
public:
    explicit RemoveLoopCommand(QSharedPointer<VideoLoop> loop);
    ~RemoveLoopCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
