#pragma once

#include <QByteArray>
#include <QString>

namespace TW::test {

// Points HOME and the XDG folders at a private temporary folder for the rest
// of the process, so tests never read or write the user's settings, caches or
// logs. Call it first thing in initTestCase(), before any settings object is
// made. Returns the new home folder; it is removed when the process exits.
QString isolateHome();

// The build's folder of executables (where the application's helper programs
// and data files are laid out).
QString binDir();

// The source tree's root folder.
QString sourceDir();

// Writes bytes as the whole content of a file; returns the path, or an
// empty string when the file could not be written in full.
QString writeFile(const QString &path, const QByteArray &bytes);
// A file's whole content; empty when it cannot be read.
QByteArray readFile(const QString &path);

// Makes the offscreen platform show one screen of the given size (96 dpi,
// no scaling) to the application made after this call. Returns false when
// the screen's description could not be written.
bool useOffscreenScreen(const QString &name, int width, int height);

} // namespace TW::test
