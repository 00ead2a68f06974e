#include "app/ControllerContext.h"

#include "model/Media.h"
#include "model/Project.h"
#include "ui/MainWindow.h"

#include <QStatusBar>
#include <QUndoStack>

namespace TW {

QSharedPointer<Media> ControllerContext::media() const
{
    return project->media();
}

bool ControllerContext::projectEmpty() const
{
    return project->isEmpty();
}

void ControllerContext::markChanged()
{
    undoStack->resetClean();
}

void ControllerContext::clearUndoStack()
{
    undoStack->clear();
    undoStack->setClean();
}

void ControllerContext::showStatus(const QString &text, int milliseconds)
{
    if (mainWindow && mainWindow->statusBar())
        mainWindow->statusBar()->showMessage(text, milliseconds);
}

} // namespace TW
