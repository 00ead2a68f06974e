// Start-up and shut-down of the program itself, run as a child process with
// a home folder of its own: the order of logging, the command line and what
// is written at exit.
#include "TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// Whether the main thread of a process is blocked waiting for events: in
// the system call poll or ppoll, as an idle event loop is. -1 when the
// process cannot be looked at.
int waitsForEvents(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/syscall").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray first = file.readAll().split(' ').value(0).trimmed();
    bool ok = false;
    const int call = first.toInt(&ok);
    if (!ok)
        return first.isEmpty() ? -1 : 0; // "running" while on a processor
#if defined(__x86_64__)
    return call == 7 || call == 271 ? 1 : 0;
#elif defined(__aarch64__)
    return call == 73 ? 1 : 0;
#else
    Q_UNUSED(call);
    return -1;
#endif
}

// Waits until the program is idle in its event loop, so that a termination
// signal is answered there rather than while it still starts: on a busy
// machine start-up may take longer than the program's grace period. Falls
// back to a pause where the process cannot be looked at.
void waitUntilIdle(const QProcess &process)
{
    QElapsedTimer timer;
    timer.start();
    int idleLooks = 0;
    while (timer.elapsed() < 60000 && process.state() == QProcess::Running) {
        const int waiting = waitsForEvents(process.processId());
        if (waiting < 0) {
            QTest::qWait(1500);
            return;
        }
        idleLooks = waiting ? idleLooks + 1 : 0;
        if (idleLooks >= 5)
            return;
        QTest::qWait(100);
    }
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void settingsWrittenOnceAtExit();
    void geometryKeptBetweenRuns();
    void commandLine_data();
    void commandLine();
    void helpAndVersion_data();
    void helpAndVersion();
    void terminationEndsABusyProgram();

private:
    struct Run
    {
        QString log;
        int exitCode = -1;
        bool settingsBeforeExit = false;
    };
    // Starts the program in home with the arguments, waits for its start
    // banner and quits it the way a session end does.
    Run run(const QString &home, const QStringList &args);
    static QString readLog(const QString &home);
    static QString iniPath(const QString &home);
    static QString windowSettingsPath(const QString &home);

    QString m_program;
};

void tst_Startup::initTestCase()
{
    TW::test::isolateHome();
    m_program = TW::test::binDir() + QStringLiteral("/tarnwell");
    if (!QFile::exists(m_program))
        QSKIP("the program is not built in this build folder");
}

QString tst_Startup::readLog(const QString &home)
{
    QString text;
    QDirIterator it(home, {QStringLiteral("log_*.txt")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(f.readAll());
    }
    return text;
}

QString tst_Startup::iniPath(const QString &home)
{
    QDirIterator it(home, {QStringLiteral("TW.Options.ini")}, QDir::Files, QDirIterator::Subdirectories);
    return it.hasNext() ? it.next() : QString();
}

QString tst_Startup::windowSettingsPath(const QString &home)
{
    return home + QStringLiteral("/.config/Orvane Inc/Tarnwell.conf");
}

tst_Startup::Run tst_Startup::run(const QString &home, const QStringList &args)
{
    Run result;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    // A screen large enough for every size and place used here, so that
    // the window keeps them (on a smaller one it is fitted to the screen).
    const QString screens = home + QStringLiteral("/screens.json");
    QFile config(screens);
    if (config.open(QIODevice::WriteOnly)) {
        config.write(R"({"screens":[{"name":"large","x":0,"y":0,"width":1920,"height":1200,)"
                     R"("logicalDpi":96,"logicalBpi":96,"dpr":1}]})");
        config.close();
    }
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + screens);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(m_program, args);
    if (!process.waitForStarted(10000))
        return result;
    // The banner is written while logging is on, unless one "-log" switched
    // it off; then the event loop needs a moment to run the queued open.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 60000 && !readLog(home).contains(QLatin1String("Argument #")))
        QTest::qWait(50);
    waitUntilIdle(process);
    result.settingsBeforeExit = !iniPath(home).isEmpty();
    process.terminate();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.log = readLog(home);
    return result;
}

void tst_Startup::settingsWrittenOnceAtExit()
{
    QTemporaryDir home;
    const Run r = run(home.path(), {});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(!r.settingsBeforeExit, "the settings file was written before the program quit");
    QVERIFY2(!iniPath(home.path()).isEmpty(), "no settings file after exit");
    QVERIFY(QFile::exists(windowSettingsPath(home.path())));
    QVERIFY(r.log.contains(QLatin1String("Application start.")));
    QVERIFY(r.log.contains(QLatin1String("Threads:")));
    QVERIFY(r.log.contains(QString(60, QLatin1Char('='))));
    // Logging is off after start-up, so shut-down wrote nothing.
    QVERIFY(!r.log.contains(QLatin1String("Release controller resources.")));

    QSettings window(windowSettingsPath(home.path()), QSettings::IniFormat);
    window.beginGroup(QStringLiteral("MainWindow"));
    QCOMPARE(window.value(QStringLiteral("size")).toSize(), QSize(1024, 800));
    QCOMPARE(window.value(QStringLiteral("position")).toPoint(), QPoint(100, 100));
    QCOMPARE(window.value(QStringLiteral("maximized")).toInt(), 0);
}

void tst_Startup::geometryKeptBetweenRuns()
{
    QTemporaryDir home;
    QCOMPARE(run(home.path(), {QStringLiteral("-p"), QStringLiteral("200"), QStringLiteral("150")}).exitCode, 0);
    {
        QSettings window(windowSettingsPath(home.path()), QSettings::IniFormat);
        QCOMPARE(window.value(QStringLiteral("MainWindow/position")).toPoint(), QPoint(200, 150));
        window.setValue(QStringLiteral("MainWindow/size"), QSize(900, 700));
    }
    // The second run restores what the first left and writes it back.
    QCOMPARE(run(home.path(), {}).exitCode, 0);
    {
        QSettings window(windowSettingsPath(home.path()), QSettings::IniFormat);
        QCOMPARE(window.value(QStringLiteral("MainWindow/position")).toPoint(), QPoint(200, 150));
        QCOMPARE(window.value(QStringLiteral("MainWindow/size")).toSize(), QSize(900, 700));
        window.setValue(QStringLiteral("MainWindow/maximized"), 1);
    }
    // A window closed maximized keeps the last normal size and position, and
    // "-p" does not move a maximized window.
    QCOMPARE(run(home.path(), {QStringLiteral("-p"), QStringLiteral("10"), QStringLiteral("20")}).exitCode, 0);
    QSettings window(windowSettingsPath(home.path()), QSettings::IniFormat);
    QCOMPARE(window.value(QStringLiteral("MainWindow/maximized")).toInt(), 1);
    QCOMPARE(window.value(QStringLiteral("MainWindow/position")).toPoint(), QPoint(200, 150));
    QCOMPARE(window.value(QStringLiteral("MainWindow/size")).toSize(), QSize(900, 700));
}

void tst_Startup::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("banner");
    QTest::addColumn<QStringList>("opened");
    QTest::newRow("file, no -log: start logged, then quiet")
        << QStringList{"clip.mp4"} << true << QStringList{};
    QTest::newRow("one -log: banner not logged, logging stays on")
        << QStringList{"-log", "clip.mp4"} << false << QStringList{"clip.mp4"};
    QTest::newRow("two -log: banner logged, logging off after")
        << QStringList{"-log", "-log", "clip.mp4"} << true << QStringList{};
    QTest::newRow("the last file wins") << QStringList{"-log", "a.mp4", "b.twp"} << false << QStringList{"b.twp"};
    QTest::newRow("-p with one value left: the value is a file")
        << QStringList{"-log", "-p", "100"} << false << QStringList{"100"};
    QTest::newRow("-p abc consumes only abc")
        << QStringList{"-log", "-p", "abc", "200", "clip.mp4"} << false << QStringList{"clip.mp4"};
    QTest::newRow("a dash is a file name too") << QStringList{"-log", "-odd name.mp4"} << false
                                                << QStringList{"-odd name.mp4"};
    QTest::newRow("-p x y is not a file") << QStringList{"-log", "-p", "10", "20"} << false << QStringList{};
}

void tst_Startup::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(bool, banner);
    QFETCH(QStringList, opened);
    QTemporaryDir home;
    const Run r = run(home.path(), args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.log.contains(QLatin1String("Argument # 0")), qPrintable(r.log));
    QCOMPARE(r.log.contains(QLatin1String("Application start.")), banner);
    QStringList openedNow;
    const QRegularExpression line(QStringLiteral("MainController::openFile \"([^\"]*)\""));
    for (auto it = line.globalMatch(r.log); it.hasNext();)
        openedNow << it.next().captured(1);
    QCOMPARE(openedNow, opened);
}

// "--help" and "--version" print and end at once, before the window or the
// media back end is made: no display is needed, no settings or log written.
void tst_Startup::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("starts");
    QTest::newRow("--help") << QStringList{"--help"} << "Usage: tarnwell [-log] [-p x y] [file]\n";
    QTest::newRow("-h after options") << QStringList{"-log", "-p", "10", "20", "-h"} << "Usage: tarnwell";
    QTest::newRow("--version") << QStringList{"--version"} << "Tarnwell " TW_VERSION "\n";
}

void tst_Startup::helpAndVersion()
{
    QFETCH(QStringList, args);
    QFETCH(QString, starts);
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/.config"));
    // No display at all: the answer must not need one.
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    process.setProcessEnvironment(env);
    process.start(m_program, args);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(out.startsWith(starts), qPrintable(out));
    QCOMPARE(QString::fromLocal8Bit(process.readAllStandardError()), QString());
    QVERIFY(iniPath(home.path()).isEmpty());
    QVERIFY(readLog(home.path()).isEmpty());
    QVERIFY(!QFile::exists(windowSettingsPath(home.path())));
}

// A termination signal ends the program within a few seconds even while its
// graphical thread is busy and never returns to the event loop: here it waits
// for an ffprobe (a stand-in that only sleeps) on the file given at start.
void tst_Startup::terminationEndsABusyProgram()
{
    QTemporaryDir home;
    const QString bin = home.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    const QString started = home.filePath(QStringLiteral("ffprobe-started"));
    const QString pidFile = home.filePath(QStringLiteral("ffprobe-pid"));
    {
        QFile script(bin + QStringLiteral("/ffprobe"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\necho $$ > '%1'\ntouch '%2'\nexec sleep 60\n")
                         .arg(pidFile, started)
                         .toUtf8());
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
    }
    const QString media = home.filePath(QStringLiteral("clip.mp4"));
    {
        QFile f(media);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1024, 'x'));
    }

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.path() + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("PATH"), bin + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(m_program, {media});
    QVERIFY(process.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 60000);
    QTest::qWait(500);
    QCOMPARE(process.state(), QProcess::Running);

    QElapsedTimer took;
    took.start();
    process.terminate();
    const bool ended = process.waitForFinished(20000);
    const qint64 ms = took.elapsed();
    {
        // The stand-in outlives the program; it is not needed any more.
        QFile pid(pidFile);
        if (pid.open(QIODevice::ReadOnly))
            ::kill(pid_t(pid.readAll().trimmed().toLongLong()), SIGKILL);
    }
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    QVERIFY2(ended, "the program did not end within 20 s of the termination signal");
    qInfo("Ended %lld ms after the termination signal", ms);
    // The grace period is 5 s; a little more for a loaded machine.
    QVERIFY2(ms < 12000, qPrintable(QString::number(ms)));
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_Startup.moc"
