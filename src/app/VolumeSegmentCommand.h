#pragma once

#include "core/Time.h"

#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;
// Gives the span from .. to a volume in percent (replacing, not scaling,
// the volume its fragments had); the length stays.
class VolumeSegmentCommand : public QUndoCommand
{
public:
    // On the project that runs it.
    VolumeSegmentCommand(Project &project, Time from, Time to, float volume);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    VolumeSegmentCommand(Time from, Time to, float volume);
    ~VolumeSegmentCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
