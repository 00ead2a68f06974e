#include "dialogs/EditVolumeDialog.h"

#include "ui_EditVolumeDialog.h"

namespace TW {

struct EditVolumeDialog::Impl
{
    EditVolumeDialog *owner = nullptr;
    Ui::EditVolumeDialog ui;
};

EditVolumeDialog::EditVolumeDialog(QWidget *parent, double volume)
    : QDialog(parent), d(std::make_unique<Impl>())
{
    d->owner = this;
    d->ui.setupUi(this);
    setWindowFlags(windowFlags() ^ Qt::WindowContextHelpButtonHint);
    connect(d->ui.volumeSlider, &QSlider::valueChanged, this, &EditVolumeDialog::onSliderChanged);
    connect(d->ui.buttonBox, &QDialogButtonBox::accepted, this, &EditVolumeDialog::Accept);
    connect(d->ui.buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    d->ui.volumeSlider->setValue(int(volume * 10));
    // A start at the slider's own value sends no change.
    onSliderChanged(d->ui.volumeSlider->value());
}

EditVolumeDialog::~EditVolumeDialog() = default;

void EditVolumeDialog::onSliderChanged(int value)
{
    d->ui.volumeLabel->setText(QStringLiteral("%1%").arg(value / 10.0, 1, 'f', 1, QLatin1Char(' ')));
}

void EditVolumeDialog::Accept()
{
    accept();
}

EditVolumeOptions EditVolumeDialog::getOptions() const
{
    return EditVolumeOptions(d->ui.volumeSlider->value() / 10.0);
}

} // namespace TW
