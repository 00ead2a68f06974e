#pragma once

#include <QPixmap>
#include <QRectF>
#include <QScrollArea>
#include <memory>

namespace TW {

// The black surface the player draws the video on. Quick left and right
// clicks ask to zoom in and out, a left drag frames an area to zoom to and a
// right drag pans; the requests leave as signals.
class VideoWidget : public QScrollArea
{
    Q_OBJECT
public:
    explicit VideoWidget(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~VideoWidget() override;

    QWidget *getRenderingWidget() const;
    QPixmap getViewportContents() const;
    // The rubber-band window (shown only while a left drag runs).
    QWidget *getOverlay() const;

signals:
    void zoomIn();
    void zoomOut();
    void zoom(QRectF area);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct VideoWidgetImpl;
    std::unique_ptr<VideoWidgetImpl> d;
};

} // namespace TW
