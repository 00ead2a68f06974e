#include "app/MainController.h"

#include "app/AspectRatioCommand.h"
#include "app/ControllerContext.h"
#include "app/EditController.h"
#include "app/ExportController.h"
#include "app/ProjectSession.h"
#include "app/ProjectSubscriptions.h"
#include "app/SnifferController.h"
#include "app/TimelinePictures.h"
#include "app/TransportController.h"
#include "app/WindowActions.h"
#include "core/Logger.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Time.h"
#include "core/Util.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/ConvertProgressDialog.h"
#include "dialogs/PrintDialog.h"
#include "dialogs/SizeCustomDialog.h"
#include "dialogs/TrackSelectionDialog.h"
#include "io/SnaphotExtractor.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"
#include "model/Project.h"
#include "model/VideoLoop.h"
#include "playback/MediaPlayer.h"
#include "ui/MainWindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QProcess>
#include <QScreen>
#include <QThreadPool>
#include <QUndoCommand>
#include <QUndoStack>
#include <QUrl>

namespace TW {

namespace {

Logger *logger() { return Singleton<Logger>::instance(); }

} // namespace

struct MainController::Impl
{
    explicit Impl(MainController *owner)
        : session(ctx), edits(ctx), pictures(std::make_unique<TimelinePictures>(ctx)), transport(ctx)
    {
        ctx.owner = owner;
        ctx.project = &project;
        ctx.player = QSharedPointer<MediaPlayer>(new MediaPlayer);
        ctx.player->setPlaybackSettings(project.playbackSettings());
        ctx.undoStack = new QUndoStack;
        Project::setCurrent(&project);
        // The edits obey the window's lock switches.
        project.setLockSource([this] {
            return Project::TrackLocks{ctx.mainWindow && ctx.mainWindow->isVideoLocked(),
                                       ctx.mainWindow && ctx.mainWindow->isAudioLocked()};
        });
        subscribeToProject(ctx);
    }

    ~Impl()
    {
        // Picture jobs may still run; their results have nowhere to go.
        pictures.reset();
        delete ctx.mainWindow;
        ctx.mainWindow = nullptr;
        ctx.undoStack->clear();
        delete ctx.undoStack;
        ctx.undoStack = nullptr;
    }

    void connectSignals()
    {
        if (ctx.player)
            QObject::connect(ctx.player.data(), &MediaPlayer::timeChanged, ctx.mainWindow, &MainWindow::setCurrentFrame);
        QObject::connect(ctx.undoStack, &QUndoStack::canRedoChanged, ctx.mainWindow, &MainWindow::setCanRedo);
        QObject::connect(ctx.undoStack, &QUndoStack::canUndoChanged, ctx.mainWindow, &MainWindow::setCanUndo);
        // The title's "*" marks a project with changes not yet saved.
        QObject::connect(ctx.undoStack, &QUndoStack::cleanChanged, ctx.mainWindow,
                         [this](bool clean) { ctx.mainWindow->setWindowModified(!clean); });
        // Commands travel queued, so their pointer type must be known to the meta system.
        qRegisterMetaType<QUndoCommand *>("QUndoCommand*");
        QObject::connect(ctx.mainWindow, &MainWindow::execute, ctx.owner, &MainController::onExecute, Qt::QueuedConnection);
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
        if (!ctx.mainWindow || ctx.mainWindow->isMaximized())
            return;
        const QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect available = screen->availableGeometry();
        qDebug() << "Desktop size:" << available;
        const QPoint target = windowTarget(p, available);
        qDebug() << "Move window to" << target;
        ctx.mainWindow->move(target);
    }

    void openFileOnLaunch()
    {
        if (!fileToOpen.isEmpty())
            QMetaObject::invokeMethod(ctx.owner, "openFile", Qt::QueuedConnection, Q_ARG(QString, fileToOpen));
    }

    // An export that ended well says so, and where its file is.
    void reportExport(const ExportController &export_)
    {
        if (export_.outcome() != ExportController::Finished)
            return;
        const QString file = QDir::toNativeSeparators(QFileInfo(export_.getOptions().file).absoluteFilePath());
        ctx.showStatus(MainController::tr("Export finished: %1").arg(file), 30000);
    }

    void pushSize(const QSize &size)
    {
        ctx.owner->onExecute(new AspectRatioCommand(project, size));
    }

    // Made before and destroyed after the rest of this part.
    SnifferController snifferController;
    Project project;
    ControllerContext ctx;
    ProjectSession session;
    EditController edits;
    std::unique_ptr<TimelinePictures> pictures;
    TransportController transport;
    QString fileToOpen;
};

MainController::MainController() : QObject(nullptr), d(std::make_unique<Impl>(this)) {}

MainController::~MainController() = default;

void MainController::exec()
{
    // The window's actions are the controller's child: they outlive the
    // window, which this part deletes first.
    d->ctx.mainWindow = new MainWindow(new WindowActions(this), nullptr, Qt::Window);
    if (d->ctx.player)
        d->ctx.player->setRenderingWidget(d->ctx.mainWindow->getRenderingWidget());
    TrackSelectionDialog::installImportDialogs([this]() -> QWidget * { return d ? d->ctx.mainWindow : nullptr; });
    Options *options = Options::instance();
    d->ctx.mainWindow->setOpenedFiles(options->getOpenedFiles());
    d->ctx.mainWindow->setSizeCustom(options->getSizeCustom());
    d->ctx.mainWindow->setSizeMostRecent(options->getSizeMostRecent());
    d->connectSignals();

    if (Logger *l = logger())
        l->toggleEnabled();
    d->parseCmdArgs();
    d->ctx.mainWindow->show();
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
        d->session.clearVideoCache();
}

MainWindow *MainController::getMainWindow() const { return d->ctx.mainWindow; }
QSharedPointer<Media> MainController::getMedia() const { return d->project.media(); }
Project *MainController::getProject() const { return &d->project; }
QSharedPointer<MediaPlayer> MainController::getMediaPlayer() const { return d->ctx.player; }
SnifferController *MainController::getSnifferController() const { return &d->snifferController; }
QUndoStack *MainController::getUndoStack() const { return d->ctx.undoStack; }

void MainController::setFileToOpenAfterLaunch(const QString &path) { d->fileToOpen = path; }
QString MainController::getFileToOpenAfterLaunch() const { return d->fileToOpen; }

void MainController::updateTimeline()
{
    d->pictures->updateTimeline();
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
    return d->session.confirmClose();
}

void MainController::openFile(const QString &name)
{
    d->session.openFile(name);
}

void MainController::saveCurrentProject()
{
    d->session.saveCurrentProject();
}

void MainController::saveCurrentProjectAs()
{
    d->session.saveCurrentProjectAs();
}

void MainController::ripFiles(const QStringList &sources, const QStringList &destinations)
{
    qDebug() << "Rip files:" << sources << "to" << destinations;
    ConvertProgressDialog dialog(d->ctx.mainWindow);
    dialog.process(sources, destinations);
    const QStringList written = dialog.getWrittenFiles();
    if (!written.isEmpty()) {
        const QString folder = QDir::toNativeSeparators(QFileInfo(written.constFirst()).absolutePath());
        d->ctx.showStatus(written.size() == 1
                          ? tr("DVD conversion finished: %1").arg(QDir::toNativeSeparators(written.constFirst()))
                          : tr("DVD conversion finished: %1 files in %2").arg(written.size()).arg(folder),
                      30000);
    }
}

void MainController::clearCachedData(const QString &path)
{
    d->session.clearCachedData(path);
}

void MainController::onTempoChanged(float tempo)
{
    d->transport.onTempoChanged(tempo);
}

void MainController::onPitchChanged(float pitch)
{
    d->transport.onPitchChanged(pitch);
}

void MainController::onDelete()
{
    d->edits.onDelete();
}

void MainController::onCut()
{
    d->edits.onCut();
}

void MainController::onCopy()
{
    d->edits.onCopy();
}

void MainController::onPaste()
{
    d->edits.onPaste();
}

void MainController::onVolume()
{
    d->edits.onVolume();
}

void MainController::onInsertSilence()
{
    d->edits.onInsertSilence();
}

void MainController::onSilenceSection()
{
    d->edits.onSilenceSection();
}

void MainController::onUndo()
{
    d->edits.onUndo();
}

void MainController::onRedo()
{
    d->edits.onRedo();
}

void MainController::onLoopDeleted(QSharedPointer<VideoLoop> loop)
{
    d->transport.onLoopDeleted(loop);
}

void MainController::onVoumeChanged(int volume)
{
    d->transport.onVoumeChanged(volume);
}

void MainController::onStopVideo()
{
    d->transport.onStopVideo();
}

void MainController::onPlayVideo()
{
    d->transport.onPlayVideo();
}

void MainController::onPauseVideo()
{
    d->transport.onPauseVideo();
}

void MainController::onPlaybackTimeChanged(QTime time)
{
    d->transport.onPlaybackTimeChanged(time);
}

void MainController::onPlaybackFrameChanged(quint32 frame)
{
    d->transport.onPlaybackFrameChanged(frame);
}

void MainController::onLoopAdded(QSharedPointer<VideoLoop> loop)
{
    d->transport.onLoopAdded(loop);
}

void MainController::onSelectionChanged(PairInt selection)
{
    qDebug() << "MainController::onSelectionChanged" << selection.first << selection.second;
}

void MainController::onTimeSliderReleased()
{
    d->transport.onTimeSliderReleased();
}

void MainController::onTimeSliderPressed()
{
    d->transport.onTimeSliderPressed();
}

void MainController::onExecute(QUndoCommand *command)
{
    d->edits.onExecute(command);
}

void MainController::onVideoZoomIn()
{
    d->transport.onVideoZoomIn();
}

void MainController::onVideoZoomOut()
{
    d->transport.onVideoZoomOut();
}

void MainController::onVideoZoom(QRectF area)
{
    d->transport.onVideoZoom(area);
}

void MainController::onVideoZoom(float value)
{
    d->transport.onVideoZoom(value);
}

void MainController::onSizeCustomClicked()
{
    logSlot("onSizeCustomClicked");
    SizeCustomDialog dialog(d->ctx.mainWindow);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QSize size = dialog.getSize();
    Options::instance()->setSizeCustom(size);
    if (d->ctx.mainWindow)
        d->ctx.mainWindow->setSizeCustom(size);
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

void MainController::onVideoPlayableChanged(bool playable)
{
    d->transport.onVideoPlayableChanged(playable);
}

void MainController::onAudioPlayableChanged(bool playable)
{
    d->transport.onAudioPlayableChanged(playable);
}

void MainController::onVideoLockChanged(bool locked)
{
    d->transport.onVideoLockChanged(locked);
}

void MainController::onAudioLockChanged(bool locked)
{
    d->transport.onAudioLockChanged(locked);
}

void MainController::clearClipboard()
{
    d->edits.clearClipboard();
}

void MainController::onPrint()
{
    logSlot("onPrint");
    qDebug() << "Begin printing.";
    if (!d->ctx.media() || d->ctx.media()->isEmpty() || !d->ctx.player)
        return;
    const bool wasPlaying = d->ctx.player->isPlaying();
    if (wasPlaying)
        d->ctx.player->pause();

    const Time now(qMax<qint64>(0, d->ctx.player->getCurrentMediaTime().unitCount));
    if (const QSharedPointer<MediaTrackFragment> fragment =
            d->ctx.media()->getTrackForPosition(static_cast<unsigned long long>(now.unitCount))) {
        // The picture the user sees: the place in the fragment's source that
        // the play position shows.
        const Time inSource = fragment->startPosition + (now - fragment->timelinePosition);
        QImage image = Util::getSnapshot(fragment->track ? fragment->track->getName() : QString(),
                                         SnaphotExtractor::clockTime(inSource));
        const QRectF crop = d->ctx.player->getGeneralCropArea();
        image = image.copy(int(image.width() * crop.x()), int(image.height() * crop.y()),
                           int(image.width() * crop.width()), int(image.height() * crop.height()));
        PrintDialog dialog(d->ctx.mainWindow);
        dialog.setCurScreen(image);
        dialog.exec();
    }
    if (wasPlaying && d->ctx.media() && !d->ctx.media()->isEmpty())
        d->ctx.player->play();
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
    openUserGuide(QStringLiteral("guide"), d->ctx.mainWindow);
}
void MainController::onHelpQuickStartGuideClicked()
{
    logSlot("onHelpQuickStartGuideClicked");
    openUserGuide(QStringLiteral("quick-start"), d->ctx.mainWindow);
}
void MainController::onHelpTrainingVideosClicked()
{
    logSlot("onHelpTrainingVideosClicked");
    openUserGuide(QStringLiteral("practising"), d->ctx.mainWindow);
}
void MainController::onHelpHelpDeskClicked()
{
    logSlot("onHelpHelpDeskClicked");
    openUserGuide(QStringLiteral("help"), d->ctx.mainWindow);
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
    if (d->ctx.player)
        d->ctx.player->pause();
    qDebug() << "Export all" << options;
    const OptionsHolder *holder = Singleton<OptionsHolder>::instance();
    options.volume = holder->getProjectVolume();
    options.pitch = holder->getProjectPitch();
    options.tempo = holder->getProjectTempo();
    completeExportOptions(options, d->ctx.player);
    ExportController controller(options, getMedia(), getMainWindow());
    controller.exportAll();
    d->reportExport(controller);
}

void MainController::exportCurrentLoop(ExportOptions options)
{
    if (d->ctx.player)
        d->ctx.player->pause();
    qDebug() << "Exporting loop" << options;
    const QSharedPointer<VideoLoop> loop = getMainWindow() ? getMainWindow()->getCurLoop() : nullptr;
    if (!loop) {
        qDebug() << "No loop selected";
        QMessageBox::information(getMainWindow(), tr("Export Current Loop"),
                                 tr("The play position is not inside a loop. Move it into the loop to export "
                                    "and try again."));
        return;
    }
    completeExportOptions(options, d->ctx.player);
    ExportController controller(options, getMedia(), getMainWindow());
    controller.exportLoop(loop.data());
    d->reportExport(controller);
}

void MainController::exportAllLoops(ExportOptions options)
{
    if (d->ctx.player)
        d->ctx.player->pause();
    qDebug() << "Exporting all loops" << options;
    const QSharedPointer<Media> media = getMedia();
    const QSharedPointer<MediaTimeLine> timeline = media ? media->getTimeline() : nullptr;
    if (!timeline || timeline->getLoopCount() == 0) {
        qDebug() << "Project does not contain loops";
        QMessageBox::information(getMainWindow(), tr("Export All Loops"),
                                 tr("The project has no loops to export."));
        return;
    }
    completeExportOptions(options, d->ctx.player);
    ExportController controller(options, media, getMainWindow());
    controller.exportAllLoops();
    d->reportExport(controller);
}

void MainController::onHelpAboutClicked()
{
    logSlot("onHelpAboutClicked");
    AboutDialog::setLinks(userGuidePage(QStringLiteral("guide")), userGuidePage(QStringLiteral("help")));
    AboutDialog dialog(d->ctx.mainWindow);
    dialog.exec();
}

void MainController::openNewInstance()
{
    logSlot("openNewInstance");
    const QPoint pos = d->ctx.mainWindow ? d->ctx.mainWindow->pos() : QPoint();
    QProcess::startDetached(QCoreApplication::applicationFilePath(), newInstanceArguments(pos));
}

void MainController::toggleLogger()
{
    Logger *l = logger();
    if (!l)
        return;
    qDebug() << tr("Prepare to toggle logger. Current status:") << l->isEnabled();
    l->toggleEnabled();
    QMessageBox::information(d->ctx.mainWindow, tr("Log"),
                             tr("Error Logging is %1").arg(l->isEnabled() ? tr("On") : tr("Off")), QMessageBox::Ok);
    qDebug() << tr("Logger status switched. Current status:") << l->isEnabled();
}

} // namespace TW
