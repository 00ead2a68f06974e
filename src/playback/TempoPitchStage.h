#pragma once

#include "playback/AudioFeed.h"

#include <QMutex>
#include <QString>

#include <memory>

namespace TW {

class PitchTempoFilter;

// The sound of one fragment: its track's extracted audio file through the
// tempo and pitch filter. Owned by the fragment player; pulled by the
// feed's reader thread (never by the sound device's callback). The audio
// mutex serialises the reader's pulls and the graphical thread's setters.
class TempoPitchStage : public AudioStage
{
public:
    TempoPitchStage(int sampleRate, int channels);
    ~TempoPitchStage() override;
    TempoPitchStage(const TempoPitchStage &) = delete;
    TempoPitchStage &operator=(const TempoPitchStage &) = delete;

    void setSourceFile(const QString &fileName);
    QString sourceFile() const;
    // Settings of the fragment player; a pull changes them to what the feed
    // asks for.
    void setTempo(float percent);
    void setPitch(float semitones);
    void setVolume(float percent);

    // For inspection; the caller must not pull while the feed plays.
    PitchTempoFilter *getFilter() const;

    void restartAt(qint64 sourceTime) override;
    size_t pullAudio(qint16 *out, size_t frames, float tempo, float pitch, float gain) override;
    size_t latencyFrames() const override;

private:
    mutable QMutex audioMutex;
    std::unique_ptr<PitchTempoFilter> filter;
    // What the filter has now, whoever set it: a pull changes only what
    // differs.
    float tempo = 100.0f;
    float pitch = 0.0f;
    float gain = -1.0f;
};

} // namespace TW
