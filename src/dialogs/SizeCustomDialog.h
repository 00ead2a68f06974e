#pragma once

#include <QDialog>
#include <QSize>

class QLineEdit;

namespace TW {

// Asks for a custom output frame size. Width and height must be even and
// lie between MinSide and MaxSide pixels; anything else is refused with a
// tooltip at the field and the dialog stays open.
class SizeCustomDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MinSide = 16;
    static constexpr int MaxSide = 8192;

    explicit SizeCustomDialog(QWidget *parent = nullptr);
    ~SizeCustomDialog() override;

    // The size entered; (-1, -1) unless OK succeeded.
    QSize getSize() const;

    // Why a side of that value cannot be used, or an empty text when it can.
    static QString sideProblem(int value);

private slots:
    void okClicked();

private:
    void createUI();
    bool isInputCorrect();
    void createOutput();

    QLineEdit *m_width = nullptr;
    QLineEdit *m_height = nullptr;
    QSize m_size;
};

} // namespace TW
