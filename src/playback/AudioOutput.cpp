#include "playback/AudioOutput.h"

#include "playback/AudioClock.h"
#include "playback/SoundThreadPriority.h"
#include "playback/Trace.h"

#include <QtDebug>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <ctime>

namespace TW {

namespace {
// What the device keeps buffered ahead of the ear, and how much it asks for
// at a time: a tempo change is heard after about this long (a pause and a
// seek at once: the stream is corked or flushed). Its thread must be
// scheduled within this long, so on a busy machine a shorter buffer is
// heard as gaps (at a load of 40 on 8 cores: 40 ms gave 2.9 % silence,
// 80 ms 0.4 %). A thread running at real-time priority is scheduled at once
// whatever else runs, so it keeps a shorter buffer and changes are heard
// sooner.
constexpr pa_usec_t kTargetLatency = 80000;
constexpr pa_usec_t kRealtimeTargetLatency = 50000;
constexpr pa_usec_t kRequestSize = 10000;

// The server's reports carry the wall clock's time.
qint64 wallMicroseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// A report older than this is not moved on further (the server stopped
// answering): the clock stands rather than run on a guess (microseconds).
// libpulse asks for one at least every 1.5 s while the stream plays.
constexpr qint64 kLongestExtrapolation = 5000000;

std::atomic<bool> &noDeviceSaid()
{
    static std::atomic<bool> said{false};
    return said;
}
} // namespace

struct AudioOutput::Impl
{
    struct Marker
    {
        qint64 frame = 0; // index of the block's first frame among all written
        qint64 mediaTime = 0;
        double mediaPerFrame = 0;
        bool silent = false;
    };

    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    pa_sample_spec sampleFormat{};
    int rate = 44100;
    int channels = 2;
    Source source;

    // Touched only with the main loop's lock held (the write callback runs
    // with it held). The graphical thread never takes that lock to read the
    // clock: it reads `clock`, which the holder of the lock publishes.
    std::array<Marker, 256> markers;
    int markerHead = 0; // next slot
    int markerCount = 0;
    qint64 written = 0;
    qint64 lastMediaEnd = 0;
    bool started = false;
    bool settled = true; // false from a flush until the timing is fresh
    bool raised = false; // the loop's thread asked for its scheduling
    bool realtime = false; // and runs at real-time priority
    qint64 flushFrom = -1;
    int latencyMs = 0;
    qint64 heldAt = -1; // the time heard when the device was paused
    std::unique_ptr<AudioClock> clock;

    std::atomic<qint64> totalWritten{0};
    std::atomic<qint64> padding{0};
    std::atomic<float> gain{1.0f};

    int frameBytes() const { return channels * 2; }

    void addMarker(qint64 frame, const Block &b)
    {
        markers[size_t(markerHead)] = Marker{frame, b.mediaTime, b.mediaPerFrame, b.silent};
        markerHead = (markerHead + 1) % int(markers.size());
        markerCount = std::min(markerCount + 1, int(markers.size()));
    }

    // Timeline time of the frame with that index, from the newest marker at
    // or before it; -1 when the markers do not reach back that far.
    qint64 timeOfFrame(qint64 frame) const
    {
        for (int i = 0; i < markerCount; ++i) {
            const int slot = (markerHead - 1 - i + int(markers.size())) % int(markers.size());
            const Marker &m = markers[size_t(slot)];
            if (m.frame <= frame) {
                if (m.silent)
                    return m.mediaTime;
                return m.mediaTime + qint64(double(frame - m.frame) * m.mediaPerFrame);
            }
        }
        return -1;
    }

    qint64 oldestTime() const
    {
        if (markerCount == 0)
            return -1;
        const int slot = (markerHead - markerCount + int(markers.size())) % int(markers.size());
        return markers[size_t(slot)].mediaTime;
    }

    void applyGain(qint16 *out, size_t frames)
    {
        const float g = gain;
        if (g == 1.0f)
            return;
        const size_t count = frames * size_t(channels);
        for (size_t i = 0; i < count; ++i) {
            const float v = float(out[i]) * g;
            out[i] = qint16(v > 32767.0f ? 32767 : (v < -32768.0f ? -32768 : int(v)));
        }
    }

    // The frame being heard now by the device's own account; false when it
    // cannot say. Worked out from the server's last report of its read
    // index and of the delay of the sink behind it, moved on by the time
    // since the report, rather than from libpulse's smoothed latency: on a
    // stream flushed before it ever played, that latency reads 0 (the
    // smoothed time runs ahead of the write index) for seconds after the
    // first start, which put the clock at the end of what was written, a
    // whole buffer ahead of the ear.
    bool heardFrame(qint64 *frame) const
    {
        if (!stream)
            return false;
        const pa_timing_info *info = pa_stream_get_timing_info(stream);
        if (info && !info->read_index_corrupt && !info->write_index_corrupt) {
            DeviceTiming t;
            t.readFrame = info->read_index / frameBytes();
            t.writeFrame = info->write_index / frameBytes();
            t.sinkDelayUs = qint64(info->sink_usec);
            t.transportUs = qint64(info->transport_usec);
            t.reportedAtUs = qint64(info->timestamp.tv_sec) * 1000000 + info->timestamp.tv_usec;
            t.playing = info->playing != 0;
            *frame = AudioOutput::heardFrame(t, written, wallMicroseconds(), rate);
            return true;
        }
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream, &latency, &negative) != 0)
            return false;
        const qint64 latencyFrames = qint64(latency) * rate / 1000000;
        // Negative (the device read past what was written: an underrun or
        // a flush not yet accounted for) means it hears the last frame.
        *frame = negative ? written : written - latencyFrames;
        return true;
    }

    // Publishes the clock's snapshot; main loop's lock held.
    void publish()
    {
        if (!clock)
            return;
        if (!settled) {
            clock->publishStopped(flushFrom);
            return;
        }
        if (!started) {
            if (heldAt >= 0)
                clock->publishStopped(heldAt);
            else if (markerCount > 0)
                clock->publishStopped(oldestTime());
            else
                clock->publishNone();
            return;
        }
        if (markerCount == 0) {
            if (flushFrom >= 0)
                clock->publishStopped(flushFrom);
            return;
        }
        qint64 heard = 0;
        if (!heardFrame(&heard))
            return;
        // The markers from the one heard now to the newest, oldest first.
        AudioClock::Stretch list[AudioClock::kMaxStretches];
        int n = 0;
        for (int i = 0; i < markerCount && n < AudioClock::kMaxStretches; ++i) {
            const int slot = (markerHead - 1 - i + int(markers.size())) % int(markers.size());
            const Marker &m = markers[size_t(slot)];
            list[n++] = AudioClock::Stretch{m.frame, double(m.mediaTime), m.mediaPerFrame, m.silent};
            if (m.frame <= heard)
                break;
        }
        std::reverse(list, list + n);
        clock->publishRunning(heard, written, list, n);
    }

    void fill(size_t nbytes)
    {
        const int fb = frameBytes();
        while (nbytes >= size_t(fb)) {
            void *data = nullptr;
            size_t n = nbytes;
            if (pa_stream_begin_write(stream, &data, &n) < 0 || !data)
                return;
            const size_t frames = n / size_t(fb);
            if (frames == 0) {
                pa_stream_cancel_write(stream);
                return;
            }
            auto *out = static_cast<qint16 *>(data);
            size_t done = 0;
            while (done < frames && source) {
                Block b;
                const size_t got = std::min(source(out + done * size_t(channels), frames - done, &b), frames - done);
                if (got == 0)
                    break;
                addMarker(written + qint64(done), b);
                lastMediaEnd = b.mediaTime + (b.silent ? 0 : qint64(double(got) * b.mediaPerFrame));
                done += got;
            }
            if (done < frames && !started) {
                // Stopped (after a flush, say): what the source has not
                // made yet is asked for again when the device starts,
                // instead of being padded with silence that would be heard.
                if (done == 0) {
                    pa_stream_cancel_write(stream);
                    return;
                }
                applyGain(out, done);
                pa_stream_write(stream, data, done * size_t(fb), nullptr, 0, PA_SEEK_RELATIVE);
                written += qint64(done);
                totalWritten += qint64(done);
                return;
            }
            if (done < frames) {
                // Nothing more to play (the end, or nothing to play from):
                // silence, over which the clock stands still.
                std::memset(out + done * size_t(channels), 0, (frames - done) * size_t(fb));
                Block b;
                b.mediaTime = lastMediaEnd;
                b.silent = true;
                addMarker(written + qint64(done), b);
                padding += qint64(frames - done);
            }
            applyGain(out, frames);
            pa_stream_write(stream, data, frames * size_t(fb), nullptr, 0, PA_SEEK_RELATIVE);
            written += qint64(frames);
            totalWritten += qint64(frames);
            nbytes -= frames * size_t(fb);
        }
    }

    static void onContextState(pa_context *context, void *userdata)
    {
        auto *d = static_cast<Impl *>(userdata);
        // The loop's thread, which later runs the write callback, is raised
        // here, once connected: before any sound is written.
        if (pa_context_get_state(context) == PA_CONTEXT_READY && !d->raised) {
            d->raised = true;
            d->realtime = SoundThreadPriority::raiseCallingThread(SoundThreadPriority::kDevicePriority, "sound device")
                              .startsWith(QLatin1String("real-time"));
        }
        pa_threaded_mainloop_signal(d->loop, 0);
    }

    static void onStreamState(pa_stream *, void *userdata)
    {
        pa_threaded_mainloop_signal(static_cast<Impl *>(userdata)->loop, 0);
    }

    static void onWrite(pa_stream *, size_t nbytes, void *userdata)
    {
        auto *d = static_cast<Impl *>(userdata);
        d->fill(nbytes);
        d->publish();
    }

    static void onLatencyUpdate(pa_stream *, void *userdata)
    {
        static_cast<Impl *>(userdata)->publish();
    }

    static void onUnderflow(pa_stream *, void *)
    {
        playbackTrace("sound device ran dry");
    }

    static void onTimingUpdated(pa_stream *, int, void *userdata)
    {
        auto *d = static_cast<Impl *>(userdata);
        d->settled = true;
        d->publish();
    }

    static void onFlushed(pa_stream *s, int, void *userdata)
    {
        pa_operation *op = pa_stream_update_timing_info(s, &onTimingUpdated, userdata);
        if (op)
            pa_operation_unref(op);
        else
            static_cast<Impl *>(userdata)->settled = true;
    }

    void close()
    {
        if (!loop)
            return;
        pa_threaded_mainloop_lock(loop);
        if (stream) {
            pa_stream_set_write_callback(stream, nullptr, nullptr);
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_set_underflow_callback(stream, nullptr, nullptr);
            pa_stream_set_latency_update_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
            stream = nullptr;
        }
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
        pa_threaded_mainloop_unlock(loop);
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
        loop = nullptr;
    }

    void operation(pa_operation *op)
    {
        if (op)
            pa_operation_unref(op);
    }
};

AudioOutput::AudioOutput()
    : d(std::make_unique<Impl>())
{
}

AudioOutput::~AudioOutput()
{
    d->close();
}

bool AudioOutput::open(int sampleRate, int channels, Source source)
{
    d->close();
    d->rate = sampleRate > 0 ? sampleRate : 44100;
    d->channels = channels > 0 ? channels : 2;
    d->source = std::move(source);
    d->markerCount = 0;
    d->written = 0;
    d->started = false;
    d->heldAt = -1;
    d->flushFrom = -1;
    d->settled = true;
    d->clock = std::make_unique<AudioClock>(d->rate);
    d->sampleFormat.format = PA_SAMPLE_S16LE;
    d->sampleFormat.rate = uint32_t(d->rate);
    d->sampleFormat.channels = uint8_t(std::min(d->channels, int(PA_CHANNELS_MAX)));

    auto fail = [this](const char *why) {
        if (!noDeviceSaid().exchange(true))
            qWarning("No sound device (%s): the picture plays without sound", why);
        d->close();
        return false;
    };

    d->loop = pa_threaded_mainloop_new();
    if (!d->loop)
        return fail("no main loop");
    d->context = pa_context_new(pa_threaded_mainloop_get_api(d->loop), "Tarnwell");
    if (!d->context)
        return fail("no context");
    pa_context_set_state_callback(d->context, &Impl::onContextState, d.get());
    if (pa_context_connect(d->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return fail(pa_strerror(pa_context_errno(d->context)));
    pa_threaded_mainloop_lock(d->loop);
    if (pa_threaded_mainloop_start(d->loop) < 0) {
        pa_threaded_mainloop_unlock(d->loop);
        return fail("main loop did not start");
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(d->context);
        if (state == PA_CONTEXT_READY)
            break;
        if (!PA_CONTEXT_IS_GOOD(state)) {
            const char *why = pa_strerror(pa_context_errno(d->context));
            pa_threaded_mainloop_unlock(d->loop);
            return fail(why);
        }
        pa_threaded_mainloop_wait(d->loop);
    }

    pa_channel_map map;
    pa_channel_map_init_auto(&map, d->sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);
    d->stream = pa_stream_new(d->context, "Playback", &d->sampleFormat, &map);
    if (!d->stream) {
        pa_threaded_mainloop_unlock(d->loop);
        return fail("no stream");
    }
    pa_stream_set_state_callback(d->stream, &Impl::onStreamState, d.get());
    pa_stream_set_write_callback(d->stream, &Impl::onWrite, d.get());
    pa_stream_set_underflow_callback(d->stream, &Impl::onUnderflow, d.get());
    pa_stream_set_latency_update_callback(d->stream, &Impl::onLatencyUpdate, d.get());
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(pa_usec_to_bytes(d->realtime ? kRealtimeTargetLatency : kTargetLatency, &d->sampleFormat));
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(pa_usec_to_bytes(kRequestSize, &d->sampleFormat));
    attr.fragsize = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE
                                         | PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    if (pa_stream_connect_playback(d->stream, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        const char *why = pa_strerror(pa_context_errno(d->context));
        pa_threaded_mainloop_unlock(d->loop);
        return fail(why);
    }
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(d->stream);
        if (state == PA_STREAM_READY)
            break;
        if (!PA_STREAM_IS_GOOD(state)) {
            const char *why = pa_strerror(pa_context_errno(d->context));
            pa_threaded_mainloop_unlock(d->loop);
            return fail(why);
        }
        pa_threaded_mainloop_wait(d->loop);
    }
    if (const pa_buffer_attr *a = pa_stream_get_buffer_attr(d->stream))
        d->latencyMs = int(pa_bytes_to_usec(a->tlength, &d->sampleFormat) / 1000);
    pa_threaded_mainloop_unlock(d->loop);
    return true;
}

bool AudioOutput::isOpen() const
{
    return d->stream != nullptr;
}

int AudioOutput::latencyMs() const
{
    return d->latencyMs;
}

void AudioOutput::start()
{
    if (!d->stream)
        return;
    pa_threaded_mainloop_lock(d->loop);
    if (!d->started) {
        d->started = true;
        d->heldAt = -1;
        d->operation(pa_stream_cork(d->stream, 0, nullptr, nullptr));
        // Whatever the device asked for while stopped is filled at once.
        const size_t wanted = pa_stream_writable_size(d->stream);
        if (wanted != size_t(-1) && wanted > 0)
            d->fill(wanted);
        // Plays what is there without waiting for a full buffer.
        d->operation(pa_stream_trigger(d->stream, nullptr, nullptr));
        d->publish();
    }
    pa_threaded_mainloop_unlock(d->loop);
}

void AudioOutput::pause()
{
    if (!d->stream)
        return;
    pa_threaded_mainloop_lock(d->loop);
    if (d->started) {
        // The clock stands where the device is now.
        if (d->clock)
            d->heldAt = d->clock->heardTime();
        d->started = false;
        d->operation(pa_stream_cork(d->stream, 1, nullptr, nullptr));
        d->publish();
    }
    pa_threaded_mainloop_unlock(d->loop);
}

bool AudioOutput::isStarted() const
{
    if (!d->stream)
        return false;
    pa_threaded_mainloop_lock(d->loop);
    const bool started = d->started;
    pa_threaded_mainloop_unlock(d->loop);
    return started;
}

void AudioOutput::flush(qint64 from)
{
    if (!d->stream)
        return;
    pa_threaded_mainloop_lock(d->loop);
    d->markerCount = 0;
    d->flushFrom = from;
    d->lastMediaEnd = from;
    d->heldAt = from;
    d->settled = false;
    pa_operation *op = pa_stream_flush(d->stream, &Impl::onFlushed, d.get());
    if (op)
        pa_operation_unref(op);
    else
        d->settled = true;
    // The device asks for a full buffer again; what the source gives now is
    // what is heard next.
    const size_t wanted = pa_stream_writable_size(d->stream);
    if (wanted != size_t(-1) && wanted > 0)
        d->fill(wanted);
    d->publish();
    pa_threaded_mainloop_unlock(d->loop);
}

qint64 AudioOutput::heardFrame(const DeviceTiming &t, qint64 written, qint64 nowUs, int rate)
{
    // The read index was current when the server answered, about one
    // transport delay before the report arrived; the sink plays it after
    // its own delay. While the server does not play, nothing moves.
    qint64 ahead = -t.sinkDelayUs;
    if (t.playing)
        ahead += std::clamp<qint64>(nowUs - t.reportedAtUs, 0, kLongestExtrapolation) + t.transportUs;
    const qint64 heardIndex = t.readFrame + ahead * rate / 1000000;
    // Our count of written frames and the server's write index differ by
    // what flushes dropped.
    const qint64 frame = written - (t.writeFrame - heardIndex);
    return std::min(frame, written);
}

qint64 AudioOutput::heardTime() const
{
    // The snapshot the sound thread published, extrapolated: no lock, no
    // call into the sound server.
    if (!d->stream || !d->clock)
        return -1;
    return d->clock->heardTime();
}

qint64 AudioOutput::framesWritten() const
{
    return d->totalWritten;
}

qint64 AudioOutput::paddingFrames() const
{
    return d->padding;
}

void AudioOutput::setGain(float gain)
{
    d->gain = gain >= 0.0f ? gain : 0.0f;
}

} // namespace TW
