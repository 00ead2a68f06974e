#pragma once

#include <QTime>
#include <QWidget>

#include <memory>

namespace TW {

class AbstractThumbnail;

// A track row of the timeline (video or audio): a gapless strip of
// thumbnails, one per stretch of the track, placed by frame over the row's
// width divided by the space factor. A left press armed in either of two
// buddy rows and then moved (or held for the double-click interval) starts a
// drag whose distance the row reports, so that the timeline scrolls.
class MediaTrackWidget : public QWidget
{
    Q_OBJECT

public:
    explicit MediaTrackWidget(QWidget *parent);
    ~MediaTrackWidget() override;

    QSize sizeHint() const override;

    // Adopts the thumbnail (the row owns it from now on) and returns it.
    AbstractThumbnail *addThumbnail(AbstractThumbnail *thumbnail);
    // The x of a frame number in this row.
    int positionFromValue(int value) const;

    int getFrameCount() const;
    double getFps() const;
    int getSpaceFactor() const;
    MediaTrackWidget *getBuddy() const;
    QVector<AbstractThumbnail *> getThumbnails() const;
    bool isDragPending() const;

public slots:
    void setSpaceFactor(int factor);
    void setDuration(QTime time, double fps);
    void clearThumbnails();
    void removeThumbnail(TW::AbstractThumbnail *thumbnail);
    void updateThumbnails();
    void setBuddy(TW::MediaTrackWidget *buddy);

signals:
    void dragged(int distance);
    void thumbnailClicked(TW::AbstractThumbnail *thumb);

private slots:
    void onThumbnailClicked(Qt::MouseButton button);
    void startDrag();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;

private:
    struct MediaTrackWidgetImpl;
    std::unique_ptr<MediaTrackWidgetImpl> d;
};

} // namespace TW
