#include "app/ProjectSession.h"

#include "app/ControllerContext.h"
#include "app/MainController.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/ProgressMonitor.h"
#include "core/RawFileName.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "core/VideoInputStorage.h"
#include "io/CacheCleaner.h"
#include "io/InputController.h"
#include "io/ResourceManager.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"
#include "model/Project.h"
#include "model/VideoLoop.h"
#include "model/VideoMarker.h"
#include "playback/MediaPlayer.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TimelineViewportWidget.h"
#include "ui/TimelineWidget.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>
#include <QUndoStack>

namespace TW {

ProjectSession::ProjectSession(ControllerContext &context) : c(context) {}

void ProjectSession::setWindowTitle()
{
    if (!c.mainWindow)
        return;
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    QString fileName;
    QString size = Util::getSizeString(0);
    fileName = QFileInfo(c.media()->getFilePath()).fileName();
    // Where the window shows "*" while the project has unsaved changes.
    if (!fileName.isEmpty())
        fileName += QLatin1String("[*]");
    size = Util::getSizeString(Util::getTotalSize(c.media()->getTrackFragments()));
    c.mainWindow->setWindowTitle(MainController::makeWindowTitle(QCoreApplication::applicationName(), fileName, size,
                                                                 o->m_videoWidth, o->m_videoHeight, o->m_originalfps,
                                                                 o->m_originalvideoBitRate,
                                                                 o->m_originalaudioSampleRate));
    c.mainWindow->setWindowModified(c.undoStack && !c.undoStack->isClean());
}

void ProjectSession::resetWindowView()
{
    c.mainWindow->getTimeline()->getViewport()->resetZoom();
    c.mainWindow->setCurrentFrame(0);
    c.mainWindow->clearSelection();
    c.mainWindow->updateTempoPitch();
    c.mainWindow->setZoom(0.0f);
}

void ProjectSession::copyTrackFlags()
{
    const QSharedPointer<MediaTimeLine> timeline = c.media()->getTimeline();
    if (!timeline)
        return;
    c.mainWindow->setVideoLocked(timeline->isVideoLocked());
    c.mainWindow->setAudioLocked(timeline->isAudioLocked());
    c.mainWindow->setVideoPlayable(timeline->isVideoPlayable());
    c.mainWindow->setAudioPlayable(timeline->isAudioPlayable());
}

void ProjectSession::openSucceeded(const QString &fileName)
{
    qDebug() << "Input controller executed.";
    c.player->seek(0, true, true);
    c.player->openMedia(c.media());
    qDebug() << "Updating timeline";
    c.owner->updateTimeline();
    qDebug() << "Updating main window";
    resetWindowView();
    copyTrackFlags();
    if (const QSharedPointer<MediaTimeLine> timeline = c.media()->getTimeline()) {
        c.player->setVideoEnabled(timeline->isVideoPlayable());
        c.player->setAudioEnabled(timeline->isAudioPlayable());
    }
    // The project's volume is what the volume slider was left at.
    const float volume = qBound(0.0f, c.project->settings().getProjectVolume(), 100.0f);
    c.project->setVolume(volume);
    c.mainWindow->getEditVideoWidget()->setVolume(volume);
    setWindowTitle();
    Options::instance()->addOpenedFile(fileName);
    c.mainWindow->setOpenedFiles(Options::instance()->getOpenedFiles());
    c.clearUndoStack();
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    c.mainWindow->setSizeOriginal(QSize(o->m_originalvideoWidth, o->m_originalvideoHeight));

    ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
    progress->startProgress(0, 1, 0, MainController::tr("Processing project..."));
    // The ruler is painted once with all its handles, not at each step
    // the progress bar shows (thousands of handles take long to paint).
    TimeAreaWidget *ruler = c.mainWindow->getTimeArea();
    const bool rulerUpdates = ruler->updatesEnabled();
    ruler->setUpdatesEnabled(false);
    qDebug() << "Updating bookmarks";
    c.mainWindow->clearBookmarks();
    const QSharedPointer<MediaTimeLine> timeline = c.media()->getTimeline();
    const auto markers = timeline ? timeline->getMarkers() : decltype(timeline->getMarkers())();
    // The range becomes 0 .. the number of bookmarks (it started as 0 .. 1).
    progress->updateProgress(0, int(markers.size()) - 1, 0);
    for (const auto &marker : markers) {
        c.mainWindow->addBookmark(marker);
        ++*progress;
    }
    qDebug() << "Updating loops";
    c.mainWindow->clearLoops();
    c.mainWindow->clearTmpLoops();
    const auto loops = timeline ? timeline->getLoops() : decltype(timeline->getLoops())();
    progress->updateProgress(0, int(loops.size()) - int(markers.size()), -int(markers.size()));
    for (const auto &loop : loops) {
        c.mainWindow->addLoop(loop);
        ++*progress;
    }
    ruler->setUpdatesEnabled(rulerUpdates);
    progress->stopProgress();
}

void ProjectSession::openFailed()
{
    c.project->setMedia(QSharedPointer<Media>(new Media));
    // The old player was reset before the load and goes now. It is not
    // opened on the empty project first: that would start a libvlc
    // output only to stop it at once, and stopping an output that is
    // still starting can deadlock inside libvlc.
    // The replacement player draws into the same view and reports its
    // position to the window like the first one.
    c.player = QSharedPointer<MediaPlayer>(new MediaPlayer);
    c.player->setRenderingWidget(c.mainWindow->getRenderingWidget());
    QObject::connect(c.player.data(), &MediaPlayer::timeChanged, c.mainWindow, &MainWindow::setCurrentFrame);
    c.player->setPlaybackSettings(c.project->playbackSettings());
    c.owner->updateTimeline();
    resetWindowView();
    c.mainWindow->setDuration(QTime(0, 0), 0.0);
    TimelineViewportWidget *viewport = c.mainWindow->getTimeline()->getViewport();
    viewport->resize(1, viewport->height());
    copyTrackFlags();
    c.mainWindow->setWindowTitle(QCoreApplication::applicationName());
    c.clearUndoStack();
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    c.mainWindow->setSizeOriginal(QSize(o->m_originalvideoWidth, o->m_originalvideoHeight));
    c.mainWindow->clearBookmarks();
    c.mainWindow->clearLoops();
    c.mainWindow->clearTmpLoops();
}

// Writes the project file; true when it was written completely. The file
// is replaced only by a finished write, so a failure leaves the previous
// file as it was; the project then keeps its former path.
bool ProjectSession::saveProject(const QString &path)
{
    const QString previousPath = c.media()->getFilePath();
    c.media()->setFilePath(path);
    setWindowTitle();
    qDebug() << "Saving project to" << path;

    QString problem;
    QSaveFile file(path);
    // Unbuffered, so a short write (a full disk) shows in write()'s count;
    // a buffered short write is not reported by commit().
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text | QIODevice::Unbuffered)) {
        qWarning() << "Failed to open project file.";
        problem = file.errorString();
    } else {
        QDomDocument document;
        QDomElement root = document.createElement(QStringLiteral("tarnwell_project"));
        root.setAttribute(QStringLiteral("version"), 2);
        document.appendChild(root);
        root.appendChild(c.media()->toDomElement(document, QStringLiteral("media")));
        root.appendChild(Singleton<OptionsHolder>::instance()->toDomElement(document, QStringLiteral("options")));
        const QByteArray text = document.toByteArray(1);
        const qint64 written = file.write(text);
        if (written != text.size()) {
            problem = written < 0 ? file.errorString()
                                  : MainController::tr("only %1 of %2 bytes could be written")
                                        .arg(written)
                                        .arg(text.size());
            file.cancelWriting();
        } else if (!file.commit()) {
            problem = file.errorString();
        }
    }
    if (problem.isEmpty()) {
        c.undoStack->setClean();
        qDebug() << "Project file is saved.";
        return true;
    }
    qWarning() << "Failed to save the project:" << problem;
    c.media()->setFilePath(previousPath);
    setWindowTitle();
    QMessageBox::warning(c.mainWindow, MainController::tr("Save project"),
                         MainController::tr("The project could not be saved to \"%1\": %2")
                             .arg(QDir::toNativeSeparators(path), problem),
                         QMessageBox::Ok);
    return false;
}

// Asks for a project file name and saves there; true when a file was
// written.
bool ProjectSession::saveProjectAs()
{
    if (c.projectEmpty())
        return false;
    Options *options = Options::instance();
    QFileDialog dialog(c.mainWindow, QString(), QString(), QString());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowTitle(MainController::tr("Save project"));
    dialog.setNameFilter(QStringLiteral("Tarnwell Project (*.twp)"));
    if (options->getAlwaysOnTop())
        dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowStaysOnTopHint);
    const QString lastFolder = options->getLastPath(SaveProjectFolder);
    dialog.setDirectory(lastFolder.isEmpty() ? options->getPath(SaveProjectFolder) : lastFolder);

    bool saved = false;
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        QString path = dialog.selectedFiles().first();
        if (!path.endsWith(QLatin1String(ProjectSuffix)))
            path += QLatin1String(ProjectSuffix);
        saved = saveProject(path);
    }
    options->setLastPath(SaveProjectFolder, dialog.directory().absolutePath());
    return saved;
}

// The conversions the open project plays.
QSet<QString> ProjectSession::filesOfOpenProject() const
{
    QSet<QString> files;
    for (const auto &fragment : c.media()->getTrackFragments())
        if (fragment->track)
            files.insert(CacheCleaner::normalized(fragment->track->getName()));
    return files;
}

// Removes the conversions that no project uses: those saved in the
// project folder, those in the recent files (a project saved elsewhere)
// and the open one.
void ProjectSession::clearVideoCache()
{
    qDebug() << "Clearing video cache.";
    Options *options = Options::instance();
    QStringList projects = Util::getFiles(options->getPath(SaveProjectFolder), {QStringLiteral("*.twp")}, true);
    for (const QString &recent : options->getOpenedFiles())
        if (recent.endsWith(QLatin1String(ProjectSuffix), Qt::CaseInsensitive) && QFileInfo(recent).isFile())
            projects << recent;
    projects.removeDuplicates();
    qDebug() << "Found projects:" << projects;
    const QSet<QString> used = CacheCleaner::filesUsedBy(projects) + filesOfOpenProject();
    const QStringList removed = CacheCleaner::clearUnused(options->getPath(CacheFolder), used);
    qDebug() << "Removed from the cache:" << removed;
}

// Saving writes what the project holds; while an import fills it, it
// holds half of something.
bool ProjectSession::importRunning() const
{
    if (!InputController::isBusy())
        return false;
    qDebug() << "A file is being imported; the project is not saved now.";
    return true;
}

bool ProjectSession::confirmClose()
{
    if (c.projectEmpty() || c.undoStack->isClean())
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        c.mainWindow, MainController::tr("Close project"),
        MainController::tr("The project has changes that are not saved. Do you want to save them before closing?"),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard)
        return true;
    if (answer != QMessageBox::Save || importRunning())
        return false;
    // Closing goes on only when the changes were written.
    const QString path = c.media()->getFilePath();
    if (!path.isEmpty() && path.endsWith(QLatin1String(ProjectSuffix)))
        return saveProject(path);
    return saveProjectAs();
}

void ProjectSession::openFile(const QString &name)
{
    qDebug() << "MainController::openFile" << name;
    qDebug() << "Opening file" << name;
    if (name.isEmpty()) {
        qDebug() << "Empty filename";
        return;
    }
    // Projects, recent files and sources keep absolute paths: they must
    // not depend on the folder the program was started in.
    QString fileName = QFileInfo(name).absoluteFilePath();
    // A name that is not valid UTF-8 reaches us decoded with replacement
    // characters: the file is opened through a link with a valid name.
    if (!QFileInfo::exists(fileName)) {
        const QString openable = RawFileName::openablePath(fileName);
        if (!openable.isEmpty())
            fileName = openable;
    }
    if (!QFileInfo::exists(fileName)) {
        qWarning() << "File does not exist:" << fileName;
        QMessageBox::warning(c.mainWindow, MainController::tr("Open file"),
                             MainController::tr("The file \"%1\" does not exist.").arg(QDir::toNativeSeparators(fileName)),
                             QMessageBox::Ok);
        return;
    }
    // An import shows its progress modally but lets events through; an open
    // asked for meanwhile would reset the player and the project under it.
    if (InputController::isBusy()) {
        qDebug() << "Another file is being opened; refused:" << fileName;
        return;
    }
    if (!c.projectEmpty() && !c.undoStack->isClean()) {
        if (QMessageBox::question(c.mainWindow, MainController::tr("Open new file"), MainController::tr("Do you want to close current project?"),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
            return;
        if (QMessageBox::question(c.mainWindow, MainController::tr("Save project"),
                                  MainController::tr("Do you want to save current project before closing?"),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
                == QMessageBox::Yes
            && !saveProjectAs()) {
            // The user wanted the edits kept: without a saved copy the
            // project stays open.
            qDebug() << "The project was not saved; the open is abandoned.";
            return;
        }
    }
    // The open project stays as it is until the new one has loaded: a file
    // that cannot be opened leaves the user's work where it was.
    const bool hadProject = !c.projectEmpty();
    // The opening path alone fills the settings while it loads.
    OptionsHolder *options = &c.project->settingsForLoading();
    const OptionsHolder previousOptions(*options);
    if (hadProject)
        c.player->pause();
    else
        c.player->resetMedia();
    options->reset();
    bool opened = false;
    QString problem;
    const QSharedPointer<Media> loaded(new Media);
    {
        const QSharedPointer<InputController> input(new InputController(fileName, loaded, *options));
        opened = input->exec(nullptr, false, true);
        if (!opened)
            problem = input->errorString();
    }
    if (opened) {
        if (hadProject)
            c.player->resetMedia();
        c.project->setMedia(loaded);
        openSucceeded(fileName);
        // The project before it and its players are gone by now.
        Util::releaseFreeMemory();
        return;
    }
    qWarning() << "Failed to open file" << fileName;
    if (hadProject)
        *options = previousOptions;
    else
        openFailed();
    Util::releaseFreeMemory();
    // Cancellations and failed conversions have told the user already.
    if (!problem.isEmpty()) {
        qDebug() << problem;
        QMessageBox::warning(c.mainWindow, MainController::tr("Open file"), problem, QMessageBox::Ok);
    }
}

void ProjectSession::saveCurrentProject()
{
    logSlot("saveCurrentProject");
    if (importRunning())
        return;
    const QString path = c.media()->getFilePath();
    // A project opened from a media file carries the media file's path.
    if (!path.isEmpty() && path.endsWith(QLatin1String(ProjectSuffix)))
        saveProject(path);
    else
        saveProjectAs();
}

void ProjectSession::saveCurrentProjectAs()
{
    logSlot("saveCurrentProjectAs");
    if (importRunning())
        return;
    saveProjectAs();
}

void ProjectSession::clearCachedData(const QString &path)
{
    qDebug() << "MainController::clearCachedData" << path;
    // The open project's conversion stays, whatever file it came from.
    const QString name = VideoInputStorage::contentName(path);
    if (name.isEmpty())
        return;
    const QSet<QString> open = filesOfOpenProject();
    for (const QString &file : open) {
        if (QFileInfo(file).fileName().startsWith(name)) {
            qWarning() << "The open project uses the conversion of" << path << "; it is kept.";
            return;
        }
    }
    const QString converted = VideoInputStorage::deleteCached(path);
    qDebug() << converted;
    ResourceManager::clearCached(converted);
}
} // namespace TW
