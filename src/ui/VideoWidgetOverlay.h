#pragma once

#include <QWidget>
#include <memory>

namespace TW {

// A frameless, translucent window above everything that shows the video
// view's rubber band as a green frame.
class VideoWidgetOverlay : public QWidget
{
    Q_OBJECT
public:
    explicit VideoWidgetOverlay(QWidget *parent = nullptr);
    ~VideoWidgetOverlay() override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct VideoWidgetOverlayImpl;
    std::unique_ptr<VideoWidgetOverlayImpl> d;
};

} // namespace TW
