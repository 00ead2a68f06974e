#pragma once

// The feed's state, shared by its reader thread (AudioFeed.cpp) and the
// device's side (AudioFeedDevice.cpp). Private to the feed.

#include "playback/AudioFeed.h"

#include <QtGlobal>

#include <array>
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
    // mediaTime on the timeline, made for request seq, after `pass` jumps
    // back of the loop setting numbered loopSerial.
    struct Chunk
    {
        qint64 ringStart = 0;
        qint64 frames = 0;
        double mediaTime = 0;
        double perFrame = 0;
        quint64 seq = 0;
        quint32 loopSerial = 0;
        qint32 pass = 0;
    };

    // A loop the sound jumps back in; each new one gets the next serial.
    struct LoopSetting
    {
        qint64 start = -1;
        qint64 end = -1;
        int jumps = 0;
        quint32 serial = 0;
    };

    // Where the device is, read as one: the request its sound was made for,
    // the timeline time of its next frame, and the loop setting and pass of
    // the last chunk it pulled.
    struct DevicePlace
    {
        quint64 seq = 0;
        double next = 0;
        quint32 loopSerial = 0;
        qint32 pass = 0;
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
    // The loop setting's serial (high half) and pass (low half) of the last
    // chunk pulled.
    std::atomic<quint64> consumerPass{0};
    // The same three, published together for the reader to read as one:
    // each publish fills the next of a few slots and then counts it, so a
    // slot is whole once counted and stays so until it comes round again.
    // The reader never waits for the device (a real-time reader spinning
    // on a half-written place could keep the device's thread from
    // finishing it).
    struct PlaceSlot
    {
        std::atomic<double> next{0};
        std::atomic<quint64> seq{0};
        std::atomic<quint64> pass{0};
    };
    static constexpr quint64 kPlaceSlots = 4;
    std::array<PlaceSlot, kPlaceSlots> placeSlots;
    std::atomic<quint64> placePublished{0};
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
    quint32 cLoopSerial = 0;
    qint32 cPass = 0;
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
    LoopSetting loopAsked;
    std::atomic<quint32> loopSerialNow{0};
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
    // The loop setting the reader makes its sound with, the jumps back it
    // has made under it, and whether its place is before the loop's end
    // (a jump is made only on reaching the end from before it).
    LoopSetting eLoop;
    int jumpsMade = 0;
    bool beforeLoopEnd = false;
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

    DevicePlace devicePlace() const
    {
        for (;;) {
            const quint64 count = placePublished.load();
            const PlaceSlot &slot = placeSlots[size_t(count % kPlaceSlots)];
            DevicePlace p;
            p.seq = slot.seq.load();
            p.next = slot.next.load();
            const quint64 pass = slot.pass.load();
            // Rewritten only after count + kPlaceSlots - 1 has been
            // published: else the device has moved on since, read again.
            if (placePublished.load() - count > kPlaceSlots - 2)
                continue;
            p.loopSerial = quint32(pass >> 32);
            p.pass = qint32(quint32(pass));
            return p;
        }
    }

    // ---- reader thread --------------------------------------------------

    // Jumps back the device has already taken count as made: what was made
    // past them ahead of it is made again.
    void adoptLoop(const LoopSetting &loop, const DevicePlace &device, qint64 place);
    void restart(quint64 seq, qint64 place);
    // Acts on the newest request, if any; true when it did.
    bool takeRequest();
    // Back to the loop's start, as into the next fragment: the stage
    // holding it restarts there.
    void jumpBack();
    // Makes up to one chunk into scratch; 0 when there is nothing to make
    // (the end, the limit, no edit list).
    size_t make(double *mediaTime, double *perFrame);
    size_t madeAhead() const;
    bool hasRoom() const;
    // Until the device has crossed over to the newest sound (it lands at the
    // time it has reached, which a slow tempo takes longer to make), the
    // reader makes on past its usual lead.
    bool wantsToMake() const;
    // Whether the reader's place is not yet past the device's (a pass of a
    // loop before the device's is behind it whatever its times).
    bool notPastDevice(const DevicePlace &device) const;
    void publish(size_t n, double mediaTime, double perFrame);
    // One step of the reader: a request, or a chunk. False when idle.
    bool step();
    void run();

    // ---- the device's side ----------------------------------------------

    const Chunk &chunkAt(quint64 i) const { return chunks[size_t(i % kChunkSlots)]; }

    void copyOut(qint16 *out, qint64 from, size_t n) const;
    void jumpTo(quint64 i, qint64 offset);
    // Whether the device has gone past all of the chunk: a pass of the
    // loop it plays before its own, or else times before the one it has
    // reached.
    bool passedBy(const Chunk &c) const;
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
    void publishPlace();
    void wakeReader();
};

} // namespace TW
