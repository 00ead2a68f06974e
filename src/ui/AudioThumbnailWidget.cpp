#include "ui/AudioThumbnailWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>

namespace TW {

struct AudioThumbnailWidget::AudioThumbnailWidgetImpl
{
    AudioThumbnailWidget *owner = nullptr;
    QLabel *label = nullptr;
    QPixmap pixmap;
};

AudioThumbnailWidget::AudioThumbnailWidget(int start, int length, QImage wave)
    : AbstractThumbnail(start, length), d(std::make_unique<AudioThumbnailWidgetImpl>())
{
    d->owner = this;
    d->label = new QLabel(this);
    d->label->setScaledContents(true);
    d->label->setMinimumSize(1, 1);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(d->label);
    setAudioWave(wave);
}

AudioThumbnailWidget::~AudioThumbnailWidget() = default;

QPixmap AudioThumbnailWidget::getPixmap() const { return d->pixmap; }

void AudioThumbnailWidget::setAudioWave(QImage wave)
{
    d->pixmap = QPixmap::fromImage(wave);
    d->label->setPixmap(d->pixmap);
}

void AudioThumbnailWidget::resizeEvent(QResizeEvent *event)
{
    AbstractThumbnail::resizeEvent(event);
}

} // namespace TW
