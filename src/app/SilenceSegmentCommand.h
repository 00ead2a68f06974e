#pragma once

#include "core/Time.h"

#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;
// Switches the sound of the span from .. to off; the length stays.
class SilenceSegmentCommand : public QUndoCommand
{
public:
    // On the project that runs it.
    SilenceSegmentCommand(Project &project, Time from, Time to);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    SilenceSegmentCommand(Time from, Time to);
    ~SilenceSegmentCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
