#pragma once

#include <QUndoCommand>

#include <memory>

namespace TW {

// Takes every loop out of the project timeline, the window and the player;
// undo puts the same loop objects back.
class RemoveAllLoopsCommand : public QUndoCommand
{
public:
    RemoveAllLoopsCommand();
    ~RemoveAllLoopsCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
