#pragma once

#include <QDialog>

#include <memory>

namespace TW {

// Asks how many seconds of silence to insert and where: at the beginning
// (0), at the end (1) or at the current position (2). OK does nothing until
// the length field holds an acceptable number.
class EditSilenceDialog : public QDialog
{
    Q_OBJECT

public:
    explicit EditSilenceDialog(QWidget *parent = nullptr);
    ~EditSilenceDialog() override;

    // The length in seconds, read in the same locale the field's validator
    // accepts it in (so "12,5" where the comma is the decimal sign); 0 when
    // the text is no number.
    float getLength() const;
    int getPosition() const;

private slots:
    void Accept();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
