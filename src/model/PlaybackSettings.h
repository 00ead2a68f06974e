#pragma once

#include "model/VideoLoop.h"

#include <QSharedPointer>
#include <QString>
#include <QVector>

namespace TW {

class Media;
class OptionsHolder;

// Tempo (percent), pitch (semitones) and volume (percent) in force at one
// place of the timeline.
struct PlaybackValues
{
    float tempo = 100.0f;
    float pitch = 0.0f;
    float volume = 100.0f;
};

// What playback needs of a project's settings, taken at one moment and never
// changed afterwards: the project's tempo, pitch and volume and a copy of
// every loop (range, values, count, delay; each copy keeps its loop's id).
// The project hands a new one to the player at every change, so the engine
// reads settings without touching the model.
class PlaybackSettings
{
public:
    PlaybackValues project;
    // In the timeline's order (ascending start frame).
    QVector<QSharedPointer<const VideoLoop>> loops;

    // The loop whose range holds the frame (both ends count), the first of
    // them in start order; null when none does.
    QSharedPointer<const VideoLoop> loopAt(qint64 frame) const;
    QSharedPointer<const VideoLoop> loopWithId(const QString &id) const;

    // The values in force at the frame: the loop's there, else the
    // project's.
    PlaybackValues valuesAt(qint64 frame) const;
    // The values a loop plays with: its tempo, pitch and volume.
    static PlaybackValues valuesOf(const VideoLoop &loop);

    // A snapshot of a project's settings and its timeline's loops (no loops
    // when media is null).
    static QSharedPointer<const PlaybackSettings> of(const Media *media, const OptionsHolder &options);
    // Project values only, no loops.
    static QSharedPointer<const PlaybackSettings> withValues(float tempo, float pitch, float volume);
};

using PlaybackSettingsPtr = QSharedPointer<const PlaybackSettings>;

} // namespace TW
