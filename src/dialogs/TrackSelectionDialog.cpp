#include "dialogs/TrackSelectionDialog.h"

#include "dialogs/ChooseAudioTrackDialog.h"
#include "dialogs/ProgressDialog.h"
#include "io/InputController.h"

namespace TW {

int TrackSelectionDialog::choose(const QVector<AudioTrackInfo> &tracks)
{
    if (tracks.isEmpty())
        return -1;
    if (tracks.size() == 1)
        return 0;
    ChooseAudioTrackDialog dialog(tracks, nullptr);
    dialog.exec();
    return dialog.getSelectedTrackIndex();
}

void TrackSelectionDialog::installImportDialogs(std::function<QWidget *()> mainWindow)
{
    InputController::Interaction interaction = InputController::interaction();
    interaction.chooseAudioTrack = &TrackSelectionDialog::choose;
    interaction.makeProgressDialog = [] { return new ProgressDialog(nullptr); };
    interaction.dialogParent = std::move(mainWindow);
    InputController::setInteraction(interaction);
}

} // namespace TW
