#include "dialogs/ChooseAudioTrackDialog.h"

#include "ui_ChooseAudioTrackDialog.h"

namespace TW {

struct ChooseAudioTrackDialog::Impl
{
    explicit Impl(ChooseAudioTrackDialog *owner) : owner(owner) {}

    ChooseAudioTrackDialog *owner;
    Ui_ChooseAudioTrackDialog ui;
};

ChooseAudioTrackDialog::ChooseAudioTrackDialog(const QVector<AudioTrackInfo> &tracks, QWidget *parent)
    : QDialog(parent), d(std::make_unique<Impl>(this))
{
    d->ui.setupUi(this);
    for (const AudioTrackInfo &track : tracks)
        d->ui.comboBox->addItem(track.description);
    d->ui.comboBox->setCurrentIndex(0);
    connect(d->ui.okButton, &QPushButton::clicked, this, &QDialog::accept);
}

ChooseAudioTrackDialog::~ChooseAudioTrackDialog() = default;

int ChooseAudioTrackDialog::getSelectedTrackIndex()
{
    return d->ui.comboBox->currentIndex();
}

} // namespace TW
