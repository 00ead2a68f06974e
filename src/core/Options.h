#pragma once

#include "core/PathType.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace TW {

// The user's settings for the application as a whole: the seven working
// folders, the last folder of each file dialog kind, the recent files, the
// custom and most recent output sizes, the default aspect ratio and three
// switches. Stored in "TW.Options.ini" in the application's own folder,
// each key as the two entries "<key>/_type_" (variant type number) and
// "<key>/_value_".
//
// One live object, instance(), which the application loads at start-up and
// which writes the file when it is destroyed at process exit. Copies serve
// as working copies (the options dialog) and snapshots.
class Options : public QObject
{
    Q_OBJECT

public:
    enum AspectRatioType {
        AspectRatio16x9 = 0,
        AspectRatio4x3 = 1,
        AspectRatioOriginal = 2,
        AspectRatioCustom = 3
    };
    Q_ENUM(AspectRatioType)

    // The live object, created on first use (thread-safe) and deleted at
    // process exit; null after that.
    static Options *instance();

    explicit Options(QObject *parent = nullptr);
    Options(const Options &other);
    Options &operator=(const Options &other);
    ~Options() override;

    // With fromUserFile set and an existing ini file, reads it; otherwise
    // loads the defaults. Then emits tempFolderChanged.
    void loadFromFile(bool fromUserFile);

    // Stores the folder (native separators), clears the kind's last folder
    // and creates the folder. Setting the temporary folder always emits
    // tempFolderChanged. Kinds outside 0..6 are ignored.
    void setPath(PathType type, const QString &path);
    // The folder of a kind; the kind's default folder when none is stored;
    // a null string for a value that is no kind.
    QString getPath(PathType type) const;
    // The default folder of a kind: the application's own folder, the
    // separator and the kind's folder name. Null for no kind.
    static QString defaultPath(PathType type);
    // The ini key of a folder kind ("TempFolderPath", ...).
    static QString pathKey(PathType type);

    void setLastPath(PathType type, const QString &path);
    QString getLastPath(PathType type) const;

    void addOpenedFile(const QString &path);
    QStringList getOpenedFiles() const;

    void setSizeCustom(const QSize &size);
    QSize getSizeCustom() const;
    void setSizeMostRecent(const QSize &size);
    QSize getSizeMostRecent() const;

    void setAlwaysOnTop(bool onTop);
    bool getAlwaysOnTop() const;
    void setDefaultAspectRatio(AspectRatioType ratio);
    AspectRatioType getDefaultAspectRatio() const;
    void setClearCacheOnExit(bool clear);
    bool getClearCacheOnExit() const;
    void setRunSnifferInBackground(bool run);
    bool getRunSnifferInBackground() const;

    // Makes this object one that never writes the ini file (a working copy
    // whose values reach the file only through the live object).
    void detachFromFile();

    // The ini file's path.
    QString filePath() const;

signals:
    void tempFolderChanged(const QString &newPath);

private:
    class Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
