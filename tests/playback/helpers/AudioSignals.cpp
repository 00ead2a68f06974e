#include "AudioSignals.h"

#include <QFile>

#include <cmath>

namespace TW::test {

QVector<qint16> sine(double hz, double seconds, int channels, double amplitude, int rate)
{
    const int frames = int(seconds * rate);
    QVector<qint16> out(frames * channels);
    for (int f = 0; f < frames; ++f) {
        const auto v = qint16(std::lround(amplitude * 32767.0 * std::sin(2 * M_PI * hz * f / rate)));
        for (int c = 0; c < channels; ++c)
            out[f * channels + c] = v;
    }
    return out;
}

bool writeRaw(const QString &path, const QVector<qint16> &samples)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray bytes(samples.size() * 2, '\0');
    for (int i = 0; i < samples.size(); ++i) {
        const auto u = quint16(samples[i]);
        bytes[2 * i] = char(u & 0xff);
        bytes[2 * i + 1] = char(u >> 8);
    }
    return file.write(bytes) == bytes.size();
}

QVector<qint16> readRaw(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    QVector<qint16> out(bytes.size() / 2);
    for (int i = 0; i < out.size(); ++i)
        out[i] = qint16(quint16(uchar(bytes[2 * i])) | (quint16(uchar(bytes[2 * i + 1])) << 8));
    return out;
}

QVector<double> channel(const QVector<qint16> &interleaved, int channels, int which)
{
    QVector<double> out(interleaved.size() / channels);
    for (int i = 0; i < out.size(); ++i)
        out[i] = interleaved[i * channels + which];
    return out;
}

double toneFrequency(const QVector<double> &mono, int rate)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (int i = 1; i < mono.size(); ++i) {
        if (mono[i - 1] < 0 && mono[i] >= 0) {
            const double at = (i - 1) + (-mono[i - 1]) / (mono[i] - mono[i - 1]);
            if (first < 0)
                first = at;
            else
                ++crossings;
            last = at;
        }
    }
    if (crossings == 0)
        return 0;
    return crossings * rate / (last - first);
}

double tonePower(const QVector<double> &mono, double hz, int rate)
{
    const double w = 2 * M_PI * hz / rate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (double x : mono) {
        const double s = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return (s1 * s1 + s2 * s2 - coeff * s1 * s2) / (double(mono.size()) * mono.size());
}

} // namespace TW::test
