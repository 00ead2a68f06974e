#pragma once

#include <QPair>
#include <QSharedPointer>

class QUndoCommand;

namespace TW {

struct ControllerContext;
class MediaSegment;

// The edits of the open project: delete, cut, copy, paste, volume, inserted
// silence and silenced sections, made as undo commands on the selection and
// the play position the window shows; undo and redo; the clipboard.
class EditController
{
public:
    explicit EditController(ControllerContext &context);

    void onDelete();
    void onCut();
    void onCopy();
    void onPaste();
    void onVolume();
    void onInsertSilence();
    void onSilenceSection();
    void onUndo();
    void onRedo();
    // Pushes the command onto the undo stack (which runs it), or deletes
    // it when the project gives it nothing to act on.
    void onExecute(QUndoCommand *command);
    void clearClipboard();

private:
    QSharedPointer<MediaSegment> selectedForEditing();
    // A selection counts when both ends are set and differ.
    bool selectionUsable() const;
    QSharedPointer<MediaSegment> getSelectedSegment(QPair<int, int> selection) const;
    float wholeProjectVolume() const;
    float volumeUnderPosition() const;

    ControllerContext &c;
};

} // namespace TW
