#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <memory>

namespace TW {

// The one destination of every diagnostic line. While enabled, each message
// is appended as one time-stamped line to the day's log file
// "log_yyyy-MM-dd.txt" in the save folder (the temporary folder, or else
// "<home>/<application name> <version>"). When the folder cannot be made or
// the file cannot be opened the message goes to the error output instead.
// Created disabled; one per process through Singleton<Logger>.
class Logger : public QObject
{
    Q_OBJECT

public:
    Logger();
    ~Logger() override;

    bool isEnabled() const;

    // The message handler the program installs with qInstallMessageHandler:
    // hands every message to the logger and aborts on a fatal one. Warnings,
    // critical, fatal and information messages also go on to the handler
    // that was installed before (Qt's own, which writes to the error output
    // or the system log), whether or not the log file is on; debug messages
    // only go to the log file. When the logger no longer exists (a message
    // during exit, after the singletons are gone) the message goes to the
    // error output.
    static void messageHandler(QtMsgType type, const QMessageLogContext &context,
                               const QString &message);
    // Installs messageHandler, keeping the handler it replaces to pass
    // messages on to.
    static void installMessageHandler();

    // The name written in front of a line of that level ("Log", "Warning",
    // "System", "Fatal", "Info").
    static QString levelName(QtMsgType type);

public slots:
    // Appends one line for the message to the day's log file; does nothing
    // while disabled. Callable from any thread. The text is UTF-8.
    void writeOutput(QtMsgType type, const char *msg);
    void writeOutput(QtMsgType type, const QString &msg);
    // The folder for the log files; tested and created at the next message.
    void setSaveDir(const QString &dirPath);
    void setEnabled(bool enabled = true);
    void toggleEnabled();

public:
    // The folder the next message is written to (after the fallback).
    QString saveDir() const;

private:
    class LoggerImpl;
    std::unique_ptr<LoggerImpl> d;
};

} // namespace TW
