#include "playback/AudioFeed.h"
#include "playback/AudioFeedImpl.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// The device's side of the feed: its callback copies out of the ring,
// crossing over to sound made afresh; lock-free, no allocation.

namespace TW {

void AudioFeed::Impl::copyOut(qint16 *out, qint64 from, size_t n) const
{
    const size_t ch = size_t(channels);
    const size_t at0 = size_t(from % qint64(capacity));
    const size_t first = std::min(n, capacity - at0);
    std::memcpy(out, ring.data() + at0 * ch, first * ch * sizeof(qint16));
    if (first < n)
        std::memcpy(out + first * ch, ring.data(), (n - first) * ch * sizeof(qint16));
}

void AudioFeed::Impl::jumpTo(quint64 i, qint64 offset)
{
    const Chunk &c = chunkAt(i);
    chunkRead.store(i, std::memory_order_release);
    cOffset = offset;
    cSeq = c.seq;
    cLoopSerial = c.loopSerial;
    cPass = c.pass;
    cNext = c.mediaTime + double(offset) * c.perFrame;
    frameRead.store(c.ringStart + offset, std::memory_order_release);
}

bool AudioFeed::Impl::passedBy(const Chunk &c) const
{
    if (c.loopSerial == cLoopSerial && c.pass != cPass)
        return c.pass < cPass;
    return c.mediaTime + double(c.frames) * c.perFrame <= cNext;
}

namespace {
// The sum of the channels of the frame at p.
float mono(const qint16 *p, size_t channels)
{
    float v = 0.0f;
    for (size_t j = 0; j < channels; ++j)
        v += float(p[j]);
    return v;
}
} // namespace

float AudioFeed::Impl::monoAt(qint64 frame) const
{
    const size_t ch = size_t(channels);
    return mono(ring.data() + size_t(frame % qint64(capacity)) * ch, ch);
}

void AudioFeed::Impl::align(quint64 first, quint64 written, quint64 *chunk, qint64 *offset)
{
    // Only within the pass of the loop joined: across a jump back the
    // frames next to each other in the ring are not next in time.
    const Chunk &joined = chunkAt(*chunk);
    auto samePass = [&](quint64 i) {
        const Chunk &c = chunkAt(i);
        return c.seq == joined.seq && c.loopSerial == joined.loopSerial && c.pass == joined.pass;
    };
    quint64 lowest = *chunk;
    while (lowest > first && samePass(lowest - 1))
        --lowest;
    quint64 last = *chunk;
    while (last + 1 < written && samePass(last + 1))
        ++last;
    const qint64 begin = chunkAt(lowest).ringStart;
    const qint64 end = chunkAt(last).ringStart + chunkAt(last).frames;
    const qint64 nominal = chunkAt(*chunk).ringStart + *offset;
    const qint64 m = qint64(matchFrames);
    const qint64 lo = std::max(nominal - qint64(alignFrames), begin);
    const qint64 hi = std::min(nominal + qint64(alignFrames), end - m);
    if (hi < lo)
        return;
    const size_t ch = size_t(channels);
    for (size_t i = 0; i < matchFrames; ++i)
        matchOld[i] = mono(fade.data() + i * ch, ch);
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
    quint64 c = lowest;
    while (c < last && chunkAt(c).ringStart + chunkAt(c).frames <= bestAt)
        ++c;
    *chunk = c;
    *offset = bestAt - chunkAt(c).ringStart;
    fadeMatch = float(std::clamp(best, 0.0, 1.0));
}

bool AudioFeed::Impl::landing(quint64 from, quint64 written, quint64 *chunk, qint64 *offset) const
{
    const quint64 seq = chunkAt(from).seq;
    for (quint64 i = from; i < written && chunkAt(i).seq == seq; ++i) {
        const Chunk &c = chunkAt(i);
        if (!passedBy(c)) {
            *chunk = i;
            // A later pass than the device's is joined at its start.
            const bool later = c.loopSerial == cLoopSerial && c.pass > cPass;
            *offset = later ? 0
                            : std::clamp<qint64>(qint64(std::floor((cNext - c.mediaTime) / c.perFrame + 1e-9)), 0,
                                                 c.frames - 1);
            return true;
        }
    }
    return false;
}

size_t AudioFeed::Impl::pull(qint16 *out, size_t frames, AudioOutput::Block *block)
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
            while (behind < written && chunkAt(behind).seq == seq && passedBy(chunkAt(behind)))
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
    cLoopSerial = c.loopSerial;
    cPass = c.pass;
    cNext = t0 + double(n) * c.perFrame;
    // The chunk is read before its slot is given back.
    frameRead.store(c.ringStart + cOffset, std::memory_order_release);
    if (cOffset >= c.frames) {
        cOffset = 0;
        chunkRead.store(read + 1, std::memory_order_release);
    }
    publishPlace();
    wakeReader();
    return n;
}

void AudioFeed::Impl::publishPlace()
{
    const quint64 pass = quint64(cLoopSerial) << 32 | quint32(cPass);
    consumerNext.store(cNext);
    consumerSeq.store(cSeq);
    consumerPass.store(pass);
    const quint64 count = placePublished.load() + 1;
    PlaceSlot &slot = placeSlots[size_t(count % kPlaceSlots)];
    slot.next.store(cNext);
    slot.seq.store(cSeq);
    slot.pass.store(pass);
    placePublished.store(count);
}

void AudioFeed::Impl::wakeReader()
{
    if (sleeping.exchange(false))
        post();
}

} // namespace TW
