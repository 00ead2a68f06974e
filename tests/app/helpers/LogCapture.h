#pragma once

#include <QString>
#include <QStringList>

namespace TW::test {

// Keeps every log line of the process in memory, so a test can check which
// controller slots and commands ran (they log their names).
void installLogCapture();
void removeLogCapture();
void clearLog();
QStringList logLines();
// True when a line since the last clear starts with the given text.
bool logged(const QString &start);

} // namespace TW::test
