#include "app/TransportController.h"

#include "app/ControllerContext.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/Project.h"
#include "model/VideoLoop.h"
#include "playback/MediaPlayer.h"
#include "ui/MainWindow.h"

namespace TW {

TransportController::TransportController(ControllerContext &context) : c(context) {}

// The zoom slider's position for the stored factor, in percent of the range.
void TransportController::showZoom()
{
    const OptionsHolder *o = Singleton<OptionsHolder>::instance();
    const double range = double(o->getMaxZoom()) - double(o->getMinZoom());
    if (c.mainWindow && range > 0.0)
        c.mainWindow->setZoom(float((double(zoom) - double(o->getMinZoom())) * 100.0 / range));
}

void TransportController::stepZoom(bool in)
{
    const OptionsHolder *o = Singleton<OptionsHolder>::instance();
    const float current = c.player->getVideoFrameZoom();
    zoom = in ? qMin(current + o->getZoomStep(), o->getMaxZoom()) : qMax(current - o->getZoomStep(), o->getMinZoom());
    c.player->setVideoFrameZoom(zoom);
    showZoom();
    qDebug() << (in ? "Zoom in. Zoom is set to" : "Zoom out. Zoom is set to") << zoom;
}

void TransportController::onTempoChanged(float tempo)
{
    qDebug() << "MainController::onTempoChanged" << tempo;
    qDebug() << "Tempo changed(controller)" << tempo;
    if (c.projectEmpty())
        return;
    // Stored in the loop under the position, else as the project's tempo;
    // the player follows the project.
    if (c.project->setTempoAt(shownFrame(), tempo))
        c.markChanged();
}

void TransportController::onPitchChanged(float pitch)
{
    qDebug() << "MainController::onPitchChanged" << pitch;
    qDebug() << "Pitch changed(controller)" << pitch;
    if (c.projectEmpty())
        return;
    if (c.project->setPitchAt(shownFrame(), pitch))
        c.markChanged();
}

void TransportController::onLoopDeleted(QSharedPointer<VideoLoop> loop)
{
    logSlot("onLoopDeleted");
    // A loop that is gone must not be repeated any more.
    if (c.player && loop)
        c.player->resetLoopWithId(loop->getID());
}

void TransportController::onVoumeChanged(int volume)
{
    qDebug() << "MainController::onVoumeChanged" << volume;
    qDebug() << "Volume is changed to" << volume;
    if (c.projectEmpty())
        return;
    // Saved with the project and set again when it opens.
    if (c.project->setVolume(static_cast<float>(volume)))
        c.markChanged();
}

void TransportController::onStopVideo()
{
    logSlot("onStopVideo");
    if (c.projectEmpty())
        return;
    c.player->stop();
    if (c.mainWindow)
        c.mainWindow->setCurrentFrame(0);
}

void TransportController::onPlayVideo()
{
    logSlot("onPlayVideo");
    if (c.projectEmpty())
        return;
    if (c.player)
        c.player->play();
}

void TransportController::onPauseVideo()
{
    logSlot("onPauseVideo");
    if (c.projectEmpty())
        return;
    c.player->pause();
}

void TransportController::onPlaybackTimeChanged(QTime time)
{
    qDebug() << "MainController::onPlaybackTimeChanged" << time;
}

void TransportController::onPlaybackFrameChanged(quint32 frame)
{
    qDebug() << "MainController::onPlaybackFrameChanged" << frame;
    c.player->seek(frame, true, true);
}

void TransportController::onLoopAdded(QSharedPointer<VideoLoop>)
{
    logSlot("onLoopAdded");
    if (c.player)
        c.player->acceptLoop();
}

void TransportController::onTimeSliderReleased()
{
    logSlot("onTimeSliderReleased");
    if (!c.projectEmpty())
        c.player->disableSeekMode(true);
}

void TransportController::onTimeSliderPressed()
{
    logSlot("onTimeSliderPressed");
    if (!c.projectEmpty())
        c.player->enableSeekMode();
}

void TransportController::onVideoZoomIn()
{
    logSlot("onVideoZoomIn");
    stepZoom(true);
}

void TransportController::onVideoZoomOut()
{
    logSlot("onVideoZoomOut");
    stepZoom(false);
}

void TransportController::onVideoZoom(QRectF area)
{
    qDebug() << "MainController::onVideoZoom(QRectF)" << area;
    if (area.width() == 1.0 && area.height() == 1.0)
        c.player->setVideoFrameLeftCorner(area.topLeft());
    else
        c.player->zoomSelectedArea(area);
    zoom = c.player->getVideoFrameZoom();
    showZoom();
    qDebug() << "Zoom into" << area << "value" << zoom;
}

void TransportController::onVideoZoom(float value)
{
    qDebug() << "MainController::onVideoZoom(float)" << value;
    const OptionsHolder *o = Singleton<OptionsHolder>::instance();
    zoom = o->getMinZoom() + (o->getMaxZoom() - o->getMinZoom()) * (value / 100.0f);
    c.player->setVideoFrameZoom(zoom);
}

// The track flags act at once and belong to the project: they are saved with
// it, so changing one is a change to save. The player follows the project.
void TransportController::onVideoPlayableChanged(bool playable)
{
    qDebug() << "MainController::onVideoPlayableChanged" << playable;
    if (c.project->setVideoPlayable(playable))
        c.markChanged();
}

void TransportController::onAudioPlayableChanged(bool playable)
{
    qDebug() << "MainController::onAudioPlayableChanged" << playable;
    if (c.project->setAudioPlayable(playable))
        c.markChanged();
}

void TransportController::onVideoLockChanged(bool locked)
{
    qDebug() << "MainController::onVideoLockChanged" << locked;
    if (c.project->setVideoLocked(locked))
        c.markChanged();
}

void TransportController::onAudioLockChanged(bool locked)
{
    qDebug() << "MainController::onAudioLockChanged" << locked;
    if (c.project->setAudioLocked(locked))
        c.markChanged();
}

qint64 TransportController::shownFrame() const
{
    return c.mainWindow ? c.mainWindow->getCurFrame() : -1;
}

} // namespace TW
