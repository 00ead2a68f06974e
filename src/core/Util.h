#pragma once

#include <QImage>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVector>

class QFile;
class QReadWriteLock;

// The RMS values of one slice of a sample file: the largest value and one
// value per block read.
typedef QPair<int, QVector<qint16>> RmsSet;
Q_DECLARE_METATYPE(RmsSet)

class QProcess;

namespace TW {

// Static helpers shared by the whole program: application folders and
// identifiers, external ffplay/ffmpeg helpers, waveform RMS values, tempo
// and pitch unit conversions, the edit list's position test, size texts,
// and deletion and listing of folder trees. Never instantiated.
class Util
{
public:
    Util() = delete;

    // Creates the preview process; call once at start-up.
    static void init();
    // Ends a running preview and deletes the process; call once at exit.
    static void release();

    // ---- Folders and identifiers ----
    // The path, after creating it (one level only) when it does not exist.
    static QString verifiedPath(const QString &path);
    // The program's data folder: beside the executable (build tree) or the
    // installed data folder.
    static QString getAppDirPath();
    static QString getAppDataDirPath();
    static QString getUserDocDirPath();
    // "<home>/<application name> <application version>".
    static QString getAppDocDirPath();
    // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
    static QString generateGUID();

    // An external program (ffmpeg, ffprobe, ffplay...): the one beside the
    // executable when there is one, else the one found on PATH, else the
    // bare name.
    static QString externalProgram(const QString &name);
    // The process, once started, is killed when this program ends, however
    // it ends (a conversion left running would never be marked finished).
    static void endWithThisProgram(QProcess &process);

    // ---- Memory ----
    // Gives the memory the allocator holds free back to the system. A
    // project's players decode on threads of their own, and what they free
    // stays with the allocator's per-thread heaps unless it is given back:
    // without this each open of another project kept the resident memory
    // a little higher. Does nothing where the C library has no such call.
    static void releaseFreeMemory();
    // Large blocks (pictures, sound buffers, the stretcher's buffers) get
    // pages of their own, given back as soon as they are freed. By default
    // glibc raises that size each time such a block is freed, after which
    // they come from the heaps, where a small block still in use after
    // them keeps their memory from going back. Called once at start.
    static void keepLargeBlocksApart();

    // ---- External previews and frames ----
    // Starts an ffplay preview of the file, ending the previous preview.
    static void playWithFFplay(QString path);
    // The frame of the file at the time, taken by ffmpeg into the temporary
    // folder's "tmp.png"; a null image when ffmpeg fails or takes longer
    // than timeoutMs.
    static QImage getSnapshot(const QString &file, const QTime &time, int timeoutMs = 30000);

    // ---- Waveform values ----
    // The RMS of each block of 16-bit little-endian samples in the byte
    // range [from, to) of the shared file, and their largest value. Each
    // seek and read is made under the lock held for writing; every block
    // advances the status-bar progress by one.
    static RmsSet calcRMS(QFile *file, QReadWriteLock *lock, qint64 from, qint64 to, int blockSize);
    // The RMS of one buffer of 16-bit samples; 0 below 2 bytes.
    static int calcRMS(const QByteArray &buffer);

    // ---- Tempo and pitch units ----
    // Interface tempo in percent <-> engine time factor (100 / x).
    static double fromGuiTempo(double percent);
    static double fromVeltorTempo(double factor);
    // Interface pitch in semitones <-> engine pitch factor 2^(s/12).
    static double fromGuiPitch(double semitones);
    static double fromVeltorPitch(double factor);

    // ---- Edit list and sizes ----
    // Whether position lies within [start, start + length], compared as
    // unsigned 64-bit values.
    static bool positionIsInSegment(qint64 position, quint64 start, qint64 length);
    // "%1 bytes", "%1 kB", "%1 MB", "%1 GB", "%1 TB"; empty from 1024^5 on.
    static QString getSizeString(qint64 bytes);
    // The summed size of the distinct files (a file listed twice counts
    // once; a missing file counts 0).
    static qint64 getTotalSize(const QStringList &files);
    // The summed size of the distinct source files behind the fragments
    // (each fragment's track's original file).
    template <class Fragment>
    static qint64 getTotalSize(const QList<QSharedPointer<Fragment>> &fragments)
    {
        QStringList files;
        for (const auto &fragment : fragments) {
            if (fragment && fragment->track)
                files << fragment->track->getOrigName();
        }
        return getTotalSize(files);
    }

    // ---- Folder trees ----
    // Deletes a folder with everything in it. Symbolic links inside are
    // removed as links; what they point to is never touched. True when the
    // folder is gone (also when it never existed).
    static bool removeDirectory(const QString &path);
    // The full paths of the folder's files matching the filters, then, when
    // recursive, those of each subfolder.
    static QStringList getFiles(const QString &folder, const QStringList &nameFilters, bool recursive);
};

} // namespace TW
