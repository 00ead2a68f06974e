#include "core/Util.h"

#include "core/Options.h"
#include "core/ProgressMonitor.h"
#include "core/Singleton.h"
#include "core/ToolProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QReadWriteLock>
#include <QStandardPaths>
#include <QUuid>
#include <QWriteLocker>
#include <cmath>
#include <limits>

#include <csignal>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/prctl.h>
#include <unistd.h>

namespace TW {

namespace {

QProcess *s_playProcess = nullptr;

// Every snapshot goes through the one file "tmp.png".
QMutex s_snapshotMutex;

// The RMS of the whole 16-bit samples in data[0, n), n >= 2. The value of a
// full-scale block (all -32768) is 32768, one more than a 16-bit value
// holds; it is kept at 32767 so it cannot wrap to a negative level.
int blockRms(const char *data, qint64 n)
{
    qint64 sum = 0;
    for (qint64 i = 0; i + 1 < n; i += 2) {
        const qint16 sample = qint16(quint16(quint8(data[i])) | (quint16(quint8(data[i + 1])) << 8));
        sum += qint64(sample) * sample;
    }
    const double mean = double(sum) / double(n / 2);
    const int rms = int(std::sqrt(mean));
    return qMin(rms, int(std::numeric_limits<qint16>::max()));
}

} // namespace

void Util::init()
{
    if (!s_playProcess)
        s_playProcess = new QProcess();
}

void Util::release()
{
    if (!s_playProcess)
        return;
    if (s_playProcess->state() != QProcess::NotRunning) {
        s_playProcess->kill();
        s_playProcess->waitForFinished(30000);
    }
    delete s_playProcess;
    s_playProcess = nullptr;
}

// ---- Folders and identifiers ----

QString Util::verifiedPath(const QString &path)
{
    QDir dir(path);
    if (!dir.exists())
        dir.mkdir(path);
    return path;
}

QString Util::getAppDirPath()
{
    // Data files lie beside the executable in the build tree and in the
    // program's data folder when installed.
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(exeDir + QStringLiteral("/../share/tarnwell"));
    if (QFileInfo(installed).isDir())
        return installed;
    return verifiedPath(exeDir);
}

QString Util::getAppDataDirPath()
{
    // The XDG data folder's parents may be missing on a fresh account.
    const QString path = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return verifiedPath(path);
}

QString Util::getUserDocDirPath()
{
    return verifiedPath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

QString Util::getAppDocDirPath()
{
    return verifiedPath(QDir::homePath() + QDir::separator() + QCoreApplication::applicationName()
                        + QLatin1Char(' ') + QCoreApplication::applicationVersion());
}

QString Util::generateGUID()
{
    return QUuid::createUuid().toString();
}

void Util::releaseFreeMemory()
{
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

void Util::keepLargeBlocksApart()
{
#if defined(__GLIBC__)
    // glibc's starting size; setting it fixes it there.
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void Util::endWithThisProgram(QProcess &process)
{
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        // Runs in the child before exec: only async-signal-safe calls.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127); // the program ended before this line
    });
}

QString Util::externalProgram(const QString &name)
{
    const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
    const QFileInfo info(beside);
    if (info.isFile() && info.isExecutable())
        return QDir::toNativeSeparators(beside);
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty() ? name : onPath;
}

// ---- External previews and frames ----

void Util::playWithFFplay(QString path)
{
    if (path.isEmpty() || !s_playProcess)
        return;
    path = path.trimmed();
    if (s_playProcess->state() != QProcess::NotRunning) {
        s_playProcess->kill();
        s_playProcess->waitForFinished(30000);
    }
    endWithThisProgram(*s_playProcess);
    s_playProcess->start(externalProgram(QStringLiteral("ffplay")), {path},
                         QIODevice::ReadWrite);
}

QImage Util::getSnapshot(const QString &file, const QTime &time, int timeoutMs)
{
    QMutexLocker lock(&s_snapshotMutex);
    const Options *options = Options::instance();
    const QString tempDir = options ? options->getPath(TempFolder)
                                    : Options::defaultPath(TempFolder);
    QDir().mkpath(tempDir);
    const QString output = tempDir + QDir::separator() + QStringLiteral("tmp.png");
    // A stale image of an earlier snapshot must never stand in for this one.
    QFile::remove(output);

    ToolProcess ffmpeg;
    ffmpeg.setProgram(QStringLiteral("ffmpeg"));
    // An absolute path never reads as an option or a protocol ("a:b.mp4").
    const QString input = file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
    ffmpeg.setArguments({QStringLiteral("-ss"), time.toString(QStringLiteral("HH:mm:ss.zzz")), QStringLiteral("-i"),
                         input, QStringLiteral("-y"), QStringLiteral("-an"), QStringLiteral("-vframes"),
                         QStringLiteral("1"), output});
    const ToolProcess::Verdict verdict = ffmpeg.run(timeoutMs);
    if (verdict == ToolProcess::TimedOut) {
        qWarning() << "Util::getSnapshot: ffmpeg took too long for" << file;
        QFile::remove(output);
        return QImage();
    }
    if (verdict != ToolProcess::Succeeded) {
        qWarning() << "Util::getSnapshot: ffmpeg failed for" << file << ":" << ffmpeg.describe();
        return QImage();
    }
    return QImage(output);
}

// ---- Waveform values ----

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);
static void annotateAcquired(void *lock) { __tsan_acquire(lock); }
static void annotateReleased(void *lock) { __tsan_release(lock); }
#else
static void annotateAcquired(void *) {}
static void annotateReleased(void *) {}
#endif

RmsSet Util::calcRMS(QFile *file, QReadWriteLock *lock, qint64 from, qint64 to, int blockSize)
{
    RmsSet result(0, QVector<qint16>());
    if (from >= to || !file || blockSize <= 0)
        return result;
    QByteArray block(blockSize, Qt::Uninitialized);
    ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
    for (qint64 p = from; p < to; p += blockSize) {
        qint64 n = 0;
        {
            QWriteLocker locker(lock);
            // Qt's lock is opaque to the thread checker: tell it the order.
            annotateAcquired(lock);
            if (file->seek(p))
                n = file->read(block.data(), blockSize);
            annotateReleased(lock);
        }
        int value = 0;
        if (n >= 2) {
            value = blockRms(block.constData(), n);
            if (value >= result.first)
                result.first = value;
        }
        result.second.append(qint16(value));
        if (progress)
            ++(*progress);
    }
    return result;
}

int Util::calcRMS(const QByteArray &buffer)
{
    if (buffer.size() < 2)
        return 0;
    return blockRms(buffer.constData(), buffer.size());
}

// ---- Tempo and pitch units ----

double Util::fromGuiTempo(double percent)
{
    if (!std::isfinite(percent) || percent <= 0.0)
        return 1.0;
    return 100.0 / percent;
}

double Util::fromVeltorTempo(double factor)
{
    if (!std::isfinite(factor) || factor <= 0.0)
        return 100.0;
    return 100.0 / factor;
}

double Util::fromGuiPitch(double semitones)
{
    if (!std::isfinite(semitones) || semitones == 0.0)
        return 1.0;
    return std::exp2(semitones / 12.0);
}

double Util::fromVeltorPitch(double factor)
{
    if (!std::isfinite(factor) || factor <= 0.0 || factor == 1.0)
        return 0.0;
    return 12.0 * std::log2(factor);
}

// ---- Edit list and sizes ----

bool Util::positionIsInSegment(qint64 position, quint64 start, qint64 length)
{
    const quint64 pos = quint64(position);
    return pos >= start && start + quint64(length) >= pos;
}

QString Util::getSizeString(qint64 bytes)
{
    // value: the count divided k times by 1024, k the number of divisions
    // that left at least 1.
    double value = double(bytes);
    int k = 0;
    for (double next = value * 0.0009765625; next >= 1.0; next *= 0.0009765625) {
        value = next;
        ++k;
    }
    switch (k) {
    case 0:
        return QStringLiteral("%1 bytes").arg(bytes);
    case 1:
        return QStringLiteral("%1 kB").arg(value, 0, 'f', 2);
    case 2:
        return QStringLiteral("%1 MB").arg(value, 0, 'f', 2);
    case 3:
        return QStringLiteral("%1 GB").arg(value, 0, 'f', 2);
    case 4:
        return QStringLiteral("%1 TB").arg(value, 0, 'f', 2);
    default:
        return QString();
    }
}

qint64 Util::getTotalSize(const QStringList &files)
{
    const QSet<QString> distinct(files.cbegin(), files.cend());
    qint64 total = 0;
    for (const QString &name : distinct) {
        const QFileInfo info(name);
        if (info.exists())
            total += info.size();
    }
    return total;
}

// ---- Folder trees ----

bool Util::removeDirectory(const QString &path)
{
    const QFileInfo top(path);
    // A link named as the folder is removed as a link; its target stays.
    if (top.isSymLink())
        return QFile::remove(path);
    QDir dir(path);
    if (!dir.exists())
        return true;
    const QFileInfoList entries = dir.entryInfoList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDir::Name | QDir::DirsFirst);
    for (const QFileInfo &entry : entries) {
        bool removed;
        if (entry.isSymLink())
            removed = QFile::remove(entry.absoluteFilePath()); // never follow a link
        else if (entry.isDir())
            removed = removeDirectory(entry.absoluteFilePath());
        else
            removed = QFile::remove(entry.absoluteFilePath());
        if (!removed)
            return false;
    }
    return dir.rmdir(dir.absolutePath());
}

QStringList Util::getFiles(const QString &folder, const QStringList &nameFilters, bool recursive)
{
    QStringList result;
    const QDir dir(folder);
    if (!dir.exists())
        return result;
    const QStringList files = dir.entryList(nameFilters, QDir::Files | QDir::NoDotAndDotDot,
                                            QDir::Unsorted);
    for (const QString &name : files)
        result << folder + QDir::separator() + name;
    if (recursive) {
        // Linked folders are not entered: a link to a parent would never end.
        const QStringList dirs = dir.entryList(
                QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Unsorted);
        for (const QString &sub : dirs)
            result << getFiles(folder + QDir::separator() + sub, nameFilters, true);
    }
    return result;
}

} // namespace TW
