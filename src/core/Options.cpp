#include "core/Options.h"

#include "core/Util.h"

#include <QBasicMutex>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMetaType>
#include <QMutexLocker>
#include <QSettings>
#include <array>

namespace TW {

namespace {

const char *const FolderKeys[PathTypeCount] = {
    "TempFolderPath", "ExportFolderPath", "OpenProjectFolderPath", "SaveProjectFolderPath",
    "RippingFolderPath", "SnifferFolderPath", "CacheFolderPath"};

const char *const FolderNames[PathTypeCount] = {
    "Temp", "Export", "Projects", "Projects", "Rip", "Sniffer", "Cache"};

const QString KeyAlwaysOnTop = QStringLiteral("AlwaysOnTop");
const QString KeyAspectRatio = QStringLiteral("DefaultAspectRatio");
const QString KeyOpenedFiles = QStringLiteral("LastOpenedFiles");
const QString KeySizeCustom = QStringLiteral("SizeCustom");
const QString KeySizeRecent = QStringLiteral("SizeRecent");
const QString KeyClearCache = QStringLiteral("ClearCache");
const QString KeyRunSniffer = QStringLiteral("RunSnifferInBackground");

const QSize DefaultSize(640, 360);
constexpr int MaxOpenedFiles = 10;

bool isKind(PathType type)
{
    return int(type) >= 0 && int(type) < PathTypeCount;
}

// The order in which assignment copies folders (the temporary folder, whose
// signal others follow, late; the cache folder last).
constexpr std::array<PathType, PathTypeCount> CopyOrder = {
    ExportFolder, OpenProjectFolder, RippingFolder, SaveProjectFolder,
    SnifferFolder, TempFolder, CacheFolder};

// The live object: constant-initialised and trivially destructible, so it is
// usable at any time of the process, before main and during exit alike.
struct LiveOptions
{
    QBasicMutex mutex;
    QAtomicPointer<Options> object;
    bool destroyed = false;
};
LiveOptions s_live;

// Deletes the live object at process exit; its settings write the file then.
// Qt's settings keep process-wide state of their own (the cache of open
// files), made when the first settings object is made and torn down at exit
// in the reverse order of creation. The owner is therefore brought up only
// after the live object has made its settings object, so that it goes before
// that state does, however early or late the program uses settings elsewhere.
struct LiveOptionsOwner
{
    ~LiveOptionsOwner()
    {
        QMutexLocker lock(&s_live.mutex);
        s_live.destroyed = true;
        Options *o = s_live.object.fetchAndStoreOrdered(nullptr);
        lock.unlock();
        delete o;
    }
};

} // namespace

class Options::Impl
{
public:
    explicit Impl(Options *owner) : owner(owner)
    {
        filePath = Util::getAppDocDirPath() + QDir::separator() + QStringLiteral("TW.Options.ini");
        fileExisted = QFile::exists(filePath);
        // The settings object is made now even without a file: making one
        // brings up Qt's settings state, and creating it as late as the write
        // at exit would reach that state after it has been torn down. Nothing
        // is written to the file before the save.
        settings = new QSettings(filePath, QSettings::IniFormat, owner);
        for (int i = 0; i < PathTypeCount; ++i)
            defaults.insert(QLatin1String(FolderKeys[i]), defaultPath(PathType(i)));
        defaults.insert(KeyAlwaysOnTop, false);
        defaults.insert(KeyAspectRatio, int(AspectRatioOriginal));
        defaults.insert(KeyOpenedFiles, QStringList());
        defaults.insert(KeySizeCustom, DefaultSize);
        defaults.insert(KeySizeRecent, DefaultSize);
        defaults.insert(KeyClearCache, false);
        defaults.insert(KeyRunSniffer, false);
    }

    ~Impl()
    {
        // Only an object that holds real values writes: one that was never
        // loaded or assigned would overwrite the user's file with empty
        // folders and invalid sizes.
        if (hasValues && !detached)
            saveUserFile();
    }

    QVariant userValue(const QString &key, const QVariant &fallback) const
    {
        if (!settings || !fileExisted)
            return fallback;
        const QVariant value = settings->value(key + QStringLiteral("/_value_"));
        if (!value.isValid())
            return fallback;
        bool typeOk = false;
        const int type = settings->value(key + QStringLiteral("/_type_")).toInt(&typeOk);
        if (!typeOk || type <= 0)
            return value;
        QVariant converted = value;
        if (!converted.convert(QMetaType(type)))
            return fallback; // an unreadable entry reads as missing
        return converted;
    }

    void setUserValue(const QString &key, const QVariant &value)
    {
        if (!settings)
            return;
        settings->setValue(key + QStringLiteral("/_type_"), value.metaType().id());
        settings->setValue(key + QStringLiteral("/_value_"), value);
    }

    QVariant defaultValue(const QString &key, const QVariant &fallback) const
    {
        return defaults.value(key, fallback);
    }

    void load(bool fromFile)
    {
        auto get = [&](const QString &key, const QVariant &fallback) {
            return fromFile ? userValue(key, fallback) : defaultValue(key, fallback);
        };
        for (int i = 0; i < PathTypeCount; ++i) {
            const PathType kind = PathType(i);
            QString folder = get(QLatin1String(FolderKeys[i]), QString()).toString();
            // A folder missing from the file (or stored empty) takes its
            // default: an empty folder would make later code write into the
            // working folder or the file system's root.
            if (folder.trimmed().isEmpty())
                folder = defaultPath(kind);
            owner->setPath(kind, folder);
        }
        alwaysOnTop = get(KeyAlwaysOnTop, false).toBool();
        openedFiles = get(KeyOpenedFiles, QStringList()).toStringList();
        while (openedFiles.size() > MaxOpenedFiles)
            openedFiles.removeLast();
        sizeCustom = get(KeySizeCustom, DefaultSize).toSize();
        sizeRecent = get(KeySizeRecent, DefaultSize).toSize();
        clearCache = get(KeyClearCache, false).toBool();
        runSniffer = get(KeyRunSniffer, false).toBool();
        const int ratio = get(KeyAspectRatio, int(AspectRatioOriginal)).toInt();
        aspectRatio = (ratio >= AspectRatio16x9 && ratio <= AspectRatioCustom)
                ? AspectRatioType(ratio) : AspectRatioOriginal;
        hasValues = true;
    }

    void saveUserFile()
    {
        // The application's own folder may not exist yet on a first run.
        QDir().mkpath(QFileInfo(filePath).absolutePath());
        if (!settings)
            settings = new QSettings(filePath, QSettings::IniFormat, owner);
        for (int i = 0; i < PathTypeCount; ++i)
            setUserValue(QLatin1String(FolderKeys[i]), folders[i]);
        setUserValue(KeyAlwaysOnTop, alwaysOnTop);
        setUserValue(KeyAspectRatio, int(aspectRatio));
        setUserValue(KeyOpenedFiles, openedFiles);
        setUserValue(KeySizeCustom, sizeCustom);
        setUserValue(KeySizeRecent, sizeRecent);
        setUserValue(KeyClearCache, clearCache);
        setUserValue(KeyRunSniffer, runSniffer);
        settings->sync();
    }

    Options *owner;
    AspectRatioType aspectRatio = AspectRatioOriginal;
    bool alwaysOnTop = false;
    QStringList openedFiles;
    QSize sizeCustom;
    QSize sizeRecent;
    QString folders[PathTypeCount];
    QString lastFolders[PathTypeCount];
    bool clearCache = false;
    bool runSniffer = false;
    QSettings *settings = nullptr;
    QHash<QString, QVariant> defaults;
    QString filePath;
    // Whether the file was there when the object was made: only then is it
    // read.
    bool fileExisted = false;
    bool hasValues = false;
    bool detached = false;
};

Options *Options::instance()
{
    if (Options *o = s_live.object.loadAcquire())
        return o;
    QMutexLocker lock(&s_live.mutex);
    if (s_live.destroyed)
        return nullptr;
    if (!s_live.object.loadRelaxed()) {
        s_live.object.storeRelease(new Options());
        // Registered for exit only now, after the object's settings exist.
        static LiveOptionsOwner owner;
        Q_UNUSED(owner);
    }
    return s_live.object.loadRelaxed();
}

void Options::detachFromFile() { d->detached = true; }

Options::Options(QObject *parent) : QObject(parent), d(std::make_unique<Impl>(this)) {}

Options::Options(const Options &other)
    : QObject(other.parent()), d(std::make_unique<Impl>(this))
{
    *this = other;
}

Options &Options::operator=(const Options &other)
{
    if (this == &other)
        return *this;
    d->aspectRatio = other.d->aspectRatio;
    d->alwaysOnTop = other.d->alwaysOnTop;
    for (PathType kind : CopyOrder)
        setPath(kind, other.d->folders[kind]);
    for (PathType kind : CopyOrder)
        setLastPath(kind, other.d->lastFolders[kind]);
    d->openedFiles = other.d->openedFiles;
    d->sizeCustom = other.d->sizeCustom;
    d->sizeRecent = other.d->sizeRecent;
    d->clearCache = other.d->clearCache;
    d->runSniffer = other.d->runSniffer;
    d->hasValues = other.d->hasValues;
    return *this;
}

Options::~Options() = default;

void Options::loadFromFile(bool fromUserFile)
{
    d->load(fromUserFile && d->fileExisted);
    emit tempFolderChanged(d->folders[TempFolder]);
}

void Options::setPath(PathType type, const QString &path)
{
    if (!isKind(type))
        return;
    const QString stored = QDir::toNativeSeparators(path);
    d->folders[type] = stored;
    d->lastFolders[type].clear();
    if (!stored.isEmpty() && !QDir(stored).exists())
        QDir().mkpath(stored);
    if (type == TempFolder)
        emit tempFolderChanged(getPath(TempFolder));
}

QString Options::getPath(PathType type) const
{
    if (!isKind(type))
        return QString();
    if (d->folders[type].isEmpty())
        return defaultPath(type);
    return d->folders[type];
}

QString Options::defaultPath(PathType type)
{
    if (!isKind(type))
        return QString();
    return QDir::toNativeSeparators(Util::getAppDocDirPath() + QDir::separator()
                                    + QLatin1String(FolderNames[type]));
}

QString Options::pathKey(PathType type)
{
    return isKind(type) ? QLatin1String(FolderKeys[type]) : QString();
}

void Options::setLastPath(PathType type, const QString &path)
{
    if (isKind(type))
        d->lastFolders[type] = QDir::toNativeSeparators(path);
}

QString Options::getLastPath(PathType type) const
{
    return isKind(type) ? d->lastFolders[type] : QString();
}

void Options::addOpenedFile(const QString &path)
{
    d->openedFiles.removeOne(path);
    d->openedFiles.prepend(path);
    while (d->openedFiles.size() > MaxOpenedFiles)
        d->openedFiles.removeLast();
}

QStringList Options::getOpenedFiles() const { return d->openedFiles; }
void Options::setSizeCustom(const QSize &size) { d->sizeCustom = size; }
QSize Options::getSizeCustom() const { return d->sizeCustom; }
void Options::setSizeMostRecent(const QSize &size) { d->sizeRecent = size; }
QSize Options::getSizeMostRecent() const { return d->sizeRecent; }
void Options::setAlwaysOnTop(bool onTop) { d->alwaysOnTop = onTop; }
bool Options::getAlwaysOnTop() const { return d->alwaysOnTop; }
void Options::setDefaultAspectRatio(AspectRatioType ratio) { d->aspectRatio = ratio; }
Options::AspectRatioType Options::getDefaultAspectRatio() const { return d->aspectRatio; }
void Options::setClearCacheOnExit(bool clear) { d->clearCache = clear; }
bool Options::getClearCacheOnExit() const { return d->clearCache; }
void Options::setRunSnifferInBackground(bool run) { d->runSniffer = run; }
bool Options::getRunSnifferInBackground() const { return d->runSniffer; }
QString Options::filePath() const { return d->filePath; }

} // namespace TW
