#include "ui/MainWindowImpl.h"

#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/VideoLoop.h"
#include "ui/MainWindowActions.h"
#include "ui/TimeAreaWidget.h"
#include "ui/VideoControlsWidget.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDebug>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTextEdit>

namespace TW {

namespace {

// Widgets that take typed text: keys typed there belong to them.
bool isTextField(const QWidget *w)
{
    if (!w)
        return false;
    if (qobject_cast<const QLineEdit *>(w) || qobject_cast<const QAbstractSpinBox *>(w)
        || qobject_cast<const QTextEdit *>(w) || qobject_cast<const QPlainTextEdit *>(w))
        return true;
    const auto *combo = qobject_cast<const QComboBox *>(w);
    return combo && combo->isEditable();
}

bool focusInsideDialog()
{
    for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (qobject_cast<QDialog *>(w))
            return true;
    }
    return false;
}

} // namespace

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (focusInsideDialog())
        return false;
    // The wheel would move the transport's read-out without a seek.
    if (event->type() == QEvent::Wheel && watched == d->masterSlider)
        return true;
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == d->masterSlider) {
            if (QApplication::focusWidget() != d->masterSlider)
                d->masterSlider->setFocus(Qt::MouseFocusReason);
            jumpMasterSliderTo(static_cast<QMouseEvent *>(event));
        }
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    // Only key presses on this window's widgets count; text fields and the
    // menu bar keep the keys they use.
    auto *target = qobject_cast<QWidget *>(watched);
    if (!target || target->window() != this || qobject_cast<QMenuBar *>(target)
        || isTextField(QApplication::focusWidget()))
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Space: {
        if (d->actions->isPlaying())
            d->actions->pause();
        else
            d->actions->play();
        return true;
    }
    case Qt::Key_Up:
        d->actions->zoomIn();
        break;
    case Qt::Key_Down:
        d->actions->zoomOut();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        // The transport steps wherever the focus is in the window (no other
        // slider moves by these keys): the slider moves by its single step
        // and its actionTriggered connection seeks there.
        if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            d->masterSlider->triggerAction(key->key() == Qt::Key_Right ? QAbstractSlider::SliderSingleStepAdd
                                                                      : QAbstractSlider::SliderSingleStepSub);
            return true;
        }
        break;
    default:
        break;
    }
    return false;
}

// A press in the transport's groove puts the handle under the pointer and
// seeks there, so the press goes on as a drag of the handle (rather than a
// page step that moves the read-out only).
void MainWindow::jumpMasterSliderTo(QMouseEvent *event)
{
    QSlider *slider = d->masterSlider;
    if (event->button() != Qt::LeftButton || slider->maximum() <= slider->minimum())
        return;
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.upsideDown = slider->invertedAppearance();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    const QPoint at = event->position().toPoint();
    if (handle.contains(at))
        return;
    const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
    const int span = qMax(1, groove.width() - handle.width());
    const int offset = at.x() - groove.x() - handle.width() / 2;
    const int frame = QStyle::sliderValueFromPosition(slider->minimum(), slider->maximum(), offset, span,
                                                      option.upsideDown);
    slider->setValue(frame);
    updateTempoPitch();
    d->actions->seekToFrame(static_cast<quint32>(qMax(0, frame)));
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    QMainWindow::keyPressEvent(event);
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    qDebug() << "Key pressed" << event->key() << "Ctrl:" << ctrl << "Alt:" << alt
             << "Shift:" << bool(mods & Qt::ShiftModifier);
    switch (event->key()) {
    case Qt::Key_Delete:
        if (ctrl)
            d->execute(d->actions->removeAllLoopsCommand());
        break;
    case Qt::Key_Comma:
    case Qt::Key_Period: {
        const QSharedPointer<Media> media = d->actions->media();
        const QSharedPointer<MediaTimeLine> timeline = media ? media->getTimeline() : nullptr;
        const QSharedPointer<VideoLoop> loop = timeline ? timeline->getLoopByFrame(d->timeArea->getCurFrame()) : nullptr;
        if (loop) {
            const int frame = event->key() == Qt::Key_Comma ? loop->getStartFrame() : loop->getEndFrame();
            setCurrentFrame(frame);
            d->actions->seekToFrame(static_cast<quint32>(qMax(0, frame)));
        }
        break;
    }
    case Qt::Key_H:
        setCurrentFrame(0);
        d->actions->seekToFrame(0);
        break;
    case Qt::Key_L:
        if (ctrl && alt) {
            d->actions->toggleLogger();
        }
        break;
    case Qt::Key_O:
        d->videoControls->setZoom(0);
        d->actions->setZoom(0.0f);
        break;
    case Qt::Key_S:
        if (event->matches(QKeySequence::Save))
            d->actions->saveProject();
        break;
    default:
        break;
    }
}

} // namespace TW
