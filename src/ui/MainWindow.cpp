#include "ui/MainWindow.h"

#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "dialogs/BookmarkEditDialog.h"
#include "dialogs/EditLoopDialog.h"
#include "dialogs/ExportDialog.h"
#include "dialogs/OptionsDialog.h"
#include "dialogs/PrintDialog.h"
#include "dialogs/RipDialog.h"
#include "capture/Tarnwell2SnifferWindow.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/Project.h"
#include "model/VideoLoop.h"
#include "model/VideoMarker.h"
#include "ui/AbstractThumbnail.h"
#include "ui/AudioThumbnailWidget.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindowActions.h"
#include "ui/MainWindowImpl.h"
#include "ui/MediaTrackWidget.h"
#include "ui/ScreenRules.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TimelineViewportOverlay.h"
#include "ui/TimelineViewportWidget.h"
#include "ui/TimelineWidget.h"
#include "ui/TopToolbarWidget.h"
#include "ui/VideoControlsWidget.h"
#include "ui/VideoThumbnailWidget.h"
#include "ui/VideoWidget.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QStackedLayout>
#include <QToolButton>
#include <QUndoCommand>
#include <cmath>
#include <limits>

namespace TW {

namespace {

QString openFilters()
{
    static const QString filters = QStringList{
        QObject::tr("All Media Files (*.avi *.mp4 *.m4v *.mpg *.mpeg *.mov *.mts *.m2ts *.ts *.flv *.mkv *.webm "
                    "*.wmv *.rm *.vob *.3gp *.ogv *.mp3 *.wav *.flac *.m4a *.aac *.ogg *.oga *.opus *.wma *.aif "
                    "*.aiff *.twp)"),
        QObject::tr("Audio Files (*.mp3 *.wav *.flac *.m4a *.aac *.ogg *.oga *.opus *.wma *.aif *.aiff)"),
        QObject::tr("AVI (*.avi)"), QObject::tr("MPEG-4 (*.mp4)"), QObject::tr("MPEG-4 (*.m4v)"),
        QObject::tr("MPEG-1 (*.mpg)"), QObject::tr("QuickTime (*.mov)"), QObject::tr("Matroska (*.mkv)"),
        QObject::tr("Flash (*.flv)"), QObject::tr("Windows Media (*.wmv)"), QObject::tr("Real Media (*.rm)"),
        QObject::tr("MTS (*.mts)"), QObject::tr("DVD-Video Object (*.vob)"),
        QObject::tr("Tarnwell Project (*.twp)"), QObject::tr("All files (*)")}.join(QStringLiteral(";;"));
    return filters;
}

} // namespace

void MainWindow::MainWindowImpl::makeSnifferWindow()
{
    snifferWindow = new Tarnwell2SnifferWindow;
    QObject::connect(snifferWindow, &Tarnwell2SnifferWindow::downloadFinished, self,
                     &MainWindow::onSnifferDownloadFinish, Qt::QueuedConnection);
    QObject::connect(snifferWindow, &Tarnwell2SnifferWindow::closed, self, &MainWindow::onSnifferWindowClosed);
}

void MainWindow::MainWindowImpl::postResize()
{
    QCoreApplication::postEvent(self, new QResizeEvent(QSize(1, 1), self->size()));
}

void MainWindow::MainWindowImpl::readSettings()
{
    if (Options::instance() && Options::instance()->getAlwaysOnTop())
        self->setWindowFlags(self->windowFlags() | Qt::WindowStaysOnTopHint);
    QSettings settings;
    settings.beginGroup(QStringLiteral("MainWindow"));
    const QSize size = settings.value(QStringLiteral("size"), QSize(1024, 800)).toSize();
    const QPoint position = settings.value(QStringLiteral("position"), QPoint(100, 100)).toPoint();
    // The saved or default place, kept on the screen it is on (or the
    // first one): a small screen, or one that has gone, must not leave
    // the window's bottom or the timeline out of reach.
    QRect wanted(position, size);
    const QScreen *screen = QGuiApplication::screenAt(wanted.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        // The frame is not known before the window is shown: a title bar
        // and thin borders are allowed for.
        const QMargins frame(4, 32, 4, 4);
        wanted = MainWindow::fitToScreen(QRect(position, size), screen->availableGeometry(), frame);
    }
    self->resize(wanted.size());
    self->move(wanted.topLeft());
    if (settings.value(QStringLiteral("maximized"), 0).toInt() == 1) {
        if (self->isMaximized())
            self->showNormal();
        self->showMaximized();
        self->hide();
    }
    settings.endGroup();
}

void MainWindow::MainWindowImpl::writeSettings()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("MainWindow"));
    const bool maximized = self->isMaximized();
    if (!maximized) {
        settings.setValue(QStringLiteral("size"), self->size());
        settings.setValue(QStringLiteral("position"), self->pos());
    }
    settings.setValue(QStringLiteral("maximized"), maximized ? 1 : 0);
    settings.endGroup();
}

bool MainWindow::MainWindowImpl::projectEmpty() const { return timeArea->getFrameCount() <= 0; }

void MainWindow::MainWindowImpl::jumpOnRuler(void (TimeAreaWidget::*jump)())
{
    (timeArea->*jump)();
    actions->seekToFrame(static_cast<quint32>(qMax(0, timeArea->getCurFrame())));
}

void MainWindow::MainWindowImpl::seekTo(int frame)
{
    self->onPlaybackFrameChanged(frame);
    actions->seekToFrame(static_cast<quint32>(frame));
}

void MainWindow::MainWindowImpl::step(double seconds, bool forward)
{
    if (projectEmpty())
        return;
    const double fps = timeArea->getFps();
    const int current = timeArea->getCurFrame();
    const int last = timeArea->getFrameCount();
    int target;
    if (seconds <= 0.0) {
        target = forward ? current + 1 : current - 1;
    } else {
        const double delta = seconds * fps;
        target = forward ? static_cast<int>(std::floor(current + delta))
                         : static_cast<int>(std::ceil(current - delta));
    }
    if (forward ? target > last : target < 0)
        return;
    if (!forward && seconds <= 0.0 && current <= 0)
        return;
    seekTo(target);
}

// Where the ruler allocates new loops and bookmarks, how long the project is
// for the bookmark editor, what the options dialog's "Custom" size does and
// what a print shows: always those of the newest window's project. A source
// asked after its window has gone answers as for no project.
void MainWindow::installSources()
{
    const QPointer<MainWindow> window(this);
    TimeAreaWidget::setTimelineSource([window] {
        return window ? window->d->actions->timeline() : QSharedPointer<MediaTimeLine>();
    });
    BookmarkEditDialog::setDurationSource([window]() -> qint64 {
        const QSharedPointer<Media> media = window ? window->d->actions->media() : QSharedPointer<Media>();
        return media ? media->getDuration().unitCount : 0;
    });
    OptionsDialog::setCustomSizeAction([window] {
        if (window)
            window->d->actions->useCustomSize();
    });
    PrintDialog::setProjectSource({[window] { return window ? window->d->actions->media() : QSharedPointer<Media>(); },
                                   [window] { return window ? window->getSelection() : PairInt(-1, -1); },
                                   [window] { return window ? window->getCurFrame() : 0; }});
}

void MainWindow::MainWindowImpl::execute(QUndoCommand *command)
{
    if (command)
        emit self->execute(command);
}

MainWindow::MainWindow(MainWindowActions *actions, QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags), d(std::make_unique<MainWindowImpl>())
{
    d->self = this;
    d->actions = actions;
    d->setupUi(this);
    installSources();
    d->connectChildren();
    d->readSettings();
    setWindowTitle(QStringLiteral("Tarnwell"));
    setWindowIcon(QIcon(QStringLiteral(":/gui/tw_icon")));
    setAcceptDrops(true);
    setDuration(QTime(0, 0), 0.0);
    setObjectName(QStringLiteral("mainWindow"));
    setStyleSheet(QStringLiteral("#mainWindow { border: 2px solid gray; }"));
    qApp->installEventFilter(this);
    d->createMainMenu();
    d->createShortcuts();
    if (ScreenRules::isLowResolutionScreen())
        onToggleTopToolbarClicked();
    d->postResize();
    d->placeTimelineToggle();
    if (Options::instance()->getRunSnifferInBackground())
        d->makeSnifferWindow();
    d->topToolbar->setSnifferInBackground(Options::instance()->getRunSnifferInBackground());
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    delete d->snifferWindow;
    d->writeSettings();
}

bool MainWindow::isVideoLocked() const { return d->timelineWidget->isVideoLocked(); }
bool MainWindow::isAudioLocked() const { return d->timelineWidget->isAudioLocked(); }
PairInt MainWindow::getSelection() const { return d->timeArea->getSelection(); }
int MainWindow::getCurFrame() const { return d->timeArea->getCurFrame(); }
QSharedPointer<VideoLoop> MainWindow::getCurLoop() const { return d->timeArea->getCurLoop(); }
QWidget *MainWindow::getRenderingWidget() const { return d->videoWidget->getRenderingWidget(); }
bool MainWindow::isMaximized() const { return QWidget::isMaximized(); }
TopToolbarWidget *MainWindow::getTopToolbar() const { return d->topToolbar; }
EditVideoWidget *MainWindow::getEditVideoWidget() const { return d->editVideoWidget; }
VideoWidget *MainWindow::getVideoWidget() const { return d->videoWidget; }
VideoControlsWidget *MainWindow::getVideoControls() const { return d->videoControls; }
TimeAreaWidget *MainWindow::getTimeArea() const { return d->timeArea; }
TimelineWidget *MainWindow::getTimeline() const { return d->timelineWidget; }
QSlider *MainWindow::getMasterSlider() const { return d->masterSlider; }
QMenu *MainWindow::getAspectResizeMenu() const { return d->aspectResizeMenu; }
bool MainWindow::isToolbarCollapsed() const { return d->toolbarStack->currentWidget() != d->topToolbar; }
bool MainWindow::isTimelineCollapsed() const { return d->timelineStack->currentWidget() != d->timelineWidget; }

void MainWindow::setWindowTitle(const QString &title) { QMainWindow::setWindowTitle(title); }

void MainWindow::setDuration(QTime duration, double fps)
{
    d->timelineWidget->getViewport()->setDuration(duration, fps);
    d->videoControls->setDuration(duration, fps);
    d->masterSlider->setMaximum(d->timeArea->getFrameCount());
    d->masterSlider->setSingleStep(static_cast<int>(fps / 10.0));
    qDebug() << "Duration is set to" << duration.toString(QStringLiteral("HH-mm-ss-zzz")) << "fps:" << fps;
}

void MainWindow::setCurrentFrame(long frame)
{
    if (d->timeArea->isSliderDown() || d->masterSlider->isSliderDown())
        return;
    // The end of playback shows as the start.
    const QSharedPointer<Media> media = d->actions ? d->actions->media() : nullptr;
    const long length = media ? static_cast<long>(media->getDuration().toFrameUnits(false)) : 0;
    const long shown = frame == length ? 0 : frame;
    const int f = static_cast<int>(qBound(static_cast<long>(std::numeric_limits<int>::min()), shown,
                                          static_cast<long>(std::numeric_limits<int>::max())));
    d->masterSlider->setSliderPosition(f);
    d->timeArea->setCurrentFrame(f);
    d->videoControls->setCurrentFrame(f);
    // The side panel follows the project's settings signal; a position
    // report changes it only when it crosses a loop's boundary.
    const QSharedPointer<VideoLoop> loop = d->timeArea->getCurLoop();
    const QString loopId = loop ? loop->getID() : QString();
    if (!d->tempoShown || loopId != d->tempoLoopId)
        updateTempoPitch();
}

void MainWindow::setCurrentTime(QTime time)
{
    qDebug() << "MainWindow::setCurrentTime" << time;
    d->timeArea->setCurrentTime(time);
    d->videoControls->setCurrentTime(time);
    const int ms = QTime(0, 0).msecsTo(time);
    d->masterSlider->setSliderPosition(static_cast<int>(d->timeArea->getFps() * ms / 1000.0));
}

void MainWindow::addLoop(QSharedPointer<VideoLoop> loop)
{
    d->timeArea->addLoop(loop);
    d->timelineWidget->getViewport()->getOverlay()->addLoop(loop);
}

void MainWindow::removeLoop(QSharedPointer<VideoLoop> loop)
{
    d->timeArea->removeLoop(loop);
    d->timelineWidget->getViewport()->getOverlay()->removeLoop(loop);
}

void MainWindow::addBookmark(QSharedPointer<VideoMarker> bookmark) { d->timeArea->addBookmark(bookmark); }
void MainWindow::removeBookmark(QSharedPointer<VideoMarker> bookmark) { d->timeArea->removeBookmark(bookmark); }
void MainWindow::updateLoops()
{
    d->timeArea->updateLoops();
    d->timelineWidget->getViewport()->getOverlay()->update();
}

void MainWindow::updateBookmarks() { d->timeArea->updateBookmarks(); }
void MainWindow::clearLoops()
{
    d->timeArea->clearLoops();
    d->timelineWidget->getViewport()->getOverlay()->clearLoops();
}

void MainWindow::clearBookmarks() { d->timeArea->clearBookmarks(); }
void MainWindow::clearTmpLoops() { d->timeArea->clearTmpLoops(); }
void MainWindow::clearSelection() { d->timeArea->clearSelection(); }
void MainWindow::updateTempoPitch()
{
    const qint64 frame = d->timeArea->getCurFrame();
    const Project *project = d->actions ? d->actions->project() : nullptr;
    const PlaybackValues values = project ? project->valuesAt(frame)
                                          : PlaybackSettings::of(nullptr, *Singleton<OptionsHolder>::instance())->valuesAt(frame);
    d->editVideoWidget->setTempo(values.tempo);
    d->editVideoWidget->setPitch(values.pitch);
    const QSharedPointer<VideoLoop> loop = d->timeArea->getCurLoop();
    d->tempoLoopId = loop ? loop->getID() : QString();
    d->tempoShown = true;
}

void MainWindow::setSizeMostRecent(QSize size) { d->topToolbar->setSizeMostRecent(size.width(), size.height()); }
void MainWindow::setSizeCustom(QSize size) { d->topToolbar->setSizeCustom(size.width(), size.height()); }
void MainWindow::setSizeOriginal(QSize size) { d->topToolbar->setSizeOriginal(size.width(), size.height()); }
void MainWindow::setCanUndo(bool enabled) { d->topToolbar->setCanUndo(enabled); }
void MainWindow::setCanRedo(bool enabled) { d->topToolbar->setCanRedo(enabled); }
void MainWindow::setOpenedFiles(const QStringList &files) { d->topToolbar->setOpenedFiles(files); }
void MainWindow::setVideoLocked(bool locked) { d->timelineWidget->setVideoLocked(locked); }
void MainWindow::setVideoPlayable(bool playable) { d->timelineWidget->setVideoPlayable(playable); }
void MainWindow::setAudioPlayable(bool playable) { d->timelineWidget->setAudioPlayable(playable); }

void MainWindow::setAudioLocked(bool locked)
{
    d->timelineWidget->setAudioLocked(locked);
    d->editVideoWidget->setSilenceBtnEnabled(!locked);
}

void MainWindow::setZoom(float zoom) { d->videoControls->setZoom(static_cast<int>(zoom)); }

VideoThumbnailWidget *MainWindow::addThumbnail(int start, int length, QString name, QImage image)
{
    MediaTrackWidget *row = d->timelineWidget->getViewport()->getVideoTrack();
    return qobject_cast<VideoThumbnailWidget *>(row->addThumbnail(new VideoThumbnailWidget(start, length, name, image)));
}

AudioThumbnailWidget *MainWindow::addThumbnail(int start, int length, QImage wave)
{
    MediaTrackWidget *row = d->timelineWidget->getViewport()->getAudioTrack();
    return qobject_cast<AudioThumbnailWidget *>(row->addThumbnail(new AudioThumbnailWidget(start, length, wave)));
}

void MainWindow::removeThumbnail(AbstractThumbnail *thumbnail)
{
    // The row that does not hold it leaves it alone.
    d->timelineWidget->getViewport()->getVideoTrack()->removeThumbnail(thumbnail);
    d->timelineWidget->getViewport()->getAudioTrack()->removeThumbnail(thumbnail);
}

void MainWindow::updateThumbnails()
{
    d->timelineWidget->getViewport()->getAudioTrack()->updateThumbnails();
    d->timelineWidget->getViewport()->getVideoTrack()->updateThumbnails();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    d->placeTimelineToggle();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Unsaved changes are asked about first; Cancel keeps the window.
    if (d->actions && !d->actions->confirmClose()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    delete d->snifferWindow;
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    d->actions->openFile(urls.first().toLocalFile());
    d->actions->play();
}

QRect MainWindow::fitToScreen(const QRect &window, const QRect &available, const QMargins &frame)
{
    const int width = qMax(1, qMin(window.width(), available.width() - frame.left() - frame.right()));
    const int height = qMax(1, qMin(window.height(), available.height() - frame.top() - frame.bottom()));
    // The position is that of the frame's top left corner.
    const int outerWidth = width + frame.left() + frame.right();
    const int outerHeight = height + frame.top() + frame.bottom();
    const int x = qBound(available.left(), window.x(), qMax(available.left(), available.right() + 1 - outerWidth));
    const int y = qBound(available.top(), window.y(), qMax(available.top(), available.bottom() + 1 - outerHeight));
    return QRect(x, y, width, height);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    d->placeTimelineToggle();
}

void MainWindow::onOpenButtonClicked()
{
    Options *options = Options::instance();
    QString folder = options->getLastPath(PathType(2));
    if (folder.isEmpty())
        folder = options->getPath(PathType(2));
    const QString file = QFileDialog::getOpenFileName(this, tr("Open"), folder, openFilters());
    if (file.isEmpty())
        return;
    options->setLastPath(PathType(2), QFileInfo(file).canonicalPath());
    qDebug() << "selected to open:" << file;
    d->actions->openFile(file);
}

void MainWindow::onSaveButtonClicked() { d->actions->saveProjectAs(); }
void MainWindow::onExportButtonClicked() {}
void MainWindow::onRipButtonClicked()
{
    RipDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QPair<QStringList, QStringList> rip = dialog.getRipInfo();
    d->actions->ripFiles(rip.first, rip.second);
}

void MainWindow::onAspectResizeButtonClicked() {}
void MainWindow::onSnifferButtonClicked()
{
    // A window still open is shown again rather than made twice.
    if (!d->snifferWindow)
        d->makeSnifferWindow();
    d->snifferWindow->setVisible(true);
    d->snifferWindow->raise();
}

void MainWindow::onSnifferDownloadFinish(const QString &path)
{
    // The sniffer window stays on top; it steps back while the file opens.
    if (d->snifferWindow) {
        d->snifferWindow->setWindowFlags(d->snifferWindow->windowFlags() & ~Qt::WindowStaysOnTopHint);
        d->snifferWindow->show();
    }
    if (!d->actions)
        return;
    // A download may have replaced a file opened before under that name.
    d->actions->clearCachedData(path);
    d->actions->openFile(path);
    setWindowTitle(QStringLiteral("Tarnwell - %1").arg(QFileInfo(path).fileName()));
    if (d->snifferWindow) {
        d->snifferWindow->setWindowFlags(d->snifferWindow->windowFlags() | Qt::WindowStaysOnTopHint);
        d->snifferWindow->show();
    }
    d->actions->play();
}

void MainWindow::onSnifferWindowClosed()
{
    if (Options::instance()->getRunSnifferInBackground() || !d->snifferWindow)
        return;
    d->snifferWindow->deleteLater();
    d->snifferWindow.clear();
}

void MainWindow::onSnifferBackgroundClicked()
{
    // Nothing changes while the window is on screen.
    Options *options = Options::instance();
    if (!d->snifferWindow || !d->snifferWindow->isVisible()) {
        if (options->getRunSnifferInBackground()) {
            delete d->snifferWindow;
            options->setRunSnifferInBackground(false);
        } else {
            if (!d->snifferWindow)
                d->makeSnifferWindow();
            options->setRunSnifferInBackground(true);
        }
    }
    d->topToolbar->setSnifferInBackground(options->getRunSnifferInBackground());
}

Tarnwell2SnifferWindow *MainWindow::getSnifferWindow() const { return d->snifferWindow; }
void MainWindow::onSnifferYoutubeButtonClicked()
{
    if (d->actions)
        d->actions->openVideoDownloader();
}
void MainWindow::onOptionButtonClicked()
{
    const bool wasOnTop = Options::instance()->getAlwaysOnTop();
    {
        OptionsDialog dialog(this);
        dialog.exec();
    }
    const bool onTop = Options::instance()->getAlwaysOnTop();
    if (onTop == wasOnTop)
        return;
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    // Changing the flags hides the window.
    show();
}

void MainWindow::onHelpButtonClicked() {}
void MainWindow::onPrinterButtonClicked() { d->actions->print(); }

namespace {

// Runs the export dialog for a project that is not empty; true, with the
// options filled, when the user pressed OK.
bool askExportOptions(MainWindow *window, MainWindowActions *actions, ExportOptions *options)
{
    const QSharedPointer<Media> media = actions ? actions->media() : nullptr;
    if (!media || media->isEmpty())
        return false;
    ExportDialog dialog(window);
    if (!dialog.exec())
        return false;
    *options = dialog.getExportOptions();
    return true;
}

} // namespace

void MainWindow::onExportEntireVideoClicked()
{
    ExportOptions options;
    if (askExportOptions(this, d->actions, &options))
        d->actions->exportAll(options);
}

void MainWindow::onExportCurrentLoopClicked()
{
    ExportOptions options;
    if (askExportOptions(this, d->actions, &options))
        d->actions->exportCurrentLoop(options);
}

void MainWindow::onExportAllLoopsClicked()
{
    ExportOptions options;
    if (askExportOptions(this, d->actions, &options))
        d->actions->exportAllLoops(options);
}
void MainWindow::onUndo() { d->actions->undo(); }
void MainWindow::onRedo() { d->actions->redo(); }
void MainWindow::onMarkerButtonClicked()
{
    const QSharedPointer<Media> media = d->actions->media();
    const QSharedPointer<MediaTimeLine> timeline = media ? media->getTimeline() : nullptr;
    if (!timeline)
        return;
    if (const QSharedPointer<VideoMarker> bookmark = timeline->allocBookmark(d->timeArea->getCurFrame()))
        d->execute(d->actions->addBookmarkCommand(bookmark));
}

void MainWindow::onOpenFileClicked(const QString &path)
{
    if (!path.isEmpty())
        d->actions->openFile(path);
}

void MainWindow::onSizeCustomClicked() { d->actions->useCustomSize(); }
void MainWindow::onSizeMostRecentClicked() { d->actions->useMostRecentSize(); }
void MainWindow::onSizeOriginalClicked() { d->actions->useOriginalSize(); }
void MainWindow::onSizeClicked(QSize size) { d->actions->useSize(size); }

void MainWindow::onNewInstanceButtonClicked()
{
    d->actions->openNewInstance();
}

void MainWindow::onToggleTopToolbarClicked()
{
    d->toggleSection(d->toolbarStack, d->topToolbar, d->toolbarPlaceholder, d->toolbarContainer);
}

void MainWindow::onToggleTimelineClicked()
{
    d->toggleSection(d->timelineStack, d->timelineWidget, d->timelinePlaceholder, d->timelineContainer);
    d->postResize();
}

void MainWindow::onTempoChanged(float tempo) { d->actions->setTempo(tempo); }
void MainWindow::onPitchChanged(float pitch) { d->actions->setPitch(pitch); }
void MainWindow::onVoumeChanged(int volume) { d->actions->setVolume(volume); }
void MainWindow::onDelete() { d->actions->deleteSelection(); }
void MainWindow::onCut() { d->actions->cutSelection(); }
void MainWindow::onCopy() { d->actions->copySelection(); }
void MainWindow::onPaste() { d->actions->paste(); }
void MainWindow::onVolume() { d->actions->changeSelectionVolume(); }
void MainWindow::onInsertSilence() { d->actions->insertSilence(); }
void MainWindow::onSilenceSection() { d->actions->silenceSelection(); }
void MainWindow::onStartLoop() { d->timeArea->addLoopStart(); }
void MainWindow::onEndLoop() { d->timeArea->addLoopEnd(); }
void MainWindow::onEditLoop()
{
    const QSharedPointer<VideoLoop> loop = d->timeArea->getCurLoop();
    if (!loop)
        return;
    EditLoopDialog dialog(loop, d->timeArea->getFrameCount(), d->timeArea->getLoops(), d->timeArea->getFps(), this);
    if (dialog.exec() != 1)
        return;
    d->execute(d->actions->editLoopCommand(QSharedPointer<VideoLoop>(new VideoLoop(*loop)), loop, dialog.getUpdatedLoop()));
}

void MainWindow::onDeleteLoop()
{
    if (const QSharedPointer<VideoLoop> loop = d->timeArea->getCurLoop())
        d->execute(d->actions->removeLoopCommand(loop));
}

void MainWindow::onPreviousLoop() { d->jumpOnRuler(&TimeAreaWidget::moveToPrevLoop); }
void MainWindow::onNextLoop() { d->jumpOnRuler(&TimeAreaWidget::moveToNextLoop); }
void MainWindow::onPreviousMarker() { d->jumpOnRuler(&TimeAreaWidget::moveToPrevBookmark); }
void MainWindow::onNextMarker() { d->jumpOnRuler(&TimeAreaWidget::moveToNextBookmark); }

void MainWindow::onAdvanceByOneSec() { d->step(1.0, true); }
void MainWindow::onAdvanceByTenthSec() { d->step(0.1, true); }
void MainWindow::onAdvanceByQuarterSec() { d->step(0.25, true); }
void MainWindow::onAdvanceByFrame() { d->step(0.0, true); }
void MainWindow::onRewindByOneSec() { d->step(1.0, false); }
void MainWindow::onRewindByTenthSec() { d->step(0.1, false); }
void MainWindow::onRewindByQuarterSec() { d->step(0.25, false); }
void MainWindow::onRewindByFrame() { d->step(0.0, false); }
void MainWindow::onStopVideo() { d->actions->stop(); }
void MainWindow::onPlayVideo() { d->actions->play(); }
void MainWindow::onPauseVideo() { d->actions->pause(); }
void MainWindow::onZoomSliderChanged(int value) { d->actions->setZoom(static_cast<float>(value)); }
void MainWindow::onVideoZoomIn() { d->actions->zoomIn(); }
void MainWindow::onVideoZoomOut() { d->actions->zoomOut(); }
void MainWindow::onVideoZoom(QRectF area) { d->actions->zoomToArea(area); }

void MainWindow::onPlaybackFrameChanged(int frame)
{
    if (frame < 0 || frame > d->timeArea->getFrameCount())
        return;
    d->masterSlider->setSliderPosition(frame);
    d->timeArea->setCurrentFrame(frame);
    d->videoControls->setCurrentFrame(frame);
    updateTempoPitch();
}

void MainWindow::onMasterTimelineValueChanged(int)
{
    updateTempoPitch();
    d->actions->seekToFrame(static_cast<quint32>(qMax(0, d->masterSlider->value())));
}

void MainWindow::onSliderPressed() { d->actions->positionSliderPressed(); }
void MainWindow::onSliderReleased()
{
    // The last step of a drag may not have reached the player yet: the
    // slider, the picture and the read-out agree on where it was let go.
    if (sender() == d->masterSlider) {
        const int frame = d->masterSlider->value();
        onPlaybackFrameChanged(frame);
        d->actions->seekToFrame(static_cast<quint32>(qMax(0, frame)));
    }
    d->actions->positionSliderReleased();
}

void MainWindow::onPlaybackTimeChanged(QTime time)
{
    setCurrentTime(time);
    d->actions->seekToTime(time);
}

void MainWindow::onTimelineValueChanged(int frame)
{
    onPlaybackFrameChanged(frame);
    updateTempoPitch();
    d->actions->seekToFrame(static_cast<quint32>(qMax(0, frame)));
}

void MainWindow::onSelectionChanged(PairInt selection) { d->actions->selectionChanged(selection); }
void MainWindow::onVideoPlayableChanged(bool playable) { d->actions->setVideoPlayable(playable); }
void MainWindow::onAudioPlayableChanged(bool playable) { d->actions->setAudioPlayable(playable); }
void MainWindow::onVideoLockChanged(bool locked) { d->actions->setVideoLocked(locked); }

void MainWindow::onAudioLockChanged(bool locked)
{
    d->actions->setAudioLocked(locked);
    d->editVideoWidget->setSilenceBtnEnabled(!locked);
}

void MainWindow::onThumbnailClicked(AbstractThumbnail *thumbnail)
{
    if (!thumbnail)
        return;
    const int frame = thumbnail->getPosition() + 1;
    setCurrentFrame(frame);
    d->actions->seekToFrame(static_cast<quint32>(qMax(0, frame)));
}

} // namespace TW
