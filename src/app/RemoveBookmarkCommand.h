#pragma once

#include <QSharedPointer>
#include <QUndoCommand>

#include <memory>

namespace TW {

class VideoMarker;

// Takes a bookmark out of the project timeline and the window; undo puts the same object back.
class RemoveBookmarkCommand : public QUndoCommand
{
public:
    explicit RemoveBookmarkCommand(QSharedPointer<VideoMarker> bookmark);
    ~RemoveBookmarkCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
