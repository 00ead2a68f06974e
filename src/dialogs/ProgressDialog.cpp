#include "dialogs/ProgressDialog.h"

#include "ui_ProgressDialog.h"

namespace TW {

struct ProgressDialog::Impl
{
    explicit Impl(ProgressDialog *owner) : owner(owner) {}

    ProgressDialog *owner;
    Ui_ProgressDialog ui;
};

ProgressDialog::ProgressDialog(QWidget *parent)
    : QDialog(parent), d(std::make_unique<Impl>(this))
{
    d->ui.setupUi(this);
    setWindowFlags(windowFlags() ^ Qt::WindowContextHelpButtonHint);
    connect(d->ui.cancelPushButton, &QPushButton::clicked, this, &ProgressDialog::cancelled);
    connect(this, &QDialog::rejected, this, &ProgressDialog::cancelled);
    // A tool window: no task bar entry, stays with the application.
    setWindowFlags(Qt::Tool);
}

ProgressDialog::~ProgressDialog() = default;

void ProgressDialog::setProgress(int percent)
{
    // The bar ignores values outside its range; a stale value would be
    // worse than a clamped one.
    d->ui.progressBar->setValue(qBound(0, percent, 100));
}

void ProgressDialog::setMessage(const QString &message)
{
    d->ui.label->setText(message);
}

} // namespace TW
