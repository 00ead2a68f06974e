#include "playback/AudioFeed.h"

#include "playback/SoundThreadPriority.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include <semaphore.h>

namespace TW {

namespace {
// Frames the reader makes at a time.
constexpr size_t kChunkFrames = 512;
// Chunks the ring can describe at once.
constexpr size_t kChunkSlots = 2048;
// Sound kept made ahead of the device (ms): enough that a busy machine is
// not heard; a change of settings is not held up by it (see pull).
constexpr int kAheadMs = 300;
// Room in the ring (ms): what is ahead for the place played now, plus what
// is left of places given up while the device was stopped (each change
// while paused leaves up to the lead behind until the device pulls again).
constexpr int kRingMs = 5000;
// A seek waits until this much of the new place is made (ms), so that the
// device's first fill (its whole buffer, 80 ms) is the new place's sound
// with nothing padded, and at most this long (ms).
constexpr int kStartFillMs = 120;
constexpr int kSeekWaitMs = 300;
// The crossfade from the old sound to the new one after a change (ms).
// Two stretchers started at different places give the same tone in any
// phase: the new sound is joined where it best matches the old (searched
// up to kAlignMs either side of the time reached, by the correlation of
// their first kMatchMs), and the fade's gains make up for what is left of
// the mismatch, so the level holds across the change.
constexpr int kFadeMs = 20;
constexpr int kAlignMs = 5;
constexpr int kMatchMs = 10;
// The sound made afresh after a change starts this long (ms of sound
// heard) before the time the device has reached.
constexpr int kPrerollMs = 40;
} // namespace

struct AudioFeed::Impl
{
    // One stretch of sound in the ring: frames from ringStart (an absolute
    // frame count; the ring index is it modulo the capacity) that start at
    // mediaTime on the timeline, made for request seq.
    struct Chunk
    {
        qint64 ringStart = 0;
        qint64 frames = 0;
        double mediaTime = 0;
        double perFrame = 0;
        quint64 seq = 0;
    };

    const int rate;
    const int channels;
    const size_t capacity; // frames
    const size_t ahead;
    const size_t startFill;
    const size_t fadeFrames;
    const size_t alignFrames;
    const size_t matchFrames;

    std::vector<qint16> ring;
    std::vector<Chunk> chunks;
    // Written by the reader, read by the device.
    std::atomic<qint64> frameWrite{0};
    std::atomic<quint64> chunkWrite{0};
    // Index + 1 of the first chunk of the newest place made; 0 for none.
    std::atomic<quint64> newestStart{0};
    std::atomic<qint64> newestStartFrame{0};
    // Written by the device, read by the reader.
    std::atomic<qint64> frameRead{0};
    std::atomic<quint64> chunkRead{0};
    std::atomic<quint64> consumerSeq{0};
    std::atomic<double> consumerNext{0};
    // Written by the graphical thread: the latest seek (its request number
    // and place); the device plays nothing made for an older request.
    std::atomic<quint64> hardRequested{0};
    std::atomic<qint64> hardTarget{0};
    std::atomic<qint64> limit{-1};
    std::atomic<float> tempo{100.0f};
    std::atomic<float> pitch{0.0f};
    std::atomic<float> volume{100.0f};
    std::atomic<bool> muted{false};

    // The device's own (its callback is the only one to touch them).
    quint64 cSeq = 0;
    qint64 cOffset = 0; // frames of the current chunk given
    double cNext = 0;   // timeline time of the next frame
    std::vector<qint16> fade;
    size_t fadeLength = 0;
    size_t fadeDone = 0;
    float fadeMatch = 1.0f; // correlation of old and new at the join, 0..1
    // The join's search: the old sound's start and the new sound around
    // the time reached, one channel's sum each (made once, never resized).
    std::vector<float> matchOld;
    std::vector<float> matchNew;

    // Requests: graphical thread -> reader.
    std::mutex requestMutex;
    quint64 requestSeq = 0; // under requestMutex
    quint64 hardSeq = 0;
    qint64 hardPlace = 0;
    std::atomic<quint64> requested{0};
    std::atomic<quint64> handled{0};

    // Seeks wait for the reader to have made the new place's start.
    std::mutex readyMutex;
    std::condition_variable readyChanged;
    quint64 readySeq = 0; // under readyMutex

    // The reader's own, and the edit list, under renderMutex.
    std::mutex renderMutex;
    QVector<Entry> entries;
    int index = -1;
    double at = 0;
    quint64 epoch = 0;
    bool epochStarted = false; // its first chunk is in the ring
    size_t epochMade = 0;
    qint64 epochStartFrame = 0;
    float eTempo = 100.0f;
    float ePitch = 0.0f;
    float eVolume = 100.0f;
    bool eMuted = false;
    quint64 lastHardSeq = 0;
    qint64 lastHardPlace = 0;
    bool exhausted = false; // nothing to make until something changes
    std::atomic<bool> atEnd{false}; // the last try made nothing
    // Where the making stopped when it last made nothing: the end of the
    // timeline or the limit, past a source whose sound ended early.
    std::atomic<qint64> madeUpTo{0};
    // The limit the reader has made its sound with.
    std::atomic<qint64> limitSeen{-1};
    // The request the reader makes sound for, and the one whose sound the
    // newest chunks are.
    std::atomic<quint64> epochMaking{0};
    std::atomic<quint64> newestSeq{0};
    std::vector<qint16> scratch;

    sem_t wake;
    std::atomic<bool> sleeping{false};
    std::atomic<bool> quit{false};
    std::thread reader;

    Impl(int r, int c)
        : rate(r > 0 ? r : 44100),
          channels(c > 0 ? c : 2),
          capacity(size_t(rate) * kRingMs / 1000),
          ahead(size_t(rate) * kAheadMs / 1000),
          startFill(size_t(rate) * kStartFillMs / 1000),
          fadeFrames(size_t(rate) * kFadeMs / 1000),
          alignFrames(size_t(rate) * kAlignMs / 1000),
          matchFrames(size_t(rate) * kMatchMs / 1000),
          ring(capacity * size_t(channels)),
          chunks(kChunkSlots),
          fade(fadeFrames * size_t(channels)),
          matchOld(matchFrames),
          matchNew(matchFrames + 2 * alignFrames),
          scratch(kChunkFrames * size_t(channels))
    {
        sem_init(&wake, 0, 0);
    }

    ~Impl() { sem_destroy(&wake); }

    void post() { sem_post(&wake); }

    quint64 request(bool hard, qint64 place)
    {
        std::lock_guard<std::mutex> locker(requestMutex);
        const quint64 seq = ++requestSeq;
        if (hard) {
            hardSeq = seq;
            hardPlace = place;
            hardTarget.store(place);
            hardRequested.store(seq, std::memory_order_release);
        }
        requested.store(seq);
        post();
        return seq;
    }

    void markReady(quint64 seq)
    {
        std::lock_guard<std::mutex> locker(readyMutex);
        if (seq > readySeq) {
            readySeq = seq;
            readyChanged.notify_all();
        }
    }

    int entryFor(qint64 t) const
    {
        for (int i = 0; i < entries.size(); ++i) {
            const Entry &e = entries.at(i);
            if (t < e.timelineStart + (e.sourceEnd - e.sourceStart))
                return t >= e.timelineStart ? i : -1;
        }
        return -1;
    }

    // ---- reader thread --------------------------------------------------

    void restart(quint64 seq, qint64 place)
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

    // Acts on the newest request, if any; true when it did.
    bool takeRequest()
    {
        quint64 seq = 0;
        bool hard = false;
        qint64 place = 0;
        {
            std::lock_guard<std::mutex> locker(requestMutex);
            if (requestSeq == handled.load())
                return false;
            seq = requestSeq;
            hard = hardSeq > handled.load();
            place = hardPlace;
        }
        if (!hard) {
            if (lastHardSeq == 0) {
                handled.store(seq);
                markReady(seq);
                return true;
            }
            // The same sound made afresh from where the device is; if it has
            // not reached the last seek's sound yet, from that seek's place.
            if (consumerSeq.load() < lastHardSeq) {
                place = lastHardPlace;
            } else {
                // A little before it: a stretcher's first output, just after
                // its start, wavers in level; by the time the device joins
                // it has settled.
                const double preroll = kPrerollMs * 1000.0 * double(tempo.load()) / 100.0;
                place = std::max<qint64>(0, qint64(std::floor(consumerNext.load() - preroll)));
            }
        } else {
            lastHardSeq = seq;
            lastHardPlace = place;
        }
        restart(seq, place);
        // Only now: until the restart, what is made is for an older request.
        handled.store(seq);
        return true;
    }

    // Makes up to one chunk into scratch; 0 when there is nothing to make
    // (the end, the limit, no edit list).
    size_t make(double *mediaTime, double *perFrame)
    {
        while (index >= 0 && index < entries.size()) {
            const Entry &e = entries.at(index);
            const double end = double(e.timelineStart + (e.sourceEnd - e.sourceStart));
            double stop = end;
            const qint64 l = limit;
            if (l >= 0)
                stop = std::min(stop, double(l));
            if (at >= stop) {
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

    size_t madeAhead() const
    {
        const qint64 w = frameWrite.load(std::memory_order_relaxed);
        const qint64 r = std::max(frameRead.load(), epochStartFrame);
        return size_t(std::max<qint64>(0, w - r));
    }

    bool hasRoom() const
    {
        const qint64 used = frameWrite.load(std::memory_order_relaxed) - frameRead.load();
        const quint64 chunksUsed = chunkWrite.load(std::memory_order_relaxed) - chunkRead.load();
        return used + qint64(kChunkFrames) <= qint64(capacity) && chunksUsed + 1 < kChunkSlots;
    }

    // Until the device has crossed over to the newest sound (it lands at the
    // time it has reached, which a slow tempo takes longer to make), the
    // reader makes on past its usual lead.
    bool wantsToMake() const
    {
        const quint64 heard = consumerSeq.load();
        const bool crossing = heard >= lastHardSeq && heard < epoch && at <= consumerNext.load() + 2 * kChunkFrames * 1e6 / rate;
        return epoch != 0 && !exhausted && (madeAhead() < ahead || crossing) && hasRoom();
    }

    void publish(size_t n, double mediaTime, double perFrame)
    {
        const qint64 w = frameWrite.load(std::memory_order_relaxed);
        const size_t ch = size_t(channels);
        const size_t at0 = size_t(w % qint64(capacity));
        const size_t first = std::min(n, capacity - at0);
        std::memcpy(ring.data() + at0 * ch, scratch.data(), first * ch * sizeof(qint16));
        if (first < n)
            std::memcpy(ring.data(), scratch.data() + first * ch, (n - first) * ch * sizeof(qint16));
        const quint64 c = chunkWrite.load(std::memory_order_relaxed);
        chunks[size_t(c % kChunkSlots)] = Chunk{w, qint64(n), mediaTime, perFrame, epoch};
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

    // One step of the reader: a request, or a chunk. False when idle.
    bool step()
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

    void run()
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

    // ---- the device's side ----------------------------------------------

    const Chunk &chunkAt(quint64 i) const { return chunks[size_t(i % kChunkSlots)]; }

    void copyOut(qint16 *out, qint64 from, size_t n) const
    {
        const size_t ch = size_t(channels);
        const size_t at0 = size_t(from % qint64(capacity));
        const size_t first = std::min(n, capacity - at0);
        std::memcpy(out, ring.data() + at0 * ch, first * ch * sizeof(qint16));
        if (first < n)
            std::memcpy(out + first * ch, ring.data(), (n - first) * ch * sizeof(qint16));
    }

    void jumpTo(quint64 i, qint64 offset)
    {
        const Chunk &c = chunkAt(i);
        chunkRead.store(i, std::memory_order_release);
        cOffset = offset;
        cSeq = c.seq;
        cNext = c.mediaTime + double(offset) * c.perFrame;
        frameRead.store(c.ringStart + offset, std::memory_order_release);
    }

    // The sum of the channels of one ring frame.
    float monoAt(qint64 frame) const
    {
        const size_t ch = size_t(channels);
        const qint16 *p = ring.data() + size_t(frame % qint64(capacity)) * ch;
        float v = 0.0f;
        for (size_t j = 0; j < ch; ++j)
            v += float(p[j]);
        return v;
    }

    // Moves the join into the new sound (chunk, offset: at the time
    // reached) by up to alignFrames either way, to where the new sound best
    // matches the start of the old one (kept in `fade`), within the new
    // sound's frames made so far; notes how well they match. Bounded work
    // on arrays made beforehand: no lock, no allocation.
    void align(quint64 first, quint64 written, quint64 *chunk, qint64 *offset)
    {
        const quint64 seq = chunkAt(first).seq;
        quint64 last = first;
        while (last + 1 < written && chunkAt(last + 1).seq == seq)
            ++last;
        const qint64 begin = chunkAt(first).ringStart;
        const qint64 end = chunkAt(last).ringStart + chunkAt(last).frames;
        const qint64 nominal = chunkAt(*chunk).ringStart + *offset;
        const qint64 m = qint64(matchFrames);
        const qint64 lo = std::max(nominal - qint64(alignFrames), begin);
        const qint64 hi = std::min(nominal + qint64(alignFrames), end - m);
        if (hi < lo)
            return;
        const size_t ch = size_t(channels);
        for (size_t i = 0; i < matchFrames; ++i) {
            float v = 0.0f;
            for (size_t j = 0; j < ch; ++j)
                v += float(fade[i * ch + j]);
            matchOld[i] = v;
        }
        for (qint64 f = lo; f < hi + m; ++f)
            matchNew[size_t(f - lo)] = monoAt(f);
        double oldEnergy = 0;
        for (size_t i = 0; i < matchFrames; i += 2)
            oldEnergy += double(matchOld[i]) * matchOld[i];
        double best = -2.0;
        qint64 bestAt = nominal;
        for (qint64 f = lo; f <= hi; ++f) {
            const float *n = matchNew.data() + (f - lo);
            double cross = 0, energy = 0;
            for (size_t i = 0; i < matchFrames; i += 2) {
                cross += double(matchOld[i]) * n[i];
                energy += double(n[i]) * n[i];
            }
            const double norm = std::sqrt(oldEnergy * energy);
            const double r = norm > 0 ? cross / norm : 0.0;
            // Ties go to the place nearest the time reached.
            if (r > best + 1e-6 || (std::abs(r - best) <= 1e-6 && std::llabs(f - nominal) < std::llabs(bestAt - nominal))) {
                best = r;
                bestAt = f;
            }
        }
        quint64 c = first;
        while (c < last && chunkAt(c).ringStart + chunkAt(c).frames <= bestAt)
            ++c;
        *chunk = c;
        *offset = bestAt - chunkAt(c).ringStart;
        fadeMatch = float(std::clamp(best, 0.0, 1.0));
    }

    // Where the device would cross over to the newest sound made, if it
    // can yet: the chunk and the frame in it that carry the time it has
    // reached.
    bool landing(quint64 from, quint64 written, quint64 *chunk, qint64 *offset) const
    {
        const quint64 seq = chunkAt(from).seq;
        for (quint64 i = from; i < written && chunkAt(i).seq == seq; ++i) {
            const Chunk &c = chunkAt(i);
            const double end = c.mediaTime + double(c.frames) * c.perFrame;
            if (cNext < end) {
                *chunk = i;
                *offset = std::clamp<qint64>(qint64(std::floor((cNext - c.mediaTime) / c.perFrame + 1e-9)), 0,
                                             c.frames - 1);
                return true;
            }
        }
        return false;
    }

    size_t pull(qint16 *out, size_t frames, AudioOutput::Block *block)
    {
        const quint64 start = newestStart.load(std::memory_order_acquire);
        const quint64 written = chunkWrite.load(std::memory_order_acquire);
        const quint64 hard = hardRequested.load(std::memory_order_acquire);
        quint64 read = chunkRead.load(std::memory_order_relaxed);
        if (cSeq < hard) {
            // A seek's sound: nothing made before it is heard any more.
            fadeLength = 0;
            if (start > read && chunkAt(start - 1).seq >= hard) {
                jumpTo(start - 1, 0);
            } else {
                if (written > read) {
                    // Read the chunk before its slot is given back.
                    const qint64 end = chunkAt(written - 1).ringStart + chunkAt(written - 1).frames;
                    frameRead.store(end, std::memory_order_release);
                    chunkRead.store(written, std::memory_order_release);
                    cOffset = 0;
                }
                wakeReader();
                return 0;
            }
        } else if (start > read && chunkAt(start - 1).seq > cSeq) {
            // The sound made afresh after a change: crossed over to at the
            // time reached, the old sound fading out over a few ms.
            quint64 chunk = 0;
            qint64 offset = 0;
            if (landing(start - 1, written, &chunk, &offset)) {
                const qint64 oldFrom = frameRead.load(std::memory_order_relaxed);
                // The old sound ends where the new one's first chunk begins.
                const qint64 oldEnd = chunkAt(start - 1).ringStart;
                fadeLength = size_t(std::clamp<qint64>(oldEnd - oldFrom, 0, qint64(fadeFrames)));
                if (fadeLength > 0)
                    copyOut(fade.data(), oldFrom, fadeLength);
                fadeDone = 0;
                fadeMatch = 0.0f;
                if (fadeLength >= matchFrames)
                    align(start - 1, written, &chunk, &offset);
                jumpTo(chunk, offset);
            }
        }
        read = chunkRead.load(std::memory_order_relaxed);
        while (read < written && cOffset >= chunkAt(read).frames) {
            ++read;
            cOffset = 0;
        }
        chunkRead.store(read, std::memory_order_release);
        if (read >= written || frames == 0) {
            wakeReader();
            return 0; // the reader is behind: the device pads
        }
        if (chunkAt(read).seq > cSeq) {
            // The old sound ran out before the new one reached the time
            // heard (a starved reader): the new one is joined at that time,
            // never earlier; until it gets there, nothing.
            quint64 chunk = 0;
            qint64 offset = 0;
            if (!landing(read, written, &chunk, &offset)) {
                // What it has made so far is all behind that time: given
                // back, so the reader has room to catch up.
                const quint64 seq = chunkAt(read).seq;
                quint64 behind = read;
                while (behind < written && chunkAt(behind).seq == seq
                       && chunkAt(behind).mediaTime + double(chunkAt(behind).frames) * chunkAt(behind).perFrame <= cNext)
                    ++behind;
                if (behind > read) {
                    frameRead.store(chunkAt(behind - 1).ringStart + chunkAt(behind - 1).frames, std::memory_order_release);
                    chunkRead.store(behind, std::memory_order_release);
                    cOffset = 0;
                }
                wakeReader();
                return 0;
            }
            fadeLength = 0;
            jumpTo(chunk, offset);
            read = chunk;
        }
        const Chunk &c = chunkAt(read);
        const double t0 = c.mediaTime + double(cOffset) * c.perFrame;
        size_t n = std::min<size_t>(frames, size_t(c.frames - cOffset));
        const qint64 l = limit.load(std::memory_order_relaxed);
        if (l >= 0) {
            if (t0 >= double(l))
                return 0; // held at the limit
            n = std::min(n, std::max<size_t>(1, size_t(std::ceil((double(l) - t0) / c.perFrame))));
        }
        copyOut(out, c.ringStart + cOffset, n);
        if (fadeDone < fadeLength) {
            const size_t ch = size_t(channels);
            const size_t k = std::min(n, fadeLength - fadeDone);
            for (size_t i = 0; i < k; ++i) {
                const float w = float(fadeDone + i + 1) / float(fadeLength + 1);
                // Gains whose sum keeps the level of two sounds that match
                // this well: 1 - w and w for the same sound, the equal power
                // of unrelated ones at 0.
                const float a = 1.0f - w, b = w;
                const float g = 1.0f / std::sqrt(a * a + b * b + 2.0f * a * b * fadeMatch);
                for (size_t j = 0; j < ch; ++j) {
                    const float v = (float(fade[(fadeDone + i) * ch + j]) * a + float(out[i * ch + j]) * b) * g;
                    out[i * ch + j] = qint16(std::lround(std::clamp(v, -32768.0f, 32767.0f)));
                }
            }
            fadeDone += k;
        }
        block->mediaTime = qint64(std::llround(t0));
        block->mediaPerFrame = c.perFrame;
        block->silent = false;
        cOffset += qint64(n);
        cSeq = c.seq;
        cNext = t0 + double(n) * c.perFrame;
        // The chunk is read before its slot is given back.
        frameRead.store(c.ringStart + cOffset, std::memory_order_release);
        if (cOffset >= c.frames) {
            cOffset = 0;
            chunkRead.store(read + 1, std::memory_order_release);
        }
        consumerNext.store(cNext);
        consumerSeq.store(cSeq);
        wakeReader();
        return n;
    }

    void wakeReader()
    {
        if (sleeping.exchange(false))
            post();
    }
};

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
    d->readyChanged.wait_for(locker, std::chrono::milliseconds(kSeekWaitMs), [this, seq] { return d->readySeq >= seq; });
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
    return d->newestSeq.load() == d->epochMaking.load() && bufferedFrames() + kChunkFrames > d->ahead;
}

} // namespace TW
