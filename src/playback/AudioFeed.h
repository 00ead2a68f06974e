#pragma once

#include "playback/AudioOutput.h"

#include <QVector>

#include <memory>

namespace TW {

// Where the sound of one fragment comes from: its tempo and pitch stage.
// Pulled only by the feed's reader thread.
class AudioStage
{
public:
    virtual ~AudioStage() = default;
    // The next pull starts at this source time (microseconds).
    virtual void restartAt(qint64 sourceTime) = 0;
    // Up to frames processed frames with these settings; 0 at the end of
    // the source.
    virtual size_t pullAudio(qint16 *out, size_t frames, float tempo, float pitch, float gain) = 0;
    // Frames that still come out at the old tempo after a change.
    virtual size_t latencyFrames() const { return 0; }
};

// Walks the edit list in timeline order and makes its sound for the device:
// fragment after fragment with no gap, from the stage of each, stopping at
// the end of the timeline or at a set limit (the end of a loop held there
// for its delay). A loop repeated with no delay is jumped back to in the
// sound itself, with no gap. Every block it gives carries the timeline time
// it starts at, so the device's clock follows a jump back as it follows
// the sound going on.
//
// Threads. A reader thread of the feed's own pulls the stages (the disk
// reads and the stretching) into a ring of sound made ahead of the device;
// the device's callback (pull) only copies out of the ring: it takes no
// lock, allocates nothing and never waits. The graphical thread's changes
// are requests the reader acts on: a seek drops what the ring holds (the
// device hears nothing older from then on) and waits, briefly, until the
// start of the new place is made; a change of tempo, pitch, volume or of
// the edit list makes the sound again from the place the device has
// reached, and the device crosses over to it within a few milliseconds
// (a short crossfade), so a change is heard at once without a gap.
class AudioFeed
{
public:
    struct Entry
    {
        AudioStage *stage = nullptr; // not owned
        qint64 timelineStart = 0;    // microseconds
        qint64 sourceStart = 0;
        qint64 sourceEnd = 0;
        float volume = 100.0f; // the fragment's own, percent
        bool audible = true;
    };

    AudioFeed(int sampleRate, int channels);
    ~AudioFeed();
    AudioFeed(const AudioFeed &) = delete;
    AudioFeed &operator=(const AudioFeed &) = delete;

    // Replaces the edit list; stages of the old one are never touched again
    // once this returns (it waits for the reader's pull under way).
    void setEntries(const QVector<Entry> &entries);
    // The next frame the device gets is the one at this timeline time.
    void seek(qint64 timelineTime);
    // Timeline time of the next frame the device gets (once all there is
    // has been heard, where the making stopped: the end or the limit).
    qint64 position() const;

    void setTempo(float percent);
    void setPitch(float semitones);
    // Volume of the loop being played, percent (100 outside loops).
    void setVolume(float percent);
    void setMuted(bool muted);
    // Nothing is given at or past this timeline time; -1 for no limit.
    void setLimit(qint64 timelineTime);
    // A loop repeated without a pause: reaching `end` from before it, the
    // sound goes on from `start` instead, `jumps` times counted from when
    // this setting is made; after the last it runs on past `end`. Jumps the
    // device has not taken yet are made again after a seek or a change (the
    // count follows what the device has pulled, not what was made ahead).
    // The same values again change nothing; jumps 0 (or end <= start): no
    // loop.
    void setLoopJumps(qint64 start, qint64 end, int jumps);
    // Jumps back of the latest loop setting the device has pulled.
    int loopJumpsPulled() const;

    // The device's source (see AudioOutput::Source). Lock-free.
    size_t pull(qint16 *out, size_t frames, AudioOutput::Block *block);

    // Frames made ahead of the device for the place it plays now, and how
    // many the reader keeps made ahead.
    size_t bufferedFrames() const;
    size_t aheadFrames() const;
    // True once the reader has acted on every request and on the latest
    // limit, and made as much as it keeps ahead (or all there is to make).
    bool isFilled() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
