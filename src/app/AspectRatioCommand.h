#pragma once

#include <QSize>
#include <QUndoCommand>

#include <memory>

namespace TW {

class Project;

// Changes the project's output frame size, and with it the picture's
// aspect ratio (the size itself). Undo puts back the size and the aspect
// ratio in force before the last redo.
class AspectRatioCommand : public QUndoCommand
{
public:
    // On the project that runs it.
    AspectRatioCommand(Project &project, QSize size);
    // On the running controller's project (Project::current()), for the
    // callers that have none at hand.
    explicit AspectRatioCommand(QSize size);
    ~AspectRatioCommand() override;

    void undo() override;
    void redo() override;

private:
    struct AspectRatioCommandImpl;
    std::unique_ptr<AspectRatioCommandImpl> d;
};

} // namespace TW
