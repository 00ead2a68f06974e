#pragma once

#include "ui/AbstractThumbnail.h"

#include <QImage>

#include <memory>

namespace TW {

// The audio row's thumbnail: a slice of the waveform picture, stretched over
// the thumbnail less a 1-pixel margin.
class AudioThumbnailWidget : public AbstractThumbnail
{
    Q_OBJECT

public:
    AudioThumbnailWidget(int start, int length, QImage wave);
    ~AudioThumbnailWidget() override;

    // The picture shown (null before one was given).
    QPixmap getPixmap() const;

public slots:
    void setAudioWave(QImage wave);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    struct AudioThumbnailWidgetImpl;
    std::unique_ptr<AudioThumbnailWidgetImpl> d;
};

} // namespace TW
