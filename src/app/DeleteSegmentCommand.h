#pragma once

#include <QSharedPointer>
#include <QUndoCommand>

#include <memory>

namespace TW {

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
    explicit DeleteSegmentCommand(QSharedPointer<MediaSegment> segment);
    ~DeleteSegmentCommand() override;

    void undo() override;
    void redo() override;

private:
    struct DeleteSegmentCommandImpl;
    std::unique_ptr<DeleteSegmentCommandImpl> d;
};

} // namespace TW
