// The tool runner: lines split on CR and LF, one verdict per way a run can
// end, cancel of a whole process group from any thread, and tools that die
// with a program killed by SIGKILL.
#include "core/ToolProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

using TW::ToolProcess;

namespace {

// Alive and not a zombie waiting for its parent (init, in a container,
// may take its time to reap).
bool alive(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return !(close > 0 && text.size() > close + 2 && text.at(close + 2) == 'Z');
}

// The pids a tool script wrote into a file (written under another name and
// renamed, so a half-written list is never read).
QList<qint64> pidsIn(const QString &path)
{
    QFile file(path);
    QList<qint64> pids;
    if (!file.open(QIODevice::ReadOnly))
        return pids;
    for (const QByteArray &word : file.readAll().simplified().split(' '))
        if (word.toLongLong() > 0)
            pids << word.toLongLong();
    return pids;
}

const char ChildMode[] = "TW_TOOL_CHILD_SCRIPT";
const char ChildGroup[] = "TW_TOOL_CHILD_GROUP";
const char ChildPidFile[] = "TW_TOOL_CHILD_PIDFILE";

// The "program" of the death test: starts its tool and waits to be killed.
int childMain(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ToolProcess tool;
    tool.setProgram(QStringLiteral("/bin/sh"));
    tool.setArguments({QStringLiteral("-c"), qEnvironmentVariable(ChildMode), QStringLiteral("tool"),
                       qEnvironmentVariable(ChildPidFile)});
    tool.setWholeGroup(qEnvironmentVariableIntValue(ChildGroup) != 0);
    tool.start();
    return app.exec();
}

} // namespace

class tst_ToolProcess : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static ToolProcess *shell(const QString &script, QObject *parent, bool wholeGroup = false)
    {
        auto *tool = new ToolProcess(parent);
        tool->setProgram(QStringLiteral("/bin/sh"));
        tool->setArguments({QStringLiteral("-c"), script});
        tool->setWholeGroup(wholeGroup);
        return tool;
    }

private slots:
    // Output arrives in whole lines whatever ends them and however the
    // pipe cuts it; a last line without its end still comes.
    void lines_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QStringList>("err");
        QTest::newRow("LF") << "printf 'one\\ntwo\\n'" << QStringList{"one", "two"} << QStringList{};
        QTest::newRow("CR progress") << "printf 'frame=1\\rframe=2\\rdone\\n'"
                                     << QStringList{"frame=1", "frame=2", "done"} << QStringList{};
        QTest::newRow("CRLF and blank lines") << "printf 'a\\r\\n\\n\\r\\nb\\r\\n'" << QStringList{"a", "b"}
                                              << QStringList{};
        QTest::newRow("no last line end") << "printf 'a\\nlast'" << QStringList{"a", "last"} << QStringList{};
        QTest::newRow("cut by the pipe") << "printf 'par'; sleep 0.2; printf 'ted\\rnext\\n'"
                                         << QStringList{"parted", "next"} << QStringList{};
        QTest::newRow("channels apart") << "printf 'o1\\n'; printf 'e1\\re2' >&2; printf 'o2'"
                                        << QStringList{"o1", "o2"} << QStringList{"e1", "e2"};
        QTest::newRow("UTF-8") << "printf '\\303\\251t\\303\\251\\n'" << QStringList{QStringLiteral(u"\u00e9t\u00e9")}
                               << QStringList{};
    }
    void lines()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, out);
        QFETCH(QStringList, err);
        for (const bool blocking : {true, false}) {
            ToolProcess *tool = shell(script, this);
            QStringList gotOut, gotErr;
            connect(tool, &ToolProcess::outputLine, this, [&](const QString &l) { gotOut << l; });
            connect(tool, &ToolProcess::errorLine, this, [&](const QString &l) { gotErr << l; });
            if (blocking) {
                QCOMPARE(tool->run(60000), ToolProcess::Succeeded);
            } else {
                QSignalSpy done(tool, &ToolProcess::finished);
                tool->start();
                QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
            }
            QCOMPARE(gotOut, out);
            QCOMPARE(gotErr, err);
            delete tool;
        }
    }

    void keptOutput()
    {
        ToolProcess tool;
        tool.setProgram(QStringLiteral("/bin/sh"));
        tool.setArguments({QStringLiteral("-c"), QStringLiteral("printf 'a\\rb\\0c\\n'; printf 'why\\n' >&2; exit 2")});
        tool.setKeepOutput(true);
        QSignalSpy lines(&tool, &ToolProcess::outputLine);
        QCOMPARE(tool.run(60000), ToolProcess::NonZeroExit);
        QCOMPARE(tool.standardOutput(), QByteArray("a\rb\0c\n", 6));
        QCOMPARE(lines.count(), 0);
        QCOMPARE(tool.exitCode(), 2);
        QCOMPARE(tool.errorTail(), QStringLiteral("why"));
        QVERIFY(tool.describe().contains(QStringLiteral("exit status 2")));
    }

    // Each way a run ends is its own verdict, the same blocking or not, with
    // or without the group guard.
    void verdicts_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("exit 0") << "/bin/sh" << "exit 0" << int(ToolProcess::Succeeded) << 0;
        QTest::newRow("exit 3") << "/bin/sh" << "exit 3" << int(ToolProcess::NonZeroExit) << 3;
        QTest::newRow("exit 255") << "/bin/sh" << "exit 255" << int(ToolProcess::NonZeroExit) << 255;
        QTest::newRow("crash") << "/bin/sh" << "ulimit -c 0; kill -SEGV $$" << int(ToolProcess::Crashed) << -1;
        QTest::newRow("missing") << "/nonexistent/tool" << "" << int(ToolProcess::FailedToStart) << -1;
        QTest::newRow("missing bare name") << "tarnwell-no-such-tool" << "" << int(ToolProcess::FailedToStart)
                                           << -1;
        QTest::newRow("not executable") << "/etc/passwd" << "" << int(ToolProcess::FailedToStart) << -1;
    }
    void verdicts()
    {
        QFETCH(QString, program);
        QFETCH(QString, script);
        QFETCH(int, verdict);
        QFETCH(int, exitCode);
        for (const bool wholeGroup : {false, true}) {
            for (const bool blocking : {true, false}) {
                const QByteArray where = QByteArray(wholeGroup ? "group " : "plain ") + (blocking ? "run" : "start");
                ToolProcess tool;
                tool.setProgram(program);
                tool.setArguments({QStringLiteral("-c"), script});
                tool.setWholeGroup(wholeGroup);
                QSignalSpy done(&tool, &ToolProcess::finished);
                if (blocking)
                    QVERIFY2(tool.run(60000) == verdict, where);
                else
                    tool.start();
                QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
                QVERIFY2(tool.verdict() == verdict, where);
                QVERIFY2(done.first().first().value<ToolProcess::Verdict>() == verdict, where);
                if (exitCode >= 0)
                    QVERIFY2(tool.exitCode() == exitCode, where);
                QVERIFY(!tool.describe().isEmpty());
                // Exactly one end, also for a start that never happened.
                QTest::qWait(50);
                QCOMPARE(done.count(), 1);
            }
        }
    }

    // Cancel kills the tool and what it started; from the graphical thread
    // on an asynchronous run, and from another thread on a blocking one.
    void cancelKillsTheGroup_data()
    {
        QTest::addColumn<bool>("wholeGroup");
        QTest::addColumn<bool>("blocking");
        QTest::addColumn<bool>("gently");
        QTest::newRow("plain, async") << false << false << false;
        QTest::newRow("plain, blocking") << false << true << false;
        QTest::newRow("group, async") << true << false << false;
        QTest::newRow("group, blocking") << true << true << false;
        // terminate(): SIGTERM to the group instead of SIGKILL.
        QTest::newRow("plain, terminate") << false << false << true;
        QTest::newRow("group, terminate") << true << false << true;
    }
    void cancelKillsTheGroup()
    {
        QFETCH(bool, wholeGroup);
        QFETCH(bool, blocking);
        QFETCH(bool, gently);
        const QString pidFile = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).remove(QLatin1Char(' ')));
        const QString script = QStringLiteral("sleep 300 & echo $$ $! > '%1.tmp'; mv '%1.tmp' '%1'; wait").arg(pidFile);
        QList<qint64> pids;
        if (blocking) {
            // The run blocks a thread of its own; this one cancels it.
            std::atomic<ToolProcess *> running{nullptr};
            ToolProcess::Verdict verdict = ToolProcess::NotRun;
            QThread *thread = QThread::create([&] {
                ToolProcess tool;
                tool.setProgram(QStringLiteral("/bin/sh"));
                tool.setArguments({QStringLiteral("-c"), script});
                tool.setWholeGroup(wholeGroup);
                running = &tool;
                verdict = tool.run();
                running = nullptr;
            });
            thread->start();
            QTRY_COMPARE_WITH_TIMEOUT(pidsIn(pidFile).size(), 2, 60000);
            pids = pidsIn(pidFile);
            QVERIFY(running.load());
            running.load()->cancel();
            QVERIFY(thread->wait(60000));
            delete thread;
            QCOMPARE(verdict, ToolProcess::Cancelled);
        } else {
            ToolProcess *tool = shell(script, this, wholeGroup);
            QSignalSpy done(tool, &ToolProcess::finished);
            tool->start();
            QTRY_COMPARE_WITH_TIMEOUT(pidsIn(pidFile).size(), 2, 60000);
            pids = pidsIn(pidFile);
            if (gently)
                tool->terminate();
            else
                tool->cancel();
            QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
            QCOMPARE(tool->verdict(), ToolProcess::Cancelled);
            delete tool;
        }
        for (const qint64 pid : std::as_const(pids))
            QTRY_VERIFY_WITH_TIMEOUT(!alive(pid), 30000);
    }

    void timeLimit()
    {
        ToolProcess tool;
        tool.setProgram(QStringLiteral("/bin/sh"));
        tool.setArguments({QStringLiteral("-c"), QStringLiteral("exec sleep 300")});
        QCOMPARE(tool.run(100), ToolProcess::TimedOut);
        QVERIFY(!tool.isRunning());
    }

    void cancelBeforeStart()
    {
        ToolProcess tool;
        tool.setProgram(QStringLiteral("/bin/sh"));
        const QString marker = m_dir.filePath(QStringLiteral("never"));
        tool.setArguments({QStringLiteral("-c"), QStringLiteral("touch '%1'").arg(marker)});
        tool.cancel();
        QCOMPARE(tool.run(), ToolProcess::Cancelled);
        QVERIFY(!QFile::exists(marker));
    }

    // A program killed with SIGKILL leaves no tool behind: neither a tool it
    // started directly nor, under the guard, what a script started.
    void toolsDieWithTheProgram_data()
    {
        QTest::addColumn<bool>("wholeGroup");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("count");
        QTest::newRow("tool") << false << "echo $$ > \"$1.tmp\"; mv \"$1.tmp\" \"$1\"; exec sleep 300" << 1;
        QTest::newRow("script and its child")
            << true << "sleep 300 & echo $PPID $$ $! > \"$1.tmp\"; mv \"$1.tmp\" \"$1\"; wait" << 3;
    }
    void toolsDieWithTheProgram()
    {
        QFETCH(bool, wholeGroup);
        QFETCH(QString, script);
        QFETCH(int, count);
        const QString pidFile = m_dir.filePath(QStringLiteral("death-%1").arg(wholeGroup));
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(ChildMode), script);
        env.insert(QString::fromLatin1(ChildGroup), wholeGroup ? QStringLiteral("1") : QStringLiteral("0"));
        env.insert(QString::fromLatin1(ChildPidFile), pidFile);
        program.setProcessEnvironment(env);
        program.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(program.waitForStarted(60000));
        QTRY_COMPARE_WITH_TIMEOUT(pidsIn(pidFile).size(), count, 60000);
        const QList<qint64> pids = pidsIn(pidFile);
        for (const qint64 pid : pids)
            QVERIFY(alive(pid));
        ::kill(pid_t(program.processId()), SIGKILL);
        QVERIFY(program.waitForFinished(60000));
        for (const qint64 pid : pids)
            QTRY_VERIFY_WITH_TIMEOUT(!alive(pid), 30000);
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(ChildMode))
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    tst_ToolProcess test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ToolProcess.moc"
