#pragma once

// What every Qt-based fuzzing target sets up once: an application object
// (file names, processes and timers want one) and silence for the readers'
// messages, which would otherwise cost more than the reading itself.

#include <QCoreApplication>
#include <QtGlobal>

#include <cstdlib>

namespace TW::fuzz {

inline void quietMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

inline void setUp(int *argc, char ***argv)
{
    // Any program the code under test would start is looked for in an
    // empty search path, so nothing is started.
    setenv("PATH", "/nonexistent", 1);
    qInstallMessageHandler(quietMessages);
    static QCoreApplication app(*argc, *argv);
}

} // namespace TW::fuzz
