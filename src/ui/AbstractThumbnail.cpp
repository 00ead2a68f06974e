#include "ui/AbstractThumbnail.h"

#include "ui/MediaTrackWidget.h"

#include <QDebug>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

namespace TW {

struct AbstractThumbnail::Impl
{
    int start = 0;
    int length = 0;
    Qt::MouseButtons pressedButtons = Qt::NoButton;
};

AbstractThumbnail::AbstractThumbnail(int start, int length)
    : QWidget(nullptr), d(std::make_unique<Impl>())
{
    d->start = start;
    d->length = length;
}

AbstractThumbnail::~AbstractThumbnail() = default;

int AbstractThumbnail::getPosition() const { return d->start; }
int AbstractThumbnail::getDuration() const { return d->length; }

void AbstractThumbnail::setPosition(int newPosition)
{
    auto *row = qobject_cast<MediaTrackWidget *>(parentWidget());
    if (!row)
        return;
    d->start = newPosition;
    const int x = row->positionFromValue(newPosition);
    qDebug() << "Set thumbnail position:" << newPosition << x << y();
    move(x, y());
}

void AbstractThumbnail::setDuration(int newDuration)
{
    auto *row = qobject_cast<MediaTrackWidget *>(parentWidget());
    if (!row)
        return;
    d->length = newDuration;
    const int w = row->positionFromValue(newDuration);
    qDebug() << "Set thumbnail duration:" << newDuration << w << height();
    resize(w, height());
}

void AbstractThumbnail::mousePressEvent(QMouseEvent *event)
{
    // Not taken: the row below starts its drag gesture from the same press.
    event->ignore();
    d->pressedButtons = event->buttons();
}

void AbstractThumbnail::mouseReleaseEvent(QMouseEvent *event)
{
    event->ignore();
    if (d->pressedButtons & event->button())
        emit clicked(event->button());
}

void AbstractThumbnail::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

} // namespace TW
