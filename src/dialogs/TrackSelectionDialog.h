#pragma once

#include "core/AudioTrackInfo.h"

#include <QVector>

#include <functional>

class QWidget;

namespace TW {

// The dialogs that importing a media file shows, as the input controller
// reaches them. The input controller sits below the dialogs and cannot build
// them itself; the application hands them over once at start-up with
// installImportDialogs, and tests hand over stand-ins instead.
class TrackSelectionDialog
{
public:
    TrackSelectionDialog() = delete;

    // Which of the tracks to import, as an index into the list: -1 for no
    // track, the only track without asking, else the track the user picks in
    // ChooseAudioTrackDialog (closing the dialog keeps the row shown).
    static int choose(const QVector<AudioTrackInfo> &tracks);

    // Lets the input controller show ChooseAudioTrackDialog and a
    // ProgressDialog, with its boxes and file dialogs parented by the widget
    // that mainWindow returns at the time (it may return null).
    static void installImportDialogs(std::function<QWidget *()> mainWindow);
};

} // namespace TW
