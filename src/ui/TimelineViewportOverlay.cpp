#include "ui/TimelineViewportOverlay.h"

#include "ui/TimeAreaWidget.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QSet>

namespace TW {

struct TimelineViewportOverlay::TimelineViewportOverlayImpl
{
    TimelineViewportOverlay *owner = nullptr;
    QPointer<TimeAreaWidget> ruler;
    QRect selectionRect;
    QVector<VideoLoopPtr> loops;
    QSet<const VideoLoop *> shown; // the loops above, for a constant-time check
    PairInt selection{-1, -1};
    bool indicatorPressed = false;

    QRect computeSelectionRect() const
    {
        if (!ruler || selection.first == -1 || selection.second == -1)
            return QRect();
        const QPair<QRect, QRect> handles = ruler->getSelectHandlesGeom();
        const QRect start = handles.first;
        const QRect end = handles.second;
        return QRect(QPoint(start.right() + 1, start.bottom() + 3), QPoint(end.left() - 1, owner->height() - 1))
            .normalized();
    }

    // Only the bands that reach into the area are painted; each band's
    // handles are looked up at once, so painting is linear in the loops.
    // Loops over the same frames share one band.
    void paintLoops(QPainter &painter, const QRect &area) const
    {
        const QBrush brush(QColor::fromRgba(0x50FFFFFF));
        QSet<QPair<int, int>> painted;
        for (const VideoLoopPtr &loop : loops) {
            const QList<QRect> handles = ruler->getLoopHandlesGeom(loop);
            if (handles.size() < 2)
                continue;
            const QRect &a = handles.at(0);
            const QRect &b = handles.at(1);
            const QRect &left = a.left() <= b.left() ? a : b;
            const QRect &right = a.left() <= b.left() ? b : a;
            // The handles stand centred on their frames' x.
            const int leftX = left.left() + left.width() / 2;
            const int rightX = right.left() + right.width() / 2;
            QRect band = QRect(QPoint(leftX, left.bottom()), QPoint(rightX - 1, owner->height() - 1))
                             .normalized()
                             .translated(0, 1);
            if (!band.adjusted(0, 0, 1, 1).intersects(area))
                continue;
            const QPair<int, int> span(band.left(), band.right());
            if (painted.contains(span))
                continue;
            painted.insert(span);
            painter.fillRect(band, brush);
            painter.setPen(Qt::green);
            painter.drawLine(band.left(), band.top(), band.left(), band.bottom() + 1);
            painter.setPen(Qt::red);
            painter.drawLine(band.right() + 1, band.top(), band.right() + 1, band.bottom() + 1);
        }
    }
};

TimelineViewportOverlay::TimelineViewportOverlay(QWidget *parent, TimeAreaWidget *ruler)
    : QWidget(parent), d(std::make_unique<TimelineViewportOverlayImpl>())
{
    d->owner = this;
    d->ruler = ruler;
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setPalette(QPalette(QColor(Qt::transparent)));
}

TimelineViewportOverlay::~TimelineViewportOverlay() = default;

QVector<VideoLoopPtr> TimelineViewportOverlay::getLoops() const { return d->loops; }
PairInt TimelineViewportOverlay::getSelection() const { return d->selection; }
bool TimelineViewportOverlay::isPosIndicatorPressed() const { return d->indicatorPressed; }
QRect TimelineViewportOverlay::getSelectionRect() const { return d->selectionRect; }

void TimelineViewportOverlay::addLoop(VideoLoopPtr loop)
{
    if (!loop || d->shown.contains(loop.data()))
        return;
    d->shown.insert(loop.data());
    d->loops.append(loop);
    update();
}

void TimelineViewportOverlay::removeLoop(VideoLoopPtr loop)
{
    if (!loop || !d->shown.remove(loop.data()))
        return;
    d->loops.removeOne(loop);
    update();
}

void TimelineViewportOverlay::clearLoops()
{
    d->loops.clear();
    d->shown.clear();
    update();
}

void TimelineViewportOverlay::onSelectionChanged(PairInt selection)
{
    d->selection = selection;
    update();
}

void TimelineViewportOverlay::onPosIndicatorPressed()
{
    d->indicatorPressed = true;
    update();
}

void TimelineViewportOverlay::onPosIndicatorReleased()
{
    d->indicatorPressed = false;
    update();
}

void TimelineViewportOverlay::onFrameChanged(int)
{
    update();
}

void TimelineViewportOverlay::paintEvent(QPaintEvent *event)
{
    if (!d->ruler)
        return;
    QPainter painter(this);
    d->selectionRect = d->computeSelectionRect();
    d->paintLoops(painter, event->rect());

    const QRect &sel = d->selectionRect;
    if (!sel.isNull() && sel.isValid()) {
        painter.setPen(Qt::blue);
        painter.fillRect(sel, QBrush(QColor::fromRgba(0x506464FF)));
        painter.drawLine(sel.left(), sel.top(), sel.left(), sel.bottom() + 1);
        painter.drawLine(sel.right() + 1, sel.top(), sel.right() + 1, sel.bottom() + 1);
    }

    if (d->indicatorPressed) {
        const QRect indicator = d->ruler->getPosIndicatorGeom();
        const int cx = indicator.left() + indicator.width() / 2;
        painter.setPen(Qt::white);
        painter.drawLine(cx, indicator.bottom() + 1, cx, height());
    }
}

} // namespace TW
