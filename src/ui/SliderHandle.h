#pragma once

#include "ui/HandleType.h"

#include <QPoint>
#include <QString>
#include <QWidget>

#include <memory>

class QEnterEvent;

namespace TW {

// A small marker on the time ruler: a bookmark, a loop end, the play
// position, a selection end or a plain marker. It draws its kind in its
// current state, shows an optional caption above the marker, follows hover
// and press, and can be dragged sideways with the left button. It knows
// nothing of frames; the ruler places it and reads its signals.
class SliderHandle : public QWidget
{
    Q_OBJECT

public:
    enum State { Normal = 0, Hover = 1, Pressed = 2, Disabled = 3 };

    SliderHandle(QWidget* parent, HandleType::Type type);
    ~SliderHandle() override;

    HandleType::Type getType() const;
    // The caption; a null string for kinds without a caption.
    QString getText() const;
    // True while a press that hit the handle holds at least one button.
    bool isPressed() const;

public slots:
    void setType(HandleType::Type type);
    void setText(const QString& text);
    // Besides enabling the widget this switches the look to disabled.
    void setEnabled(bool enabled);

signals:
    void pressed(Qt::MouseButton button);
    void released(Qt::MouseButton button);
    // Sent after each drag step; oldPos is the position before the step, in
    // the parent's coordinates.
    void moved(QPoint oldPos);
    void mouseClicked(Qt::MouseButton button, QPoint pos, QPoint globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class SliderHandleImpl;
    std::unique_ptr<SliderHandleImpl> d;
};

} // namespace TW
