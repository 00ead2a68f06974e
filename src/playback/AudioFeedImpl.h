#pragma once

// The feed's state, shared by its reader thread (AudioFeed.cpp) and the
// device's side (AudioFeedDevice.cpp). Private to the feed.

#include "playback/AudioFeed.h"

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <semaphore.h>

namespace TW {

struct AudioFeed::Impl
{
    // Frames the reader makes at a time.
    static constexpr size_t kChunkFrames = 512;
    // Chunks the ring can describe at once.
    static constexpr size_t kChunkSlots = 2048;
    // Sound kept made ahead of the device (ms): enough that a busy machine is
    // not heard; a change of settings is not held up by it (see pull).
    static constexpr int kAheadMs = 300;
    // Room in the ring (ms): what is ahead for the place played now, plus what
    // is left of places given up while the device was stopped (each change
    // while paused leaves up to the lead behind until the device pulls again).
    static constexpr int kRingMs = 5000;
    // A seek waits until this much of the new place is made (ms), so that the
    // device's first fill (its whole buffer, 80 ms) is the new place's sound
    // with nothing padded, and at most this long (ms).
    static constexpr int kStartFillMs = 120;
    static constexpr int kSeekWaitMs = 300;
    // The crossfade from the old sound to the new one after a change (ms).
    // Two stretchers started at different places give the same tone in any
    // phase: the new sound is joined where it best matches the old (searched
    // up to kAlignMs either side of the time reached, by the correlation of
    // their first kMatchMs), and the fade's gains make up for what is left of
    // the mismatch, so the level holds across the change.
    static constexpr int kFadeMs = 20;
    static constexpr int kAlignMs = 5;
    static constexpr int kMatchMs = 10;
    // The sound made afresh after a change starts this long (ms of sound
    // heard) before the time the device has reached.
    static constexpr int kPrerollMs = 40;

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

    void restart(quint64 seq, qint64 place);
    // Acts on the newest request, if any; true when it did.
    bool takeRequest();
    // Makes up to one chunk into scratch; 0 when there is nothing to make
    // (the end, the limit, no edit list).
    size_t make(double *mediaTime, double *perFrame);
    size_t madeAhead() const;
    bool hasRoom() const;
    // Until the device has crossed over to the newest sound (it lands at the
    // time it has reached, which a slow tempo takes longer to make), the
    // reader makes on past its usual lead.
    bool wantsToMake() const;
    void publish(size_t n, double mediaTime, double perFrame);
    // One step of the reader: a request, or a chunk. False when idle.
    bool step();
    void run();

    // ---- the device's side ----------------------------------------------

    const Chunk &chunkAt(quint64 i) const { return chunks[size_t(i % kChunkSlots)]; }

    void copyOut(qint16 *out, qint64 from, size_t n) const;
    void jumpTo(quint64 i, qint64 offset);
    // The sum of the channels of one ring frame.
    float monoAt(qint64 frame) const;
    // Moves the join into the new sound (chunk, offset: at the time
    // reached) by up to alignFrames either way, to where the new sound best
    // matches the start of the old one (kept in `fade`), within the new
    // sound's frames made so far; notes how well they match. Bounded work
    // on arrays made beforehand: no lock, no allocation.
    void align(quint64 first, quint64 written, quint64 *chunk, qint64 *offset);
    // Where the device would cross over to the newest sound made, if it
    // can yet: the chunk and the frame in it that carry the time it has
    // reached.
    bool landing(quint64 from, quint64 written, quint64 *chunk, qint64 *offset) const;
    size_t pull(qint16 *out, size_t frames, AudioOutput::Block *block);
    void wakeReader();
};

} // namespace TW
