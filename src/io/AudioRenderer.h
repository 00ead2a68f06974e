#pragma once

#include "core/Util.h"

#include <QImage>
#include <QObject>
#include <QPair>
#include <QVector>

#include <memory>

class QFile;
class QReadWriteLock;

namespace TW {

// Turns a file of raw 16-bit samples into a waveform image: a one-bit
// picture of at most 32000 columns, one centred white line per column whose
// length follows the RMS level of the samples under it. The file is cut into
// one chunk per hardware thread; PeakCalc jobs compute the levels of each
// chunk and AudioWavePainter jobs paint them on the renderer's own pool, and
// the chunk images are joined side by side. render() blocks its caller until
// both phases are done. Made for one render at a time.
class AudioRenderer : public QObject
{
    Q_OBJECT

public:
    // How a sample file is cut up.
    struct Layout
    {
        int chunkCount = 0;
        qint64 sampleCount = 0;
        int imageWidth = 0;
        int columnsPerChunk = 0;
        int samplesPerColumn = 0; // always even, at least 2
    };

    // The nominal column count of every waveform image.
    static constexpr int NominalWidth = 32000;

    explicit AudioRenderer(QObject *parent = nullptr);
    ~AudioRenderer() override;

    // The waveform of the open sample file, or a null image when the file or
    // the lock is missing, the file is not open or empty, or width or height
    // is not positive. The width only has to be positive: the image is as
    // wide as the file's columns (at most NominalWidth). Every read of the
    // file is made under the lock held for writing.
    QImage render(QFile *file, QReadWriteLock *lock, int width, int height);

    // Jobs run at a time; 0 (the default) means the ideal thread count.
    void setThreadCount(int threads);
    int threadCount() const;

    // The layout of a file of that many bytes cut for that many threads.
    static Layout layout(qint64 fileBytes, int threads);
    // The byte ranges [first, end) of the chunks of that layout: every chunk
    // but the last spans a whole chunk's columns (past the end of the file
    // if need be); the last runs to the end of the file and is left out
    // when nothing is left for it.
    static QVector<QPair<qint64, qint64>> chunkRanges(const Layout &layout, qint64 fileBytes);

public slots:
    void rmsCalculated(const RmsSet &rms);
    void imageRendered(const QImage &image);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
