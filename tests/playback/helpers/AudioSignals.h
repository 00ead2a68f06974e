#pragma once

#include <QString>
#include <QVector>

namespace TW::test {

// Interleaved signed 16-bit samples of a sine (every channel the same).
QVector<qint16> sine(double hz, double seconds, int channels = 1, double amplitude = 0.5,
                     int rate = 44100);
// Writes samples as a raw little-endian file; returns false on failure.
bool writeRaw(const QString &path, const QVector<qint16> &samples);
// Reads a raw little-endian file.
QVector<qint16> readRaw(const QString &path);
// One channel of interleaved samples.
QVector<double> channel(const QVector<qint16> &interleaved, int channels, int which);
// Frequency of a (roughly) pure tone from its rising zero crossings,
// interpolated between samples.
double toneFrequency(const QVector<double> &mono, int rate = 44100);
// Power of one frequency in a block (Goertzel).
double tonePower(const QVector<double> &mono, double hz, int rate = 44100);

} // namespace TW::test
