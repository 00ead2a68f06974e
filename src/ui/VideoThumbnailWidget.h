#pragma once

#include "ui/AbstractThumbnail.h"

#include <QImage>
#include <QString>

#include <memory>

namespace TW {

// The video row's thumbnail: a frame picture fitted into 50 x 50 pixels and
// a name beside it.
class VideoThumbnailWidget : public AbstractThumbnail
{
    Q_OBJECT

public:
    VideoThumbnailWidget(int start, int length, QString name, QImage image);
    ~VideoThumbnailWidget() override;

    QString getName() const;
    // The picture shown (null for a null image).
    QPixmap getPixmap() const;

public slots:
    void setName(QString name);
    void setImage(QImage image);

private:
    struct VideoThumbnailWidgetImpl;
    std::unique_ptr<VideoThumbnailWidgetImpl> d;
};

} // namespace TW
