#include "ui/VideoThumbnailWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace TW {

namespace {
const int kPictureSide = 50;
}

struct VideoThumbnailWidget::VideoThumbnailWidgetImpl
{
    VideoThumbnailWidget *owner = nullptr;
    QPixmap picture;
    QString name;
    QLabel *pictureLabel = nullptr;
    QLabel *nameLabel = nullptr;
};

VideoThumbnailWidget::VideoThumbnailWidget(int start, int length, QString name, QImage image)
    : AbstractThumbnail(start, length), d(std::make_unique<VideoThumbnailWidgetImpl>())
{
    d->owner = this;
    d->pictureLabel = new QLabel(this);
    d->pictureLabel->setScaledContents(true);
    d->pictureLabel->setMinimumWidth(kPictureSide);
    d->nameLabel = new QLabel(this);
    d->nameLabel->setStyleSheet(QStringLiteral("color: white;"));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto *column = new QVBoxLayout;
    column->setContentsMargins(1, 1, 1, 1);
    column->setSpacing(0);
    column->addStretch();
    column->addWidget(d->pictureLabel);
    column->addStretch();
    row->addLayout(column);
    row->addWidget(d->nameLabel);
    row->addStretch();
    // The row may make the thumbnail as narrow as its length requires; the
    // layout must not raise the minimum size to the picture's width.
    row->setSizeConstraint(QLayout::SetNoConstraint);
    setMinimumSize(0, 0);

    setName(name);
    setImage(image);
}

VideoThumbnailWidget::~VideoThumbnailWidget() = default;

QString VideoThumbnailWidget::getName() const { return d->name; }
QPixmap VideoThumbnailWidget::getPixmap() const { return d->picture; }

void VideoThumbnailWidget::setName(QString name)
{
    d->name = name;
    d->nameLabel->setText(name);
}

void VideoThumbnailWidget::setImage(QImage image)
{
    if (image.isNull()) {
        d->picture = QPixmap();
    } else {
        d->picture = QPixmap::fromImage(
            image.scaled(kPictureSide, kPictureSide, Qt::KeepAspectRatio, Qt::FastTransformation));
    }
    d->pictureLabel->setPixmap(d->picture);
}

} // namespace TW
