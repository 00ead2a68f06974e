// The logger: line format and file name, the fallback folder, failures that
// go to the error output, writes from several threads, and a message that
// arrives after the singletons are gone at exit.
#include "core/Logger.h"
#include "core/Singleton.h"

#include "TestEnv.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <thread>
#include <unistd.h>

using TW::Logger;

namespace {

QString todaysName()
{
    return QStringLiteral("log_%1.txt").arg(QDate::currentDate().toString("yyyy-MM-dd"));
}

QStringList readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Sends the process's error output to a file while it lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        std::fflush(stderr);
        m_saved = dup(2);
        m_file.open();
        dup2(m_file.handle(), 2);
    }
    ~StderrCapture() { restore(); }
    QString text()
    {
        restore();
        m_file.seek(0);
        return QString::fromLocal8Bit(m_file.readAll());
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

bool loggerAlive();

// Logs from its destructor, which runs at exit among the singletons.
class LateTalker
{
public:
    virtual ~LateTalker()
    {
        std::fprintf(stderr, "logger %s\n", loggerAlive() ? "alive" : "gone");
        std::fflush(stderr);
        qWarning("late message");
    }
};

// Named in this file before the logger's singleton, so that its owner is
// set up first and so destroyed after the logger's.
LateTalker *lateTalker()
{
    return TW::Singleton<LateTalker>::instance();
}

Logger *theLogger()
{
    return TW::Singleton<Logger>::instance();
}

bool loggerAlive()
{
    return theLogger() != nullptr;
}

int lateChild()
{
    lateTalker();
    qInstallMessageHandler(&Logger::messageHandler);
    Logger *logger = theLogger();
    logger->setSaveDir(qEnvironmentVariable("TW_LOGGER_LATE_CHILD"));
    logger->setEnabled();
    qWarning("early message");
    return 0;
}

// Installs the handler as the program does, with the log file on or off, and
// sends one message of each level.
int levelsChild(const QString &mode)
{
    Logger::installMessageHandler();
    Logger *logger = theLogger();
    logger->setSaveDir(qEnvironmentVariable("TW_LOGGER_FOLDER"));
    logger->setEnabled(mode == QLatin1String("on"));
    qDebug("a debug line");
    qInfo("an information line");
    qWarning("a warning line");
    qCritical("a critical line");
    return 0;
}

} // namespace

class LoggerTest : public QObject
{
    Q_OBJECT

    QString m_home;
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        m_home = TW::test::isolateHome();
        QCoreApplication::setApplicationName("Tarnwell");
        QCoreApplication::setApplicationVersion("2");
    }

    void lineFormatAndFileName()
    {
        Logger logger;
        QVERIFY(!logger.isEnabled());
        const QString folder = m_dir.path() + "/not/yet/there";
        logger.setSaveDir(folder);
        QVERIFY(!QDir(folder).exists()); // created at the first message only
        logger.setEnabled();
        logger.writeOutput(QtDebugMsg, "hello");
        logger.writeOutput(QtWarningMsg, "Unable to open");
        logger.writeOutput(QtCriticalMsg, "bad thing");
        logger.writeOutput(QtFatalMsg, QString::fromUtf8("\u00e9t\u00e9"));
        const QStringList lines = readLines(folder + "/" + todaysName());
        QCOMPARE(lines.size(), 4);
        const QRegularExpression stamp(R"(^(\w+)\((\d{4}-\d\d-\d\d)_\d\d:\d\d:\d\d\): (.*)$)");
        const QStringList names = {"Log", "Warning", "System", "Fatal"};
        const QStringList texts = {"hello", "Unable to open", "bad thing", QString::fromUtf8("\u00e9t\u00e9")};
        for (int i = 0; i < 4; ++i) {
            const auto m = stamp.match(lines[i]);
            QVERIFY2(m.hasMatch(), qPrintable(lines[i]));
            QCOMPARE(m.captured(1), names[i]);
            QCOMPARE(m.captured(2), QDate::currentDate().toString("yyyy-MM-dd"));
            QCOMPARE(m.captured(3), texts[i]);
        }
    }

    void disabledWritesNothing()
    {
        Logger logger;
        const QString folder = m_dir.path() + "/disabled";
        logger.setSaveDir(folder);
        StderrCapture capture;
        logger.writeOutput(QtWarningMsg, "nothing");
        logger.toggleEnabled();
        logger.toggleEnabled();
        logger.writeOutput(QtWarningMsg, "nothing");
        QVERIFY(capture.text().isEmpty());
        QVERIFY(!QDir(folder).exists());
    }

    void fallbackFolderAndAppend()
    {
        const QString fallback = m_home + "/Tarnwell 2";
        const QString file = fallback + "/" + todaysName();
        QDir().mkpath(fallback);
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("earlier run\n");
        }
        Logger logger;
        logger.setEnabled(true);
        QCOMPARE(logger.saveDir(), fallback);
        logger.writeOutput(QtDebugMsg, "appended");
        const QStringList lines = readLines(file);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.first(), QString("earlier run"));
        QVERIFY(lines.last().endsWith("): appended"));
    }

    void failuresGoToErrorOutput()
    {
        Logger logger;
        logger.setEnabled();
        // A folder below a plain file cannot be made.
        const QString plain = m_dir.path() + "/plain";
        {
            QFile f(plain);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        logger.setSaveDir(plain + "/sub");
        {
            StderrCapture capture;
            logger.writeOutput(QtWarningMsg, "no folder");
            QCOMPARE(capture.text(), QString("Warning: no folder\n"));
        }
        // The next message goes to the fallback folder.
        logger.writeOutput(QtDebugMsg, "after failure");
        QVERIFY(readLines(m_home + "/Tarnwell 2/" + todaysName()).last().endsWith("after failure"));

        // A log file that cannot be opened (a folder stands in its place).
        const QString blocked = m_dir.path() + "/blocked";
        QVERIFY(QDir().mkpath(blocked + "/" + todaysName()));
        logger.setSaveDir(blocked);
        {
            StderrCapture capture;
            logger.writeOutput(QtCriticalMsg, "no file");
            QCOMPARE(capture.text(), QString("System: no file\n"));
        }
        // The logger keeps working once the obstacle is gone.
        QVERIFY(QDir(blocked + "/" + todaysName()).removeRecursively());
        logger.writeOutput(QtDebugMsg, "works again");
        QCOMPARE(readLines(blocked + "/" + todaysName()).size(), 1);
    }

    void manyThreads()
    {
        Logger logger;
        logger.setEnabled();
        const QString folder = m_dir.path() + "/threads";
        logger.setSaveDir(folder);
        constexpr int Threads = 6, Each = 150;
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back([&logger, t] {
                for (int i = 0; i < Each; ++i)
                    logger.writeOutput(QtDebugMsg, QString("thread %1 line %2").arg(t).arg(i));
            });
        }
        for (auto &th : threads)
            th.join();
        const QStringList lines = readLines(folder + "/" + todaysName());
        QCOMPARE(lines.size(), Threads * Each);
        const QRegularExpression whole(R"(^Log\(\S+\): thread \d line \d+$)");
        for (const QString &line : lines)
            QVERIFY2(whole.match(line).hasMatch(), qPrintable(line));
    }

    void messageHandler()
    {
        Logger *logger = TW::Singleton<Logger>::instance();
        const QString folder = m_dir.path() + "/handler";
        logger->setSaveDir(folder);
        logger->setEnabled();
        const QtMessageHandler previous = qInstallMessageHandler(&Logger::messageHandler);
        qWarning() << "through the handler";
        qInstallMessageHandler(previous);
        logger->setEnabled(false);
        const QStringList lines = readLines(folder + "/" + todaysName());
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().startsWith("Warning("));
        QVERIFY(lines.first().endsWith("through the handler"));
    }

    // Warnings and worse reach the error output (Qt's own handler) whether or
    // not the log file is on; debug lines go to the log file only.
    void messagesReachTheErrorOutput_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("log file off") << "off";
        QTest::newRow("log file on") << "on";
    }

    void messagesReachTheErrorOutput()
    {
        QFETCH(QString, mode);
        const QString folder = m_dir.path() + "/levels-" + mode;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TW_LOGGER_LEVELS_CHILD", mode);
        env.insert("TW_LOGGER_FOLDER", folder);
        // Qt's handler writes to the error output, not a system log.
        env.insert("QT_FORCE_STDERR_LOGGING", "1");
        env.remove("QT_MESSAGE_PATTERN");
        env.remove("QT_LOGGING_RULES");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        const QStringList err = QString::fromLocal8Bit(child.readAllStandardError())
                                        .split('\n', Qt::SkipEmptyParts)
                                        .filter(QRegularExpression(" line$"));
        QCOMPARE(err, (QStringList{"an information line", "a warning line", "a critical line"}));

        const QStringList lines = readLines(folder + "/" + todaysName());
        if (mode == "off") {
            QVERIFY2(!QFileInfo::exists(folder), "the log file was written while off");
        } else {
            QCOMPARE(lines.size(), 4);
            QVERIFY(lines.at(0).startsWith("Log(") && lines.at(0).endsWith("a debug line"));
            QVERIFY(lines.at(3).startsWith("System(") && lines.at(3).endsWith("a critical line"));
        }
    }

    void lateMessageAtExit()
    {
        const QString folder = m_dir.path() + "/late";
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TW_LOGGER_LATE_CHILD", folder);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        const QString err = QString::fromLocal8Bit(child.readAllStandardError());
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        const QStringList lines = readLines(folder + "/" + todaysName());
        QVERIFY(!lines.isEmpty());
        QVERIFY(lines.first().endsWith("early message"));
        if (err.contains("logger gone")) {
            QVERIFY2(err.contains("Warning: late message\n"), qPrintable(err));
            QCOMPARE(lines.size(), 1);
        } else {
            QVERIFY2(err.contains("logger alive"), qPrintable(err));
            QVERIFY(lines.last().endsWith("late message"));
        }
    }
};

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("TW_LOGGER_LATE_CHILD")) {
        QCoreApplication app(argc, argv);
        return lateChild();
    }
    if (qEnvironmentVariableIsSet("TW_LOGGER_LEVELS_CHILD")) {
        QCoreApplication app(argc, argv);
        return levelsChild(qEnvironmentVariable("TW_LOGGER_LEVELS_CHILD"));
    }
    QCoreApplication app(argc, argv);
    LoggerTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Logger.moc"
