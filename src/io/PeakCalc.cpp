#include "io/PeakCalc.h"

#include "core/ProgressMonitor.h"
#include "core/Singleton.h"

#include <QFile>
#include <QReadWriteLock>

#include <limits>

namespace TW {

namespace {

// How much of its chunk a job reads at once.
constexpr qint64 PieceBytes = 4 * 1024 * 1024;

} // namespace

struct PeakCalc::Impl
{
    QFile *file = nullptr;
    QReadWriteLock *lock = nullptr;
    qint64 from = 0;
    qint64 to = 0;
    int bytesPerColumn = 0;
};

PeakCalc::PeakCalc(QFile *file, QReadWriteLock *lock, qint64 from, qint64 to, int bytesPerColumn)
    : d(std::make_unique<Impl>())
{
    d->file = file;
    d->lock = lock;
    d->from = from;
    d->to = to;
    d->bytesPerColumn = bytesPerColumn;
}

PeakCalc::~PeakCalc() = default;

RmsSet PeakCalc::calculate() const
{
    RmsSet result(0, QVector<qint16>());
    if (!d->file || !d->lock || d->bytesPerColumn <= 0 || d->from >= d->to)
        return result;

    // Each job reads its chunk through its own handle, in large pieces and
    // without the shared lock, so that the jobs do not queue for one file
    // position: the values are the same as block-by-block reads of the
    // shared file under its lock, which remain the way when the file cannot
    // be opened again by name (and for ranges that fit its int offsets).
    QFile own(d->file->fileName());
    if (d->file->fileName().isEmpty() || !own.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (d->to > std::numeric_limits<int>::max())
            return result;
        return Util::calcRMS(d->file, d->lock, d->from, d->to, d->bytesPerColumn);
    }

    const qint64 block = d->bytesPerColumn;
    const qint64 blocks = (d->to - d->from + block - 1) / block;
    const qint64 blocksPerPiece = qMax<qint64>(1, PieceBytes / block);
    result.second.reserve(int(qMin<qint64>(blocks, std::numeric_limits<int>::max())));
    QByteArray buffer(int(blocksPerPiece * block), Qt::Uninitialized);
    ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();

    for (qint64 first = 0; first < blocks; first += blocksPerPiece) {
        const qint64 count = qMin(blocksPerPiece, blocks - first);
        // A block is read whole even past the chunk's end (as the shared
        // reads do); what lies past the end of the file is simply missing.
        qint64 got = 0;
        if (own.seek(d->from + first * block)) {
            while (got < count * block) {
                const qint64 n = own.read(buffer.data() + got, count * block - got);
                if (n <= 0)
                    break;
                got += n;
            }
        }
        for (qint64 i = 0; i < count; ++i) {
            const qint64 available = qBound<qint64>(0, got - i * block, block);
            int value = 0;
            if (available >= 2)
                value = Util::calcRMS(QByteArray::fromRawData(buffer.constData() + i * block, int(available)));
            result.first = qMax(result.first, value);
            result.second.append(qint16(value));
        }
        if (progress)
            progress->updateProgress(0, 0, int(count));
    }
    return result;
}

void PeakCalc::run()
{
    emit finished(calculate());
}

} // namespace TW
