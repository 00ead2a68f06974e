#pragma once

#include <QPoint>
#include <QWidget>

#include <memory>

class QScrollArea;

namespace TW {

class TimelineViewportWidget;

// The timeline strip of the main window: the zoomable viewport in a scroll
// area without scroll bars, with a column of header images and, per track,
// a playable switch and a lock button on its left. It reports the user's
// flag changes, scrolls when a track row is dragged and keeps the point under
// the pointer in place while the ruler zooms.
class TimelineWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TimelineWidget(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~TimelineWidget() override;

    QSize sizeHint() const override;

    TimelineViewportWidget *getViewport() const;
    QScrollArea *getScrollArea() const;

    bool isVideoPlayable() const;
    bool isAudioPlayable() const;
    bool isVideoLocked() const;
    bool isAudioLocked() const;

public slots:
    void setVideoLocked(bool locked);
    void setAudioLocked(bool locked);
    void setVideoPlayable(bool playable);
    void setAudioPlayable(bool playable);
    void onVideoLockClicked();
    void onAudioLockClicked();
    void onVideoPlayableClicked();
    void onAudioPlayableClicked();
    void onViewportDragged(int distance);
    void onZoomStarted(const QPoint globalPos);
    void onZoomUpdated();
    void onSliderMoved(int frame);

signals:
    void videoPlayableChanged(bool playable);
    void audioPlayableChanged(bool playable);
    void videoLockChanged(bool locked);
    void audioLockChanged(bool locked);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct TimelineWidgetImpl;
    std::unique_ptr<TimelineWidgetImpl> d;
};

} // namespace TW
