#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace TW {

// Removes conversions from the cache folder that no project uses.
//
// Only what the cache itself made is ever a candidate: content-named
// conversions ("<48 hex digits>.avi", or "<digits>_<stream>.avi") and
// their ".finished" markers, at the top of the cache folder. A marker goes
// only with its file (or when its file is gone); a user's own files in the
// folder are never touched.
class CacheCleaner
{
public:
    // True when the folder may be cleared: not empty, not the root and not
    // the home folder (a setting may name any folder). why says why not.
    static bool usableCacheFolder(const QString &folder, QString *why = nullptr);

    // True for the name of a conversion the cache makes, its marker or its
    // record.
    static bool isCacheMade(const QString &fileName);

    // The files (absolute, clean paths) that the XML projects at these
    // paths name as their tracks. A project that cannot be read names none.
    // The per-project settings are left as they were.
    static QSet<QString> filesUsedBy(const QStringList &projects);

    // A path in the form the sets above hold.
    static QString normalized(const QString &path);

    // Deletes the cache-made files of folder that are not in used; returns
    // the names removed. Nothing is removed from an unusable folder.
    static QStringList clearUnused(const QString &folder, const QSet<QString> &used);
};

} // namespace TW
