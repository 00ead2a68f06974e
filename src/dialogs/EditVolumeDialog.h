#pragma once

#include "dialogs/EditVolumeOptions.h"

#include <QDialog>

#include <memory>

namespace TW {

// Lets the user choose a volume from 0 % to 200 % in steps of 0.1 % on a
// vertical slider with a read-out.
class EditVolumeDialog : public QDialog
{
    Q_OBJECT

public:
    EditVolumeDialog(QWidget *parent, double volume);
    ~EditVolumeDialog() override;

    EditVolumeOptions getOptions() const;

private slots:
    void onSliderChanged(int value);
    void Accept();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
