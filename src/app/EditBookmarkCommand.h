#pragma once

#include <QSharedPointer>
#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;
class VideoMarker;

// Switches a bookmark of the project between two sets of values (frame and
// name); the bookmark keeps its identifier.
class EditBookmarkCommand : public QUndoCommand
{
public:
    // before: the values to go back to; bookmark: the project's bookmark;
    // after: the values to set. Both value sets are copied.
    // On the project that runs it.
    EditBookmarkCommand(Project &project, QSharedPointer<VideoMarker> before, QSharedPointer<VideoMarker> bookmark,
                        QSharedPointer<VideoMarker> after);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    EditBookmarkCommand(QSharedPointer<VideoMarker> before, QSharedPointer<VideoMarker> bookmark,
                        QSharedPointer<VideoMarker> after);
    ~EditBookmarkCommand() override;

    void undo() override;
    void redo() override;

private:
    struct EditBookmarkCommandImpl;
    std::unique_ptr<EditBookmarkCommandImpl> d;
};

} // namespace TW
