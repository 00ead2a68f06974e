#include "ui/VideoWidget.h"

#include "ui/VideoWidgetOverlay.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QScrollBar>

namespace TW {

struct VideoWidget::VideoWidgetImpl
{
    VideoWidget *owner = nullptr;
    QWidget *renderingWidget = nullptr;
    std::unique_ptr<VideoWidgetOverlay> overlay;
    QPoint pressPos;
    QElapsedTimer pressTime;
    Qt::MouseButton pressedButton = Qt::NoButton;
    QPoint prevPos;
    QPoint curPos;
    QRect rubberBand;

    static int halfDoubleClick() { return QApplication::doubleClickInterval() / 2; }

    void selectArea()
    {
        if (rubberBand.isNull() || rubberBand.width() < 4 || rubberBand.height() < 4)
            return;
        const double w = owner->width();
        const double h = owner->height();
        emit owner->zoom(QRectF(rubberBand.left() / w, rubberBand.top() / h, rubberBand.width() / w,
                                rubberBand.height() / h));
    }
};

VideoWidget::VideoWidget(QWidget *parent, Qt::WindowFlags flags)
    : QScrollArea(parent), d(std::make_unique<VideoWidgetImpl>())
{
    setWindowFlags(windowFlags() | flags);
    d->owner = this;
    d->renderingWidget = new QWidget(this);
    d->renderingWidget->setObjectName(QStringLiteral("renderingWidget"));
    // libvlc draws into this widget's own native window.
    d->renderingWidget->setAttribute(Qt::WA_NativeWindow);
    d->renderingWidget->setAttribute(Qt::WA_TransparentForMouseEvents);
    setWidget(d->renderingWidget);
    d->overlay = std::make_unique<VideoWidgetOverlay>();
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setStyleSheet(QStringLiteral("background: black; border: none;"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

VideoWidget::~VideoWidget() = default;

QWidget *VideoWidget::getRenderingWidget() const { return d->renderingWidget; }
QWidget *VideoWidget::getOverlay() const { return d->overlay.get(); }

QPixmap VideoWidget::getViewportContents() const
{
    return viewport()->grab();
}

void VideoWidget::mousePressEvent(QMouseEvent *event)
{
    QScrollArea::mousePressEvent(event);
    const Qt::MouseButton button = event->button();
    if ((button != Qt::LeftButton && button != Qt::RightButton) || d->pressedButton != Qt::NoButton)
        return;
    d->pressedButton = button;
    d->pressPos = d->prevPos = event->position().toPoint();
    d->pressTime.start();
    if (button == Qt::LeftButton) {
        d->rubberBand = QRect(d->pressPos, d->pressPos);
        d->overlay->move(event->globalPosition().toPoint());
        d->overlay->resize(1, 1);
        d->overlay->show();
    }
}

void VideoWidget::mouseMoveEvent(QMouseEvent *event)
{
    QScrollArea::mouseMoveEvent(event);
    if (d->pressedButton == Qt::NoButton || d->pressTime.elapsed() <= VideoWidgetImpl::halfDoubleClick())
        return;
    const int w = width();
    const int h = height();
    if (d->pressedButton == Qt::RightButton) {
        d->curPos = event->position().toPoint();
        const int dx = d->prevPos.x() - d->curPos.x();
        const int dy = d->prevPos.y() - d->curPos.y();
        if (w > 0 && h > 0)
            emit zoom(QRectF(double(dx) / w, double(dy) / h, 1.0, 1.0));
        d->prevPos = d->curPos;
    } else {
        const QPoint at = event->position().toPoint();
        QRect band(QPoint(qMin(d->pressPos.x(), at.x()), qMin(d->pressPos.y(), at.y())),
                   QPoint(qMax(d->pressPos.x(), at.x()), qMax(d->pressPos.y(), at.y())));
        if (band.left() < 0)
            band.setLeft(0);
        if (band.top() < 0)
            band.setTop(0);
        if (band.right() > w)
            band.setRight(w - 1);
        if (band.bottom() > h)
            band.setBottom(h - 1);
        d->rubberBand = band;
        d->overlay->move(mapToGlobal(band.topLeft()));
        d->overlay->resize(band.width(), band.height());
    }
}

void VideoWidget::mouseReleaseEvent(QMouseEvent *event)
{
    QScrollArea::mouseReleaseEvent(event);
    if (event->button() != d->pressedButton || d->pressedButton == Qt::NoButton)
        return;
    const Qt::MouseButton button = d->pressedButton;
    d->pressedButton = Qt::NoButton;
    const qint64 ms = d->pressTime.elapsed();
    const bool quick = ms <= VideoWidgetImpl::halfDoubleClick();
    if (button == Qt::RightButton) {
        if (quick)
            emit zoomOut();
        return;
    }
    d->overlay->hide();
    if (!quick)
        d->selectArea();
    else
        emit zoomIn();
    d->rubberBand = QRect();
}

void VideoWidget::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    d->renderingWidget->setFixedSize(size());
}

} // namespace TW
