#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <memory>

namespace TW::test {

// Answers the message boxes and file dialogs that the code under test runs
// modally, so that no test waits for a user. Answers are used in the order
// they were given; a box or dialog met with no answer left is closed the
// way Escape would close it and recorded as unexpected, so a test fails
// instead of hanging. Other modal dialogs (progress) are left alone.
class ModalAnswerer
{
public:
    struct Seen
    {
        enum Kind { Box, FileDialog };
        Kind kind = Box;
        QString title;
        QString text;                    // a box's text
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QString directory;               // a file dialog's folder
        QStringList nameFilters;
        bool saving = false;             // a file dialog in save mode
        bool expected = true;
    };

    ModalAnswerer();
    ~ModalAnswerer();
    ModalAnswerer(const ModalAnswerer &) = delete;
    ModalAnswerer &operator=(const ModalAnswerer &) = delete;

    // The next box is answered with this button.
    void answerBox(QMessageBox::StandardButton button);
    // The next file dialog gets this file (a name or a full path) and is
    // accepted; an empty name cancels it.
    void answerFile(const QString &name);

    QList<Seen> seen() const;
    // "title: text" of every box seen, in order.
    QStringList boxes() const;
    QStringList unexpected() const;
    int answersLeft() const;
    // Forgets what was seen and drops the answers not used.
    void clear();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW::test
