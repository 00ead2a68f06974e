#include "playback/MediaDataProvider.h"

#include "core/VlcMediaPlayer.h"
#include "playback/MediaDataProviderImpl.h"

namespace TW {

MediaDataProvider::MediaDataProvider(DecodingSpeedMode mode, QObject *parent)
    : QObject(parent), base(std::make_unique<Impl>(mode))
{
    base->player = new VlcMediaPlayer();
}

MediaDataProvider::~MediaDataProvider()
{
    delete base->player;
}

void MediaDataProvider::setMedia(VlcMedia *media)
{
    base->media = media;
    base->player->setMedia(media);
    acceptMedia();
}

void MediaDataProvider::start(bool)
{
    base->player->play();
    base->setState(StatePlaying);
}

void MediaDataProvider::stop()
{
    base->player->stop();
    base->setState(StateStopped);
}

void MediaDataProvider::seek(long long)
{
}

void MediaDataProvider::seek(float)
{
}

void MediaDataProvider::pause()
{
    base->suspended = false;
    base->player->pause();
    base->setState(StatePaused);
}

void MediaDataProvider::resume()
{
    base->player->resume();
    base->setState(StatePlaying);
}

void MediaDataProvider::suspend()
{
    base->suspended = true;
    base->player->pause();
    base->setState(StateSuspended);
}

Time MediaDataProvider::getDuration() const
{
    return Time(base->endPosition - base->startPosition);
}

Time MediaDataProvider::getCurrentMediaTime() const
{
    return base->player->getTime();
}

void MediaDataProvider::exportDataToFile(const QString &)
{
}

void MediaDataProvider::setOutputNullified(bool nullified)
{
    base->outputNullified = nullified;
}

bool MediaDataProvider::isOutputNullified() const
{
    return base->outputNullified;
}

int MediaDataProvider::getState() const
{
    return int(base->state.load());
}

DecodingSpeedMode MediaDataProvider::getDecodingSpeedMode() const
{
    return base->mode;
}

VlcMedia *MediaDataProvider::getMedia() const
{
    return base->media;
}

VlcMediaPlayer *MediaDataProvider::getPlayer() const
{
    return base->player;
}

Time MediaDataProvider::getStartPosition() const
{
    return Time(base->startPosition);
}

Time MediaDataProvider::getEndPosition() const
{
    return Time(base->endPosition);
}

Time MediaDataProvider::getCurrentPosition() const
{
    return Time(base->currentPosition);
}

Time MediaDataProvider::getTargetPosition() const
{
    return Time(base->targetPosition);
}

bool MediaDataProvider::isSuspended() const
{
    return base->suspended;
}

} // namespace TW
