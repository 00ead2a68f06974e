#include "io/AudioRenderer.h"

#include "core/ProgressMonitor.h"
#include "core/Singleton.h"
#include "io/AudioWavePainter.h"
#include "io/PeakCalc.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QReadWriteLock>
#include <QThread>
#include <QThreadPool>

namespace TW {

struct AudioRenderer::Impl
{
    QFile *file = nullptr;
    QReadWriteLock *lock = nullptr;
    QVector<RmsSet> results;
    QVector<QImage> images;
    QHash<QObject *, int> calcJobs;
    QHash<QObject *, int> paintJobs;
    QThreadPool pool;
    int requestedThreads = 0;
    int maxValue = 0;
    Layout layout;

    // Only between renders or after the pool is done: a job whose result
    // never arrived is deleted here.
    void clear()
    {
        results.clear();
        images.clear();
        qDeleteAll(calcJobs.keys());
        qDeleteAll(paintJobs.keys());
        calcJobs.clear();
        paintJobs.clear();
        maxValue = 0;
    }

    int threads() const
    {
        if (requestedThreads > 0)
            return requestedThreads;
        const int ideal = QThread::idealThreadCount();
        return ideal > 0 ? ideal : 1;
    }
};

namespace {

// Delivers the results the jobs posted to the renderer, and lets the
// window repaint meanwhile (user input stays queued).
void collectResults(QObject *receiver)
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QCoreApplication::sendPostedEvents(receiver, QEvent::MetaCall);
}

// Draws a chunk image into the joined one at column x. One-bit chunks of
// the same colours are merged bit by bit (their rows are zero past their
// width), anything else is painted.
void placeImage(QImage &joined, const QImage &image, int x)
{
    if (image.format() != QImage::Format_Mono || joined.format() != QImage::Format_Mono
        || image.colorTable() != joined.colorTable() || image.height() != joined.height()) {
        QPainter painter(&joined);
        painter.drawImage(x, 0, image);
        return;
    }
    const int shift = x & 7;
    const int firstByte = x >> 3;
    const int sourceBytes = (image.width() + 7) / 8;
    const int rowBytes = int(joined.bytesPerLine());
    for (int y = 0; y < image.height(); ++y) {
        const uchar *from = image.constScanLine(y);
        uchar *to = joined.scanLine(y) + firstByte;
        for (int i = 0; i < sourceBytes; ++i) {
            to[i] |= uchar(from[i] >> shift);
            if (shift && firstByte + i + 1 < rowBytes)
                to[i + 1] |= uchar(from[i] << (8 - shift));
        }
    }
}

} // namespace

AudioRenderer::AudioRenderer(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Impl>())
{
    qRegisterMetaType<RmsSet>("RmsSet");
}

AudioRenderer::~AudioRenderer()
{
    d->pool.waitForDone();
    d->clear();
}

void AudioRenderer::setThreadCount(int threads)
{
    d->requestedThreads = qMax(0, threads);
}

int AudioRenderer::threadCount() const
{
    return d->threads();
}

AudioRenderer::Layout AudioRenderer::layout(qint64 fileBytes, int threads)
{
    Layout l;
    l.chunkCount = qMax(1, threads);
    l.sampleCount = qMax<qint64>(0, fileBytes) / 2;
    l.imageWidth = NominalWidth;
    l.columnsPerChunk = l.imageWidth / l.chunkCount;
    // Exact ceiling in integers: enough columns of samples to cover the file
    // in at most imageWidth columns. Even, so a column never splits a stereo
    // frame; at least 2.
    qint64 perColumn = (l.sampleCount + l.imageWidth - 1) / l.imageWidth;
    if (perColumn % 2)
        ++perColumn;
    l.samplesPerColumn = int(qMax<qint64>(2, perColumn));
    return l;
}

QVector<QPair<qint64, qint64>> AudioRenderer::chunkRanges(const Layout &layout, qint64 fileBytes)
{
    QVector<QPair<qint64, qint64>> ranges;
    const qint64 chunkBytes = qint64(layout.columnsPerChunk) * layout.samplesPerColumn * 2;
    qint64 start = 0;
    for (int i = 0; i < layout.chunkCount - 1; ++i) {
        ranges.append(qMakePair(start, start + chunkBytes));
        start += chunkBytes;
    }
    if (fileBytes > start)
        ranges.append(qMakePair(start, fileBytes));
    return ranges;
}

QImage AudioRenderer::render(QFile *file, QReadWriteLock *lock, int width, int height)
{
    qDebug() << "Rendering file" << (file ? file->fileName() : QString())
             << "; width:" << width << "height:" << height;

    if (!file || !lock || width <= 0 || height <= 0 || !file->isOpen() || file->size() <= 0)
        return QImage();

    d->clear();
    d->file = file;
    d->lock = lock;

    const qint64 fileBytes = file->size();
    d->pool.setMaxThreadCount(d->threads());
    d->layout = layout(fileBytes, d->pool.maxThreadCount());

    ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
    if (progress)
        progress->updateProgress(0, 2 * d->layout.imageWidth, 0);

    // Levels of every chunk.
    const int bytesPerColumn = d->layout.samplesPerColumn * 2;
    const auto ranges = chunkRanges(d->layout, fileBytes);
    for (const auto &range : ranges) {
        auto *job = new PeakCalc(file, lock, range.first, range.second, bytesPerColumn);
        job->setAutoDelete(false);
        d->calcJobs.insert(job, d->results.size());
        d->results.append(RmsSet());
        connect(job, &PeakCalc::finished, this, &AudioRenderer::rmsCalculated, Qt::QueuedConnection);
        d->pool.start(job);
    }
    d->pool.waitForDone();
    collectResults(this);
    for (const RmsSet &rms : std::as_const(d->results))
        d->maxValue = qMax(d->maxValue, rms.first);

    // Painting every chunk against the file's largest level.
    for (const RmsSet &rms : std::as_const(d->results)) {
        auto *job = new AudioWavePainter(rms.second, d->maxValue, height);
        job->setAutoDelete(false);
        d->paintJobs.insert(job, d->images.size());
        d->images.append(QImage());
        connect(job, &AudioWavePainter::finished, this, &AudioRenderer::imageRendered,
                Qt::QueuedConnection);
        d->pool.start(job);
    }
    d->pool.waitForDone();
    collectResults(this);

    // Joining the chunks side by side.
    int totalWidth = 0;
    const QImage *first = nullptr;
    for (const QImage &image : std::as_const(d->images)) {
        if (image.isNull())
            continue;
        if (!first)
            first = &image;
        totalWidth += image.width();
    }
    QImage joined;
    if (first && totalWidth > 0) {
        joined = QImage(totalWidth, first->height(), first->format());
        joined.setColorTable(first->colorTable());
        joined.fill(0u);
        int x = 0;
        for (const QImage &image : std::as_const(d->images)) {
            if (image.isNull())
                continue;
            placeImage(joined, image, x);
            x += image.width();
        }
    }

    d->clear();
    d->file = nullptr;
    d->lock = nullptr;
    return joined;
}

void AudioRenderer::rmsCalculated(const RmsSet &rms)
{
    QObject *job = sender();
    const auto it = d->calcJobs.find(job);
    if (it == d->calcJobs.end())
        return;
    const int index = it.value();
    d->calcJobs.erase(it);
    if (index >= 0 && index < d->results.size())
        d->results[index] = rms;
    delete job;
}

void AudioRenderer::imageRendered(const QImage &image)
{
    QObject *job = sender();
    const auto it = d->paintJobs.find(job);
    if (it == d->paintJobs.end())
        return;
    const int index = it.value();
    d->paintJobs.erase(it);
    if (index >= 0 && index < d->images.size())
        d->images[index] = image;
    delete job;
}

} // namespace TW
