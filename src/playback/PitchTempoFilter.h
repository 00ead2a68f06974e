#pragma once

#include "core/Time.h"

#include <QString>

#include <memory>

namespace TW {

class MediaTrack;

// Produces the audio that is heard: reads a fragment's extracted audio (raw,
// headerless, interleaved signed 16-bit little-endian PCM at the filter's
// rate and channel count), changes its tempo and pitch with Rubber Band in
// real-time mode and hands back processed blocks. At 100 % and no pitch
// change Rubber Band is passed by and the source is copied (gain applied):
// chosen when reading (re)starts; leaving 100 % hands over to Rubber Band
// at the next frame read.
//
// Not thread-safe: the owner serialises every call (the data provider holds
// its audio mutex around pulls and setters).
class PitchTempoFilter
{
public:
    enum Engine {
        EngineFiner,  // Rubber Band R3, the default
        EngineFaster, // Rubber Band R2, lighter
    };

    PitchTempoFilter(int sampleRate, int bytesPerSample, int channels);
    virtual ~PitchTempoFilter();
    PitchTempoFilter(const PitchTempoFilter &) = delete;
    PitchTempoFilter &operator=(const PitchTempoFilter &) = delete;

    enum PitchMethod {
        PitchConsistent, // pitch may change while playing; the default
        PitchFast,       // cheaper, for a pitch that stays fixed
    };

    // Choose the engine and its pitch method; they take effect at the next
    // initialise().
    void setEngine(Engine engine);
    void setPitchMethod(PitchMethod method);

    // Creates the engine. On failure logs "Could not create Rubber Band
    // instance" and returns false; pulls then produce nothing.
    bool initialise();
    bool isInitialised() const;

    // Opens the raw sample file read-only; logs "No source file present"
    // when it cannot be opened (pulls then produce nothing).
    void setSourceFileName(const QString &fileName);
    QString getSourceFileName() const;

    // Moves reading to time t (rounded down to a whole frame) and resets the
    // engine so nothing buffered from the old position is heard.
    void setStartPosition(Time t);
    // The start byte, not a time.
    qint64 getStartPosition() const;

    void setMediaTrack(MediaTrack *track);
    // Microseconds of source read since the start position.
    qint64 getCurrentTimePosition() const;
    // Resets the engine's buffered state without moving.
    void resetCache();

    void setVolume(float percent);
    float getGain() const;
    void setPitch(float semitones);
    void setTempo(float percent);
    void setProperties(float semitones, float percent);

    // Playback form: up to frames interleaved 16-bit frames in a new buffer
    // (delete[]) behind out; values beyond full scale are clamped. Returns
    // the frames produced (0 at the end of the source, or without engine).
    unsigned long long getProcessedSamples(unsigned long long frames, char **out);
    // Device form: up to frames interleaved 16-bit frames written into out,
    // through buffers kept from call to call (after the first calls of a
    // size, nothing is allocated). Returns the frames produced.
    size_t pullInterleaved(qint16 *out, size_t frames);
    // Export form: out holds one float array per channel, each with room for
    // frames values; the values are not clamped. Returns the frames produced.
    unsigned long long getProcessedSamples(unsigned long long frames, float **out);

    // Frames the engine holds between what goes in and what comes out: after
    // a tempo change this many frames still come out at the old tempo.
    size_t latencyFrames() const;
    // True while the source is copied past the engine.
    bool isBypassed() const;

    int getSampleRate() const;
    int getChannels() const;
    int getBytesPerSample() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
