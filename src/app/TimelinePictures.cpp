#include "app/TimelinePictures.h"

#include "app/ControllerContext.h"
#include "app/MainController.h"
#include "core/OptionsHolder.h"
#include "core/ProgressMonitor.h"
#include "core/Singleton.h"
#include "io/ResourceManager.h"
#include "io/SnaphotExtractor.h"
#include "model/Media.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"
#include "ui/AudioThumbnailWidget.h"
#include "ui/MainWindow.h"
#include "ui/VideoThumbnailWidget.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QPainter>
#include <QPointer>
#include <QtConcurrent>

#include <climits>

namespace TW {

namespace {

int framesOf(const Time &time)
{
    return int(qBound(qint64(0), time.toFrameUnits(false), qint64(INT_MAX)));
}

} // namespace

TimelinePictures::TimelinePictures(ControllerContext &context) : c(context)
{
    // Frames and waveforms are made beside playback, not in its pool.
    picturePool.setMaxThreadCount(2);
}

TimelinePictures::~TimelinePictures()
{
    picturePool.clear();
    picturePool.waitForDone();
}

void TimelinePictures::showFragmentThumbnails()
{
    if (!c.mainWindow)
        return;
    auto stale = thumbnails;
    const auto fragments = c.media() ? c.media()->getTrackFragments() : decltype(c.media()->getTrackFragments())();
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

QString TimelinePictures::thumbName(const QSharedPointer<MediaTrackFragment> &fragment)
{
    if (!fragment->playVideo || !fragment->track)
        return QString();
    const QString name = QFileInfo(fragment->track->getOrigName()).fileName();
    // Inserted silence shows no name.
    return name.contains(QLatin1String("silence_1_hour.avi")) ? QString() : name;
}

void TimelinePictures::addVideoThumb(const QSharedPointer<MediaTrackFragment> &fragment)
{
    const int position = framesOf(fragment->timelinePosition);
    const int length = framesOf(fragment->endPosition - fragment->startPosition);
    VideoThumbnailWidget *thumb = c.mainWindow->addThumbnail(position, length, thumbName(fragment), QImage());
    thumbnails.insert(fragment, thumb);
    requestFrame(fragment, thumb);
    qDebug() << "Add video thumbnail. Position:" << position << "duration:" << length;
}

void TimelinePictures::addAudioThumb(const QSharedPointer<MediaTrackFragment> &fragment)
{
    const int position = framesOf(fragment->timelinePosition);
    const int length = framesOf(fragment->endPosition - fragment->startPosition);
    AudioThumbnailWidget *thumb = c.mainWindow->addThumbnail(position, length, QImage());
    thumbnails.insert(fragment, thumb);
    showWave(fragment, thumb);
    qDebug() << "Add audio thumbnail. Position:" << position << "duration:" << length;
}

void TimelinePictures::updateThumb(const QSharedPointer<MediaTrackFragment> &fragment)
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

void TimelinePictures::deleteThumb(const QSharedPointer<MediaTrackFragment> &fragment)
{
    for (AbstractThumbnail *thumb : thumbnails.values(fragment)) {
        frameShown.remove(thumb);
        c.mainWindow->removeThumbnail(thumb);
    }
    thumbnails.remove(fragment);
}

// The frame at the fragment's start, made once per start.
void TimelinePictures::requestFrame(const QSharedPointer<MediaTrackFragment> &fragment, VideoThumbnailWidget *thumb)
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
    auto *watcher = new QFutureWatcher<QImage>(this);
    QObject::connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, watcher, target, key] {
        // Only the picture the widget still waits for is shown.
        if (target && frameShown.value(target.data()) == key)
            target->setImage(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(&picturePool, [file, at] { return SnaphotExtractor::snapshotAt(file, at); }));
}

// The fragment's slice of its track's waveform, once the track's
// waveform is there (it is made once per track).
void TimelinePictures::showWave(const QSharedPointer<MediaTrackFragment> &fragment, AudioThumbnailWidget *thumb)
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
    auto *watcher = new QFutureWatcher<QImage>(this);
    QObject::connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, watcher, file] {
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
QImage TimelinePictures::getAudioWaveFragment(const QSharedPointer<MediaTrackFragment> &fragment, const QImage &wave)
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

void TimelinePictures::updateTimeline()
{
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    qDebug() << "MainController::updateTimeline OptionsHolder" << *o;
    if (!c.mainWindow)
        return;
    c.mainWindow->setDuration(c.media()->getTotalDurationMs(), o->m_fps);
    showFragmentThumbnails();
    c.mainWindow->updateThumbnails();
}
} // namespace TW
