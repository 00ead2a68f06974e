#include "app/MainController.h"

#include "app/AspectRatioCommand.h"
#include "app/DeleteSegmentCommand.h"
#include "app/ExportController.h"
#include "app/PasteSegmentCommand.h"
#include "app/SilenceSegmentCommand.h"
#include "app/SnifferController.h"
#include "app/VolumeMediaCommand.h"
#include "app/VolumeSegmentCommand.h"
#include "app/WindowActions.h"

#include "core/Logger.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/RawFileName.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindow.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TimelineViewportWidget.h"
#include "ui/TimelineWidget.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QMimeData>
#include <QProcess>
#include <QSaveFile>
#include <QScreen>
#include <QStatusBar>
#include <QUrl>
#include <QThreadPool>
#include <QUndoCommand>
#include <QUndoStack>
#include <QFutureWatcher>
#include <QMultiHash>
#include <QPainter>
#include <QPointer>
#include <QSet>
#include <QtConcurrent>

#include <climits>

#include "core/ProgressMonitor.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/ConvertProgressDialog.h"
#include "dialogs/EditSilenceDialog.h"
#include "dialogs/PrintDialog.h"
#include "dialogs/EditVolumeDialog.h"
#include "dialogs/SizeCustomDialog.h"
#include "dialogs/TrackSelectionDialog.h"
#include "io/CacheCleaner.h"
#include "io/SnaphotExtractor.h"
#include "ui/AbstractThumbnail.h"
#include "ui/AudioThumbnailWidget.h"
#include "ui/VideoThumbnailWidget.h"
#include "core/Time.h"
#include "io/InputController.h"
#include "io/ResourceManager.h"
#include "core/VideoInputStorage.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFactory.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/VideoLoop.h"
#include "model/MediaTrackFragment.h"
#include "model/VideoMarker.h"
#include "playback/MediaPlayer.h"

#include <cmath>
#include <optional>

namespace TW {

namespace {

Logger *logger() { return Singleton<Logger>::instance(); }

void logSlot(const char *name)
{
    qDebug().noquote() << QStringLiteral("MainController::%1").arg(QLatin1String(name));
}

const char *const ProjectSuffix = ".twp";

// Tempo, pitch and volume values that differ by less than this are the same.
bool sameSetting(float a, float b)
{
    return std::fabs(a - b) < 0.001f;
}

} // namespace

struct MainController::Impl
{
    explicit Impl(MainController *owner) : owner(owner)
    {
        project = QSharedPointer<Media>(new Media);
        player = QSharedPointer<MediaPlayer>(new MediaPlayer);
        undoStack = new QUndoStack;
        // Frames and waveforms are made beside playback, not in its pool.
        picturePool.setMaxThreadCount(2);
    }

    ~Impl()
    {
        // Picture jobs may still run; their results have nowhere to go.
        picturePool.clear();
        picturePool.waitForDone();
        delete mainWindow;
        mainWindow = nullptr;
        undoStack->clear();
        delete undoStack;
        undoStack = nullptr;
    }

    void connectSignals()
    {
        if (player)
            QObject::connect(player.data(), &MediaPlayer::timeChanged, mainWindow, &MainWindow::setCurrentFrame);
        QObject::connect(undoStack, &QUndoStack::canRedoChanged, mainWindow, &MainWindow::setCanRedo);
        QObject::connect(undoStack, &QUndoStack::canUndoChanged, mainWindow, &MainWindow::setCanUndo);
        // The title's "*" marks a project with changes not yet saved.
        QObject::connect(undoStack, &QUndoStack::cleanChanged, mainWindow,
                         [this](bool clean) { mainWindow->setWindowModified(!clean); });
        // Commands travel queued, so their pointer type must be known to the meta system.
        qRegisterMetaType<QUndoCommand *>("QUndoCommand*");
        QObject::connect(mainWindow, &MainWindow::execute, owner, &MainController::onExecute, Qt::QueuedConnection);
    }

    void parseCmdArgs()
    {
        const QStringList args = QCoreApplication::arguments();
        qDebug() << "Parsing application arguments.";
        for (int i = 0; i < args.size(); ++i) {
            const QString &arg = args.at(i);
            qDebug() << "Argument #" << i << ":" << arg;
            if (arg == QLatin1String("-p")) {
                if (i + 2 < args.size()) {
                    const QString xText = args.at(++i);
                    qDebug() << "X pos:" << xText;
                    bool xOk = false;
                    const int x = wholeNumber(xText, &xOk);
                    if (!xOk)
                        continue;
                    const QString yText = args.at(++i);
                    qDebug() << "Y pos:" << yText;
                    bool yOk = false;
                    const int y = wholeNumber(yText, &yOk);
                    if (yOk)
                        setWndPos(QPoint(x, y));
                    continue;
                }
                // Too few arguments follow: "-p" is ignored.
                continue;
            }
            if (arg == QLatin1String("-log")) {
                if (Logger *l = logger())
                    l->toggleEnabled();
                continue;
            }
            if (i > 0)
                fileToOpen = arg;
        }
    }

    static int wholeNumber(const QString &text, bool *ok)
    {
        return text.toInt(ok, 10);
    }

    void setWndPos(const QPoint &p)
    {
        qDebug() << "Set window position:" << p;
        if (!mainWindow || mainWindow->isMaximized())
            return;
        const QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect available = screen->availableGeometry();
        qDebug() << "Desktop size:" << available;
        const QPoint target = windowTarget(p, available);
        qDebug() << "Move window to" << target;
        mainWindow->move(target);
    }

    void openFileOnLaunch()
    {
        if (!fileToOpen.isEmpty())
            QMetaObject::invokeMethod(owner, "openFile", Qt::QueuedConnection, Q_ARG(QString, fileToOpen));
    }

    void setWindowTitle()
    {
        if (!mainWindow)
            return;
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        QString fileName;
        QString size = Util::getSizeString(0);
        if (project) {
            fileName = QFileInfo(project->getFilePath()).fileName();
            // Where the window shows "*" while the project has unsaved changes.
            if (!fileName.isEmpty())
                fileName += QLatin1String("[*]");
            size = Util::getSizeString(Util::getTotalSize(project->getTrackFragments()));
        }
        mainWindow->setWindowTitle(makeWindowTitle(QCoreApplication::applicationName(), fileName, size,
                                                   o->m_videoWidth, o->m_videoHeight, o->m_originalfps,
                                                   o->m_originalvideoBitRate, o->m_originalaudioSampleRate));
        mainWindow->setWindowModified(undoStack && !undoStack->isClean());
    }

    // The zoom slider's position for the stored factor, in percent of the range.
    void showZoom()
    {
        const OptionsHolder *o = Singleton<OptionsHolder>::instance();
        const double range = double(o->getMaxZoom()) - double(o->getMinZoom());
        if (mainWindow && range > 0.0)
            mainWindow->setZoom(float((double(zoom) - double(o->getMinZoom())) * 100.0 / range));
    }

    void stepZoom(bool in)
    {
        const OptionsHolder *o = Singleton<OptionsHolder>::instance();
        const float current = player->getVideoFrameZoom();
        zoom = in ? qMin(current + o->getZoomStep(), o->getMaxZoom()) : qMax(current - o->getZoomStep(), o->getMinZoom());
        player->setVideoFrameZoom(zoom);
        showZoom();
        qDebug() << (in ? "Zoom in. Zoom is set to" : "Zoom out. Zoom is set to") << zoom;
    }

    bool projectEmpty() const
    {
        return !project || project->isEmpty();
    }

    void resetWindowView()
    {
        mainWindow->getTimeline()->getViewport()->resetZoom();
        mainWindow->setCurrentFrame(0);
        mainWindow->clearSelection();
        mainWindow->updateTempoPitch();
        mainWindow->setZoom(0.0f);
    }

    void copyTrackFlags()
    {
        const QSharedPointer<MediaTimeLine> timeline = project->getTimeline();
        if (!timeline)
            return;
        mainWindow->setVideoLocked(timeline->isVideoLocked());
        mainWindow->setAudioLocked(timeline->isAudioLocked());
        mainWindow->setVideoPlayable(timeline->isVideoPlayable());
        mainWindow->setAudioPlayable(timeline->isAudioPlayable());
    }

    void openSucceeded(const QString &fileName)
    {
        qDebug() << "Input controller executed.";
        player->seek(0, true, true);
        player->openMedia(project);
        qDebug() << "Updating timeline";
        owner->updateTimeline();
        qDebug() << "Updating main window";
        resetWindowView();
        copyTrackFlags();
        if (const QSharedPointer<MediaTimeLine> timeline = project->getTimeline()) {
            player->setVideoEnabled(timeline->isVideoPlayable());
            player->setAudioEnabled(timeline->isAudioPlayable());
        }
        // The project's volume is what the volume slider was left at.
        const float volume = qBound(0.0f, Singleton<OptionsHolder>::instance()->getProjectVolume(), 100.0f);
        player->setVolume(volume);
        mainWindow->getEditVideoWidget()->setVolume(volume);
        setWindowTitle();
        Options::instance()->addOpenedFile(fileName);
        mainWindow->setOpenedFiles(Options::instance()->getOpenedFiles());
        clearUndoStack();
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        mainWindow->setSizeOriginal(QSize(o->m_originalvideoWidth, o->m_originalvideoHeight));

        ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
        progress->startProgress(0, 1, 0, MainController::tr("Processing project..."));
        // The ruler is painted once with all its handles, not at each step
        // the progress bar shows (thousands of handles take long to paint).
        TimeAreaWidget *ruler = mainWindow->getTimeArea();
        const bool rulerUpdates = ruler->updatesEnabled();
        ruler->setUpdatesEnabled(false);
        qDebug() << "Updating bookmarks";
        mainWindow->clearBookmarks();
        const QSharedPointer<MediaTimeLine> timeline = project->getTimeline();
        const auto markers = timeline ? timeline->getMarkers() : decltype(timeline->getMarkers())();
        // The range becomes 0 .. the number of bookmarks (it started as 0 .. 1).
        progress->updateProgress(0, int(markers.size()) - 1, 0);
        for (const auto &marker : markers) {
            mainWindow->addBookmark(marker);
            ++*progress;
        }
        qDebug() << "Updating loops";
        mainWindow->clearLoops();
        mainWindow->clearTmpLoops();
        const auto loops = timeline ? timeline->getLoops() : decltype(timeline->getLoops())();
        progress->updateProgress(0, int(loops.size()) - int(markers.size()), -int(markers.size()));
        for (const auto &loop : loops) {
            mainWindow->addLoop(loop);
            ++*progress;
        }
        ruler->setUpdatesEnabled(rulerUpdates);
        progress->stopProgress();
    }

    void openFailed()
    {
        project = QSharedPointer<Media>(new Media);
        // The old player was reset before the load and goes now. It is not
        // opened on the empty project first: that would start a libvlc
        // output only to stop it at once, and stopping an output that is
        // still starting can deadlock inside libvlc.
        // The replacement player draws into the same view and reports its
        // position to the window like the first one.
        player = QSharedPointer<MediaPlayer>(new MediaPlayer);
        player->setRenderingWidget(mainWindow->getRenderingWidget());
        QObject::connect(player.data(), &MediaPlayer::timeChanged, mainWindow, &MainWindow::setCurrentFrame);
        owner->updateTimeline();
        resetWindowView();
        mainWindow->setDuration(QTime(0, 0), 0.0);
        TimelineViewportWidget *viewport = mainWindow->getTimeline()->getViewport();
        viewport->resize(1, viewport->height());
        copyTrackFlags();
        mainWindow->setWindowTitle(QCoreApplication::applicationName());
        clearUndoStack();
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        mainWindow->setSizeOriginal(QSize(o->m_originalvideoWidth, o->m_originalvideoHeight));
        mainWindow->clearBookmarks();
        mainWindow->clearLoops();
        mainWindow->clearTmpLoops();
    }

    // Tempo, pitch and volume are no undo commands, yet they change what a
    // save writes: after one the stack has no clean state until the next
    // save, so closing the project asks about them.
    void markChanged()
    {
        undoStack->resetClean();
    }

    // A new project is the clean state. An empty stack ignores clear(), so
    // a clean state dropped by a settings change is set again explicitly.
    void clearUndoStack()
    {
        undoStack->clear();
        undoStack->setClean();
    }

    // Writes the project file; true when it was written completely. The file
    // is replaced only by a finished write, so a failure leaves the previous
    // file as it was; the project then keeps its former path.
    bool saveProject(const QString &path)
    {
        const QString previousPath = project->getFilePath();
        project->setFilePath(path);
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
            root.appendChild(project->toDomElement(document, QStringLiteral("media")));
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
            undoStack->setClean();
            qDebug() << "Project file is saved.";
            return true;
        }
        qWarning() << "Failed to save the project:" << problem;
        project->setFilePath(previousPath);
        setWindowTitle();
        QMessageBox::warning(mainWindow, MainController::tr("Save project"),
                             MainController::tr("The project could not be saved to \"%1\": %2")
                                 .arg(QDir::toNativeSeparators(path), problem),
                             QMessageBox::Ok);
        return false;
    }

    // Asks for a project file name and saves there; true when a file was
    // written.
    bool saveProjectAs()
    {
        if (projectEmpty())
            return false;
        Options *options = Options::instance();
        QFileDialog dialog(mainWindow, QString(), QString(), QString());
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

    // A selection counts when both ends are set and differ.
    // The selected section, when there is a project, a usable selection and
    // a track that is not locked; null (and a log line saying why) if not.
    QSharedPointer<MediaSegment> selectedForEditing()
    {
        if (projectEmpty() || !mainWindow)
            return {};
        if (mainWindow->isVideoLocked() && mainWindow->isAudioLocked()) {
            qDebug() << "Both tracks are locked.";
            return {};
        }
        if (!selectionUsable()) {
            qDebug() << "No selection.";
            return {};
        }
        const QSharedPointer<MediaSegment> segment = getSelectedSegment(mainWindow->getSelection());
        if (!segment)
            qDebug() << "Null segment.";
        return segment;
    }

    bool selectionUsable() const
    {
        if (!mainWindow)
            return false;
        const PairInt selection = mainWindow->getSelection();
        return selection.first != -1 && selection.second != -1 && selection.first != selection.second;
    }

    // The selected span as a segment of the project; null when the frames
    // make no span.
    QSharedPointer<MediaSegment> getSelectedSegment(QPair<int, int> selection) const
    {
        qDebug() << "Obtaining segment for selection:" << selection.first << selection.second;
        if (selection.second == -1 || selection.first == -1 || selection.first == selection.second) {
            qDebug() << "Selection is empty. Returning null segment.";
            return {};
        }
        const QSharedPointer<MediaSegment> segment =
            project->getSegment(Time::fromFrameUnits(selection.first), Time::fromFrameUnits(selection.second));
        if (segment)
            qDebug() << "Returning segment:" << *segment;
        else
            qDebug() << "Returning null segment.";
        return segment;
    }

    void showStatus(const QString &text, int milliseconds = 5000)
    {
        if (mainWindow && mainWindow->statusBar())
            mainWindow->statusBar()->showMessage(text, milliseconds);
    }

    // An export that ended well says so, and where its file is.
    void reportExport(const ExportController &export_)
    {
        if (export_.outcome() != ExportController::Finished)
            return;
        const QString file = QDir::toNativeSeparators(QFileInfo(export_.getOptions().file).absoluteFilePath());
        showStatus(MainController::tr("Export finished: %1").arg(file), 30000);
    }

    // The volume every fragment has, when they all have the same; else the
    // unchanged 100 %.
    float wholeProjectVolume() const
    {
        const auto fragments = project->getTrackFragments();
        if (fragments.isEmpty())
            return 100.0f;
        const float first = fragments.constFirst()->volume;
        for (const auto &fragment : fragments) {
            if (!sameSetting(fragment->volume, first))
                return 100.0f;
        }
        return first;
    }

    void pushSize(const QSize &size)
    {
        owner->onExecute(new AspectRatioCommand(size));
    }

    // The volume of the fragment under the play position. At the very end
    // of the project no fragment lies there; a fragment's default, the
    // unchanged volume of 100 %, is used then.
    float volumeUnderPosition() const
    {
        const qint64 now = qMax<qint64>(0, player->getCurrentMediaTime().unitCount);
        if (const QSharedPointer<MediaTrackFragment> fragment =
                project->getTrackForPosition(static_cast<unsigned long long>(now)))
            return fragment->volume;
        qDebug() << "No fragment under the play position.";
        return 100.0f;
    }

    // ---- Timeline pictures ----
    // Each fragment shows a frame on the video row and its slice of the
    // track's waveform on the audio row. The widgets appear at once; the
    // pictures are made on a pool of their own and set when they arrive.
    // A fragment that stays gets its widgets moved, never made again.

    static int framesOf(const Time &time) { return int(qBound(qint64(0), time.toFrameUnits(false), qint64(INT_MAX))); }

    void showFragmentThumbnails()
    {
        if (!mainWindow)
            return;
        auto stale = thumbnails;
        const auto fragments = project ? project->getTrackFragments() : decltype(project->getTrackFragments())();
        ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
        progress->startProgress(0, int(fragments.size()), 0, MainController::tr("Updating segments..."));
        for (const auto &fragment : fragments) {
            if (thumbnails.contains(fragment)) {
                updateThumb(fragment);
                stale.remove(fragment);
            } else {
                addVideoThumb(fragment);
                addAudioThumb(fragment);
            }
            ++*progress;
        }
        progress->stopProgress();
        for (auto it = stale.cbegin(); it != stale.cend(); ++it)
            deleteThumb(it.key());
    }

    static QString thumbName(const QSharedPointer<MediaTrackFragment> &fragment)
    {
        if (!fragment->playVideo || !fragment->track)
            return QString();
        const QString name = QFileInfo(fragment->track->getOrigName()).fileName();
        // Inserted silence shows no name.
        return name.contains(QLatin1String("silence_1_hour.avi")) ? QString() : name;
    }

    void addVideoThumb(const QSharedPointer<MediaTrackFragment> &fragment)
    {
        const int position = framesOf(fragment->timelinePosition);
        const int length = framesOf(fragment->endPosition - fragment->startPosition);
        VideoThumbnailWidget *thumb = mainWindow->addThumbnail(position, length, thumbName(fragment), QImage());
        thumbnails.insert(fragment, thumb);
        requestFrame(fragment, thumb);
        qDebug() << "Add video thumbnail. Position:" << position << "duration:" << length;
    }

    void addAudioThumb(const QSharedPointer<MediaTrackFragment> &fragment)
    {
        const int position = framesOf(fragment->timelinePosition);
        const int length = framesOf(fragment->endPosition - fragment->startPosition);
        AudioThumbnailWidget *thumb = mainWindow->addThumbnail(position, length, QImage());
        thumbnails.insert(fragment, thumb);
        showWave(fragment, thumb);
        qDebug() << "Add audio thumbnail. Position:" << position << "duration:" << length;
    }

    void updateThumb(const QSharedPointer<MediaTrackFragment> &fragment)
    {
        const int position = framesOf(fragment->timelinePosition);
        const int length = framesOf(fragment->endPosition - fragment->startPosition);
        for (AbstractThumbnail *thumb : thumbnails.values(fragment)) {
            qDebug() << "Update thumbnail." << " Position:" << position << "; duration:" << length;
            thumb->setPosition(position);
            thumb->setDuration(length);
            if (auto *video = qobject_cast<VideoThumbnailWidget *>(thumb)) {
                video->setName(thumbName(fragment));
                requestFrame(fragment, video);
            } else if (auto *audio = qobject_cast<AudioThumbnailWidget *>(thumb)) {
                showWave(fragment, audio);
            }
        }
    }

    void deleteThumb(const QSharedPointer<MediaTrackFragment> &fragment)
    {
        for (AbstractThumbnail *thumb : thumbnails.values(fragment)) {
            frameShown.remove(thumb);
            mainWindow->removeThumbnail(thumb);
        }
        thumbnails.remove(fragment);
    }

    // The frame at the fragment's start, made once per start.
    void requestFrame(const QSharedPointer<MediaTrackFragment> &fragment, VideoThumbnailWidget *thumb)
    {
        if (!fragment->playVideo || !fragment->track) {
            thumb->setImage(QImage());
            frameShown.remove(thumb);
            return;
        }
        const QString file = fragment->track->getName();
        const QTime at = SnaphotExtractor::clockTime(fragment->startPosition);
        const QString key = file + QLatin1Char('@') + at.toString(Qt::ISODateWithMs);
        if (frameShown.value(thumb) == key)
            return;
        frameShown.insert(thumb, key);
        QPointer<VideoThumbnailWidget> target(thumb);
        auto *watcher = new QFutureWatcher<QImage>(owner);
        QObject::connect(watcher, &QFutureWatcher<QImage>::finished, owner, [this, watcher, target, key] {
            // Only the picture the widget still waits for is shown.
            if (target && frameShown.value(target.data()) == key)
                target->setImage(watcher->result());
            watcher->deleteLater();
        });
        watcher->setFuture(QtConcurrent::run(&picturePool, [file, at] { return SnaphotExtractor::snapshotAt(file, at); }));
    }

    // The fragment's slice of its track's waveform, once the track's
    // waveform is there (it is made once per track).
    void showWave(const QSharedPointer<MediaTrackFragment> &fragment, AudioThumbnailWidget *thumb)
    {
        if (!fragment->playAudio || !fragment->track) {
            thumb->setAudioWave(QImage());
            return;
        }
        const QString file = fragment->track->getName();
        const auto found = waves.constFind(file);
        if (found != waves.constEnd()) {
            thumb->setAudioWave(getAudioWaveFragment(fragment, *found));
            return;
        }
        if (wavesPending.contains(file))
            return;
        wavesPending.insert(file);
        const QSharedPointer<MediaTrack> track = fragment->track;
        const int width = framesOf(track->getDuration());
        auto *watcher = new QFutureWatcher<QImage>(owner);
        QObject::connect(watcher, &QFutureWatcher<QImage>::finished, owner, [this, watcher, file] {
            wavesPending.remove(file);
            waves.insert(file, watcher->result());
            watcher->deleteLater();
            // Every fragment of the track shows its slice now.
            for (auto it = thumbnails.cbegin(); it != thumbnails.cend(); ++it) {
                auto *audio = qobject_cast<AudioThumbnailWidget *>(it.value());
                if (audio && it.key()->track && it.key()->track->getName() == file && it.key()->playAudio)
                    audio->setAudioWave(getAudioWaveFragment(it.key(), waves.value(file)));
            }
        });
        watcher->setFuture(QtConcurrent::run(&picturePool, [track, width] {
            return ResourceManager::getAudioWave(track, width, 30);
        }));
    }

    // The slice of the track's waveform the fragment covers, drawn at the
    // fragment's volume: quieter waves centred, louder ones cropped.
    static QImage getAudioWaveFragment(const QSharedPointer<MediaTrackFragment> &fragment, const QImage &wave)
    {
        const qint64 total = fragment->track ? fragment->track->getDuration().toFrameUnits(false) : 0;
        if (total <= 0 || wave.isNull())
            return QImage();
        const int scaledHeight = int(float(wave.height()) * fragment->volume / 100.0f);
        const QImage loud = wave.scaled(wave.width(), qMax(0, scaledHeight), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const qint64 x1 = qBound(qint64(0), qint64(wave.width()) * fragment->startPosition.toFrameUnits(false) / total, qint64(wave.width()));
        const qint64 x2 = qBound(x1, qint64(wave.width()) * fragment->endPosition.toFrameUnits(false) / total, qint64(wave.width()));
        if (x2 <= x1)
            return QImage();
        const int h = qMin(wave.height(), loud.height());
        const int sourceTop = loud.height() > wave.height() ? (loud.height() - wave.height()) / 2 : 0;
        const int targetTop = loud.height() > wave.height() ? 0 : (wave.height() - loud.height()) / 2;
        QImage slice(int(x2 - x1), wave.height(), wave.format() == QImage::Format_Mono ? QImage::Format_RGB32 : wave.format());
        slice.fill(Qt::black);
        if (h > 0 && !loud.isNull()) {
            QPainter painter(&slice);
            painter.drawImage(QRect(0, targetTop, int(x2 - x1), h), loud, QRect(int(x1), sourceTop, int(x2 - x1), h));
        }
        return slice;
    }

    // The conversions the open project plays.
    QSet<QString> filesOfOpenProject() const
    {
        QSet<QString> files;
        if (project) {
            for (const auto &fragment : project->getTrackFragments())
                if (fragment->track)
                    files.insert(CacheCleaner::normalized(fragment->track->getName()));
        }
        return files;
    }

    // Removes the conversions that no project uses: those saved in the
    // project folder, those in the recent files (a project saved elsewhere)
    // and the open one.
    void clearVideoCache()
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
    bool importRunning() const
    {
        if (!InputController::isBusy())
            return false;
        qDebug() << "A file is being imported; the project is not saved now.";
        return true;
    }

    MainController *owner;
    MainWindow *mainWindow = nullptr;
    // Made before and destroyed after the rest of this part.
    SnifferController snifferController;
    QSharedPointer<Media> project;
    QSharedPointer<MediaPlayer> player;
    QUndoStack *undoStack = nullptr;
    float zoom = 1.0f;
    QString fileToOpen;
    QMultiHash<QSharedPointer<MediaTrackFragment>, AbstractThumbnail *> thumbnails;
    QHash<AbstractThumbnail *, QString> frameShown; // the frame a video thumbnail shows or waits for
    QHash<QString, QImage> waves;                   // a track file's whole waveform
    QSet<QString> wavesPending;
    QThreadPool picturePool;
};

MainController::MainController() : QObject(nullptr), d(std::make_unique<Impl>(this)) {}

MainController::~MainController() = default;

void MainController::exec()
{
    // The window's actions are the controller's child: they outlive the
    // window, which this part deletes first.
    d->mainWindow = new MainWindow(new WindowActions(this), nullptr, Qt::Window);
    if (d->player)
        d->player->setRenderingWidget(d->mainWindow->getRenderingWidget());
    TrackSelectionDialog::installImportDialogs([this]() -> QWidget * { return d ? d->mainWindow : nullptr; });
    Options *options = Options::instance();
    d->mainWindow->setOpenedFiles(options->getOpenedFiles());
    d->mainWindow->setSizeCustom(options->getSizeCustom());
    d->mainWindow->setSizeMostRecent(options->getSizeMostRecent());
    d->connectSignals();

    if (Logger *l = logger())
        l->toggleEnabled();
    d->parseCmdArgs();
    d->mainWindow->show();
    d->openFileOnLaunch();
    qDebug() << QString(60, QLatin1Char('='));
    qDebug() << "Application start."
             << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd/HH:mm:ss"));
    qDebug() << "Threads:" << QThreadPool::globalInstance()->maxThreadCount();
    if (Logger *l = logger())
        l->toggleEnabled();
}

void MainController::release()
{
    qDebug() << "Release controller resources.";
    if (Options::instance() && Options::instance()->getClearCacheOnExit())
        d->clearVideoCache();
}

MainWindow *MainController::getMainWindow() const { return d->mainWindow; }
QSharedPointer<Media> MainController::getMedia() const { return d->project; }
QSharedPointer<MediaPlayer> MainController::getMediaPlayer() const { return d->player; }
SnifferController *MainController::getSnifferController() const { return &d->snifferController; }
QUndoStack *MainController::getUndoStack() const { return d->undoStack; }

void MainController::setFileToOpenAfterLaunch(const QString &path) { d->fileToOpen = path; }
QString MainController::getFileToOpenAfterLaunch() const { return d->fileToOpen; }

void MainController::updateTimeline()
{
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    qDebug() << "MainController::updateTimeline OptionsHolder" << *o;
    if (!d->mainWindow)
        return;
    d->mainWindow->setDuration(d->project->getTotalDurationMs(), o->m_fps);
    d->showFragmentThumbnails();
    d->mainWindow->updateThumbnails();
}

QPoint MainController::windowTarget(const QPoint &p, const QRect &available)
{
    if (available.right() - p.x() < 50 || available.bottom() - p.y() < 50)
        return QPoint(0, 0);
    return p;
}

QString MainController::makeWindowTitle(const QString &appName, const QString &fileName, const QString &size,
                                        int width, int height, double fps, int videoBitrate, int sampleRate)
{
    return QStringLiteral("%1 - %2, %3, %4, %5, %6, %7")
        .arg(appName, fileName, size, QStringLiteral("%1x%2").arg(width).arg(height),
             QStringLiteral("%1 fps").arg(fps), QStringLiteral("%1 kbps").arg(videoBitrate),
             QStringLiteral("%1 Hz").arg(sampleRate));
}

QStringList MainController::newInstanceArguments(const QPoint &pos)
{
    const int titleBar = 22;
    return {QStringLiteral("-p"), QString::number(pos.x() + titleBar), QString::number(pos.y() + titleBar)};
}

bool MainController::confirmClose()
{
    if (d->projectEmpty() || d->undoStack->isClean())
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        d->mainWindow, tr("Close project"),
        tr("The project has changes that are not saved. Do you want to save them before closing?"),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard)
        return true;
    if (answer != QMessageBox::Save || d->importRunning())
        return false;
    // Closing goes on only when the changes were written.
    const QString path = d->project->getFilePath();
    if (!path.isEmpty() && path.endsWith(QLatin1String(ProjectSuffix)))
        return d->saveProject(path);
    return d->saveProjectAs();
}

void MainController::openFile(const QString &name)
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
        QMessageBox::warning(d->mainWindow, tr("Open file"),
                             tr("The file \"%1\" does not exist.").arg(QDir::toNativeSeparators(fileName)),
                             QMessageBox::Ok);
        return;
    }
    // An import shows its progress modally but lets events through; an open
    // asked for meanwhile would reset the player and the project under it.
    if (InputController::isBusy()) {
        qDebug() << "Another file is being opened; refused:" << fileName;
        return;
    }
    if (!d->projectEmpty() && !d->undoStack->isClean()) {
        if (QMessageBox::question(d->mainWindow, tr("Open new file"), tr("Do you want to close current project?"),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
            return;
        if (QMessageBox::question(d->mainWindow, tr("Save project"),
                                  tr("Do you want to save current project before closing?"),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
                == QMessageBox::Yes
            && !d->saveProjectAs()) {
            // The user wanted the edits kept: without a saved copy the
            // project stays open.
            qDebug() << "The project was not saved; the open is abandoned.";
            return;
        }
    }
    // The open project stays as it is until the new one has loaded: a file
    // that cannot be opened leaves the user's work where it was.
    const bool hadProject = !d->projectEmpty();
    OptionsHolder *options = Singleton<OptionsHolder>::instance();
    const OptionsHolder previousOptions(*options);
    if (hadProject)
        d->player->pause();
    else
        d->player->resetMedia();
    options->reset();
    bool opened = false;
    QString problem;
    const QSharedPointer<Media> loaded(new Media);
    {
        const QSharedPointer<InputController> input(new InputController(fileName, loaded));
        opened = input->exec(nullptr, false, true);
        if (!opened)
            problem = input->errorString();
    }
    if (opened) {
        if (hadProject)
            d->player->resetMedia();
        d->project = loaded;
        d->openSucceeded(fileName);
        // The project before it and its players are gone by now.
        Util::releaseFreeMemory();
        return;
    }
    qWarning() << "Failed to open file" << fileName;
    if (hadProject)
        *options = previousOptions;
    else
        d->openFailed();
    Util::releaseFreeMemory();
    // Cancellations and failed conversions have told the user already.
    if (!problem.isEmpty()) {
        qDebug() << problem;
        QMessageBox::warning(d->mainWindow, tr("Open file"), problem, QMessageBox::Ok);
    }
}

void MainController::saveCurrentProject()
{
    logSlot("saveCurrentProject");
    if (d->importRunning())
        return;
    const QString path = d->project->getFilePath();
    // A project opened from a media file carries the media file's path.
    if (!path.isEmpty() && path.endsWith(QLatin1String(ProjectSuffix)))
        d->saveProject(path);
    else
        d->saveProjectAs();
}

void MainController::saveCurrentProjectAs()
{
    logSlot("saveCurrentProjectAs");
    if (d->importRunning())
        return;
    d->saveProjectAs();
}

void MainController::ripFiles(const QStringList &sources, const QStringList &destinations)
{
    qDebug() << "Rip files:" << sources << "to" << destinations;
    ConvertProgressDialog dialog(d->mainWindow);
    dialog.process(sources, destinations);
    const QStringList written = dialog.getWrittenFiles();
    if (!written.isEmpty()) {
        const QString folder = QDir::toNativeSeparators(QFileInfo(written.constFirst()).absolutePath());
        d->showStatus(written.size() == 1
                          ? tr("DVD conversion finished: %1").arg(QDir::toNativeSeparators(written.constFirst()))
                          : tr("DVD conversion finished: %1 files in %2").arg(written.size()).arg(folder),
                      30000);
    }
}

void MainController::clearCachedData(const QString &path)
{
    qDebug() << "MainController::clearCachedData" << path;
    // The open project's conversion stays, whatever file it came from.
    const QString name = VideoInputStorage::contentName(path);
    if (name.isEmpty())
        return;
    const QSet<QString> open = d->filesOfOpenProject();
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

void MainController::onTempoChanged(float tempo)
{
    qDebug() << "MainController::onTempoChanged" << tempo;
    qDebug() << "Tempo changed(controller)" << tempo;
    if (d->projectEmpty())
        return;
    d->player->setTempo(tempo);
    // Stored in the loop under the position, else as the project's tempo.
    OptionsHolder *options = Singleton<OptionsHolder>::instance();
    const QSharedPointer<VideoLoop> loop = d->mainWindow ? d->mainWindow->getCurLoop() : nullptr;
    if (sameSetting(loop ? loop->getTempo() : options->getProjectTempo(), tempo))
        return;
    if (loop)
        loop->setTempo(tempo);
    else
        options->setProjectTempo(tempo);
    d->markChanged();
}

void MainController::onPitchChanged(float pitch)
{
    qDebug() << "MainController::onPitchChanged" << pitch;
    qDebug() << "Pitch changed(controller)" << pitch;
    if (d->projectEmpty())
        return;
    d->player->setPitch(pitch);
    OptionsHolder *options = Singleton<OptionsHolder>::instance();
    const QSharedPointer<VideoLoop> loop = d->mainWindow ? d->mainWindow->getCurLoop() : nullptr;
    if (sameSetting(loop ? loop->getPitch() : options->getProjectPitch(), pitch))
        return;
    if (loop)
        loop->setPitch(pitch);
    else
        options->setProjectPitch(pitch);
    d->markChanged();
}

void MainController::onDelete()
{
    logSlot("onDelete");
    qDebug() << "Begin deleting segment.";
    const QSharedPointer<MediaSegment> segment = d->selectedForEditing();
    if (!segment)
        return;
    // The play position must not stay inside what goes.
    const qint64 now = d->player->getCurrentMediaTime().unitCount;
    if (now >= segment->start.unitCount && now <= (segment->start + segment->length).unitCount) {
        const qint64 frame = segment->start.toFrameUnits(false);
        d->mainWindow->setCurrentFrame(long(frame));
        d->player->seek((unsigned long)frame, true, true);
    }
    onExecute(new DeleteSegmentCommand(segment));
}

void MainController::onCut()
{
    logSlot("onCut");
    qDebug() << "Begin cutting segment.";
    if (d->projectEmpty())
        return;
    onCopy();
    onDelete();
}

void MainController::onCopy()
{
    logSlot("onCopy");
    qDebug() << "Begin copying segment.";
    const QSharedPointer<MediaSegment> segment = d->selectedForEditing();
    if (!segment)
        return;
    const bool videoLocked = d->mainWindow->isVideoLocked();
    const bool audioLocked = d->mainWindow->isAudioLocked();
    // Only the unlocked tracks are copied.
    if (videoLocked)
        segment->setVideoEnabled(false, true);
    if (audioLocked)
        segment->setAudioEnabled(false, true);
    auto *data = new QMimeData;
    data->setData(QLatin1String(MediaSegment::MimeType), segment->toByteArray());
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

void MainController::onPaste()
{
    logSlot("onPaste");
    qDebug() << "Begin pasting segment.";
    if (!d->mainWindow)
        return;
    const bool videoLocked = d->mainWindow->isVideoLocked();
    const bool audioLocked = d->mainWindow->isAudioLocked();
    if (videoLocked && audioLocked) {
        qDebug() << "Both tracks are locked.";
        return;
    }
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data) {
        qDebug() << "Clipboard does not contain mime data.";
        d->showStatus(tr("The clipboard holds nothing to paste."));
        return;
    }
    if (!data->hasFormat(QLatin1String(MediaSegment::MimeType))) {
        qDebug() << "Clipboard does not contain Tarnwell data";
        d->showStatus(tr("The clipboard holds no section of a recording; nothing was pasted."));
        return;
    }
    qDebug() << "Clipboard contains Tarnwell data";
    // The bytes may come from any program: the checked reader takes exactly
    // one well-formed segment or nothing.
    QSharedPointer<MediaSegment> segment(new MediaSegment);
    if (!MediaSegment::fromByteArray(data->data(QLatin1String(MediaSegment::MimeType)), *segment)) {
        qDebug() << "Clipboard data is not a readable segment.";
        d->showStatus(tr("The clipboard's section could not be read; nothing was pasted."));
        return;
    }
    qDebug() << "Pasting segment:" << *segment;
    if (!((!videoLocked && segment->video) || (!audioLocked && segment->audio))) {
        qDebug() << "Unable to paste any data.";
        return;
    }
    const Time position = Time::fromFrameUnits(qMax(0, d->mainWindow->getCurFrame()));
    onExecute(new PasteSegmentCommand(segment, position));
}

void MainController::onVolume()
{
    logSlot("onVolume");
    qDebug() << "Begin applying volume.";
    if (d->projectEmpty() || !d->mainWindow)
        return;
    if (d->mainWindow->isAudioLocked()) {
        qDebug() << "Audio track is locked.";
        return;
    }
    // The dialog starts at the volume in force; a new volume is returned,
    // or none when the user cancels or keeps it.
    auto askVolume = [this](float startVolume) -> std::optional<float> {
        qDebug() << "Volume dialog starts at" << startVolume;
        EditVolumeDialog dialog(d->mainWindow, startVolume);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        const float volume = float(dialog.getOptions().getVolume());
        if (sameSetting(volume, startVolume))
            return std::nullopt;
        return volume;
    };
    if (d->selectionUsable()) {
        qDebug() << "Applying volume to segment.";
        const std::optional<float> volume = askVolume(d->volumeUnderPosition());
        if (!volume)
            return;
        const PairInt selection = d->mainWindow->getSelection();
        onExecute(new VolumeSegmentCommand(Time::fromFrameUnits(selection.first),
                                           Time::fromFrameUnits(selection.second), *volume));
        return;
    }
    qDebug() << "No selection, applying volume to whole project";
    // The whole project's volume lives in its fragments; the project's own
    // volume is the volume slider's level.
    const std::optional<float> volume = askVolume(d->wholeProjectVolume());
    if (!volume)
        return;
    onExecute(new VolumeMediaCommand(*volume));
    d->player->updatePlaybackSettings();
}

void MainController::onInsertSilence()
{
    logSlot("onInsertSilence");
    qDebug() << "Begin inserting silence.";
    if (d->projectEmpty() || !d->mainWindow)
        return;
    if (d->mainWindow->isAudioLocked()) {
        qDebug() << "Audio is locked.";
        return;
    }
    EditSilenceDialog dialog(d->mainWindow);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const float seconds = dialog.getLength();
    qDebug() << "Inserting" << seconds << "seconds of silence.";
    if (seconds >= 3600.0f) {
        QMessageBox::information(d->mainWindow, tr("Information"),
                                 tr("You cannot insert more than 1 hour of silence at once."), QMessageBox::Ok);
        return;
    }
    // The silence file is an ordinary source: its sound is known to be
    // silent, so none of it is copied or extracted.
    const QString path = QStringLiteral("%1/silence_1_hour.avi").arg(QCoreApplication::applicationDirPath());
    const qint64 length = qint64(double(seconds) * 1000000.0);
    QSharedPointer<MediaTrackFragment> fragment(new MediaTrackFragment);
    fragment->track = MediaTrackFactory::createMediaTrackFromFile(path, 0);
    fragment->startPosition = Time(0);
    fragment->endPosition = Time(length);
    fragment->timelinePosition = Time(0);
    fragment->repeatCount = 1;
    fragment->playVideo = true;
    fragment->playAudio = false;
    fragment->volume = 100.0f;
    const QSharedPointer<MediaSegment> segment = MediaSegment::createSilence();
    segment->length = Time(length);
    segment->addTrack(fragment);

    Time position(0);
    switch (dialog.getPosition()) {
    case 1:
        position = d->project->getDuration();
        break;
    case 2:
        position = Time::fromFrameUnits(qMax(0, d->mainWindow->getCurFrame()));
        break;
    default:
        break;
    }
    onExecute(new PasteSegmentCommand(segment, position));
}

void MainController::onSilenceSection()
{
    logSlot("onSilenceSection");
    qDebug() << "Begin silencing section.";
    if (d->projectEmpty() || !d->mainWindow)
        return;
    if (d->mainWindow->isAudioLocked()) {
        qDebug() << "Audio is locked.";
        return;
    }
    if (!d->selectionUsable()) {
        qDebug() << "No selection.";
        return;
    }
    const PairInt selection = d->mainWindow->getSelection();
    onExecute(new SilenceSegmentCommand(Time::fromFrameUnits(selection.first), Time::fromFrameUnits(selection.second)));
}

void MainController::onUndo()
{
    logSlot("onUndo");
    d->undoStack->undo();
}

void MainController::onRedo()
{
    logSlot("onRedo");
    d->undoStack->redo();
}

void MainController::onLoopDeleted(QSharedPointer<VideoLoop> loop)
{
    logSlot("onLoopDeleted");
    // A loop that is gone must not be repeated any more.
    if (d->player && loop)
        d->player->resetLoopWithId(loop->getID());
}

void MainController::onVoumeChanged(int volume)
{
    qDebug() << "MainController::onVoumeChanged" << volume;
    qDebug() << "Volume is changed to" << volume;
    if (d->projectEmpty())
        return;
    const bool changed = !sameSetting(d->player->getCommonVolume(), static_cast<float>(volume));
    d->player->setVolume(static_cast<float>(volume));
    // Saved with the project and set again when it opens.
    Singleton<OptionsHolder>::instance()->setProjectVolume(static_cast<float>(volume));
    if (changed)
        d->markChanged();
}

void MainController::onStopVideo()
{
    logSlot("onStopVideo");
    if (d->projectEmpty())
        return;
    d->player->stop();
    if (d->mainWindow)
        d->mainWindow->setCurrentFrame(0);
}

void MainController::onPlayVideo()
{
    logSlot("onPlayVideo");
    if (d->projectEmpty())
        return;
    if (d->player)
        d->player->play();
}

void MainController::onPauseVideo()
{
    logSlot("onPauseVideo");
    if (d->projectEmpty())
        return;
    d->player->pause();
}

void MainController::onPlaybackTimeChanged(QTime time)
{
    qDebug() << "MainController::onPlaybackTimeChanged" << time;
}

void MainController::onPlaybackFrameChanged(quint32 frame)
{
    qDebug() << "MainController::onPlaybackFrameChanged" << frame;
    d->player->seek(frame, true, true);
}

void MainController::onLoopAdded(QSharedPointer<VideoLoop>)
{
    logSlot("onLoopAdded");
    if (d->player)
        d->player->acceptLoop();
}

void MainController::onSelectionChanged(PairInt selection)
{
    qDebug() << "MainController::onSelectionChanged" << selection.first << selection.second;
}

void MainController::onTimeSliderReleased()
{
    logSlot("onTimeSliderReleased");
    if (!d->projectEmpty())
        d->player->disableSeekMode(true);
}

void MainController::onTimeSliderPressed()
{
    logSlot("onTimeSliderPressed");
    if (!d->projectEmpty())
        d->player->enableSeekMode();
}

void MainController::onExecute(QUndoCommand *command)
{
    logSlot("onExecute");
    if (!command)
        return;
    // Every command but a paste (which may fill an empty project) needs a
    // project with a duration.
    if (!dynamic_cast<PasteSegmentCommand *>(command)
        && (!d->project || d->project->getTotalDuration() < QTime(0, 0, 0, 1))) {
        qDebug() << "Command execution denied";
        delete command;
        return;
    }
    qDebug() << "Executing command:" << command->text();
    d->undoStack->push(command);
}

void MainController::onVideoZoomIn()
{
    logSlot("onVideoZoomIn");
    d->stepZoom(true);
}

void MainController::onVideoZoomOut()
{
    logSlot("onVideoZoomOut");
    d->stepZoom(false);
}

void MainController::onVideoZoom(QRectF area)
{
    qDebug() << "MainController::onVideoZoom(QRectF)" << area;
    if (area.width() == 1.0 && area.height() == 1.0)
        d->player->setVideoFrameLeftCorner(area.topLeft());
    else
        d->player->zoomSelectedArea(area);
    d->zoom = d->player->getVideoFrameZoom();
    d->showZoom();
    qDebug() << "Zoom into" << area << "value" << d->zoom;
}

void MainController::onVideoZoom(float value)
{
    qDebug() << "MainController::onVideoZoom(float)" << value;
    const OptionsHolder *o = Singleton<OptionsHolder>::instance();
    d->zoom = o->getMinZoom() + (o->getMaxZoom() - o->getMinZoom()) * (value / 100.0f);
    d->player->setVideoFrameZoom(d->zoom);
}

void MainController::onSizeCustomClicked()
{
    logSlot("onSizeCustomClicked");
    SizeCustomDialog dialog(d->mainWindow);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QSize size = dialog.getSize();
    Options::instance()->setSizeCustom(size);
    if (d->mainWindow)
        d->mainWindow->setSizeCustom(size);
    d->pushSize(size);
}

void MainController::onSizeMostRecentClicked()
{
    logSlot("onSizeMostRecentClicked");
    d->pushSize(Options::instance()->getSizeMostRecent());
}

void MainController::onSizeOriginalClicked()
{
    logSlot("onSizeOriginalClicked");
    const OptionsHolder *o = Singleton<OptionsHolder>::instance();
    d->pushSize(QSize(o->m_originalvideoWidth, o->m_originalvideoHeight));
}

void MainController::onSizeClicked(QSize size)
{
    qDebug() << "MainController::onSizeClicked" << size;
    d->pushSize(size);
}

// The track flags act at once and belong to the project: they are saved with
// it, so changing one is a change to save.
void MainController::onVideoPlayableChanged(bool playable)
{
    qDebug() << "MainController::onVideoPlayableChanged" << playable;
    d->player->setVideoEnabled(playable);
    const QSharedPointer<MediaTimeLine> timeline = d->project->getTimeline();
    if (timeline && timeline->isVideoPlayable() != playable) {
        timeline->setVideoPlayable(playable);
        d->markChanged();
    }
}

void MainController::onAudioPlayableChanged(bool playable)
{
    qDebug() << "MainController::onAudioPlayableChanged" << playable;
    d->player->setAudioEnabled(playable);
    const QSharedPointer<MediaTimeLine> timeline = d->project->getTimeline();
    if (timeline && timeline->isAudioPlayable() != playable) {
        timeline->setAudioPlayable(playable);
        d->markChanged();
    }
}

void MainController::onVideoLockChanged(bool locked)
{
    qDebug() << "MainController::onVideoLockChanged" << locked;
    const QSharedPointer<MediaTimeLine> timeline = d->project->getTimeline();
    if (timeline && timeline->isVideoLocked() != locked) {
        timeline->setVideoLocked(locked);
        d->markChanged();
    }
}

void MainController::onAudioLockChanged(bool locked)
{
    qDebug() << "MainController::onAudioLockChanged" << locked;
    const QSharedPointer<MediaTimeLine> timeline = d->project->getTimeline();
    if (timeline && timeline->isAudioLocked() != locked) {
        timeline->setAudioLocked(locked);
        d->markChanged();
    }
}

void MainController::clearClipboard()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    // Only our own data goes; what another program put there stays.
    const QMimeData *data = clipboard->mimeData(QClipboard::Clipboard);
    if (data && data->hasFormat(QLatin1String(MediaSegment::MimeType)) && clipboard->ownsClipboard())
        clipboard->clear(QClipboard::Clipboard);
}

void MainController::onPrint()
{
    logSlot("onPrint");
    qDebug() << "Begin printing.";
    if (!d->project || d->project->isEmpty() || !d->player)
        return;
    const bool wasPlaying = d->player->isPlaying();
    if (wasPlaying)
        d->player->pause();

    const Time now(qMax<qint64>(0, d->player->getCurrentMediaTime().unitCount));
    if (const QSharedPointer<MediaTrackFragment> fragment =
            d->project->getTrackForPosition(static_cast<unsigned long long>(now.unitCount))) {
        // The picture the user sees: the place in the fragment's source that
        // the play position shows.
        const Time inSource = fragment->startPosition + (now - fragment->timelinePosition);
        QImage image = Util::getSnapshot(fragment->track ? fragment->track->getName() : QString(),
                                         SnaphotExtractor::clockTime(inSource));
        const QRectF crop = d->player->getGeneralCropArea();
        image = image.copy(int(image.width() * crop.x()), int(image.height() * crop.y()),
                           int(image.width() * crop.width()), int(image.height() * crop.height()));
        PrintDialog dialog(d->mainWindow);
        dialog.setCurScreen(image);
        dialog.exec();
    }
    if (wasPlaying && d->project && !d->project->isEmpty())
        d->player->play();
}

namespace {

// The user guide installed with the program (in the build tree: beside the
// executable), at one of its sections.
QUrl userGuidePage(const QString &section)
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QStringList places{exeDir + QStringLiteral("/doc/user-guide.html"),
                             exeDir + QStringLiteral("/../share/doc/tarnwell/user-guide.html"),
                             QStringLiteral(TW_INSTALL_DATADIR "/../doc/tarnwell/user-guide.html")};
    QString file = places.constFirst();
    for (const QString &place : places) {
        if (QFileInfo(place).isFile()) {
            file = QFileInfo(place).canonicalFilePath();
            break;
        }
    }
    QUrl url = QUrl::fromLocalFile(file);
    url.setFragment(section);
    return url;
}

// Opens the guide in the user's web browser; without one, says so and where
// the guide is, so that it can be opened by hand.
void openUserGuide(const QString &section, QWidget *parent)
{
    const QUrl url = userGuidePage(section);
    qDebug() << "Opening help page" << url;
    if (QDesktopServices::openUrl(url))
        return;
    qWarning() << "No program opened" << url;
    QMessageBox::warning(parent, MainController::tr("Help"),
                         MainController::tr("No web browser could be started to show the user guide.\n\n"
                                            "The guide is the file:\n%1\n\nOpen it in a web browser.")
                             .arg(QDir::toNativeSeparators(url.toLocalFile())));
}

} // namespace

void MainController::onHelpUserGuideClicked()
{
    logSlot("onHelpUserGuideClicked");
    openUserGuide(QStringLiteral("guide"), d->mainWindow);
}
void MainController::onHelpQuickStartGuideClicked()
{
    logSlot("onHelpQuickStartGuideClicked");
    openUserGuide(QStringLiteral("quick-start"), d->mainWindow);
}
void MainController::onHelpTrainingVideosClicked()
{
    logSlot("onHelpTrainingVideosClicked");
    openUserGuide(QStringLiteral("practising"), d->mainWindow);
}
void MainController::onHelpHelpDeskClicked()
{
    logSlot("onHelpHelpDeskClicked");
    openUserGuide(QStringLiteral("help"), d->mainWindow);
}

namespace {

// The crop area and aspect ratio every export carries.
void completeExportOptions(ExportOptions &options, const QSharedPointer<MediaPlayer> &player)
{
    options.cropArea = player ? player->getGeneralCropArea() : QRectF(0, 0, 1, 1);
    options.aspectRatio = Singleton<OptionsHolder>::instance()->m_aspectRatio;
}

} // namespace

void MainController::exportAll(ExportOptions options)
{
    if (d->player)
        d->player->pause();
    qDebug() << "Export all" << options;
    const OptionsHolder *holder = Singleton<OptionsHolder>::instance();
    options.volume = holder->getProjectVolume();
    options.pitch = holder->getProjectPitch();
    options.tempo = holder->getProjectTempo();
    completeExportOptions(options, d->player);
    ExportController controller(options, getMedia(), getMainWindow());
    controller.exportAll();
    d->reportExport(controller);
}

void MainController::exportCurrentLoop(ExportOptions options)
{
    if (d->player)
        d->player->pause();
    qDebug() << "Exporting loop" << options;
    const QSharedPointer<VideoLoop> loop = getMainWindow() ? getMainWindow()->getCurLoop() : nullptr;
    if (!loop) {
        qDebug() << "No loop selected";
        QMessageBox::information(getMainWindow(), tr("Export Current Loop"),
                                 tr("The play position is not inside a loop. Move it into the loop to export "
                                    "and try again."));
        return;
    }
    completeExportOptions(options, d->player);
    ExportController controller(options, getMedia(), getMainWindow());
    controller.exportLoop(loop.data());
    d->reportExport(controller);
}

void MainController::exportAllLoops(ExportOptions options)
{
    if (d->player)
        d->player->pause();
    qDebug() << "Exporting all loops" << options;
    const QSharedPointer<Media> media = getMedia();
    const QSharedPointer<MediaTimeLine> timeline = media ? media->getTimeline() : nullptr;
    if (!timeline || timeline->getLoopCount() == 0) {
        qDebug() << "Project does not contain loops";
        QMessageBox::information(getMainWindow(), tr("Export All Loops"),
                                 tr("The project has no loops to export."));
        return;
    }
    completeExportOptions(options, d->player);
    ExportController controller(options, media, getMainWindow());
    controller.exportAllLoops();
    d->reportExport(controller);
}

void MainController::onHelpAboutClicked()
{
    logSlot("onHelpAboutClicked");
    AboutDialog::setLinks(userGuidePage(QStringLiteral("guide")), userGuidePage(QStringLiteral("help")));
    AboutDialog dialog(d->mainWindow);
    dialog.exec();
}

void MainController::openNewInstance()
{
    logSlot("openNewInstance");
    const QPoint pos = d->mainWindow ? d->mainWindow->pos() : QPoint();
    QProcess::startDetached(QCoreApplication::applicationFilePath(), newInstanceArguments(pos));
}

void MainController::toggleLogger()
{
    Logger *l = logger();
    if (!l)
        return;
    qDebug() << tr("Prepare to toggle logger. Current status:") << l->isEnabled();
    l->toggleEnabled();
    QMessageBox::information(d->mainWindow, tr("Log"),
                             tr("Error Logging is %1").arg(l->isEnabled() ? tr("On") : tr("Off")), QMessageBox::Ok);
    qDebug() << tr("Logger status switched. Current status:") << l->isEnabled();
}

} // namespace TW
