#include "playback/AudioFeed.h"
#include "playback/AudioFeedImpl.h"

#include "playback/SoundThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>

namespace TW {

void AudioFeed::Impl::adoptLoop(const LoopSetting &loop, const DevicePlace &device, qint64 place)
{
    eLoop = loop;
    jumpsMade = device.loopSerial == loop.serial ? std::max(0, int(device.pass)) : 0;
    beforeLoopEnd = place < loop.end;
}

void AudioFeed::Impl::restart(quint64 seq, qint64 place)
{
    epoch = seq;
    epochMaking = seq;
    epochStarted = false;
    epochMade = 0;
    epochStartFrame = frameWrite.load(std::memory_order_relaxed);
    eTempo = tempo;
    ePitch = pitch;
    eVolume = volume;
    eMuted = muted;
    exhausted = false;
    atEnd = false;
    at = double(place);
    index = entryFor(place);
    if (index >= 0) {
        const Entry &e = entries.at(index);
        e.stage->restartAt(place - e.timelineStart + e.sourceStart);
    }
}

bool AudioFeed::Impl::takeRequest()
{
    quint64 seq = 0;
    bool hard = false;
    qint64 place = 0;
    LoopSetting loop;
    {
        std::lock_guard<std::mutex> locker(requestMutex);
        if (requestSeq == handled.load())
            return false;
        seq = requestSeq;
        hard = hardSeq > handled.load();
        place = hardPlace;
        loop = loopAsked;
    }
    const DevicePlace device = devicePlace();
    if (!hard) {
        if (lastHardSeq == 0) {
            adoptLoop(loop, device, place);
            handled.store(seq);
            markReady(seq);
            return true;
        }
        // The same sound made afresh from where the device is; if it has
        // not reached the last seek's sound yet, from that seek's place.
        if (device.seq < lastHardSeq) {
            place = lastHardPlace;
        } else {
            // A little before it: a stretcher's first output, just after
            // its start, wavers in level; by the time the device joins
            // it has settled.
            const double preroll = kPrerollMs * 1000.0 * double(tempo.load()) / 100.0;
            place = std::max<qint64>(0, qint64(std::floor(device.next - preroll)));
        }
    } else {
        lastHardSeq = seq;
        lastHardPlace = place;
    }
    adoptLoop(loop, device, place);
    restart(seq, place);
    // Only now: until the restart, what is made is for an older request.
    handled.store(seq);
    return true;
}

void AudioFeed::Impl::jumpBack()
{
    ++jumpsMade;
    at = double(eLoop.start);
    index = entryFor(eLoop.start);
    if (index >= 0) {
        const Entry &e = entries.at(index);
        e.stage->restartAt(eLoop.start - e.timelineStart + e.sourceStart);
    }
}

size_t AudioFeed::Impl::make(double *mediaTime, double *perFrame)
{
    while (index >= 0 && index < entries.size()) {
        const Entry &e = entries.at(index);
        const double end = double(e.timelineStart + (e.sourceEnd - e.sourceStart));
        double stop = end;
        const qint64 l = limit;
        if (l >= 0)
            stop = std::min(stop, double(l));
        const bool jumping = beforeLoopEnd && jumpsMade < eLoop.jumps;
        if (jumping)
            stop = std::min(stop, double(eLoop.end));
        if (at >= stop) {
            if (jumping && at >= double(eLoop.end)) {
                jumpBack();
                continue;
            }
            if (stop < end)
                return 0; // held at the limit until it moves or a seek
            // On into the next fragment, from its start.
            ++index;
            if (index < entries.size()) {
                const Entry &n = entries.at(index);
                at = double(n.timelineStart);
                n.stage->restartAt(n.sourceStart);
            }
            continue;
        }
        const double pf = double(eTempo) / 100.0 * 1e6 / double(rate);
        const size_t left = size_t(std::ceil((stop - at) / pf));
        const size_t want = std::min(kChunkFrames, std::max<size_t>(left, 1));
        const float gain = eMuted || !e.audible ? 0.0f : e.volume / 100.0f * eVolume / 100.0f;
        const size_t got = std::min(want, e.stage->pullAudio(scratch.data(), want, eTempo, ePitch, gain));
        if (got == 0) {
            // The source ended before the fragment did: on with the next.
            at = end;
            continue;
        }
        *mediaTime = at;
        *perFrame = pf;
        at += double(got) * pf;
        return got;
    }
    return 0;
}

size_t AudioFeed::Impl::madeAhead() const
{
    const qint64 w = frameWrite.load(std::memory_order_relaxed);
    const qint64 r = std::max(frameRead.load(), epochStartFrame);
    return size_t(std::max<qint64>(0, w - r));
}

bool AudioFeed::Impl::hasRoom() const
{
    const qint64 used = frameWrite.load(std::memory_order_relaxed) - frameRead.load();
    const quint64 chunksUsed = chunkWrite.load(std::memory_order_relaxed) - chunkRead.load();
    return used + qint64(kChunkFrames) <= qint64(capacity) && chunksUsed + 1 < kChunkSlots;
}

bool AudioFeed::Impl::wantsToMake() const
{
    const DevicePlace device = devicePlace();
    const bool crossing = device.seq >= lastHardSeq && device.seq < epoch && notPastDevice(device);
    return epoch != 0 && !exhausted && (madeAhead() < ahead || crossing) && hasRoom();
}

bool AudioFeed::Impl::notPastDevice(const DevicePlace &device) const
{
    if (device.loopSerial == eLoop.serial && device.pass != jumpsMade)
        return jumpsMade < device.pass;
    return at <= device.next + 2 * kChunkFrames * 1e6 / rate;
}

void AudioFeed::Impl::publish(size_t n, double mediaTime, double perFrame)
{
    const qint64 w = frameWrite.load(std::memory_order_relaxed);
    const size_t ch = size_t(channels);
    const size_t at0 = size_t(w % qint64(capacity));
    const size_t first = std::min(n, capacity - at0);
    std::memcpy(ring.data() + at0 * ch, scratch.data(), first * ch * sizeof(qint16));
    if (first < n)
        std::memcpy(ring.data(), scratch.data() + first * ch, (n - first) * ch * sizeof(qint16));
    const quint64 c = chunkWrite.load(std::memory_order_relaxed);
    chunks[size_t(c % kChunkSlots)] = Chunk{w, qint64(n), mediaTime, perFrame, epoch, eLoop.serial, jumpsMade};
    frameWrite.store(w + qint64(n), std::memory_order_release);
    chunkWrite.store(c + 1, std::memory_order_release);
    if (!epochStarted) {
        epochStarted = true;
        newestStartFrame.store(w, std::memory_order_release);
        newestSeq.store(epoch);
        newestStart.store(c + 1, std::memory_order_release);
    }
    epochMade += n;
}

bool AudioFeed::Impl::step()
{
    std::lock_guard<std::mutex> locker(renderMutex);
    const qint64 limitNow = limit.load();
    bool did = takeRequest();
    if (wantsToMake()) {
        double mediaTime = 0, perFrame = 0;
        const size_t n = make(&mediaTime, &perFrame);
        if (n > 0) {
            publish(n, mediaTime, perFrame);
            atEnd = false;
            did = true;
        } else {
            exhausted = true;
            const qint64 l = limit;
            madeUpTo = qint64(std::floor(l >= 0 ? std::min(at, double(l)) : at));
            atEnd = true;
        }
    }
    if (epoch != 0 && (epochMade >= startFill || exhausted || !hasRoom()))
        markReady(epoch);
    limitSeen = limitNow;
    return did;
}

void AudioFeed::Impl::run()
{
    SoundThreadPriority::raiseCallingThread(SoundThreadPriority::kReaderPriority, "sound reader");
    while (!quit) {
        if (step())
            continue;
        sleeping = true;
        bool more = false;
        {
            std::lock_guard<std::mutex> locker(renderMutex);
            more = requested.load() != handled.load() || wantsToMake();
        }
        if (more) {
            sleeping = false;
            continue;
        }
        timespec until{};
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_sec += 1;
        while (sem_timedwait(&wake, &until) != 0 && errno == EINTR) {
        }
        sleeping = false;
        std::lock_guard<std::mutex> locker(renderMutex);
        exhausted = false; // the limit or the device may have moved
    }
}


AudioFeed::AudioFeed(int sampleRate, int channels)
    : d(std::make_unique<Impl>(sampleRate, channels))
{
    // Before any seek the sound starts at the beginning.
    d->request(true, 0);
    d->reader = std::thread([this] { d->run(); });
}

AudioFeed::~AudioFeed()
{
    d->quit = true;
    d->post();
    d->reader.join();
}

void AudioFeed::setEntries(const QVector<Entry> &list)
{
    {
        std::lock_guard<std::mutex> locker(d->renderMutex);
        d->entries = list;
        d->index = -1;
    }
    d->request(false, 0);
}

void AudioFeed::seek(qint64 timelineTime)
{
    const quint64 seq = d->request(true, std::max<qint64>(0, timelineTime));
    std::unique_lock<std::mutex> locker(d->readyMutex);
    d->readyChanged.wait_for(locker, std::chrono::milliseconds(Impl::kSeekWaitMs), [this, seq] { return d->readySeq >= seq; });
}

qint64 AudioFeed::position() const
{
    if (d->consumerSeq.load() < d->hardRequested.load())
        return d->hardTarget.load();
    const qint64 next = qint64(std::floor(d->consumerNext.load()));
    // All that there is has been heard: the device's next frame would be
    // where the making stopped (a source whose sound ends before its
    // fragment does leaves no frames up to there).
    if (d->atEnd.load() && bufferedFrames() == 0)
        return std::max(next, d->madeUpTo.load());
    return next;
}

void AudioFeed::setTempo(float percent)
{
    if (percent > 0.0f && d->tempo.exchange(percent) != percent)
        d->request(false, 0);
}

void AudioFeed::setPitch(float semitones)
{
    if (d->pitch.exchange(semitones) != semitones)
        d->request(false, 0);
}

void AudioFeed::setVolume(float percent)
{
    percent = std::max(0.0f, percent);
    if (d->volume.exchange(percent) != percent)
        d->request(false, 0);
}

void AudioFeed::setMuted(bool m)
{
    if (d->muted.exchange(m) != m)
        d->request(false, 0);
}

void AudioFeed::setLimit(qint64 timelineTime)
{
    if (d->limit.exchange(timelineTime) != timelineTime)
        d->post();
}

void AudioFeed::setLoopJumps(qint64 start, qint64 end, int jumps)
{
    if (jumps <= 0 || end <= start || start < 0) {
        start = end = -1;
        jumps = 0;
    }
    {
        std::lock_guard<std::mutex> locker(d->requestMutex);
        Impl::LoopSetting &asked = d->loopAsked;
        if (asked.start == start && asked.end == end && asked.jumps == jumps)
            return;
        asked = Impl::LoopSetting{start, end, jumps, asked.serial + 1};
        d->loopSerialNow.store(asked.serial);
    }
    // Made again from where the device is: what was made ahead of it past
    // the loop's end goes.
    d->request(false, 0);
}

int AudioFeed::loopJumpsPulled() const
{
    const quint64 pass = d->consumerPass.load();
    return quint32(pass >> 32) == d->loopSerialNow.load() ? std::max(0, qint32(quint32(pass))) : 0;
}

size_t AudioFeed::pull(qint16 *out, size_t frames, AudioOutput::Block *block)
{
    return d->pull(out, frames, block);
}

size_t AudioFeed::bufferedFrames() const
{
    const qint64 w = d->frameWrite.load(std::memory_order_acquire);
    const qint64 r = std::max(d->frameRead.load(std::memory_order_acquire), d->newestStartFrame.load());
    return size_t(std::max<qint64>(0, w - r));
}

size_t AudioFeed::aheadFrames() const
{
    return d->ahead;
}

bool AudioFeed::isFilled() const
{
    if (d->handled.load() != d->requested.load() || d->limitSeen.load() != d->limit.load())
        return false;
    if (d->atEnd.load())
        return true;
    if (!d->hasRoom())
        return true; // full of sound the device has yet to pass over
    return d->newestSeq.load() == d->epochMaking.load() && bufferedFrames() + Impl::kChunkFrames > d->ahead;
}

} // namespace TW
