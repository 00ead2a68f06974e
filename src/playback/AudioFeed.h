#pragma once

#include "playback/AudioOutput.h"

#include <QVector>

#include <atomic>
#include <mutex>

namespace TW {

// Where the sound of one fragment comes from: its tempo and pitch stage.
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

// Walks the edit list in timeline order and pulls its sound for the device:
// fragment after fragment with no gap, from the stage of each, stopping at
// the end of the timeline or at a set limit (the end of a loop being
// repeated). Pulled on the sound server's thread; set from the graphical
// thread. Every block it gives carries the timeline time it starts at.
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

    // Replaces the edit list; stages of the old one are never touched again
    // once this returns.
    void setEntries(const QVector<Entry> &entries);
    // The next frame pulled is the one at this timeline time.
    void seek(qint64 timelineTime);
    qint64 position() const;

    void setTempo(float percent);
    void setPitch(float semitones);
    // Volume of the loop being played, percent (100 outside loops).
    void setVolume(float percent);
    void setMuted(bool muted);
    // Nothing is pulled at or past this timeline time; -1 for no limit.
    void setLimit(qint64 timelineTime);

    // The device's source (see AudioOutput::Source).
    size_t pull(qint16 *out, size_t frames, AudioOutput::Block *block);

private:
    int sampleRate;
    int channels;
    mutable std::mutex lock;
    QVector<Entry> entries;
    int index = -1;        // entry being pulled, -1 before a seek
    double at = 0.0;       // timeline microseconds of the next frame
    qint64 pendingSeek = 0; // -1 when none
    std::atomic<float> tempo{100.0f};
    std::atomic<float> pitch{0.0f};
    std::atomic<float> volume{100.0f};
    std::atomic<bool> muted{false};
    std::atomic<qint64> limit{-1};
    // The tempo last given to the stage, and how many frames still come out
    // at the one before it (the stage's latency).
    float stageTempo = 0.0f;
    float earlierTempo = 100.0f;
    size_t earlierFramesLeft = 0;

    int entryFor(qint64 timelineTime) const;
};

} // namespace TW
