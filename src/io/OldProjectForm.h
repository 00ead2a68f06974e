#pragma once

#include <QByteArray>
#include <QString>
#include <QTime>

namespace TW {

// A project of the older text form: a "[Tarnwell Project]" line, then
// key=value lines naming the media file, the project pitch and tempo and
// one loop. It is read, never written.
//
// Keys are read without regard to case. A line counts only when it holds
// exactly one "=", and the parts are not trimmed: blanks around the "=" or
// a value holding "=" make the line count for nothing. A value that is not
// a number reads as 0. The tempo is a change in percent points (-25 is
// 75 %). Loop times are times of day and wrap at 24 hours.
struct OldProjectForm
{
    static constexpr const char *Header = "[Tarnwell Project]";

    QString mediaPath;
    double pitch = 0.0; // semitones
    double tempo = 0.0; // percent points from normal speed
    QTime loopStart;
    QTime loopEnd;

    // Reads a whole file's text. False, with a message naming the line
    // where one can be named, for anything but a complete project of this
    // form with values the program can play (pitch -12 to 12, tempo -75 to
    // 100, finite loop times ending after they start); out is then left
    // unspecified.
    static bool parse(const QByteArray &text, OldProjectForm *out, QString *error);

    // Seconds as a time of day: whole seconds and truncated milliseconds.
    static QTime timeOf(double seconds);
    // A loop time as a frame: whole seconds times the frame rate.
    static int frameOf(const QTime &time, double fps);
};

} // namespace TW
