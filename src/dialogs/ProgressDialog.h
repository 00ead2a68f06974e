#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace TW {

// Small modal window shown while a long operation (importing or exporting)
// runs: one line of text, a percentage bar and a Cancel button. It does no
// work itself; its owner sets the text and the percentage, hides it when the
// work ends and decides what a cancel means.
class ProgressDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ProgressDialog(QWidget *parent = nullptr);
    ~ProgressDialog() override;

public slots:
    // Percent done, 0 to 100.
    void setProgress(int percent);
    void setMessage(const QString &message);

signals:
    // The user clicked Cancel (the dialog stays open) or rejected the dialog
    // with Escape or the window's close button (the dialog closes).
    void cancelled();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
