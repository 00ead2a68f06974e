#include "app/MainController.h"

#include "core/Logger.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "ui/MainWindow.h"
#include "ui/TimelineViewportWidget.h"
#include "ui/TimelineWidget.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QThreadPool>
#include <QUndoCommand>
#include <QUndoStack>

#include "core/ProgressMonitor.h"
#include "dialogs/TrackSelectionDialog.h"
#include "io/InputController.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/VideoLoop.h"
#include "model/VideoMarker.h"
#include "playback/MediaPlayer.h"

namespace TW {

namespace {

Logger *logger() { return Singleton<Logger>::instance(); }

void logSlot(const char *name)
{
    qDebug().noquote() << QStringLiteral("MainController::%1").arg(QLatin1String(name));
}

} // namespace

struct MainController::Impl
{
    explicit Impl(MainController *owner) : owner(owner)
    {
        project = QSharedPointer<Media>(new Media);
        player = QSharedPointer<MediaPlayer>(new MediaPlayer);
        undoStack = new QUndoStack;
    }

    ~Impl()
    {
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
            size = Util::getSizeString(Util::getTotalSize(project->getTrackFragments()));
        }
        mainWindow->setWindowTitle(makeWindowTitle(QCoreApplication::applicationName(), fileName, size,
                                                   o->m_videoWidth, o->m_videoHeight, o->m_originalfps,
                                                   o->m_originalvideoBitRate, o->m_originalaudioSampleRate));
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
        setWindowTitle();
        Options::instance()->addOpenedFile(fileName);
        mainWindow->setOpenedFiles(Options::instance()->getOpenedFiles());
        undoStack->clear();
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        mainWindow->setSizeOriginal(QSize(o->m_originalvideoWidth, o->m_originalvideoHeight));

        ProgressMonitor *progress = Singleton<ProgressMonitor>::instance();
        progress->startProgress(0, 1, 0, MainController::tr("Processing project..."));
        qDebug() << "Updating bookmarks";
        mainWindow->clearBookmarks();
        const QSharedPointer<MediaTimeLine> timeline = project->getTimeline();
        const auto markers = timeline ? timeline->getMarkers() : decltype(timeline->getMarkers())();
        progress->updateProgress(0, int(markers.size()), 0);
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
        progress->stopProgress();
    }

    void openFailed()
    {
        qDebug() << "Failed to open file";
        project = QSharedPointer<Media>(new Media);
        player->openMedia(project);
        // The replacement player draws into the same view and reports its
        // position to the window like the first one.
        player = QSharedPointer<MediaPlayer>(new MediaPlayer);
        player->setRenderingWidget(mainWindow->getRenderingWidget());
        QObject::connect(player.data(), &MediaPlayer::timeChanged, mainWindow, &MainWindow::setCurrentFrame);
        owner->updateTimeline();
        resetWindowView();
        mainWindow->setDuration(QTime(0, 0), 0.0);
        copyTrackFlags();
        mainWindow->setWindowTitle(QCoreApplication::applicationName());
        undoStack->clear();
        OptionsHolder *o = Singleton<OptionsHolder>::instance();
        mainWindow->setSizeOriginal(QSize(o->m_originalvideoWidth, o->m_originalvideoHeight));
        mainWindow->clearBookmarks();
        mainWindow->clearLoops();
        mainWindow->clearTmpLoops();
    }

    MainController *owner;
    MainWindow *mainWindow = nullptr;
    QSharedPointer<Media> project;
    QSharedPointer<MediaPlayer> player;
    QUndoStack *undoStack = nullptr;
    float zoom = 1.0f;
    QString fileToOpen;
};

MainController::MainController() : QObject(nullptr), d(std::make_unique<Impl>(this)) {}

MainController::~MainController() = default;

void MainController::exec()
{
    d->mainWindow = new MainWindow(this, nullptr, Qt::Window);
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
        qDebug() << "Clearing unused converted inputs is not available in this build.";
}

MainWindow *MainController::getMainWindow() const { return d->mainWindow; }
QSharedPointer<Media> MainController::getMedia() const { return d->project; }
QSharedPointer<MediaPlayer> MainController::getMediaPlayer() const { return d->player; }
SnifferController *MainController::getSnifferController() const { return nullptr; }
QUndoStack *MainController::getUndoStack() const { return d->undoStack; }

void MainController::setFileToOpenAfterLaunch(const QString &path) { d->fileToOpen = path; }
QString MainController::getFileToOpenAfterLaunch() const { return d->fileToOpen; }

void MainController::updateTimeline()
{
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    qDebug() << "MainController::updateTimeline OptionsHolder" << *o;
    if (d->mainWindow)
        d->mainWindow->setDuration(d->project->getTotalDurationMs(), o->m_fps);
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

void MainController::openFile(const QString &fileName)
{
    qDebug() << "MainController::openFile" << fileName;
    qDebug() << "Opening file" << fileName;
    if (fileName.isEmpty()) {
        qDebug() << "Empty filename";
        return;
    }
    if (!QFileInfo::exists(fileName)) {
        qDebug() << "File does not exist";
        return;
    }
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
            == QMessageBox::Yes)
            saveCurrentProjectAs();
    }
    d->player->resetMedia();
    Singleton<OptionsHolder>::instance()->reset();
    bool opened = false;
    {
        const QSharedPointer<InputController> input(new InputController(fileName, d->project));
        opened = input->exec(nullptr, false, true);
        if (!opened && !input->errorString().isEmpty())
            qDebug() << input->errorString();
    }
    if (opened)
        d->openSucceeded(fileName);
    else
        d->openFailed();
}

void MainController::saveCurrentProject() { logSlot("saveCurrentProject"); }
void MainController::saveCurrentProjectAs() { logSlot("saveCurrentProjectAs"); }

void MainController::ripFiles(const QStringList &sources, const QStringList &destinations)
{
    qDebug() << "Rip files:" << sources << "to" << destinations;
}

void MainController::clearCachedData(const QString &path)
{
    qDebug() << "MainController::clearCachedData" << path;
}

void MainController::onTempoChanged(float tempo)
{
    qDebug() << "MainController::onTempoChanged" << tempo;
    qDebug() << "Tempo changed(controller)" << tempo;
    if (d->projectEmpty())
        return;
    d->player->setTempo(tempo);
    // Stored in the loop under the position, else as the project's tempo.
    if (const QSharedPointer<VideoLoop> loop = d->mainWindow ? d->mainWindow->getCurLoop() : nullptr)
        loop->setTempo(tempo);
    else
        Singleton<OptionsHolder>::instance()->setProjectTempo(tempo);
}

void MainController::onPitchChanged(float pitch)
{
    qDebug() << "MainController::onPitchChanged" << pitch;
    qDebug() << "Pitch changed(controller)" << pitch;
    if (d->projectEmpty())
        return;
    d->player->setPitch(pitch);
    if (const QSharedPointer<VideoLoop> loop = d->mainWindow ? d->mainWindow->getCurLoop() : nullptr)
        loop->setPitch(pitch);
    else
        Singleton<OptionsHolder>::instance()->setProjectPitch(pitch);
}

void MainController::onDelete() { logSlot("onDelete"); }
void MainController::onCut() { logSlot("onCut"); }
void MainController::onCopy() { logSlot("onCopy"); }
void MainController::onPaste() { logSlot("onPaste"); }
void MainController::onVolume() { logSlot("onVolume"); }
void MainController::onInsertSilence() { logSlot("onInsertSilence"); }
void MainController::onSilenceSection() { logSlot("onSilenceSection"); }

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
    if (!d->projectEmpty())
        d->player->setVolume(static_cast<float>(volume));
}

void MainController::onStopVideo()
{
    logSlot("onStopVideo");
    if (d->player)
        d->player->stop();
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
    if (d->player)
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
    // Every command needs a project with a duration (the paste command, which
    // may fill an empty project, is not part of this build).
    if (!d->project || d->project->getTotalDuration() < QTime(0, 0, 0, 1)) {
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

void MainController::onSizeCustomClicked() { logSlot("onSizeCustomClicked"); }
void MainController::onSizeMostRecentClicked() { logSlot("onSizeMostRecentClicked"); }
void MainController::onSizeOriginalClicked() { logSlot("onSizeOriginalClicked"); }

void MainController::onSizeClicked(QSize size)
{
    qDebug() << "MainController::onSizeClicked" << size;
}

void MainController::onVideoPlayableChanged(bool playable)
{
    qDebug() << "MainController::onVideoPlayableChanged" << playable;
}

void MainController::onAudioPlayableChanged(bool playable)
{
    qDebug() << "MainController::onAudioPlayableChanged" << playable;
}

void MainController::onVideoLockChanged(bool locked)
{
    qDebug() << "MainController::onVideoLockChanged" << locked;
}

void MainController::onAudioLockChanged(bool locked)
{
    qDebug() << "MainController::onAudioLockChanged" << locked;
}

void MainController::clearClipboard()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    const QMimeData *data = clipboard->mimeData();
    if (data && data->hasFormat(QStringLiteral("tarnwell/data")))
        clipboard->clear();
}

void MainController::onPrint() { logSlot("onPrint"); }
void MainController::onHelpUserGuideClicked() { logSlot("onHelpUserGuideClicked"); }
void MainController::onHelpQuickStartGuideClicked() { logSlot("onHelpQuickStartGuideClicked"); }
void MainController::onHelpTrainingVideosClicked() { logSlot("onHelpTrainingVideosClicked"); }
void MainController::onHelpHelpDeskClicked() { logSlot("onHelpHelpDeskClicked"); }

void MainController::onHelpAboutClicked()
{
    logSlot("onHelpAboutClicked");
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
