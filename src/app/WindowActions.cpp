#include "app/WindowActions.h"

#include "app/AddBookmarkCommand.h"
#include "app/AddLoopCommand.h"
#include "app/Application.h"
#include "app/EditBookmarkCommand.h"
#include "app/EditLoopCommand.h"
#include "app/MainController.h"
#include "app/RemoveAllLoopsCommand.h"
#include "app/RemoveBookmarkCommand.h"
#include "app/RemoveLoopCommand.h"
#include "app/SnifferController.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "playback/MediaPlayer.h"

namespace TW {

WindowActions::WindowActions(MainController *controller) : QObject(controller), m_controller(controller) {}

WindowActions::~WindowActions() = default;

MainController *WindowActions::applicationController() const
{
    return Application::instance() ? Application::instance()->getMainController() : m_controller;
}

QSharedPointer<Media> WindowActions::media() const { return m_controller->getMedia(); }
QSharedPointer<MediaTimeLine> WindowActions::timeline() const
{
    const QSharedPointer<Media> open = m_controller->getMedia();
    return open ? open->getTimeline() : nullptr;
}
const Project *WindowActions::project() const { return m_controller->getProject(); }

bool WindowActions::isPlaying() const
{
    const QSharedPointer<MediaPlayer> player = m_controller->getMediaPlayer();
    return player && player->isPlaying();
}

void WindowActions::openFile(const QString &path) { m_controller->openFile(path); }
void WindowActions::saveProject() { m_controller->saveCurrentProject(); }
void WindowActions::saveProjectAs() { m_controller->saveCurrentProjectAs(); }

void WindowActions::ripFiles(const QStringList &sources, const QStringList &destinations)
{
    m_controller->ripFiles(sources, destinations);
}

void WindowActions::exportAll(const ExportOptions &options) { m_controller->exportAll(options); }
void WindowActions::exportCurrentLoop(const ExportOptions &options) { m_controller->exportCurrentLoop(options); }
void WindowActions::exportAllLoops(const ExportOptions &options) { m_controller->exportAllLoops(options); }
void WindowActions::print() { m_controller->onPrint(); }
void WindowActions::clearCachedData(const QString &path) { m_controller->clearCachedData(path); }
bool WindowActions::confirmClose() { return m_controller->confirmClose(); }
void WindowActions::openVideoDownloader() { m_controller->getSnifferController()->exec(); }

void WindowActions::setTempo(float tempo) { m_controller->onTempoChanged(tempo); }
void WindowActions::setPitch(float pitch) { m_controller->onPitchChanged(pitch); }
void WindowActions::setVolume(int volume) { m_controller->onVoumeChanged(volume); }

void WindowActions::deleteSelection() { m_controller->onDelete(); }
void WindowActions::cutSelection() { m_controller->onCut(); }
void WindowActions::copySelection() { m_controller->onCopy(); }
void WindowActions::paste() { m_controller->onPaste(); }
void WindowActions::changeSelectionVolume() { m_controller->onVolume(); }
void WindowActions::insertSilence() { m_controller->onInsertSilence(); }
void WindowActions::silenceSelection() { m_controller->onSilenceSection(); }
void WindowActions::undo() { m_controller->onUndo(); }
void WindowActions::redo() { m_controller->onRedo(); }

void WindowActions::play() { m_controller->onPlayVideo(); }
void WindowActions::pause() { m_controller->onPauseVideo(); }
void WindowActions::stop() { m_controller->onStopVideo(); }
void WindowActions::seekToFrame(quint32 frame) { m_controller->onPlaybackFrameChanged(frame); }
void WindowActions::seekToTime(QTime time) { m_controller->onPlaybackTimeChanged(time); }
void WindowActions::positionSliderPressed() { m_controller->onTimeSliderPressed(); }
void WindowActions::positionSliderReleased() { m_controller->onTimeSliderReleased(); }
void WindowActions::selectionChanged(PairInt selection) { m_controller->onSelectionChanged(selection); }

void WindowActions::zoomIn() { m_controller->onVideoZoomIn(); }
void WindowActions::zoomOut() { m_controller->onVideoZoomOut(); }
void WindowActions::zoomToArea(QRectF area) { m_controller->onVideoZoom(area); }
void WindowActions::setZoom(float value) { m_controller->onVideoZoom(value); }
void WindowActions::useCustomSize() { m_controller->onSizeCustomClicked(); }
void WindowActions::useMostRecentSize() { m_controller->onSizeMostRecentClicked(); }
void WindowActions::useOriginalSize() { m_controller->onSizeOriginalClicked(); }
void WindowActions::useSize(QSize size) { m_controller->onSizeClicked(size); }

void WindowActions::setVideoPlayable(bool playable) { m_controller->onVideoPlayableChanged(playable); }
void WindowActions::setAudioPlayable(bool playable) { m_controller->onAudioPlayableChanged(playable); }
void WindowActions::setVideoLocked(bool locked) { m_controller->onVideoLockChanged(locked); }
void WindowActions::setAudioLocked(bool locked) { m_controller->onAudioLockChanged(locked); }

QUndoCommand *WindowActions::addBookmarkCommand(const QSharedPointer<VideoMarker> &bookmark)
{
    return new AddBookmarkCommand(*m_controller->getProject(), bookmark);
}

QUndoCommand *WindowActions::editBookmarkCommand(const QSharedPointer<VideoMarker> &before,
                                                 const QSharedPointer<VideoMarker> &bookmark,
                                                 const QSharedPointer<VideoMarker> &after)
{
    return new EditBookmarkCommand(*m_controller->getProject(), before, bookmark, after);
}

QUndoCommand *WindowActions::removeBookmarkCommand(const QSharedPointer<VideoMarker> &bookmark)
{
    return new RemoveBookmarkCommand(*m_controller->getProject(), bookmark);
}

QUndoCommand *WindowActions::addLoopCommand(const QSharedPointer<VideoLoop> &loop)
{
    return new AddLoopCommand(*m_controller->getProject(), loop);
}

QUndoCommand *WindowActions::editLoopCommand(const QSharedPointer<VideoLoop> &before,
                                             const QSharedPointer<VideoLoop> &loop,
                                             const QSharedPointer<VideoLoop> &after)
{
    return new EditLoopCommand(*m_controller->getProject(), before, loop, after);
}

QUndoCommand *WindowActions::removeLoopCommand(const QSharedPointer<VideoLoop> &loop)
{
    return new RemoveLoopCommand(*m_controller->getProject(), loop);
}

QUndoCommand *WindowActions::removeAllLoopsCommand() { return new RemoveAllLoopsCommand(*m_controller->getProject()); }

void WindowActions::showUserGuide() { applicationController()->onHelpUserGuideClicked(); }
void WindowActions::showQuickStartGuide() { applicationController()->onHelpQuickStartGuideClicked(); }
void WindowActions::showTrainingVideos() { applicationController()->onHelpTrainingVideosClicked(); }
void WindowActions::showHelpDesk() { applicationController()->onHelpHelpDeskClicked(); }
void WindowActions::showAbout() { applicationController()->onHelpAboutClicked(); }
void WindowActions::openNewInstance() { applicationController()->openNewInstance(); }
void WindowActions::toggleLogger() { applicationController()->toggleLogger(); }

} // namespace TW
