#include "io/CacheCleaner.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "io/InputController.h"
#include "model/Media.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace TW {

namespace {

const char *const MarkerSuffix = ".finished";
const char *const RecordSuffix = ".info";

} // namespace

bool CacheCleaner::usableCacheFolder(const QString &folder, QString *why)
{
    QString reason;
    const QString clean = folder.trimmed().isEmpty() ? QString() : normalized(folder);
    if (clean.isEmpty())
        reason = QStringLiteral("no cache folder is set");
    else if (clean == QDir::rootPath() || QDir(clean).isRoot())
        reason = QStringLiteral("the cache folder is the root folder");
    else if (clean == normalized(QDir::homePath()))
        reason = QStringLiteral("the cache folder is the home folder");
    if (why)
        *why = reason;
    return reason.isEmpty();
}

bool CacheCleaner::isCacheMade(const QString &fileName)
{
    static const QRegularExpression made(QStringLiteral("^[0-9a-f]{48}(_\\d+)?\\.avi(\\.finished|\\.info)?$"));
    return made.match(fileName).hasMatch();
}

QString CacheCleaner::normalized(const QString &path)
{
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}

QSet<QString> CacheCleaner::filesUsedBy(const QStringList &projects)
{
    QSet<QString> used;
    OptionsHolder *options = Singleton<OptionsHolder>::instance();
    const OptionsHolder kept(*options);
    for (const QString &project : projects) {
        qDebug() << "Processing project" << project;
        const QSharedPointer<Media> media(new Media);
        // Projects only, no media check: nothing is converted or asked for.
        InputController input(project, media);
        if (!input.exec(nullptr, true, false)) {
            qDebug() << "Project not loaded.";
            continue;
        }
        qDebug() << "Project loaded.";
        for (const auto &fragment : media->getTrackFragments()) {
            if (!fragment->track)
                continue;
            qDebug() << "Project uses" << fragment->track->getName();
            used.insert(normalized(fragment->track->getName()));
        }
    }
    *options = kept;
    return used;
}

QStringList CacheCleaner::clearUnused(const QString &folder, const QSet<QString> &used)
{
    QString why;
    if (!usableCacheFolder(folder, &why)) {
        qWarning() << "The conversion cache is not cleared:" << why << folder;
        return {};
    }
    const QDir dir(normalized(folder));
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    const QSet<QString> present(names.cbegin(), names.cend());
    QStringList removed;
    for (const QString &name : names) {
        if (!isCacheMade(name))
            continue;
        // A marker and a record belong to their conversion and share its
        // fate.
        const char *const suffix = name.endsWith(QLatin1String(MarkerSuffix)) ? MarkerSuffix
            : name.endsWith(QLatin1String(RecordSuffix))                       ? RecordSuffix
                                                                               : nullptr;
        const bool marker = suffix != nullptr;
        const QString conversion = marker ? name.chopped(int(qstrlen(suffix))) : name;
        const QString path = dir.filePath(conversion);
        if (used.contains(normalized(path)))
            continue;
        if (marker && present.contains(conversion))
            continue; // goes with its file below, or stays with it
        qDebug() << "Removing unused file" << dir.filePath(name);
        if (!QFile::remove(dir.filePath(name)))
            continue;
        removed << name;
        for (const char *const own : {MarkerSuffix, RecordSuffix}) {
            const QString companion = name + QLatin1String(own);
            if (!marker && present.contains(companion) && QFile::remove(dir.filePath(companion)))
                removed << companion;
        }
    }
    return removed;
}

} // namespace TW
