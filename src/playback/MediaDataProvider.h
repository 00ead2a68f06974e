#pragma once

#include "core/Time.h"
#include "playback/DecodingSpeedMode.h"

#include <QObject>

#include <memory>

namespace TW {

class VlcMedia;
class VlcMediaPlayer;

// Decodes one source media through a libvlc player of its own. The base
// keeps the transport state and positions; VideoDataProvider turns what
// libvlc decodes into the sample queues.
class MediaDataProvider : public QObject
{
    Q_OBJECT

public:
    // Provider states.
    enum State {
        StateCreated = 0,
        StatePlaying = 1,
        StatePaused = 2,
        StateSuspended = 3, // parked after a preload or a stop
        StateStopped = 4,
        StateEnded = 5,
    };

    explicit MediaDataProvider(DecodingSpeedMode mode, QObject *parent = nullptr);
    ~MediaDataProvider() override;

    // Not owned; the fragment player supplies a clone.
    virtual void setMedia(VlcMedia *media);
    virtual void start(bool fromStart);
    virtual void stop();
    virtual void seek(long long position);
    virtual void seek(float position);
    virtual void pause();
    virtual void resume();
    virtual void suspend();
    virtual void preloadMedia() = 0;
    virtual Time getDuration() const;
    virtual Time getCurrentMediaTime() const;
    virtual void exportDataToFile(const QString &fileName);
    virtual void setStartPosition(Time t) = 0;
    virtual void setEndPosition(Time t) = 0;
    // A fragment time; the target is kept in source time.
    virtual void setTargetPosition(Time t) = 0;
    virtual void update() = 0;
    virtual void acceptMedia() = 0;

    // While set, every picture is blanked before it is queued.
    void setOutputNullified(bool nullified);
    bool isOutputNullified() const;

    int getState() const;
    DecodingSpeedMode getDecodingSpeedMode() const;
    VlcMedia *getMedia() const;
    VlcMediaPlayer *getPlayer() const;
    Time getStartPosition() const;
    Time getEndPosition() const;
    // The last source time libvlc reported or a seek set.
    Time getCurrentPosition() const;
    // Source time; -1 when none.
    Time getTargetPosition() const;
    bool isSuspended() const;

protected:
    struct Impl;
    std::unique_ptr<Impl> base;
};

} // namespace TW
