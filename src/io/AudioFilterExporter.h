#pragma once

#include "core/Time.h"

#include <QObject>
#include <QString>

#include <atomic>

namespace TW {

// Renders the audio of one export fragment: a span of a track's extracted
// audio (raw 16-bit samples at the project's rate and channel count) through
// the tempo and pitch stage into a 16-bit AIFF file. The file holds exactly
// the span's length at the tempo (source frames x 100 / tempo, rounded), so
// it is as long as the fragment's stretched picture; when the source ends
// early the rest is silence.
//
// exportFragment runs on the caller's thread (the export job's); stop() may
// come from any thread.
class AudioFilterExporter : public QObject
{
    Q_OBJECT

public:
    AudioFilterExporter();
    ~AudioFilterExporter() override;

    // Set by the owner before each fragment.
    float pitch = 0.0f;    // semitones
    float tempo = 100.0f;  // percent; 0, negative or not a number means 100
    float volume = 100.0f; // percent; 0 is silent

    // The project's rate (44100 when unset) and channel count (1 or 2).
    static int outputSampleRate();
    static int outputChannels();
    // Output frames that frames source frames become at the tempo.
    static qint64 stretchedFrames(qint64 frames, float tempo);
    // Source frames per block (4096) and the output frames they become.
    static int blockSize(float tempo);
    // A usable tempo: tempo itself when it is a positive number, else 100.
    static float usableTempo(float tempo);

    // Renders [start, start + length) of source into aiff. False, with
    // error() telling why, when the file cannot be written; a source that
    // cannot be read gives silence (logged). A stopped render returns false
    // with an empty error().
    // outputFrames, when not negative, is the length to write instead of the
    // span's stretched length: the stretched sound is cut or followed by
    // silence to fit (a picture of whole frames is matched this way).
    bool exportFragment(const QString &source, Time start, Time length, const QString &aiff,
                        qint64 outputFrames = -1);
    // Writes an AIFF file of silence of the given length.
    bool exportSilence(Time length, const QString &aiff, qint64 outputFrames = -1);
    QString error() const;

    // Makes the running and every later exportFragment end at its next block.
    void stop();
    bool isStopped() const;

signals:
    // Share of the current fragment done, in percent.
    void progressChanged(int percent);

private:
    std::atomic<bool> m_stop{false};
    QString m_error;
};

} // namespace TW
