#pragma once

#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;
// Gives every fragment of the project one volume in percent, replacing the
// volumes of sections; undo gives each fragment its own volume back.
class VolumeMediaCommand : public QUndoCommand
{
public:
    // On the project that runs it.
    VolumeMediaCommand(Project &project, float volume);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    explicit VolumeMediaCommand(float volume);
    ~VolumeMediaCommand() override;

    void undo() override;
    void redo() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
