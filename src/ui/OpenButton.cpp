#include "ui/OpenButton.h"

#include <QMouseEvent>

namespace TW {

OpenButton::OpenButton(QWidget *parent) : QPushButton(parent) {}

void OpenButton::mouseReleaseEvent(QMouseEvent *event)
{
    const Qt::MouseButton button = event->button();
    QPushButton::mouseReleaseEvent(event);
    if (button == Qt::RightButton)
        emit rightClicked();
}

} // namespace TW
