#include "ui/VideoWidgetOverlay.h"

#include <QPainter>

namespace TW {

struct VideoWidgetOverlay::VideoWidgetOverlayImpl
{
    VideoWidgetOverlay *owner;
};

VideoWidgetOverlay::VideoWidgetOverlay(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      d(std::make_unique<VideoWidgetOverlayImpl>(VideoWidgetOverlayImpl{this}))
{
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setPalette(QPalette(Qt::transparent));
}

VideoWidgetOverlay::~VideoWidgetOverlay() = default;

void VideoWidgetOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(Qt::green);
    painter.drawRect(0, 0, width() - 2, height() - 2);
}

} // namespace TW
