#pragma once

#include <QUndoCommand>

#include <memory>

namespace TW {

// Gives every fragment of the project one volume in percent, replacing the
// volumes of sections; undo gives each fragment its own volume back.
class VolumeMediaCommand : public QUndoCommand
{
public:
    explicit VolumeMediaCommand(float volume);
    ~VolumeMediaCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
