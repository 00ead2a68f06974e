// The sound threads' scheduling: what a thread gets under each set of
// limits (real-time within RLIMIT_RTPRIO, else the nice value RLIMIT_NICE
// allows, else nothing), and that a program started from a raised thread
// runs as any other. Each case runs in a child copy of this test, which
// sets its limits, gives up CAP_SYS_NICE where the case says so, raises a
// thread and prints what it saw.
#include "playback/SoundThreadPriority.h"

#include <QCoreApplication>
#include <QProcess>
#include <QtTest>

#include <linux/capability.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using TW::SoundThreadPriority;

namespace {

const char ChildCase[] = "TW_PRIORITY_CHILD"; // "rtprio nice dropcap"

// Takes CAP_SYS_NICE out of the effective and permitted sets, so the
// limits alone decide (as for a user who is not root).
bool dropNiceCapability()
{
    __user_cap_header_struct header {};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    __user_cap_data_struct data[2] {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const int word = CAP_SYS_NICE / 32;
    const unsigned bit = 1u << (CAP_SYS_NICE % 32);
    data[word].effective &= ~bit;
    data[word].permitted &= ~bit;
    data[word].inheritable &= ~bit;
    return ::syscall(SYS_capset, &header, data) == 0;
}

bool setLimit(int resource, rlim_t value)
{
    rlimit limit {};
    if (::getrlimit(resource, &limit) != 0)
        return false;
    if (limit.rlim_max != RLIM_INFINITY && value > limit.rlim_max)
        return false;
    limit.rlim_cur = value;
    return ::setrlimit(resource, &limit) == 0;
}

// Prints "<result>|<policy>|<priority>|<nice>|<child's policy>|<real-time
// possible at all>", or
// "skip|<why>" when this account cannot set the case's limits.
int childMain()
{
    const QList<QByteArray> words = qgetenv(ChildCase).split(' ');
    const bool dropCap = words.value(2) == "dropcap";
    if (dropCap && !dropNiceCapability()) {
        printf("skip|cannot give up CAP_SYS_NICE\n");
        return 0;
    }
    // Only the soft limits can be set here without CAP_SYS_RESOURCE, and
    // only up to the hard ones: a case above them is skipped.
    if (!setLimit(RLIMIT_RTPRIO, rlim_t(words.value(0).toInt()))
        || !setLimit(RLIMIT_NICE, rlim_t(words.value(1).toInt()))) {
        printf("skip|this account's hard limits do not allow the case's limits\n");
        return 0;
    }
    QString line;
    std::thread raised([&line] {
        const QString result = SoundThreadPriority::raiseCallingThread(2, "test");
        sched_param param {};
        const int policy = ::sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
        ::sched_getparam(0, &param);
        const int nice = ::getpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)));
        // A program started from this thread: its scheduling, as its exit code.
        int childPolicy = -1;
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(::sched_getscheduler(0));
        int status = 0;
        if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            childPolicy = WEXITSTATUS(status);
        line = QStringLiteral("%1|%2|%3|%4|%5").arg(result).arg(policy).arg(param.sched_priority).arg(nice).arg(childPolicy);
    });
    raised.join();
    // Whether the kernel lets this process's threads run real-time at all
    // (a container's control group may give them no time).
    bool kernelAllows = false;
    std::thread probe([&kernelAllows] {
        sched_param param {};
        param.sched_priority = 1;
        kernelAllows = ::sched_setscheduler(0, SCHED_RR, &param) == 0;
    });
    probe.join();
    printf("%s|%d\n", qPrintable(line), kernelAllows ? 1 : 0);
    return 0;
}

} // namespace

class tst_SoundThreadPriority : public QObject
{
    Q_OBJECT

private slots:
    void limitsDecide_data()
    {
        QTest::addColumn<QString>("limits"); // RLIMIT_RTPRIO, RLIMIT_NICE, capability
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("policy");
        QTest::addColumn<int>("priority");
        QTest::addColumn<int>("nice");
        // RLIMIT_NICE n allows nice values down to 20 - n.
        QTest::newRow("real-time allowed") << "5 0 dropcap" << "real-time 2" << int(SCHED_RR) << 2 << 0;
        QTest::newRow("real-time below the wish") << "1 0 dropcap" << "real-time 1" << int(SCHED_RR) << 1 << 0;
        QTest::newRow("only nice, some") << "0 25 dropcap" << "nice -5" << int(SCHED_OTHER) << 0 << -5;
        QTest::newRow("only nice, more than taken") << "0 40 dropcap" << "nice -10" << int(SCHED_OTHER) << 0 << -10;
        QTest::newRow("nothing allowed") << "0 0 dropcap" << "unchanged" << int(SCHED_OTHER) << 0 << 0;
        QTest::newRow("privileged, no limits") << "0 0 keepcap" << "" << -1 << 0 << 0;
    }

    void limitsDecide()
    {
        QFETCH(QString, limits);
        QFETCH(QString, result);
        QFETCH(int, policy);
        QFETCH(int, priority);
        QFETCH(int, nice);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(ChildCase), limits);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        const QStringList seen = QString::fromUtf8(child.readAllStandardOutput()).trimmed().split('|');
        if (seen.value(0) == QLatin1String("skip"))
            QSKIP(qPrintable(seen.value(1)));
        QCOMPARE(seen.size(), 6);
        if (policy == SCHED_RR && seen.at(5) != QLatin1String("1"))
            QSKIP("the kernel gives this process no real-time scheduling");
        if (result.isEmpty()) {
            // With CAP_SYS_NICE (root) the limits do not matter; a user
            // without it gets nothing. Either way nothing else happens.
            if (seen.at(0) == QLatin1String("unchanged"))
                QCOMPARE(seen.at(1).toInt(), int(SCHED_OTHER));
            else {
                QCOMPARE(seen.at(0), QStringLiteral("real-time 2"));
                QCOMPARE(seen.at(1).toInt(), int(SCHED_RR));
            }
        } else {
            QCOMPARE(seen.at(0), result);
            QCOMPARE(seen.at(1).toInt(), policy);
            QCOMPARE(seen.at(2).toInt(), priority);
            QCOMPARE(seen.at(3).toInt(), nice);
        }
        // Whatever the thread got, a program it starts is scheduled as any other.
        QCOMPARE(seen.at(4).toInt(), int(SCHED_OTHER));
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(ChildCase))
        return childMain();
    QCoreApplication app(argc, argv);
    tst_SoundThreadPriority test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SoundThreadPriority.moc"
