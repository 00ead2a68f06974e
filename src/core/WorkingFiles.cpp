#include "core/WorkingFiles.h"

#include "core/Util.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSaveFile>

#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace TW {

namespace {

QMutex s_mutex;
QString s_folder;
QStringList s_entries;

QString journalFolder()
{
    if (s_folder.isEmpty())
        s_folder = QDir(Util::getAppDataDirPath()).filePath(QStringLiteral("working"));
    return s_folder;
}

QString ownName()
{
    return QString::number(QCoreApplication::applicationPid());
}

QString listPath(const QString &pid)
{
    return QDir(journalFolder()).filePath(pid + QStringLiteral(".list"));
}

QString lockPath(const QString &pid)
{
    return QDir(journalFolder()).filePath(pid + QStringLiteral(".lock"));
}

// Paths are kept as the bytes the file system knows them by, percent-
// encoded: a name may hold a line feed or bytes that are no UTF-8.
QStringList readJournal(const QString &path)
{
    QStringList paths;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return paths;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            paths << QFile::decodeName(QByteArray::fromPercentEncoding(line));
    }
    return paths;
}

// Writes this instance's journal (under the lock of s_mutex).
void writeJournal()
{
    const QString path = listPath(ownName());
    if (s_entries.isEmpty()) {
        QFile::remove(path);
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning() << "WorkingFiles: cannot write" << path << ":" << file.errorString();
        return;
    }
    for (const QString &entry : std::as_const(s_entries))
        file.write(QFile::encodeName(entry).toPercentEncoding("/") + '\n');
    if (!file.commit())
        qWarning() << "WorkingFiles: cannot write" << path << ":" << file.errorString();
}

// An open lock file, flock()ed exclusively: the kernel lets go of it when
// the process ends, however it ends. Close-on-exec, so that no tool keeps it
// held after us.
class Lock
{
public:
    Lock(const QString &path, bool wait)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~Lock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// This instance's lock, held from its first entry to its end.
std::unique_ptr<Lock> s_lock;

bool ensureLocked()
{
    if (s_lock)
        return true;
    QDir().mkpath(journalFolder());
    // Waits only while another instance cleans up after an earlier one that
    // had our pid.
    auto lock = std::make_unique<Lock>(lockPath(ownName()), true);
    if (!lock->held()) {
        qWarning() << "WorkingFiles: cannot lock" << lockPath(ownName());
        return false;
    }
    s_lock = std::move(lock);
    return true;
}

void removeEntry(const QString &path, QStringList *removed)
{
    const QFileInfo info(path);
    if (!WorkingFiles::isWorkingName(info.fileName()))
        return;
    bool gone = false;
    if (info.isDir() && !info.isSymLink())
        gone = Util::removeDirectory(path);
    else if (info.exists() || info.isSymLink())
        gone = QFile::remove(path);
    if (gone) {
        qDebug() << "WorkingFiles: removed the leftover" << path;
        *removed << path;
    }
}

} // namespace

void WorkingFiles::setFolder(const QString &folder)
{
    QMutexLocker locker(&s_mutex);
    s_folder = folder;
    s_lock.reset();
    s_entries.clear();
}

QString WorkingFiles::folder()
{
    QMutexLocker locker(&s_mutex);
    return journalFolder();
}

bool WorkingFiles::isWorkingName(const QString &fileName)
{
    // What QTemporaryFile and QTemporaryDir make of our templates: six
    // letters or digits in place of "XXXXXX".
    static const QRegularExpression patterns[] = {
        // An export's output in the making: ".<name>-XXXXXX.<suffix>".
        QRegularExpression(QStringLiteral("^\\..+-[A-Za-z0-9]{6}(\\.[^./]+)?$"),
                           QRegularExpression::DotMatchesEverythingOption),
        // A DVD conversion's working file: ".<name>.XXXXXX.<suffix>".
        QRegularExpression(QStringLiteral("^\\..*\\.[A-Za-z0-9]{6}\\.[^./]*$"),
                           QRegularExpression::DotMatchesEverythingOption),
        // An export's working folder, a frame extraction's.
        QRegularExpression(QStringLiteral("^(export|frames)-[A-Za-z0-9]{6}$")),
    };
    for (const QRegularExpression &pattern : patterns) {
        if (pattern.match(fileName).hasMatch())
            return true;
    }
    return false;
}

void WorkingFiles::add(const QString &path)
{
    if (path.isEmpty())
        return;
    QMutexLocker locker(&s_mutex);
    if (!ensureLocked())
        return;
    s_entries << QFileInfo(path).absoluteFilePath();
    writeJournal();
}

void WorkingFiles::remove(const QString &path)
{
    if (path.isEmpty())
        return;
    QMutexLocker locker(&s_mutex);
    if (s_entries.removeOne(QFileInfo(path).absoluteFilePath()))
        writeJournal();
}

QStringList WorkingFiles::removeLeftovers()
{
    QMutexLocker locker(&s_mutex);
    QStringList removed;
    const QDir dir(journalFolder());
    const QStringList journals = dir.entryList({QStringLiteral("*.list")}, QDir::Files);
    for (const QString &name : journals) {
        const QString pid = QFileInfo(name).completeBaseName();
        std::unique_ptr<Lock> theirs;
        if (pid == ownName()) {
            // Ours only once we have written it; before, an earlier
            // instance that had our pid left it.
            if (s_lock)
                continue;
        } else {
            // Held: that instance is running (or another one is cleaning up
            // after it right now).
            theirs = std::make_unique<Lock>(lockPath(pid), false);
            if (!theirs->held())
                continue;
        }
        for (const QString &path : readJournal(dir.filePath(name)))
            removeEntry(path, &removed);
        QFile::remove(dir.filePath(name));
        if (theirs)
            QFile::remove(lockPath(pid));
    }
    return removed;
}

void WorkingFiles::Entry::set(const QString &path)
{
    clear();
    m_path = path;
    WorkingFiles::add(m_path);
}

void WorkingFiles::Entry::clear()
{
    if (m_path.isEmpty())
        return;
    WorkingFiles::remove(m_path);
    m_path.clear();
}

} // namespace TW
