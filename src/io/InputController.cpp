#include "io/InputController.h"

#include "core/ConversionRecord.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "io/OldProjectForm.h"
#include "model/VideoLoop.h"
#include "model/MediaTimeLine.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "core/VideoFileParser.h"
#include "core/VideoInputStorage.h"
#include "model/Media.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFactory.h"
#include "model/MediaTrackFragment.h"
#include "model/ProjectReader.h"

#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QHash>
#include <QStorageInfo>
#include <QtConcurrent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace TW {

namespace {

InputController::Interaction &installedInteraction()
{
    static InputController::Interaction interaction;
    return interaction;
}

bool g_busy = false;

// Marks an import as running for as long as it lives.
class BusyMark
{
public:
    BusyMark() { g_busy = true; }
    ~BusyMark() { g_busy = false; }
    BusyMark(const BusyMark &) = delete;
    BusyMark &operator=(const BusyMark &) = delete;
};

const char *const OldFormHeader = "[Tarnwell Project]";
const char *const XmlFormHeader = "<tarnwell_project";
const int HeaderBytes = 64;
// The track index of a file without audio.
const int NoAudioTrackId = 1;

QWidget *dialogParent()
{
    const auto &hook = installedInteraction().dialogParent;
    return hook ? hook() : nullptr;
}

void inform(const QString &title, const QString &text)
{
    const auto &hook = installedInteraction().inform;
    if (hook)
        hook(title, text);
    else
        QMessageBox::information(dialogParent(), title, text, QMessageBox::Ok);
}

void warn(const QString &title, const QString &text)
{
    const InputController::Interaction &hooks = installedInteraction();
    if (hooks.warn)
        hooks.warn(title, text);
    else if (hooks.inform)
        hooks.inform(title, text);
    else
        QMessageBox::warning(dialogParent(), title, text, QMessageBox::Ok);
}

QString askForMissingFile(const QString &missingSource)
{
    const auto &hook = installedInteraction().findMissingFile;
    if (hook)
        return hook(missingSource);

    const QFileInfo missing(missingSource);
    QFileDialog dialog(dialogParent(), QString(), QString(), QString());
    dialog.setDirectory(missing.absolutePath());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QObject::tr("All Video Files") +
                         " (*.avi *.mp4 *.m4v *.mpg *.mov *.mts *.flv *.mkv *.wmv *.rm)");
    dialog.setWindowTitle(QObject::tr("Find %1").arg(missing.fileName()));
    if (Options::instance()->getAlwaysOnTop())
        dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowStaysOnTopHint);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        return dialog.selectedFiles().first();
    return QString();
}

QString displayName(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

class InputController::InputControllerImpl
{
public:
    InputControllerImpl(InputController *owner, const QString &path, QSharedPointer<Media> media,
                        OptionsHolder &settings)
        : owner(owner), media(std::move(media)), settings(settings), path(path)
    {
    }

    bool exec(MediaTrackFactory *factory, bool projectsOnly, bool checkMediaFiles);

    bool loadTwpFileV1(MediaTrackFactory *factory);
    bool loadTwpFileV2(bool checkMediaFiles);
    bool checkMedia();
    void resolveRelativeSources();
    QString unreadableProjectMessage() const;
    int getAudioChannelIndex(const QString &file);
    static int convertedAudioTrackId(const QString &convertedFile);
    static int audioStreamOfConvertedName(const QString &convertedFile);
    bool loadVideoFile(MediaTrackFactory *factory, int audioStream);
    bool convertInputFile(const QString &source, int audioStream);

    void finishConversion();

    InputController *owner;
    QSharedPointer<Media> media;
    // Where the load puts the settings it reads.
    OptionsHolder &settings;
    QString path;
    QString convertedPath;
    // The record of the last finished conversion (made now or found in the
    // cache).
    VideoInputFile conversion;
    // The audio streams of the sources probed (or found recorded) during
    // this load, by absolute path.
    QHash<QString, QVector<AudioTrackInfo>> sourceAudio;
    VideoInputStorage storage{nullptr};
    bool done = false;
    bool cancelled = false;
    // Beside the two flags above: the running conversion failed, and a
    // conversion is running at all (slots that arrive outside one are stale).
    bool failed = false;
    bool converting = false;
    std::unique_ptr<QDialog> progressDialog;
    QEventLoop *waitLoop = nullptr;
    QString error;
};

bool InputController::InputControllerImpl::exec(MediaTrackFactory *factory, bool projectsOnly,
                                                bool checkMediaFiles)
{
    qDebug() << "Begin executing input controller with" << path;

    media->clear();
    media->setFilePath(path);

    // Only regular files are read: a device, a pipe or a folder (also
    // through a link) would block or make no sense.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        error = QObject::tr("\"%1\" is not a regular file.").arg(displayName(path));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Unable to open" << path;
        error = QObject::tr("Unable to open \"%1\": %2").arg(displayName(path), file.errorString());
        return false;
    }
    QByteArray head = file.read(HeaderBytes);
    file.close();
    const int zero = head.indexOf('\0');
    if (zero >= 0)
        head.truncate(zero);
    const QString text = QString::fromLatin1(head);

    if (text.startsWith(QLatin1String(OldFormHeader))) {
        if (projectsOnly) {
            error = QObject::tr("\"%1\" is a project of the old text form.").arg(displayName(path));
            return false;
        }
        return loadTwpFileV1(factory);
    }
    if (text.startsWith(QLatin1String(XmlFormHeader)))
        return loadTwpFileV2(checkMediaFiles);
    if (projectsOnly) {
        error = QObject::tr("\"%1\" is not a project file.").arg(displayName(path));
        return false;
    }
    // A project file whose start is not a project's is not taken for a
    // video: the user learns what is wrong with it, and where.
    if (QFileInfo(path).suffix().compare(QLatin1String("twp"), Qt::CaseInsensitive) == 0) {
        error = unreadableProjectMessage();
        return false;
    }
    const int audioTrackId = getAudioChannelIndex(path);
    return loadVideoFile(factory, audioTrackId);
}

bool InputController::InputControllerImpl::loadTwpFileV1(MediaTrackFactory *factory)
{
    qDebug() << "Loading TWP file, version 1.";
    // A project of this form is a few lines; anything large is not one.
    constexpr qint64 MaxOldFormBytes = 1 << 20;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QObject::tr("Unable to open \"%1\": %2").arg(displayName(path), file.errorString());
        return false;
    }
    if (file.size() > MaxOldFormBytes) {
        error = QObject::tr("The project \"%1\" could not be read: it is too large for a project of the old form.")
                    .arg(displayName(path));
        return false;
    }
    OldProjectForm form;
    QString problem;
    if (!OldProjectForm::parse(file.readAll(), &form, &problem)) {
        qWarning() << "Failed to initialize project params." << problem;
        error = QObject::tr("The project \"%1\" could not be read: %2.").arg(displayName(path), problem);
        return false;
    }
    qDebug() << "Params initialized" << form.mediaPath << form.pitch << form.tempo << form.loopStart << form.loopEnd;
    // From here the media file, not the project file, is what is read.
    path = form.mediaPath;
    if (!QFileInfo(path).isFile()) {
        error = QObject::tr("The media file \"%1\" of the project does not exist.").arg(displayName(path));
        return false;
    }
    const int audioTrackId = getAudioChannelIndex(path);
    if (!loadVideoFile(factory, audioTrackId))
        return false;
    qDebug() << "Video is loaded";
    OptionsHolder *options = &settings;
    options->setProjectPitch(float(form.pitch));
    options->setProjectTempo(float(100.0 + form.tempo));
    // The loop plays at the project pitch and tempo just set.
    QSharedPointer<VideoLoop> loop(new VideoLoop);
    loop->setPitch(options->getProjectPitch());
    loop->setTempo(options->getProjectTempo());
    const double fps = options->m_fps;
    loop->setStartFrame(OldProjectForm::frameOf(form.loopStart, fps));
    loop->setEndFrame(OldProjectForm::frameOf(form.loopEnd, fps));
    if (const QSharedPointer<MediaTimeLine> timeline = media->getTimeline())
        timeline->addLoop(loop);
    return true;
}

namespace {
// Below this much free space a failed conversion is put down to a full disk.
constexpr qint64 FullDiskBytes = 64 * 1024 * 1024;
} // namespace

bool InputController::InputControllerImpl::loadTwpFileV2(bool checkMediaFiles)
{
    qDebug() << "Loading TWP file, version 2.";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Failed to open project file" << path;
        error = QObject::tr("Unable to open \"%1\": %2").arg(displayName(path), file.errorString());
        return false;
    }
    if (file.size() > ProjectReader::MaxBytes) {
        error = QObject::tr("The project \"%1\" could not be read: it is too large for a project (%2 MB).")
                    .arg(displayName(path))
                    .arg(file.size() / (1024 * 1024));
        return false;
    }
    const QByteArray content = file.readAll();
    file.close();
    qDebug() << "Project" << path << "opened," << content.size() << "bytes.";

    OptionsHolder localOptions;
    if (!ProjectReader::read(content, displayName(path), *media, localOptions, error))
        return false;
    // The project is the file just read, wherever it was saved from: saving
    // it must not write over the place a copied or moved project came from.
    media->setFilePath(path);
    resolveRelativeSources();
    settings = localOptions;
    return checkMediaFiles ? checkMedia() : true;
}

QString InputController::InputControllerImpl::unreadableProjectMessage() const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QObject::tr("Unable to open \"%1\": %2").arg(displayName(path), file.errorString());
    // Streamed, so a huge or deeply nested file costs no document in memory.
    QXmlStreamReader reader(&file);
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError())
        return QObject::tr("The project \"%1\" could not be read: %2 (line %3, column %4).")
            .arg(displayName(path), reader.errorString())
            .arg(reader.lineNumber())
            .arg(reader.columnNumber());
    return QObject::tr("The project \"%1\" could not be read: it does not begin with a Tarnwell project element.")
        .arg(displayName(path));
}

// Sources are saved with absolute paths; a project written with a path
// relative to its own folder still finds its media.
void InputController::InputControllerImpl::resolveRelativeSources()
{
    const QDir projectFolder = QFileInfo(path).absoluteDir();
    for (const auto &fragment : media->getTrackFragments()) {
        const QSharedPointer<MediaTrack> track = fragment->track;
        if (!track)
            continue;
        const QString source = QDir::fromNativeSeparators(track->getOrigName());
        if (source.isEmpty() || QDir::isAbsolutePath(source))
            continue;
        track->setSource(track->getName(), track->getTrackIndex(),
                         QDir::cleanPath(projectFolder.absoluteFilePath(source)));
    }
}

bool InputController::InputControllerImpl::checkMedia()
{
    qDebug() << "Checking project media.";
    const auto fragments = media->getTrackFragments();

    QSet<QString> cache;
    const QString cacheFolder = Options::instance()->getPath(CacheFolder);
    for (const QString &file : Util::getFiles(cacheFolder, {"*.*"}, true))
        cache.insert(QDir::cleanPath(file));
    qDebug() << "Cache contents:" << cache;

    QList<QSharedPointer<MediaTrack>> setAside;
    for (const auto &fragment : fragments) {
        const QSharedPointer<MediaTrack> track = fragment->track;
        if (!track || track->isLoaded())
            continue;
        qDebug() << "Track is invalid.";
        const QString fileName = track->getName();
        const QString source = track->getOrigName();
        const QString cachedName = QDir::cleanPath(QDir::fromNativeSeparators(fileName));
        const bool sourceExists = !source.isEmpty() && QFileInfo(source).isFile();
        // A converted file without its ".finished" marker was cut short: it
        // is never used (it would play a part of the media as if it were
        // all of it); it is made again from the source, or the source is
        // asked for.
        const bool cached = !fileName.isEmpty() && cache.contains(cachedName);
        const bool complete = cached && cache.contains(cachedName + ".finished");
        if (complete) {
            qDebug() << "Loading from cache.";
            track->loadFromFile(fileName, track->getTrackIndex(), source);
            continue;
        }
        qDebug() << "Cache does not contain this video. Looking for the original" << source;
        if (sourceExists) {
            qDebug() << "Original file exists. Converting...";
            // A cancelled or failed conversion has told the user already;
            // the open stops rather than leave the track unloaded.
            if (!convertInputFile(source, audioStreamOfConvertedName(fileName)))
                return false;
            qDebug() << "Converted.";
            track->loadFromFile(convertedPath, convertedAudioTrackId(convertedPath), source);
            cache.insert(QDir::cleanPath(convertedPath));
            continue;
        }
        qDebug() << "Original file does not exists." << QFileInfo(source).absoluteFilePath();
        const QString replacement = askForMissingFile(source);
        if (replacement.isEmpty()) {
            qDebug() << "Cancel track selection.";
            inform(QObject::tr("Open Project"), QObject::tr("Open project has been cancelled"));
            return false;
        }
        qDebug() << "Replace track with new file:" << replacement;
        const int audioStream = getAudioChannelIndex(replacement);
        track->setSource(track->getName(), track->getTrackIndex(), replacement);
        if (!convertInputFile(replacement, audioStream))
            return false;
        qDebug() << "New file converted." << convertedPath;
        track->loadFromFile(convertedPath, convertedAudioTrackId(convertedPath), replacement);
        if (!track->isLoaded())
            setAside.append(track);
    }
    qDebug() << "New cache contents:" << cache;
    for (const auto &track : setAside)
        media->removeTrack(track);

    // Whatever the walk above could not load must not reach the player.
    for (const auto &fragment : media->getTrackFragments()) {
        if (!fragment->track || !fragment->track->isLoaded()) {
            const QString source = fragment->track ? fragment->track->getOrigName() : QString();
            error = QObject::tr("The media \"%1\" of the project could not be loaded.").arg(displayName(source));
            return false;
        }
    }
    return true;
}

int InputController::InputControllerImpl::getAudioChannelIndex(const QString &file)
{
    qDebug() << "Obtaining audio track index.";
    // A source whose conversion is in the cache, unchanged since, was probed
    // then: its record tells its streams.
    QVector<AudioTrackInfo> tracks;
    ConversionRecord::KnownSource known;
    if (ConversionRecord::findSource(Options::instance()->getPath(CacheFolder), ConversionRecord::SourceKey::of(file),
                                     &known)
        && known.audioKnown) {
        qDebug() << "Audio tracks as recorded in the cache.";
        tracks = known.audioTracks;
    } else {
        VideoFileParser parser;
        parser.parseFile(file);
        tracks = parser.getAudioTracks();
    }
    sourceAudio.insert(QFileInfo(file).absoluteFilePath(), tracks);

    int choice = -1;
    if (tracks.size() == 1) {
        choice = 0;
    } else if (tracks.size() > 1) {
        const auto &chooser = installedInteraction().chooseAudioTrack;
        choice = chooser ? chooser(tracks) : 0;
        // The choice is an index into the list; anything else takes the row
        // the chooser shows first.
        if (choice < 0 || choice >= tracks.size())
            choice = 0;
    }
    if (choice < 0)
        return -1;
    // At most two channels are played; a probe that reports no channel count
    // must not leave the project without any.
    OptionsHolder *options = &settings;
    options->m_numChannels = qBound(1, tracks[choice].channels, 2);
    if (tracks[choice].channels > 0)
        options->m_originalnumChannels = tracks[choice].channels;
    // The first track is the default one: its conversion keeps the plain
    // content name, which projects and caches made elsewhere look for.
    return choice == 0 ? -1 : tracks[choice].trackId;
}

int InputController::InputControllerImpl::convertedAudioTrackId(const QString &convertedFile)
{
    // The conversion keeps only the chosen audio stream, so the converted
    // file is addressed by its own track id, not by the source's.
    VideoFileParser parser;
    parser.parseFile(convertedFile);
    const QVector<AudioTrackInfo> tracks = parser.getAudioTracks();
    return tracks.isEmpty() ? NoAudioTrackId : tracks.first().trackId;
}

int InputController::InputControllerImpl::audioStreamOfConvertedName(const QString &convertedFile)
{
    // The cache names a conversion of a chosen stream "<digest>_<stream>.avi".
    static const QRegularExpression suffix("_(\\d+)\\.avi$");
    const QRegularExpressionMatch match = suffix.match(QFileInfo(convertedFile).fileName());
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

bool InputController::InputControllerImpl::loadVideoFile(MediaTrackFactory *, int audioStream)
{
    qDebug() << "Loading video file at" << path;
    if (!convertInputFile(path, audioStream))
        return false;

    const VideoInputFile converted = conversion;
    OptionsHolder *options = &settings;
    options->m_originalfps = converted.fps;
    options->m_videoBitRate = converted.bitrate;
    options->m_originalvideoBitRate = converted.bitrate;
    options->m_audioBitRate = converted.audioBitrate;
    options->m_videoHeight = converted.height;
    options->m_originalvideoHeight = converted.height;
    options->m_videoWidth = converted.width;
    options->m_originalvideoWidth = converted.width;
    options->m_originalaudioSampleRate = converted.sampleRate;
    options->m_aspectRatio = converted.aspectRatio;

    const QSharedPointer<MediaTrack> track =
        MediaTrackFactory::createMediaTrackFromFile(convertedPath, convertedAudioTrackId(convertedPath));
    if (!track || !track->isLoaded() || track->getDuration() <= Time(0)) {
        error = QObject::tr("\"%1\" holds nothing that can be played.").arg(displayName(path));
        return false;
    }
    media->addTrack(track);
    track->setSource(track->getName(), track->getTrackIndex(), QFileInfo(path).absoluteFilePath());
    return true;
}

bool InputController::InputControllerImpl::convertInputFile(const QString &source, int audioStream)
{
    done = false;
    cancelled = false;
    failed = false;
    converting = true;
    convertedPath.clear();
    conversion = VideoInputFile();

    // A source that is in the cache as it was when its conversion was made
    // (same path, size and modification time) is not read again: its
    // content name is the recorded one, and a finished conversion with its
    // record is taken as it is, without any tool.
    const ConversionRecord::SourceKey key = ConversionRecord::SourceKey::of(source);
    ConversionRecord::KnownSource known;
    if (ConversionRecord::findSource(Options::instance()->getPath(CacheFolder), key, &known)) {
        VideoInputFile found;
        found.inputPath = source;
        found.outputPath = VideoInputStorage::pathForContent(known.contentName, audioStream);
        found.audioStream = audioStream;
        if (ConversionRecord::readConversion(found.outputPath, &found)) {
            qDebug() << "Conversion found in the cache:" << found.outputPath;
            converting = false;
            done = true;
            convertedPath = found.outputPath;
            conversion = found;
            return true;
        }
    }

    // The content name takes a whole read of the source (seconds for a
    // large file): it is worked out on a worker thread while the window and
    // the progress dialog stay live; the conversion starts once it is known.
    const QString knownName = known.contentName;
    auto stopHashing = std::make_shared<std::atomic<bool>>(false);
    QFutureWatcher<QString> hashing;
    QObject::connect(&hashing, &QFutureWatcher<QString>::finished, owner,
                     [this, &hashing, source, audioStream] {
                         if (done)
                             return;
                         const QString name = hashing.result();
                         if (name.isEmpty()) {
                             failed = true;
                             finishConversion();
                             error = QObject::tr("\"%1\" could not be read.").arg(displayName(source));
                             return;
                         }
                         storage.addInputFile(source, audioStream, name);
                     });
    hashing.setFuture(QtConcurrent::run([source, stopHashing, knownName] {
        return knownName.isEmpty() ? VideoInputStorage::contentName(source, stopHashing.get()) : knownName;
    }));

    const auto &makeDialog = installedInteraction().makeProgressDialog;
    if (!done && makeDialog) {
        progressDialog.reset(makeDialog());
        if (progressDialog) {
            QObject::connect(progressDialog.get(), SIGNAL(cancelled()), owner,
                             SLOT(handleVideoConversionCancelled()));
            QMetaObject::invokeMethod(progressDialog.get(), "setMessage",
                                      Q_ARG(QString, QObject::tr("Importing video")));
            Qt::WindowFlags flags = progressDialog->windowFlags();
            if (Options::instance()->getAlwaysOnTop())
                flags |= Qt::WindowStaysOnTopHint;
            else
                flags &= ~Qt::WindowStaysOnTopHint;
            progressDialog->setWindowFlags(flags);
            if (!done)
                progressDialog->exec();
        }
    }
    if (!done) {
        QEventLoop loop;
        waitLoop = &loop;
        loop.exec();
        waitLoop = nullptr;
    }
    converting = false;
    progressDialog.reset();
    // A cancel while hashing: the read stops at its next block.
    *stopHashing = true;
    hashing.waitForFinished();
    if (cancelled || failed)
        return false;
    conversion = storage.getInputFiles().value(source);
    // Kept with the conversion for the next open: the source's key, unless
    // the source changed while it was read, and its audio streams when they
    // were probed during this load.
    const auto audio = sourceAudio.constFind(QFileInfo(source).absoluteFilePath());
    ConversionRecord::writeConversion(convertedPath, conversion,
                                      ConversionRecord::SourceKey::of(source) == key ? key
                                                                                    : ConversionRecord::SourceKey(),
                                      audio != sourceAudio.constEnd() ? &*audio : nullptr);
    return true;
}

// Ends the wait of convertInputFile, whichever way the conversion ended.
void InputController::InputControllerImpl::finishConversion()
{
    done = true;
    if (progressDialog)
        progressDialog->hide();
    if (waitLoop)
        waitLoop->quit();
}

InputController::InputController(const QString &path, QSharedPointer<Media> media)
    : InputController(path, std::move(media), *Singleton<OptionsHolder>::instance())
{
}

InputController::InputController(const QString &path, QSharedPointer<Media> media, OptionsHolder &settings)
    : d(std::make_unique<InputControllerImpl>(this, path, std::move(media), settings))
{
    connect(&d->storage, &VideoInputStorage::conversionFinished, this,
            &InputController::handleVideoConvesionCompleted);
    connect(&d->storage, &VideoInputStorage::currentFileProgress, this,
            &InputController::handleVideoConvesionProgressChanged);
    connect(&d->storage, &VideoInputStorage::conversionFailed, this,
            &InputController::handleVideoConversionFailed);
}

InputController::~InputController() = default;

void InputController::setInteraction(const Interaction &interaction)
{
    installedInteraction() = interaction;
}

InputController::Interaction InputController::interaction()
{
    return installedInteraction();
}

bool InputController::isBusy()
{
    return g_busy;
}

bool InputController::exec(MediaTrackFactory *factory, bool projectsOnly, bool checkMedia)
{
    d->error.clear();
    if (g_busy) {
        // Refused before the media is touched: it belongs to the load that
        // is running.
        qDebug() << "Refusing to open" << d->path << "while another file is being imported.";
        d->error = tr("Another file is being imported. Try again when it is finished.");
        return false;
    }
    BusyMark busy;
    const bool loaded = d->exec(factory, projectsOnly, checkMedia);
    if (loaded)
        d->error.clear();
    return loaded;
}

QString InputController::errorString() const
{
    return d->error;
}

void InputController::handleVideoConvesionCompleted(const VideoInputFile &file)
{
    if (!d->converting || d->done)
        return;
    d->convertedPath = file.outputPath;
    d->finishConversion();
}

void InputController::handleVideoConvesionProgressChanged(const VideoInputFile &file)
{
    if (d->done || !d->progressDialog)
        return;
    QMetaObject::invokeMethod(d->progressDialog.get(), "setProgress", Q_ARG(int, file.progress));
}

void InputController::handleVideoConversionCancelled()
{
    if (!d->converting || d->done)
        return;
    d->cancelled = true;
    d->storage.cancel();
    d->finishConversion();
    d->error.clear();
    inform(tr("Video Import"), tr("Video Import Cancelled."));
}

void InputController::handleVideoConversionFailed(const VideoInputFile &file)
{
    if (!d->converting || d->done)
        return;
    d->failed = true;
    d->finishConversion();
    d->error.clear();
    qWarning() << "Conversion of" << file.inputPath << "failed.";
    // A full disk is the likeliest cause the user can act on: say so, and
    // where.
    const QString folder = QFileInfo(file.outputPath).absolutePath();
    const QStorageInfo disk(folder);
    if (disk.isValid() && disk.bytesAvailable() >= 0 && disk.bytesAvailable() < FullDiskBytes) {
        warn(tr("Video Import"), tr("Video Import Failed: the disk holding \"%1\" is full (%2 MB free).")
                                     .arg(QDir::toNativeSeparators(folder))
                                     .arg(disk.bytesAvailable() / (1024 * 1024)));
        return;
    }
    // A file in which ffmpeg finds no picture and no sound is not media at
    // all (a document, a damaged or unfinished download).
    VideoFileParser parser;
    parser.parseFile(file.inputPath);
    if (parser.getVideoTracks().isEmpty() && parser.getAudioTracks().isEmpty()) {
        warn(tr("Video Import"),
             tr("Video Import Failed: \"%1\" is not a media file that ffmpeg can read: it holds no picture "
                "or sound that ffmpeg recognises.")
                 .arg(displayName(file.inputPath)));
        return;
    }
    warn(tr("Video Import"),
         tr("Video Import Failed: \"%1\" could not be converted: ffmpeg stopped with an error while converting "
            "it. The file may be damaged or use a format this ffmpeg cannot decode.")
             .arg(displayName(file.inputPath)));
}

} // namespace TW
