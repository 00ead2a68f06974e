#pragma once

#include <QPoint>
#include <QTime>
#include <QWidget>

#include <memory>

namespace TW {

class MediaTrackWidget;
class TimeAreaWidget;
class TimelineViewportOverlay;

// The zoomable content of the timeline: the time ruler above the video and
// audio track rows, a grey margin left of the rows, and the overlay on top.
// The zoom is the viewport's own width (the ruler and the rows use a quarter
// of it, from x 60 on); the timeline frame shows part of it in a scroll area.
class TimelineViewportWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TimelineViewportWidget(QWidget *parent = nullptr);
    ~TimelineViewportWidget() override;

    QSize sizeHint() const override;

    TimeAreaWidget *getTimeline() const;
    MediaTrackWidget *getVideoTrack() const;
    MediaTrackWidget *getAudioTrack() const;
    TimelineViewportOverlay *getOverlay() const;

    // Width as a percentage of the widest zoom.
    float getZoom() const;

    // The widest the viewport may grow for a duration when the visible part
    // is visibleWidth pixels wide: 4 x visibleWidth per whole second (at
    // least one second), computed in 64 bits and kept to what a widget can
    // hold.
    static int maximumWidthFor(QTime duration, int visibleWidth);

public slots:
    void setDuration(QTime time, qreal fps);
    void resetZoom();
    void setZoom(float value);
    void onDragStarted(const QPoint globalMousePos, const QPoint localMousePos);
    void onDragMoved(const QPoint globalStartPos, const QPoint globalPrevPos, const QPoint globalCurPos);
    void onTimeSliderDragged(int distance, int origin);

signals:
    void zoomChanged(float value);
    void zoomStarted(QPoint globalMousePos);
    void zoomUpdated();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct TimelineViewportWidgetImpl;
    std::unique_ptr<TimelineViewportWidgetImpl> d;
};

} // namespace TW
