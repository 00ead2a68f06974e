#pragma once

#include "core/Time.h"

#include <QUndoCommand>

#include <memory>

namespace TW {

// Gives the span from .. to a volume in percent (replacing, not scaling,
// the volume its fragments had); the length stays.
class VolumeSegmentCommand : public QUndoCommand
{
public:
    VolumeSegmentCommand(Time from, Time to, float volume);
    ~VolumeSegmentCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
