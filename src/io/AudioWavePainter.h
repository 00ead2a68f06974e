#pragma once

#include <QImage>
#include <QObject>
#include <QRunnable>
#include <QVector>

#include <memory>

namespace TW {

// Paints one chunk of a waveform on a pool thread: a one-bit image as wide
// as the chunk's level values and as high as asked, black, with one white
// vertical line per column, centred, whose length is the column's level
// scaled against the whole file's largest level.
class AudioWavePainter : public QObject, public QRunnable
{
    Q_OBJECT

public:
    AudioWavePainter(const QVector<qint16> &values, int maxValue, int height);
    ~AudioWavePainter() override;

    void run() override;

    // The chunk image, made on the calling thread (run() does this and
    // emits it).
    QImage paint() const;

signals:
    void finished(const QImage &image);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
