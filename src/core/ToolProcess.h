#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <atomic>

namespace TW {

// One run of an external program (ffmpeg, ffprobe, a bundled script, the
// downloader), the only way the program starts one.
//
// - The program is looked up beside the executable first, then on PATH
//   (Util::externalProgram); arguments are a list and never pass through a
//   shell, so no file name is ever read as shell text.
// - Output is delivered in whole lines, split on CR and on LF (ffmpeg ends
//   its progress lines with a CR), trimmed, empty lines left out; a last
//   line without its end is delivered before finished(). Standard output may
//   be kept whole instead (binary or JSON output).
// - The end is one verdict: succeeded (exit 0), non-zero exit, crashed,
//   failed to start, cancelled, timed out.
// - The tool dies with this program however it ends (SIGKILL included):
//   the kernel signals it when the thread that started it ends, so start it
//   on a thread that outlives the run (the graphical thread, or the worker
//   that waits for it). It runs in a process group of its own, and cancel()
//   kills the whole group. A script that starts tools of its own is run
//   with setWholeGroup(true): a small guard shell is then its parent, which
//   kills the whole group when this program goes.
//
// Threads: the object belongs to the thread that made it; start(), run()
// and the signals happen there. cancel() may be called from any thread.
// One object serves one run (a cancelled one stays cancelled); never
// delete it from its own signals (deleteLater() is fine).
class ToolProcess : public QObject
{
    Q_OBJECT

public:
    enum Verdict {
        NotRun,        // not started yet, or still running
        Succeeded,     // exit status 0
        NonZeroExit,   // exited with another status (exitCode())
        Crashed,       // ended by a signal it did not ask for
        FailedToStart, // missing, not executable, or exec failed
        Cancelled,     // cancel() or terminate() ended it
        TimedOut,      // run()'s limit was reached and it was killed
    };
    Q_ENUM(Verdict)

    explicit ToolProcess(QObject *parent = nullptr);
    // A tool still running is asked to terminate, then killed after 30 s;
    // nothing more is signalled.
    ~ToolProcess() override;

    // A bare name ("ffmpeg") is looked up; a path is taken as it is.
    void setProgram(const QString &nameOrPath);
    QString program() const;
    void setArguments(const QStringList &arguments);
    QStringList arguments() const;
    void setWorkingDirectory(const QString &folder);
    void setProcessEnvironment(const QProcessEnvironment &environment);
    // Runs the tool under a guard that kills its whole process group when
    // this program ends (for scripts that start programs of their own).
    void setWholeGroup(bool on);
    // Standard output is kept whole (standardOutput()) instead of being
    // split into lines.
    void setKeepOutput(bool on);

    // Starts the tool and returns at once; finished() follows from the event
    // loop, also when the tool could not be started.
    void start();
    // Starts the tool and blocks until it ends or timeoutMs (-1: no limit)
    // has passed. The signals are delivered meanwhile on this thread. With
    // processEvents, the thread's events (except user input) are handled
    // in between, so a window stays painted.
    Verdict run(int timeoutMs = -1, bool processEvents = false);
    // Kills the tool's whole process group; the verdict is Cancelled. Any
    // thread; a cancel before start() keeps the tool from starting.
    void cancel();
    // Asks the tool's group to end (SIGTERM); the verdict is Cancelled.
    // Owning thread only.
    void terminate();
    // Blocks until the tool has ended (without events); true when it has.
    bool waitForFinished(int timeoutMs);

    bool isRunning() const;
    Verdict verdict() const;
    int exitCode() const;
    qint64 processId() const;
    // Why it could not be started, when it could not.
    QString errorString() const;
    // The last lines (at most lines) the tool wrote on its error output.
    QString errorTail(int lines = 3) const;
    QByteArray standardOutput() const;
    // The verdict in words for messages: "exit status 1", "the program
    // crashed", ...
    QString describe() const;
    static QString describe(Verdict verdict, int exitCode);

signals:
    void outputLine(const QString &line);
    void errorLine(const QString &line);
    void finished(TW::ToolProcess::Verdict verdict);

private:
    void readChannel(QProcess::ProcessChannel channel, bool flush);
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onError(QProcess::ProcessError error);
    void end(Verdict verdict);
    void signalGroup(int signal);

    QProcess m_process;
    QString m_program;
    QStringList m_arguments;
    bool m_wholeGroup = false;
    bool m_keepOutput = false;
    bool m_ended = false;
    bool m_timedOut = false;
    std::atomic<bool> m_cancelled{false};
    std::atomic<qint64> m_pid{0};
    Verdict m_verdict = NotRun;
    int m_exitCode = -1;
    QString m_errorString;
    QByteArray m_pending[2];
    QByteArray m_output;
    QByteArray m_errors;
};

} // namespace TW
