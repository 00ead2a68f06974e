#include "io/OldProjectForm.h"

#include <QHash>
#include <QList>
#include <QObject>

#include <QStringList>

#include <cmath>
#include <limits>

namespace TW {

namespace {

// Where a value was read: its text and its line, for the messages.
struct Entry
{
    QString value;
    int line = 0;
};

// A value as a number: text that does not read as one counts as 0. Values
// the program cannot play or hold are refused: not finite, or outside
// [low, high].
bool number(const Entry &entry, const char *key, double low, double high, double *out, QString *error)
{
    bool ok = false;
    double value = entry.value.toDouble(&ok);
    if (!ok)
        value = 0.0;
    if (!std::isfinite(value)) {
        *error = QObject::tr("line %1: \"%2\" is not a number for \"%3\"")
                     .arg(entry.line)
                     .arg(entry.value, QLatin1String(key));
        return false;
    }
    if (value < low || value > high) {
        *error = QObject::tr("line %1: \"%2\" is %3, outside %4 to %5")
                     .arg(entry.line)
                     .arg(QLatin1String(key))
                     .arg(value)
                     .arg(low)
                     .arg(high);
        return false;
    }
    *out = value;
    return true;
}

} // namespace

QTime OldProjectForm::timeOf(double seconds)
{
    const double whole = std::trunc(seconds);
    const int ms = int(whole) * 1000 + int((seconds - whole) * 1000.0);
    return QTime(0, 0).addMSecs(ms);
}

int OldProjectForm::frameOf(const QTime &time, double fps)
{
    return int(double(QTime(0, 0).secsTo(time)) * fps);
}

bool OldProjectForm::parse(const QByteArray &bytes, OldProjectForm *out, QString *error)
{
    QByteArray text = bytes;
    const int zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.first().trimmed() != Header) {
        *error = QObject::tr("it does not begin with \"%1\"").arg(QLatin1String(Header));
        return false;
    }

    // A line counts only when "=" splits it into exactly two parts, which
    // are taken as they stand: "tempo = 5" has the key "tempo " (no key of
    // ours) and a value that holds "=" makes its line count for nothing.
    QHash<QString, Entry> entries;
    for (int i = 1; i < lines.size(); ++i) {
        const QString line = QString::fromLatin1(lines.at(i)).trimmed();
        const QStringList parts = line.split(QLatin1Char('='));
        if (parts.size() != 2)
            continue;
        entries.insert(parts.at(0).toLower(), Entry{parts.at(1), i + 1});
    }

    // "avifullpath" wins over "flvfullpath" wherever it stands.
    const Entry path = entries.contains(QStringLiteral("avifullpath")) && !entries.value("avifullpath").value.isEmpty()
                           ? entries.value(QStringLiteral("avifullpath"))
                           : entries.value(QStringLiteral("flvfullpath"));
    if (path.value.isEmpty()) {
        *error = QObject::tr("it names no media file (\"avifullpath\")");
        return false;
    }
    for (const char *key : {"pitch", "tempo", "startloop", "endloop"}) {
        if (!entries.contains(QLatin1String(key))) {
            if (!qstrcmp(key, "endloop") && entries.contains(QStringLiteral("startloop")))
                *error = QObject::tr("line %1: the loop that starts here has no end (\"endloop\")")
                             .arg(entries.value(QStringLiteral("startloop")).line);
            else
                *error = QObject::tr("it has no \"%1\"").arg(QLatin1String(key));
            return false;
        }
    }
    // Pitch and tempo within what the program plays (those of its project
    // files: -12 to 12 semitones, 25 % to 200 %); loop times within what a
    // count of milliseconds holds. A time of day wraps at 24 hours.
    const double longest = double(std::numeric_limits<int>::max() / 1000 - 1);
    double start = 0.0, end = 0.0;
    if (!number(entries.value("pitch"), "pitch", -12.0, 12.0, &out->pitch, error)
        || !number(entries.value("tempo"), "tempo", -75.0, 100.0, &out->tempo, error)
        || !number(entries.value("startloop"), "startloop", -longest, longest, &start, error)
        || !number(entries.value("endloop"), "endloop", -longest, longest, &end, error))
        return false;
    out->loopStart = timeOf(start);
    out->loopEnd = timeOf(end);
    // A loop that does not end after its start cannot be played.
    if (out->loopEnd <= out->loopStart) {
        *error = QObject::tr("line %1: the loop ends at %2 s, not after its start at %3 s")
                     .arg(entries.value(QStringLiteral("endloop")).line)
                     .arg(end)
                     .arg(start);
        return false;
    }
    out->mediaPath = path.value;
    return true;
}

} // namespace TW
