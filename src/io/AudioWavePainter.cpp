#include "io/AudioWavePainter.h"

#include "core/ProgressMonitor.h"
#include "core/Singleton.h"


namespace TW {

struct AudioWavePainter::Impl
{
    QVector<qint16> values;
    int maxValue = 0;
    int height = 0;
};

AudioWavePainter::AudioWavePainter(const QVector<qint16> &values, int maxValue, int height)
    : d(std::make_unique<Impl>())
{
    d->values = values;
    d->maxValue = maxValue;
    d->height = height;
}

AudioWavePainter::~AudioWavePainter() = default;

QImage AudioWavePainter::paint() const
{
    const int width = d->values.size();
    if (width <= 0 || d->height <= 0)
        return QImage();

    QImage image(width, d->height, QImage::Format_Mono);
    if (image.isNull())
        return image;
    // Index 0 black, 1 white; filled by index (a colour fill of a one-bit
    // image picks the index by Qt's colour0/colour1 rules, not by colour).
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(0u);

    // Each column's white line runs from top to top + h, both ends
    // included and cut at the bottom edge, as a one-pixel pen draws it; the
    // bits are set directly (most significant bit first in a one-bit row).
    for (int x = 0; x < width; ++x) {
        // 64-bit product: a level of up to 32767 times a tall image must not
        // overflow before the division.
        const int h = d->maxValue > 0
            ? int(qint64(qMax<qint16>(0, d->values.at(x))) * d->height / d->maxValue)
            : 0;
        const int top = (d->height - h) / 2;
        const int bottom = qMin(top + h, d->height - 1);
        const uchar mask = uchar(0x80 >> (x & 7));
        for (int y = top; y <= bottom; ++y)
            image.scanLine(y)[x >> 3] |= mask;
    }

    ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
    // One step per column, reported once for the chunk: the monitor's lock
    // and event processing per column would cost more than the painting.
    if (progress)
        progress->updateProgress(0, 0, width);
    return image;
}

void AudioWavePainter::run()
{
    emit finished(paint());
}

} // namespace TW
