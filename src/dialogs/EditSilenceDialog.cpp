#include "dialogs/EditSilenceDialog.h"

#include "ui_EditSilenceDialog.h"

#include <QDoubleValidator>
#include <QPushButton>

namespace TW {

struct EditSilenceDialog::Impl
{
    EditSilenceDialog *owner = nullptr;
    Ui::EditSilenceDialog ui;
    QDoubleValidator *validator = nullptr;

    bool lengthValid() const
    {
        QString text = ui.amountSilenceLineEdit->text();
        if (text.isEmpty())
            return false;
        int position = 0;
        return validator->validate(text, position) == QValidator::Acceptable;
    }
};

EditSilenceDialog::EditSilenceDialog(QWidget *parent)
    : QDialog(parent), d(std::make_unique<Impl>())
{
    d->owner = this;
    d->ui.setupUi(this);
    setWindowFlags(windowFlags() ^ Qt::WindowContextHelpButtonHint);
    d->ui.beginningRadioButton->setChecked(true);
    d->validator = new QDoubleValidator(0.0, 9999.0, 2, this);
    d->ui.amountSilenceLineEdit->setValidator(d->validator);
    connect(d->ui.buttonBox, &QDialogButtonBox::accepted, this, &EditSilenceDialog::Accept);
    connect(d->ui.buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

EditSilenceDialog::~EditSilenceDialog() = default;

void EditSilenceDialog::Accept()
{
    if (d->lengthValid())
        accept();
}

float EditSilenceDialog::getLength() const
{
    const QString text = d->ui.amountSilenceLineEdit->text();
    bool ok = false;
    double seconds = d->validator->locale().toDouble(text, &ok);
    if (!ok)
        seconds = QLocale::c().toDouble(text, &ok);
    return ok ? float(seconds) : 0.0f;
}

int EditSilenceDialog::getPosition() const
{
    if (d->ui.beginningRadioButton->isChecked())
        return 0;
    if (d->ui.currentRadioButton->isChecked())
        return 2;
    return 1;
}

} // namespace TW
