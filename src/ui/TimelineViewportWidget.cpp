#include "ui/TimelineViewportWidget.h"

#include "ui/MediaTrackWidget.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TimelineViewportOverlay.h"

#include <QDebug>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>
#include <QStyleOption>

#include <cmath>

namespace TW {

namespace {
const int kLeftOffset = 60;
const int kSpaceFactor = 4;

int clampWidth(double width)
{
    if (!std::isfinite(width))
        return 1;
    return int(qBound(1.0, std::trunc(width), double(QWIDGETSIZE_MAX)));
}
} // namespace

struct TimelineViewportWidget::TimelineViewportWidgetImpl
{
    explicit TimelineViewportWidgetImpl(TimelineViewportWidget *owner)
        : owner(owner)
    {
        ruler = new TimeAreaWidget(owner, kLeftOffset);
        videoRow = new MediaTrackWidget(owner);
        audioRow = new MediaTrackWidget(owner);
        marginLabel = new QLabel(owner);
        marginLabel->setStyleSheet(QStringLiteral("background-color: rgb(70, 70, 70);"));
        marginLabel->setFixedWidth(kLeftOffset);
        // Made last, so that it stacks above the others.
        overlay = new TimelineViewportOverlay(owner, ruler);

        ruler->setSpaceFactor(kSpaceFactor);
        videoRow->setSpaceFactor(kSpaceFactor);
        audioRow->setSpaceFactor(kSpaceFactor);
        videoRow->setBuddy(audioRow);
    }

    int parentWidth() const
    {
        return owner->parentWidget() ? owner->parentWidget()->width() : owner->width();
    }

    void updateLayout()
    {
        const int rulerHeight = ruler->sizeHint().height();
        ruler->setGeometry(0, 0, owner->width(), rulerHeight);
        marginLabel->setGeometry(0, rulerHeight, kLeftOffset, qMax(0, owner->height() - rulerHeight));
        const int videoHeight = videoRow->sizeHint().height();
        videoRow->setGeometry(kLeftOffset, rulerHeight, owner->width(), videoHeight);
        audioRow->setGeometry(kLeftOffset, rulerHeight + videoHeight, owner->width(),
                              audioRow->sizeHint().height());
    }

    TimelineViewportWidget *owner;
    TimeAreaWidget *ruler = nullptr;
    MediaTrackWidget *videoRow = nullptr;
    MediaTrackWidget *audioRow = nullptr;
    TimelineViewportOverlay *overlay = nullptr;
    QSize dragStartSize{-1, -1};
    QLabel *marginLabel = nullptr;
};

TimelineViewportWidget::TimelineViewportWidget(QWidget *parent)
    : QWidget(parent), d(std::make_unique<TimelineViewportWidgetImpl>(this))
{
    connect(d->ruler, &TimeAreaWidget::dragged, this, &TimelineViewportWidget::onTimeSliderDragged);
    connect(d->ruler, &TimeAreaWidget::selectionChanged, d->overlay, &TimelineViewportOverlay::onSelectionChanged);
    connect(d->ruler, &TimeAreaWidget::loopMoved, d->overlay, qOverload<>(&QWidget::update));
    connect(d->ruler, &TimeAreaWidget::dragStarted, this, &TimelineViewportWidget::onDragStarted);
    connect(d->ruler, &TimeAreaWidget::dragMoved, this, &TimelineViewportWidget::onDragMoved);
    connect(d->ruler, &TimeAreaWidget::sliderPressed, d->overlay, &TimelineViewportOverlay::onPosIndicatorPressed);
    connect(d->ruler, &TimeAreaWidget::sliderReleased, d->overlay, &TimelineViewportOverlay::onPosIndicatorReleased);
    connect(d->ruler, &TimeAreaWidget::frameChanged, d->overlay, &TimelineViewportOverlay::onFrameChanged);
    d->updateLayout();
}

TimelineViewportWidget::~TimelineViewportWidget() = default;

QSize TimelineViewportWidget::sizeHint() const
{
    return QSize(QWidget::sizeHint().width(), d->ruler->sizeHint().height() + d->videoRow->sizeHint().height()
                                                  + d->audioRow->sizeHint().height());
}

TimeAreaWidget *TimelineViewportWidget::getTimeline() const { return d->ruler; }
MediaTrackWidget *TimelineViewportWidget::getVideoTrack() const { return d->videoRow; }
MediaTrackWidget *TimelineViewportWidget::getAudioTrack() const { return d->audioRow; }
TimelineViewportOverlay *TimelineViewportWidget::getOverlay() const { return d->overlay; }

float TimelineViewportWidget::getZoom() const
{
    const int maxWidth = maximumWidth();
    if (maxWidth <= 0)
        return 0.0f;
    return float(double(width()) / double(maxWidth) * 100.0);
}

int TimelineViewportWidget::maximumWidthFor(QTime duration, int visibleWidth)
{
    const qint64 msecs = duration.isValid() ? QTime(0, 0).msecsTo(duration) : 0;
    // Media under one second still gets the zoom range of one second.
    const qint64 seconds = qMax<qint64>(1, msecs / 1000);
    const qint64 width = qint64(qMax(0, visibleWidth)) * seconds * kSpaceFactor;
    return int(qBound(qint64(1), width, qint64(QWIDGETSIZE_MAX)));
}

void TimelineViewportWidget::setDuration(QTime time, qreal fps)
{
    d->ruler->setDuration(time, fps);
    d->videoRow->setDuration(time, fps);
    d->audioRow->setDuration(time, fps);
    // Without a visible width yet there is nothing to scale the zoom by.
    if (d->ruler->getFrameCount() != 0 && d->parentWidth() > 0)
        setMaximumWidth(maximumWidthFor(time, d->parentWidth()));
    if (width() < 1)
        resize(d->parentWidth() / kSpaceFactor, height());
    update();
}

void TimelineViewportWidget::resetZoom()
{
    resize(1, height());
    // The ruler's span (a quarter of the width less the left offset) then
    // equals the visible width less the offset: the whole media fits.
    resize(clampWidth(double(d->parentWidth()) * kSpaceFactor - kSpaceFactor * kLeftOffset), height());
    emit zoomChanged(getZoom());
}

void TimelineViewportWidget::setZoom(float value)
{
    const double target = double(maximumWidth()) * double(value) / 100.0;
    qDebug() << "TimelineViewportWidget::setZoom" << value << target;
    resize(clampWidth(target), height());
}

void TimelineViewportWidget::onDragStarted(const QPoint globalMousePos, const QPoint)
{
    d->dragStartSize = size();
    emit zoomStarted(globalMousePos);
}

void TimelineViewportWidget::onDragMoved(const QPoint globalStartPos, const QPoint, const QPoint globalCurPos)
{
    const int distance = globalCurPos.x() - globalStartPos.x();
    const int visible = d->parentWidth();
    if (distance == 0 || visible <= 0)
        return;
    const int startWidth = d->dragStartSize.width() >= 0 ? d->dragStartSize.width() : width();
    const double ratio = std::abs(double(distance)) / double(visible);
    const double sign = distance > 0 ? 1.0 : -1.0;
    resize(clampWidth(sign * double(maximumWidth()) * ratio + startWidth), height());
    emit zoomUpdated();
}

void TimelineViewportWidget::onTimeSliderDragged(int, int) {}

void TimelineViewportWidget::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void TimelineViewportWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int visible = d->parentWidth();
    // Never narrower than the visible area.
    if (parentWidget() && visible > width())
        resize(visible, height());
    d->updateLayout();
    d->overlay->setGeometry(0, 0, width(), height());
    d->overlay->raise();
}

} // namespace TW
