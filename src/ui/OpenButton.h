#pragma once

#include <QPushButton>

namespace TW {

// A push button that also reports a release of the right mouse button.
class OpenButton : public QPushButton
{
    Q_OBJECT
public:
    explicit OpenButton(QWidget *parent = nullptr);

signals:
    void rightClicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

} // namespace TW
