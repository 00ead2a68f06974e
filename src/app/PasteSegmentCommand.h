#pragma once

#include "core/Time.h"

#include <QSharedPointer>
#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;
class MediaSegment;

// Inserts a segment (from the clipboard, or inserted silence) at a time of
// the project; a locked track's content of the segment goes in switched
// off. Bookmarks and loops after the position move on by the segment's
// length. Undo puts back the edit list and every frame exactly.
class PasteSegmentCommand : public QUndoCommand
{
public:
    // On the project that runs it.
    PasteSegmentCommand(Project &project, QSharedPointer<MediaSegment> segment, Time position);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    PasteSegmentCommand(QSharedPointer<MediaSegment> segment, Time position);
    ~PasteSegmentCommand() override;

    void undo() override;
    void redo() override;

private:
    struct PasteSegmentCommandImpl;
    std::unique_ptr<PasteSegmentCommandImpl> d;
};

} // namespace TW
