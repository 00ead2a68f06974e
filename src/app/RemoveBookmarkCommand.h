#pragma once

#include <QSharedPointer>
#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;
class VideoMarker;

// Takes a bookmark out of the project timeline and the window; undo puts the same object back.
class RemoveBookmarkCommand : public QUndoCommand
{
public:
    // On the project that runs it.
    RemoveBookmarkCommand(Project &project, QSharedPointer<VideoMarker> bookmark);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    explicit RemoveBookmarkCommand(QSharedPointer<VideoMarker> bookmark);
    ~RemoveBookmarkCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
