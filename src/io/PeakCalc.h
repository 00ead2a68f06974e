#pragma once

#include "core/Util.h"

#include <QObject>
#include <QRunnable>

#include <memory>

class QFile;
class QReadWriteLock;

namespace TW {

// Computes, on a pool thread, the level values (RMS of each column's block
// of 16-bit samples) of one chunk of a sample file: the byte range
// [from, to) in blocks of bytesPerColumn bytes. The file and the lock are
// shared by every job of a rendering.
class PeakCalc : public QObject, public QRunnable
{
    Q_OBJECT

public:
    PeakCalc(QFile *file, QReadWriteLock *lock, qint64 from, qint64 to, int bytesPerColumn);
    ~PeakCalc() override;

    void run() override;

    // The chunk's values, computed on the calling thread (run() does this
    // and emits them).
    RmsSet calculate() const;

signals:
    void finished(const RmsSet &rms);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
