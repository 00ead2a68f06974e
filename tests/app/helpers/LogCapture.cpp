#include "LogCapture.h"

#include <QMutex>
#include <QtGlobal>

namespace TW::test {

namespace {

QMutex g_mutex;
QStringList g_lines;

void recordMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QMutexLocker lock(&g_mutex);
    g_lines << message;
}

} // namespace

void installLogCapture()
{
    qInstallMessageHandler(recordMessage);
}

void removeLogCapture()
{
    qInstallMessageHandler(nullptr);
}

void clearLog()
{
    QMutexLocker lock(&g_mutex);
    g_lines.clear();
}

QStringList logLines()
{
    QMutexLocker lock(&g_mutex);
    return g_lines;
}

bool logged(const QString &start)
{
    for (const QString &line : logLines()) {
        if (line.startsWith(start))
            return true;
    }
    return false;
}

} // namespace TW::test
