#pragma once

#include <QByteArray>

namespace TW {

// Writes one short trace line of the playback engine, with a line break, to
// the standard output (not through the logger) and flushes it, while logging
// is switched on.
void playbackTrace(const QByteArray &line);
// Whether traces are written (to skip building costly lines).
bool playbackTraceEnabled();

} // namespace TW
