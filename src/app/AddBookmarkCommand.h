#pragma once

#include <QSharedPointer>
#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;
class VideoMarker;

// Adds a new bookmark to the project timeline and the window; undo takes it out again.
class AddBookmarkCommand : public QUndoCommand
{
public:
    // On the project that runs it.
    AddBookmarkCommand(Project &project, QSharedPointer<VideoMarker> bookmark);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    explicit AddBookmarkCommand(QSharedPointer<VideoMarker> bookmark);
    ~AddBookmarkCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
