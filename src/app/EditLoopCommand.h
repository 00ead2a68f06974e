#pragma once

#include <QSharedPointer>
#include <QUndoCommand>
#include <QVector>

#include <memory>

namespace TW {

class Project;
class VideoLoop;

// Switches a loop of the project between two sets of values (start and end
// frame, tempo, pitch, repeat count, delay, volume and name); the loop keeps
// its identifier. The values to set are fitted between the neighbouring
// loops once, when the command is made.
class EditLoopCommand : public QUndoCommand
{
public:
    // before: the values to go back to; loop: the project's loop; after:
    // the values to set. Both value sets are copied.
    // On the project that runs it.
    EditLoopCommand(Project &project, QSharedPointer<VideoLoop> before, QSharedPointer<VideoLoop> loop,
                    QSharedPointer<VideoLoop> after);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    EditLoopCommand(QSharedPointer<VideoLoop> before, QSharedPointer<VideoLoop> loop,
                    QSharedPointer<VideoLoop> after);
    ~EditLoopCommand() override;

    void undo() override;
    void redo() override;

    // The values the command switches between.
    QSharedPointer<VideoLoop> getBefore() const;
    QSharedPointer<VideoLoop> getAfter() const;

    // Moves after's start and end so that the loop keeps 5 frames away from
    // each of the other loops (loops in start order; `loop` itself is
    // skipped): a loop starting after a neighbour's start begins at least 5
    // frames after that neighbour's end, one starting before it ends at
    // least 5 frames before its start; an empty span becomes 5 frames long.
    // When the room left is too small for that, after keeps the bounds of
    // before, so a loop never ends before it starts.
    static void fitBetweenNeighbours(const QVector<QSharedPointer<VideoLoop>> &loops,
                                     const QSharedPointer<VideoLoop> &loop, const VideoLoop &before,
                                     VideoLoop &after);

private:
    struct EditLoopCommandImpl;
    std::unique_ptr<EditLoopCommandImpl> d;
};

} // namespace TW
