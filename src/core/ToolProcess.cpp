#include "core/ToolProcess.h"

#include "core/Util.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace TW {

namespace {

// The guard of a whole-group run: it starts the tool (its arguments after
// the guard's own name, never read as shell text), and when this program
// ends the kernel sends it SIGTERM, on which it kills its process group:
// the tool, everything the tool started, and itself. A tool ended by a
// signal is reported the same way, so a crash stays a crash.
const char GuardScript[] =
    "trap 'kill -KILL 0' TERM HUP\n"
    "\"$@\" &\n"
    "wait $!\n"
    "s=$?\n"
    "if [ \"$s\" -gt 128 ] && [ \"$s\" -lt 160 ]; then\n"
    "  trap - TERM HUP\n"
    "  ulimit -c 0\n"
    "  kill -$((s - 128)) $$\n"
    "fi\n"
    "exit \"$s\"\n";

// A line given out at once when a tool writes this much without a line end.
constexpr qsizetype MaxLineBytes = 1 << 20;
// How much of the error output is kept for errorTail().
constexpr qsizetype ErrorKeepBytes = 16384;

} // namespace

ToolProcess::ToolProcess(QObject *parent) : QObject(parent)
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this,
            [this] { readChannel(QProcess::StandardOutput, false); });
    connect(&m_process, &QProcess::readyReadStandardError, this,
            [this] { readChannel(QProcess::StandardError, false); });
    connect(&m_process, &QProcess::finished, this, &ToolProcess::onFinished);
    connect(&m_process, &QProcess::errorOccurred, this, &ToolProcess::onError);
}

ToolProcess::~ToolProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    blockSignals(true);
    m_process.blockSignals(true);
    signalGroup(SIGTERM);
    if (!m_process.waitForFinished(30000)) {
        signalGroup(SIGKILL);
        m_process.waitForFinished(-1);
    }
}

void ToolProcess::setProgram(const QString &nameOrPath) { m_program = nameOrPath; }
QString ToolProcess::program() const { return m_program; }
void ToolProcess::setArguments(const QStringList &arguments) { m_arguments = arguments; }
QStringList ToolProcess::arguments() const { return m_arguments; }
void ToolProcess::setWorkingDirectory(const QString &folder) { m_process.setWorkingDirectory(folder); }
void ToolProcess::setProcessEnvironment(const QProcessEnvironment &environment)
{
    m_process.setProcessEnvironment(environment);
}
void ToolProcess::setWholeGroup(bool on) { m_wholeGroup = on; }
void ToolProcess::setKeepOutput(bool on) { m_keepOutput = on; }

bool ToolProcess::isRunning() const { return m_process.state() != QProcess::NotRunning; }
ToolProcess::Verdict ToolProcess::verdict() const { return m_verdict; }
int ToolProcess::exitCode() const { return m_exitCode; }
qint64 ToolProcess::processId() const { return m_process.processId(); }
QString ToolProcess::errorString() const { return m_errorString; }
QByteArray ToolProcess::standardOutput() const { return m_output; }

QString ToolProcess::errorTail(int lines) const
{
    QStringList all = QString::fromUtf8(m_errors).split(QRegularExpression(QStringLiteral("[\r\n]+")),
                                                        Qt::SkipEmptyParts);
    while (all.size() > lines)
        all.removeFirst();
    return all.join(QLatin1Char('\n')).trimmed();
}

QString ToolProcess::describe(Verdict verdict, int exitCode)
{
    switch (verdict) {
    case Succeeded:
        return tr("exit status 0");
    case NonZeroExit:
        return tr("exit status %1").arg(exitCode);
    case Crashed:
        return tr("the program crashed");
    case FailedToStart:
        return tr("the program could not be started");
    case Cancelled:
        return tr("the program was stopped");
    case TimedOut:
        return tr("the program took too long");
    case NotRun:
        break;
    }
    return tr("the program has not ended");
}

QString ToolProcess::describe() const
{
    QString why = describe(m_verdict, m_exitCode);
    const QString tail = m_verdict == FailedToStart ? m_errorString : errorTail();
    if (!tail.isEmpty())
        why += QStringLiteral(":\n") + tail;
    return why;
}

void ToolProcess::start()
{
    m_ended = false;
    m_timedOut = false;
    m_verdict = NotRun;
    m_exitCode = -1;
    m_errorString.clear();
    m_pending[0].clear();
    m_pending[1].clear();
    m_output.clear();
    m_errors.clear();

    if (m_cancelled) {
        QMetaObject::invokeMethod(this, [this] { end(Cancelled); }, Qt::QueuedConnection);
        return;
    }
    const QString path = m_program.contains(QLatin1Char('/')) ? m_program : Util::externalProgram(m_program);
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable()) {
        // Not started at all: a start that fails for want of the program
        // leaves a pipe open in QProcess, one per attempt.
        m_errorString = tr("\"%1\" was not found or is not executable").arg(m_program);
        QMetaObject::invokeMethod(this, [this] { end(FailedToStart); }, Qt::QueuedConnection);
        return;
    }

    const pid_t parent = ::getpid();
    const int deathSignal = m_wholeGroup ? SIGTERM : SIGKILL;
    m_process.setChildProcessModifier([parent, deathSignal] {
        // Runs in the child before exec: only async-signal-safe calls.
        ::setpgid(0, 0);
        // A signal this program ignores or blocks would stay so in the
        // tool, and a shell cannot trap a signal ignored when it started.
        struct sigaction dfl = {};
        dfl.sa_handler = SIG_DFL;
        ::sigaction(SIGTERM, &dfl, nullptr);
        ::sigaction(SIGHUP, &dfl, nullptr);
        ::sigaction(SIGINT, &dfl, nullptr);
        ::sigaction(SIGPIPE, &dfl, nullptr);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::prctl(PR_SET_PDEATHSIG, deathSignal);
        if (::getppid() != parent)
            ::_exit(127); // this program ended before the line above
    });
    if (m_wholeGroup) {
        m_process.start(QStringLiteral("/bin/sh"),
                        QStringList{QStringLiteral("-c"), QString::fromLatin1(GuardScript),
                                    QStringLiteral("tarnwell-tool"), path}
                            + m_arguments,
                        QIODevice::ReadOnly);
    } else {
        // Standard input stays closed: nothing is ever written to a tool.
        m_process.start(path, m_arguments, QIODevice::ReadOnly);
    }
}

ToolProcess::Verdict ToolProcess::run(int timeoutMs, bool processEvents)
{
    start();
    if (m_process.state() == QProcess::NotRunning && !m_ended) {
        // Refused before starting (missing program, or cancelled): the
        // queued end is given now instead.
        end(m_cancelled ? Cancelled : FailedToStart);
        return m_verdict;
    }
    QElapsedTimer clock;
    clock.start();
    bool killed = false;
    while (!m_ended) {
        if (!killed && m_cancelled) {
            signalGroup(SIGKILL);
            killed = true;
        }
        if (!killed && timeoutMs >= 0 && clock.elapsed() > timeoutMs) {
            m_timedOut = true;
            signalGroup(SIGKILL);
            killed = true;
        }
        if (m_process.state() == QProcess::NotRunning) {
            if (!m_ended)
                end(m_cancelled ? Cancelled : FailedToStart);
            break;
        }
        m_process.waitForFinished(processEvents ? 20 : 50);
        if (processEvents && !m_ended)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    return m_verdict;
}

void ToolProcess::cancel()
{
    m_cancelled = true;
    if (QThread::currentThread() == thread()) {
        signalGroup(SIGKILL);
        return;
    }
    // Killed by the owning thread: a blocking run() sees the flag within
    // its next step, an asynchronous one gets this call from its loop.
    QMetaObject::invokeMethod(this, [this] { signalGroup(SIGKILL); }, Qt::QueuedConnection);
}

void ToolProcess::terminate()
{
    m_cancelled = true;
    signalGroup(SIGTERM);
}

bool ToolProcess::waitForFinished(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    return m_process.waitForFinished(timeoutMs);
}

void ToolProcess::signalGroup(int signal)
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    const qint64 pid = m_process.processId();
    if (pid > 0)
        ::kill(-pid_t(pid), signal);
    // Before the child has made its group, only the child itself is there.
    if (signal == SIGKILL)
        m_process.kill();
}

void ToolProcess::readChannel(QProcess::ProcessChannel channel, bool flush)
{
    const bool isError = channel == QProcess::StandardError;
    const QByteArray chunk = isError ? m_process.readAllStandardError() : m_process.readAllStandardOutput();
    if (isError) {
        m_errors += chunk;
        if (m_errors.size() > 2 * ErrorKeepBytes)
            m_errors = m_errors.right(ErrorKeepBytes);
    } else if (m_keepOutput) {
        m_output += chunk;
        return;
    }
    QByteArray &buffer = m_pending[isError ? 1 : 0];
    buffer += chunk;
    qsizetype start = 0;
    QStringList lines;
    for (qsizetype i = 0; i < buffer.size(); ++i) {
        const char c = buffer.at(i);
        if (c != '\n' && c != '\r' && i - start < MaxLineBytes)
            continue;
        lines << QString::fromUtf8(buffer.constData() + start, i - start).trimmed();
        start = (c == '\n' || c == '\r') ? i + 1 : i;
    }
    buffer.remove(0, start);
    if (flush && !buffer.isEmpty()) {
        lines << QString::fromUtf8(buffer).trimmed();
        buffer.clear();
    }
    for (const QString &line : std::as_const(lines)) {
        if (line.isEmpty())
            continue;
        if (isError)
            emit errorLine(line);
        else
            emit outputLine(line);
    }
}

void ToolProcess::onFinished(int exitCode, QProcess::ExitStatus status)
{
    readChannel(QProcess::StandardError, true);
    readChannel(QProcess::StandardOutput, true);
    m_exitCode = exitCode;
    if (m_timedOut)
        end(TimedOut);
    else if (m_cancelled)
        end(Cancelled);
    else if (status == QProcess::CrashExit)
        end(Crashed);
    else
        end(exitCode == 0 ? Succeeded : NonZeroExit);
}

void ToolProcess::onError(QProcess::ProcessError error)
{
    // Crashes and kills end through finished; a program that could not be
    // started never finishes.
    if (error != QProcess::FailedToStart)
        return;
    m_errorString = m_process.errorString();
    end(m_cancelled ? Cancelled : FailedToStart);
}

void ToolProcess::end(Verdict verdict)
{
    if (m_ended)
        return;
    m_ended = true;
    m_verdict = verdict;
    emit finished(verdict);
}

} // namespace TW
