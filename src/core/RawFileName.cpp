#include "core/RawFileName.h"

#include "core/Util.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TW {

namespace {

QMutex s_mutex;
QString s_linkFolder;

bool rawExists(const QByteArray &path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0;
}

// The raw names in folder that decode to name.
QList<QByteArray> matchingEntries(const QByteArray &folder, const QString &name)
{
    QList<QByteArray> found;
    DIR *dir = ::opendir(folder.isEmpty() ? "/" : folder.constData());
    if (!dir)
        return found;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (raw != "." && raw != ".." && QFile::decodeName(raw) == name)
            found << raw;
    }
    ::closedir(dir);
    return found;
}

// A valid name for the link: the decoded name with what did not decode
// made plain.
QString linkName(const QString &decoded)
{
    QString name = decoded;
    name.replace(QChar::ReplacementCharacter, QLatin1Char('_'));
    return name.isEmpty() ? QStringLiteral("file") : name;
}

} // namespace

void RawFileName::setLinkFolder(const QString &folder)
{
    QMutexLocker locker(&s_mutex);
    s_linkFolder = folder;
}

QByteArray RawFileName::findRawPath(const QString &path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QStringList parts = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QByteArray raw;
    for (const QString &part : parts) {
        const QByteArray direct = raw + '/' + QFile::encodeName(part);
        if (rawExists(direct)) {
            raw = direct;
            continue;
        }
        const QList<QByteArray> found = matchingEntries(raw, part);
        if (found.size() != 1)
            return QByteArray(); // missing, or not told apart
        raw += '/' + found.first();
    }
    return rawExists(raw) ? raw : QByteArray();
}

QString RawFileName::openablePath(const QString &path)
{
    if (path.isEmpty() || QFileInfo::exists(path))
        return path;
    const QByteArray raw = findRawPath(path);
    if (raw.isEmpty())
        return QString();

    QString base;
    {
        QMutexLocker locker(&s_mutex);
        base = s_linkFolder.isEmpty() ? QDir(Util::getAppDataDirPath()).filePath(QStringLiteral("names"))
                                      : s_linkFolder;
    }
    // One folder per file, named by its raw path: the same file always
    // gets the same link, and two files with the same decoded name do not
    // meet.
    const QString folder = QDir(base).filePath(QString::fromLatin1(
        QCryptographicHash::hash(raw, QCryptographicHash::Sha1).toHex().left(20)));
    const QString link = QDir(folder).filePath(linkName(QFileInfo(path).fileName()));
    if (!QDir().mkpath(folder)) {
        qWarning() << "RawFileName: cannot make" << folder;
        return QString();
    }
    const QByteArray rawLink = QFile::encodeName(link);
    char target[4096];
    const ssize_t n = ::readlink(rawLink.constData(), target, sizeof target);
    if (n >= 0 && QByteArray(target, int(n)) == raw)
        return link;
    ::unlink(rawLink.constData());
    if (::symlink(raw.constData(), rawLink.constData()) != 0) {
        qWarning() << "RawFileName: cannot link" << link << ":" << qt_error_string(errno);
        return QString();
    }
    qDebug() << "RawFileName: the file" << path << "is opened as" << link;
    return link;
}

} // namespace TW
