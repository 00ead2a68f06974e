#pragma once

#include <QTime>
#include <QWidget>
#include <memory>

class QLabel;
class QSlider;
class QAbstractButton;
class QFrame;

namespace TW {

// The transport bar under the video: play, pause and stop, the zoom slider,
// eight step buttons and the read-out of position and duration.
class VideoControlsWidget : public QWidget
{
    Q_OBJECT
public:
    explicit VideoControlsWidget(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~VideoControlsWidget() override;

    QSlider *zoomSlider() const;
    QLabel *currentTimeLabel() const;
    QLabel *durationLabel() const;
    QAbstractButton *button(const QString &objectName) const;

public slots:
    void setZoom(int value);
    void setDuration(QTime dur, double fps);
    void setCurrentTime(QTime time);
    void setCurrentFrame(int frame);

signals:
    void zoomChanged(int value);
    void advanceByOneSec();
    void advanceByTenthSec();
    void advanceByQuarterSec();
    void advanceByFrame();
    void rewindByOneSec();
    void rewindByTenthSec();
    void rewindByQuarterSec();
    void rewindByFrame();
    void stopVideo();
    void playVideo();
    void pauseVideo();

private:
    QFrame *buildFrame();
    QFrame *buildTransportButtons(QFrame *frame);
    QFrame *buildZoomSlider(QFrame *frame);
    QFrame *buildStepButtons(QFrame *frame);
    QFrame *buildReadout(QFrame *frame);

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
