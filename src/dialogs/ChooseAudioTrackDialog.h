#pragma once

#include "core/AudioTrackInfo.h"

#include <QDialog>
#include <QVector>

#include <memory>

namespace TW {

// Lets the user pick one audio track of a media file being imported. The
// combo box lists the tracks' descriptions in the order given, so a row is an
// index into the caller's list.
class ChooseAudioTrackDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ChooseAudioTrackDialog(const QVector<AudioTrackInfo> &tracks, QWidget *parent = nullptr);
    ~ChooseAudioTrackDialog() override;

    // The row shown in the combo box, -1 when the list was empty.
    int getSelectedTrackIndex();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
