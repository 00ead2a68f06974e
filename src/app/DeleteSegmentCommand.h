#pragma once

#include <QSharedPointer>
#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;
class MediaSegment;

// Removes a span of the project. With neither track locked the span goes
// and everything after it moves up, bookmarks and loops with it (those
// inside the span are taken out, loops overlapping it are cut to its
// edges); with one track locked only the other track's content of the span
// is switched off and the length stays; with both locked nothing changes.
// Undo puts back the edit list and every loop and bookmark exactly.
class DeleteSegmentCommand : public QUndoCommand
{
public:
    // On the project that runs it.
    DeleteSegmentCommand(Project &project, QSharedPointer<MediaSegment> segment);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    explicit DeleteSegmentCommand(QSharedPointer<MediaSegment> segment);
    ~DeleteSegmentCommand() override;

    void undo() override;
    void redo() override;

private:
    struct DeleteSegmentCommandImpl;
    std::unique_ptr<DeleteSegmentCommandImpl> d;
};

} // namespace TW
