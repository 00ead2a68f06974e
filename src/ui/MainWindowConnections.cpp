#include "ui/MainWindowImpl.h"

#include "ui/AbstractThumbnail.h"
#include "ui/EditVideoWidget.h"
#include "ui/MainWindowActions.h"
#include "ui/MediaTrackWidget.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TimelineViewportWidget.h"
#include "ui/TimelineWidget.h"
#include "ui/TopToolbarWidget.h"
#include "ui/VideoControlsWidget.h"
#include "ui/VideoWidget.h"

#include <QSlider>
#include <QToolButton>
#include <QUndoCommand>

namespace TW {

void MainWindow::MainWindowImpl::connectChildren()
{
    connectToolbar();
    connectSidePanel();
    connectTransport();
    connectTimeline();
}

void MainWindow::MainWindowImpl::connectToolbar()
{
    MainWindow *w = self;
    QObject::connect(topToolbar, &TopToolbarWidget::openButtonClicked, w, &MainWindow::onOpenButtonClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::saveButtonClicked, w, &MainWindow::onSaveButtonClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::exportButtonClicked, w, &MainWindow::onExportButtonClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::ripButtonClicked, w, &MainWindow::onRipButtonClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::aspectResizeButtonClicked, w, &MainWindow::onAspectResizeButtonClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::snifferButtonClicked, w, &MainWindow::onSnifferButtonClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::snifferYoutubeButtonClicked, w, &MainWindow::onSnifferYoutubeButtonClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::snifferBackgroundClicked, w, &MainWindow::onSnifferBackgroundClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::optionButtonClicked, w, &MainWindow::onOptionButtonClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::helpButtonClicked, w, &MainWindow::onHelpButtonClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::printerButtonClicked, w, &MainWindow::onPrinterButtonClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::exportEntireVideoClicked, w, &MainWindow::onExportEntireVideoClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::exportCurrentLoopClicked, w, &MainWindow::onExportCurrentLoopClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::exportAllLoopsClicked, w, &MainWindow::onExportAllLoopsClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::undoButtonClicked, w, &MainWindow::onUndo);
    QObject::connect(topToolbar, &TopToolbarWidget::redoButtonClicked, w, &MainWindow::onRedo);
    QObject::connect(topToolbar, &TopToolbarWidget::markerButtonClicked, w, &MainWindow::onMarkerButtonClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::openFileClicked, w, &MainWindow::onOpenFileClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::sizeCustomClicked, w, &MainWindow::onSizeCustomClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::sizeMostRecentClicked, w, &MainWindow::onSizeMostRecentClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::sizeOriginalClicked, w, &MainWindow::onSizeOriginalClicked);
    QObject::connect(topToolbar, &TopToolbarWidget::sizeClicked, w, &MainWindow::onSizeClicked);
    // The help entries go straight to the actions.
    QObject::connect(topToolbar, &TopToolbarWidget::helpUserGuideClicked, w, [this] { actions->showUserGuide(); });
    QObject::connect(topToolbar, &TopToolbarWidget::helpQuickStartGuideClicked, w,
                     [this] { actions->showQuickStartGuide(); });
    QObject::connect(topToolbar, &TopToolbarWidget::helpTrainingVideosClicked, w,
                     [this] { actions->showTrainingVideos(); });
    QObject::connect(topToolbar, &TopToolbarWidget::helpHelpDeskClicked, w, [this] { actions->showHelpDesk(); });
    QObject::connect(topToolbar, &TopToolbarWidget::helpAboutClicked, w, [this] { actions->showAbout(); });
    QObject::connect(topToolbar, &TopToolbarWidget::newInstanceClicked, w, &MainWindow::onNewInstanceButtonClicked);
    QObject::connect(newInstanceButton, &QToolButton::clicked, w, &MainWindow::onNewInstanceButtonClicked);
    QObject::connect(toolbarToggleButton, &QToolButton::clicked, w, &MainWindow::onToggleTopToolbarClicked);
    QObject::connect(timelineToggleButton, &QToolButton::clicked, w, &MainWindow::onToggleTimelineClicked);
}

void MainWindow::MainWindowImpl::connectSidePanel()
{
    MainWindow *w = self;
    QObject::connect(editVideoWidget, &EditVideoWidget::tempoValueChanged, w, &MainWindow::onTempoChanged);
    QObject::connect(editVideoWidget, &EditVideoWidget::pitchValueChanged, w, &MainWindow::onPitchChanged);
    QObject::connect(editVideoWidget, &EditVideoWidget::volumeChanged, w, &MainWindow::onVoumeChanged);
    QObject::connect(editVideoWidget, &EditVideoWidget::deletePressed, w, &MainWindow::onDelete);
    QObject::connect(editVideoWidget, &EditVideoWidget::cutPressed, w, &MainWindow::onCut);
    QObject::connect(editVideoWidget, &EditVideoWidget::copyPressed, w, &MainWindow::onCopy);
    QObject::connect(editVideoWidget, &EditVideoWidget::pastePressed, w, &MainWindow::onPaste);
    QObject::connect(editVideoWidget, &EditVideoWidget::volumePressed, w, &MainWindow::onVolume);
    QObject::connect(editVideoWidget, &EditVideoWidget::insertSilencePressed, w, &MainWindow::onInsertSilence);
    QObject::connect(editVideoWidget, &EditVideoWidget::silenceSectionPressed, w, &MainWindow::onSilenceSection);
    QObject::connect(editVideoWidget, &EditVideoWidget::startLoopPressed, w, &MainWindow::onStartLoop);
    QObject::connect(editVideoWidget, &EditVideoWidget::endLoopPressed, w, &MainWindow::onEndLoop);
    QObject::connect(editVideoWidget, &EditVideoWidget::editLoopPressed, w, &MainWindow::onEditLoop);
    QObject::connect(editVideoWidget, &EditVideoWidget::deleteLoopPressed, w, &MainWindow::onDeleteLoop);
    QObject::connect(editVideoWidget, &EditVideoWidget::previousLoopPressed, w, &MainWindow::onPreviousLoop);
    QObject::connect(editVideoWidget, &EditVideoWidget::nextLoopPressed, w, &MainWindow::onNextLoop);
    QObject::connect(editVideoWidget, &EditVideoWidget::previousMarkerPressed, w, &MainWindow::onPreviousMarker);
    QObject::connect(editVideoWidget, &EditVideoWidget::nextMarkerPressed, w, &MainWindow::onNextMarker);
}

void MainWindow::MainWindowImpl::connectTransport()
{
    MainWindow *w = self;
    QObject::connect(videoControls, &VideoControlsWidget::advanceByOneSec, w, &MainWindow::onAdvanceByOneSec);
    QObject::connect(videoControls, &VideoControlsWidget::advanceByTenthSec, w, &MainWindow::onAdvanceByTenthSec);
    QObject::connect(videoControls, &VideoControlsWidget::advanceByQuarterSec, w, &MainWindow::onAdvanceByQuarterSec);
    QObject::connect(videoControls, &VideoControlsWidget::advanceByFrame, w, &MainWindow::onAdvanceByFrame);
    QObject::connect(videoControls, &VideoControlsWidget::rewindByOneSec, w, &MainWindow::onRewindByOneSec);
    QObject::connect(videoControls, &VideoControlsWidget::rewindByTenthSec, w, &MainWindow::onRewindByTenthSec);
    QObject::connect(videoControls, &VideoControlsWidget::rewindByQuarterSec, w, &MainWindow::onRewindByQuarterSec);
    QObject::connect(videoControls, &VideoControlsWidget::rewindByFrame, w, &MainWindow::onRewindByFrame);
    QObject::connect(videoControls, &VideoControlsWidget::stopVideo, w, &MainWindow::onStopVideo);
    QObject::connect(videoControls, &VideoControlsWidget::playVideo, w, &MainWindow::onPlayVideo);
    QObject::connect(videoControls, &VideoControlsWidget::pauseVideo, w, &MainWindow::onPauseVideo);
    QObject::connect(videoControls, &VideoControlsWidget::zoomChanged, w, &MainWindow::onZoomSliderChanged);

    QObject::connect(videoWidget, &VideoWidget::zoomIn, w, &MainWindow::onVideoZoomIn);
    QObject::connect(videoWidget, &VideoWidget::zoomOut, w, &MainWindow::onVideoZoomOut);
    QObject::connect(videoWidget, &VideoWidget::zoom, w, &MainWindow::onVideoZoom);

    QObject::connect(masterSlider, &QSlider::valueChanged, w, &MainWindow::onPlaybackFrameChanged);
    QObject::connect(masterSlider, &QSlider::sliderMoved, w, &MainWindow::onMasterTimelineValueChanged);
    QObject::connect(masterSlider, &QSlider::sliderPressed, w, &MainWindow::onSliderPressed);
    QObject::connect(masterSlider, &QSlider::sliderReleased, w, &MainWindow::onSliderReleased);
    // Keys move the slider without its handle: the player follows at
    // once. A drag seeks through sliderMoved; a plain move is the window
    // showing the play position (the wheel is not taken, see eventFilter).
    QObject::connect(masterSlider, &QSlider::actionTriggered, w, [this](int action) {
        if (action == QAbstractSlider::SliderNoAction || action == QAbstractSlider::SliderMove
            || masterSlider->isSliderDown())
            return;
        const int frame = masterSlider->sliderPosition();
        self->updateTempoPitch();
        actions->seekToFrame(static_cast<quint32>(qMax(0, frame)));
    });
}

void MainWindow::MainWindowImpl::connectTimeline()
{
    MainWindow *w = self;
    QObject::connect(timeArea, &TimeAreaWidget::sliderPressed, w, &MainWindow::onSliderPressed);
    QObject::connect(timeArea, &TimeAreaWidget::sliderReleased, w, &MainWindow::onSliderReleased);
    QObject::connect(timeArea, &TimeAreaWidget::timeChanged, w, &MainWindow::onPlaybackTimeChanged);
    QObject::connect(timeArea, &TimeAreaWidget::frameChanged, w, &MainWindow::onTimelineValueChanged);
    QObject::connect(timeArea, &TimeAreaWidget::selectionChanged, w, &MainWindow::onSelectionChanged);
    QObject::connect(timeArea, &TimeAreaWidget::execute, w, &MainWindow::execute);
    // The ruler asks for its loop and bookmark changes; each becomes one
    // undoable command on the window's queued road to the controller.
    QObject::connect(timeArea, &TimeAreaWidget::addBookmarkRequested, w,
                     [this](VideoMarkerPtr bookmark) { execute(actions->addBookmarkCommand(bookmark)); });
    QObject::connect(timeArea, &TimeAreaWidget::addLoopRequested, w,
                     [this](VideoLoopPtr loop) { execute(actions->addLoopCommand(loop)); });
    QObject::connect(timeArea, &TimeAreaWidget::editBookmarkRequested, w,
                     [this](VideoMarkerPtr before, VideoMarkerPtr bookmark, VideoMarkerPtr after) {
                         execute(actions->editBookmarkCommand(before, bookmark, after));
                     });
    QObject::connect(timeArea, &TimeAreaWidget::editLoopRequested, w,
                     [this](VideoLoopPtr before, VideoLoopPtr loop, VideoLoopPtr after) {
                         execute(actions->editLoopCommand(before, loop, after));
                     });
    QObject::connect(timeArea, &TimeAreaWidget::removeBookmarkRequested, w,
                     [this](VideoMarkerPtr bookmark) { execute(actions->removeBookmarkCommand(bookmark)); });
    QObject::connect(timeArea, &TimeAreaWidget::removeLoopRequested, w,
                     [this](VideoLoopPtr loop) { execute(actions->removeLoopCommand(loop)); });
    QObject::connect(timelineWidget, &TimelineWidget::videoPlayableChanged, w, &MainWindow::onVideoPlayableChanged);
    QObject::connect(timelineWidget, &TimelineWidget::audioPlayableChanged, w, &MainWindow::onAudioPlayableChanged);
    QObject::connect(timelineWidget, &TimelineWidget::videoLockChanged, w, &MainWindow::onVideoLockChanged);
    QObject::connect(timelineWidget, &TimelineWidget::audioLockChanged, w, &MainWindow::onAudioLockChanged);
    TimelineViewportWidget *viewport = timelineWidget->getViewport();
    QObject::connect(viewport->getAudioTrack(), &MediaTrackWidget::thumbnailClicked, w,
                     &MainWindow::onThumbnailClicked);
    QObject::connect(viewport->getVideoTrack(), &MediaTrackWidget::thumbnailClicked, w,
                     &MainWindow::onThumbnailClicked);
}

} // namespace TW
