#include "core/Logger.h"

#include "core/Singleton.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTextStream>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <cstdlib>

namespace TW {

namespace {

void writeToStderr(QtMsgType type, const QString &msg)
{
    const QByteArray line = QStringLiteral("%1: ").arg(Logger::levelName(type)).toLocal8Bit()
            + msg.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

// The handler installed before ours (Qt's default one): messages that matter
// outside the log file go on to it.
std::atomic<QtMessageHandler> s_previousHandler{nullptr};

QString fallbackFolder()
{
    return QDir::fromNativeSeparators(QDir::homePath() + QLatin1Char('/')
                                      + QCoreApplication::applicationName() + QLatin1Char(' ')
                                      + QCoreApplication::applicationVersion());
}

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

// yyyy-MM-dd and yyyy-MM-dd_hh:mm:ss, put together by hand: the format
// strings of QDate and QDateTime need locale data that is already gone when
// a message arrives during exit.
QString dateText(const QDate &date)
{
    return QStringLiteral("%1-%2-%3")
            .arg(date.year(), 4, 10, QLatin1Char('0'))
            .arg(twoDigits(date.month()), twoDigits(date.day()));
}

QString stampText(const QDateTime &moment)
{
    const QTime t = moment.time();
    return QStringLiteral("%1_%2:%3:%4")
            .arg(dateText(moment.date()), twoDigits(t.hour()), twoDigits(t.minute()),
                 twoDigits(t.second()));
}

} // namespace

class Logger::LoggerImpl
{
public:
    explicit LoggerImpl(Logger *owner) : owner(owner) {}

    Logger *owner;
    QString saveDir;
    QDate currentDate;
    QFile logFile;
    bool enabled = false;
    // One message is written whole before the next begins, and the folder
    // is not replaced while one is written.
    // Recursive: a message raised while a line is written re-enters. A
    // standard mutex, whose order the thread checker sees (Qt's own are
    // opaque to it).
    mutable std::recursive_mutex mutex;

    void write(QtMsgType type, const QString &msg)
    {
        std::lock_guard<std::recursive_mutex> lock(mutex);
        if (!enabled)
            return;
        const QDateTime now = QDateTime::currentDateTime();
        if (currentDate != now.date())
            currentDate = now.date();
        if (saveDir.isEmpty())
            saveDir = fallbackFolder();
        if (!QDir(saveDir).exists() && !QDir().mkpath(saveDir)) {
            saveDir.clear();
            writeToStderr(type, msg);
            return;
        }
        logFile.setFileName(QDir::fromNativeSeparators(
                saveDir + QLatin1Char('/')
                + QStringLiteral("log_%1.txt").arg(dateText(currentDate))));
        const QIODevice::OpenMode mode = logFile.exists()
                ? (QIODevice::Append | QIODevice::Text)
                : (QIODevice::WriteOnly | QIODevice::Text);
        if (!logFile.open(mode)) {
            writeToStderr(type, msg);
            return;
        }
        {
            QTextStream out(&logFile);
            out << Logger::levelName(type) << '(' << stampText(now) << "): " << msg
                << '\n';
            out.flush();
        }
        logFile.close();
    }
};

Logger::Logger() : QObject(nullptr), d(std::make_unique<LoggerImpl>(this))
{
    // Made on first use, which may be on any thread; it belongs to the
    // graphical thread so that connections to its slots are delivered there.
    if (QCoreApplication *app = QCoreApplication::instance())
        moveToThread(app->thread());
}

Logger::~Logger() = default;

QString Logger::levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("Log");
    case QtWarningMsg:
        return QStringLiteral("Warning");
    case QtCriticalMsg: // the same value as QtSystemMsg
        return QStringLiteral("System");
    case QtFatalMsg:
        return QStringLiteral("Fatal");
    case QtInfoMsg:
        return QStringLiteral("Info");
    }
    return QStringLiteral("Log");
}

void Logger::installMessageHandler()
{
    const QtMessageHandler previous = qInstallMessageHandler(&Logger::messageHandler);
    if (previous != &Logger::messageHandler)
        s_previousHandler = previous;
}

void Logger::messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Logger *logger = Singleton<Logger>::instance();
    if (!logger) {
        // Late message during exit: the logger is gone, and Qt's own handler
        // may be too.
        writeToStderr(type, message);
    } else {
        logger->writeOutput(type, message);
        // Warnings and worse reach the terminal or the journal whether or not
        // the log file is on; debug lines are the log file's alone.
        if (type != QtDebugMsg) {
            if (const QtMessageHandler previous = s_previousHandler.load())
                previous(type, context, message);
            else
                writeToStderr(type, message);
        }
    }
    if (type == QtFatalMsg)
        std::abort();
}

bool Logger::isEnabled() const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    return d->enabled;
}

void Logger::writeOutput(QtMsgType type, const char *msg)
{
    writeOutput(type, QString::fromUtf8(msg));
}

void Logger::writeOutput(QtMsgType type, const QString &msg)
{
    d->write(type, msg);
}

void Logger::setSaveDir(const QString &dirPath)
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->saveDir = dirPath;
}

void Logger::setEnabled(bool enabled)
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->enabled = enabled;
}

void Logger::toggleEnabled()
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->enabled = !d->enabled;
}

QString Logger::saveDir() const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    return d->saveDir.isEmpty() ? fallbackFolder() : d->saveDir;
}

} // namespace TW
