#include "playback/AudioFeed.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace TW {

AudioFeed::AudioFeed(int rate, int ch)
    : sampleRate(rate > 0 ? rate : 44100), channels(ch > 0 ? ch : 2)
{
}

void AudioFeed::setEntries(const QVector<Entry> &list)
{
    std::lock_guard<std::mutex> locker(lock);
    const qint64 t = pendingSeek >= 0 ? pendingSeek : qint64(at);
    entries = list;
    index = -1;
    pendingSeek = t;
}

void AudioFeed::seek(qint64 timelineTime)
{
    std::lock_guard<std::mutex> locker(lock);
    pendingSeek = std::max<qint64>(0, timelineTime);
}

qint64 AudioFeed::position() const
{
    std::lock_guard<std::mutex> locker(lock);
    return pendingSeek >= 0 ? pendingSeek : qint64(at);
}

void AudioFeed::setTempo(float percent)
{
    if (percent > 0.0f)
        tempo = percent;
}

void AudioFeed::setPitch(float semitones)
{
    pitch = semitones;
}

void AudioFeed::setVolume(float percent)
{
    volume = std::max(0.0f, percent);
}

void AudioFeed::setMuted(bool m)
{
    muted = m;
}

void AudioFeed::setLimit(qint64 timelineTime)
{
    limit = timelineTime;
}

int AudioFeed::entryFor(qint64 t) const
{
    for (int i = 0; i < entries.size(); ++i) {
        const Entry &e = entries.at(i);
        if (t < e.timelineStart + (e.sourceEnd - e.sourceStart))
            return t >= e.timelineStart ? i : -1;
    }
    return -1;
}

size_t AudioFeed::pull(qint16 *out, size_t frames, AudioOutput::Block *block)
{
    std::lock_guard<std::mutex> locker(lock);
    const float t = tempo;
    if (pendingSeek >= 0) {
        at = double(pendingSeek);
        index = entryFor(pendingSeek);
        if (index >= 0) {
            const Entry &e = entries.at(index);
            e.stage->restartAt(pendingSeek - e.timelineStart + e.sourceStart);
        }
        pendingSeek = -1;
        earlierFramesLeft = 0; // a restarted stage holds nothing older
        stageTempo = t;
    }
    if (stageTempo == 0.0f)
        stageTempo = t;
    size_t done = 0;
    bool first = true;
    while (done < frames && index >= 0 && index < entries.size()) {
        const Entry &e = entries.at(index);
        const double end = double(e.timelineStart + (e.sourceEnd - e.sourceStart));
        double stop = end;
        const qint64 l = limit;
        if (l >= 0)
            stop = std::min(stop, double(l));
        if (at >= stop) {
            if (stop < end)
                break; // held at the limit until a seek
            // On into the next fragment, from its start.
            ++index;
            if (index < entries.size()) {
                const Entry &n = entries.at(index);
                at = double(n.timelineStart);
                n.stage->restartAt(n.sourceStart);
                earlierFramesLeft = 0;
            }
            continue;
        }
        if (t != stageTempo) {
            // What the stage holds comes out at the tempo it was made with.
            earlierTempo = stageTempo;
            earlierFramesLeft = e.stage->latencyFrames();
            stageTempo = t;
        }
        const float blockTempo = earlierFramesLeft > 0 ? earlierTempo : t;
        const double perFrame = double(blockTempo) / 100.0 * 1e6 / double(sampleRate);
        const size_t left = size_t(std::ceil((stop - at) / perFrame));
        size_t want = std::min(frames - done, std::max<size_t>(left, 1));
        if (earlierFramesLeft > 0)
            want = std::min(want, earlierFramesLeft);
        // A block describes one stretch of time: a new fragment starts a new
        // block, so the caller is handed what has been made so far.
        if (!first)
            break;
        const float gain = muted || !e.audible ? 0.0f : e.volume / 100.0f * float(volume) / 100.0f;
        const size_t got = e.stage->pullAudio(out + done * size_t(channels), want, t, pitch, gain);
        if (got == 0) {
            // The source ended before the fragment did: go on with the next.
            at = end;
            continue;
        }
        block->mediaTime = qint64(at);
        block->mediaPerFrame = perFrame;
        block->silent = false;
        at += double(got) * perFrame;
        done += got;
        earlierFramesLeft -= std::min(earlierFramesLeft, got);
        first = false;
    }
    return done;
}

} // namespace TW
