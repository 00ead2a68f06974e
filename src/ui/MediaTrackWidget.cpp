#include "ui/MediaTrackWidget.h"

#include "ui/AbstractThumbnail.h"
#include "ui/RulerGeometry.h"

#include <QApplication>
#include <QDebug>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QMap>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <QTimer>
#include <QVector>

#include <cmath>

namespace TW {

namespace {
const QString kDragFormat = QStringLiteral("mediatrack/drag");
}

struct MediaTrackWidget::MediaTrackWidgetImpl
{
    MediaTrackWidget *owner = nullptr;
    MediaTrackWidget *buddy = nullptr;
    QTime duration;
    int frameCount = 0;
    double fps = 0.0;
    QPoint dragStart;
    QVector<AbstractThumbnail *> thumbnails;
    int spaceFactor = 1;
    bool dragPending = false;

    int span() const { return owner->width() / qMax(1, spaceFactor); }

    void arm(const QPoint &start)
    {
        dragStart = start;
        dragPending = true;
    }
};

MediaTrackWidget::MediaTrackWidget(QWidget *parent)
    : QWidget(parent), d(std::make_unique<MediaTrackWidgetImpl>())
{
    d->owner = this;
    setAcceptDrops(true);
}

MediaTrackWidget::~MediaTrackWidget()
{
    if (d->buddy && d->buddy->d->buddy == this)
        d->buddy->d->buddy = nullptr;
}

QSize MediaTrackWidget::sizeHint() const { return QSize(50, 35); }

int MediaTrackWidget::getFrameCount() const { return d->frameCount; }
double MediaTrackWidget::getFps() const { return d->fps; }
int MediaTrackWidget::getSpaceFactor() const { return d->spaceFactor; }
MediaTrackWidget *MediaTrackWidget::getBuddy() const { return d->buddy; }
QVector<AbstractThumbnail *> MediaTrackWidget::getThumbnails() const { return d->thumbnails; }
bool MediaTrackWidget::isDragPending() const { return d->dragPending; }

AbstractThumbnail *MediaTrackWidget::addThumbnail(AbstractThumbnail *thumbnail)
{
    if (!thumbnail)
        return nullptr;
    if (!d->thumbnails.contains(thumbnail))
        d->thumbnails.append(thumbnail);
    thumbnail->setParent(this);
    thumbnail->resize(thumbnail->width(), height() - 2);
    thumbnail->move(thumbnail->x(), 1);
    thumbnail->show();
    connect(thumbnail, &AbstractThumbnail::clicked, this, &MediaTrackWidget::onThumbnailClicked,
            Qt::UniqueConnection);
    updateThumbnails();
    return thumbnail;
}

int MediaTrackWidget::positionFromValue(int value) const
{
    const int span = d->span();
    const int pos = RulerGeometry::positionFromValue(d->frameCount, value, span);
    qDebug() << "track positionFromValue. frames:" << d->frameCount << "value:" << value << "space:" << width()
             << d->spaceFactor << span << "pos:" << pos;
    return pos;
}

void MediaTrackWidget::setSpaceFactor(int factor)
{
    // The width is divided by it; the timeline only ever uses 4.
    d->spaceFactor = qMax(1, factor);
    updateThumbnails();
}

void MediaTrackWidget::setDuration(QTime time, double fps)
{
    d->duration = time;
    if (!std::isfinite(fps) || fps < 0.0)
        fps = 0.0;
    const qint64 msecs = time.isValid() ? QTime(0, 0).msecsTo(time) : 0;
    const double frames = std::trunc(double(msecs) * fps / 1000.0);
    d->frameCount = int(qBound(0.0, frames, double(INT_MAX)));
    d->fps = fps;
    updateThumbnails();
}

void MediaTrackWidget::clearThumbnails()
{
    const QVector<AbstractThumbnail *> thumbnails = d->thumbnails;
    d->thumbnails.clear();
    qDeleteAll(thumbnails);
}

void MediaTrackWidget::removeThumbnail(AbstractThumbnail *thumbnail)
{
    const int index = d->thumbnails.indexOf(thumbnail);
    if (index < 0)
        return;
    d->thumbnails.removeAt(index);
    delete thumbnail;
}

void MediaTrackWidget::updateThumbnails()
{
    if (d->fps == 0.0 || d->frameCount == 0)
        return;
    // One thumbnail per start frame: a later one replaces an earlier one.
    QMap<int, AbstractThumbnail *> byStart;
    for (AbstractThumbnail *thumbnail : d->thumbnails)
        byStart.insert(thumbnail->getPosition(), thumbnail);
    if (byStart.isEmpty())
        return;
    int x = positionFromValue(byStart.firstKey());
    for (AbstractThumbnail *thumbnail : byStart) {
        const int w = positionFromValue(thumbnail->getDuration());
        qDebug() << "updating thumbnail:" << x << w;
        thumbnail->move(x, thumbnail->y());
        thumbnail->resize(w, thumbnail->height());
        x += w;
    }
}

void MediaTrackWidget::setBuddy(MediaTrackWidget *buddy)
{
    if (d->buddy && d->buddy->d->buddy == this)
        d->buddy->d->buddy = nullptr;
    d->buddy = buddy;
    if (buddy && buddy != this) {
        if (buddy->d->buddy && buddy->d->buddy != this)
            buddy->d->buddy->d->buddy = nullptr;
        buddy->d->buddy = this;
    }
}

void MediaTrackWidget::onThumbnailClicked(Qt::MouseButton)
{
    if (auto *thumbnail = qobject_cast<AbstractThumbnail *>(sender()))
        emit thumbnailClicked(thumbnail);
}

void MediaTrackWidget::startDrag()
{
    if (!d->dragPending)
        return;
    d->dragPending = false;
    if (d->buddy)
        d->buddy->d->dragPending = false;
    auto *mime = new QMimeData;
    mime->setData(kDragFormat, QByteArray());
    QDrag *drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction);
}

void MediaTrackWidget::mousePressEvent(QMouseEvent *event)
{
    event->ignore();
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint start = event->position().toPoint();
    d->arm(start);
    if (d->buddy)
        d->buddy->d->arm(start);
    QTimer::singleShot(QApplication::doubleClickInterval(), this, &MediaTrackWidget::startDrag);
}

void MediaTrackWidget::mouseReleaseEvent(QMouseEvent *event)
{
    event->ignore();
    d->dragPending = false;
    if (d->buddy)
        d->buddy->d->dragPending = false;
}

void MediaTrackWidget::mouseMoveEvent(QMouseEvent *event)
{
    event->ignore();
    startDrag();
}

void MediaTrackWidget::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void MediaTrackWidget::resizeEvent(QResizeEvent *event)
{
    qDebug() << "media track resize" << event->size() << event->oldSize();
    QWidget::resizeEvent(event);
    updateThumbnails();
}

void MediaTrackWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData() && event->mimeData()->hasFormat(kDragFormat))
        event->acceptProposedAction();
}

void MediaTrackWidget::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData() && event->mimeData()->hasFormat(kDragFormat))
        event->acceptProposedAction();
    emit dragged(event->position().toPoint().x() - d->dragStart.x());
}

} // namespace TW
