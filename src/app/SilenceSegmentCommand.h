#pragma once

#include "core/Time.h"

#include <QUndoCommand>

#include <memory>

namespace TW {

// Switches the sound of the span from .. to off; the length stays.
class SilenceSegmentCommand : public QUndoCommand
{
public:
    SilenceSegmentCommand(Time from, Time to);
    ~SilenceSegmentCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
