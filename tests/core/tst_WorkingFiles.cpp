// Working files left by a killed run: removed at the next start when their
// instance is gone and their name is one of ours; a running instance's
// files and foreign files with similar names are kept.
#include "core/WorkingFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using TW::WorkingFiles;

namespace {

const char ChildJournal[] = "TW_WORKING_CHILD_JOURNAL";
const char ChildFile[] = "TW_WORKING_CHILD_FILE";

// Another instance: records a working file, makes it, says so, and waits
// to be killed.
int childMain(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    WorkingFiles::setFolder(qEnvironmentVariable(ChildJournal));
    const QString path = qEnvironmentVariable(ChildFile);
    WorkingFiles::add(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("half");
    file.close();
    return app.exec();
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write("x");
}

void writeJournal(const QString &path, const QStringList &entries)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (const QString &entry : entries)
        file.write(QFile::encodeName(entry).toPercentEncoding("/") + '\n');
}

} // namespace

class tst_WorkingFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ours");
        QTest::newRow("export output") << ".song-a1B2c3.mp4" << true;
        QTest::newRow("export output, no suffix") << ".song-a1B2c3" << true;
        QTest::newRow("export output, dashes in the name") << ".my-song-Zz09aa.mkv" << true;
        QTest::newRow("DVD working file") << ".VTS_01_1.Q8w7E6.mp4" << true;
        QTest::newRow("export folder") << "export-Ab12Cd" << true;
        QTest::newRow("frames folder") << "frames-Ab12Cd" << true;
        QTest::newRow("visible file") << "song-a1B2c3.mp4" << false;
        QTest::newRow("five letters") << ".song-a1B2c.mp4" << false;
        QTest::newRow("seven letters") << ".song-a1B2c3d.mp4" << false;
        QTest::newRow("hidden file") << ".bashrc" << false;
        QTest::newRow("export folder with a suffix") << "export-Ab12Cd.txt" << false;
        QTest::newRow("other folder") << "exports-Ab12Cd" << false;
        QTest::newRow("user's file") << "notes.txt" << false;
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(bool, ours);
        QCOMPARE(WorkingFiles::isWorkingName(name), ours);
    }

    // A journal whose instance is gone: what it lists in our form goes, a
    // listed file of another form and unlisted look-alikes stay. A journal
    // whose lock is held (a running instance) is not touched.
    void leftoversOfAGoneInstance()
    {
        const QString journals = m_dir.filePath(QStringLiteral("journal-gone"));
        const QString files = m_dir.filePath(QStringLiteral("files-gone"));
        QVERIFY(QDir().mkpath(journals));
        QVERIFY(QDir().mkpath(files));
        WorkingFiles::setFolder(journals);
        const QDir f(files);

        const QString partial = f.filePath(QStringLiteral(".clip-Ab12Cd.mp4"));
        const QString dvd = f.filePath(QStringLiteral(".VTS_01_1.Q8w7E6.mp4"));
        const QString folder = f.filePath(QStringLiteral("export-Xy12Zw"));
        // A name with a line feed and a byte that is no UTF-8.
        const QString odd = f.filePath(QFile::decodeName(QByteArray(".a\nb\xe9-Qq11Ww.mp4")));
        const QString notOurs = f.filePath(QStringLiteral("notes.txt"));
        const QString lookAlike = f.filePath(QStringLiteral(".clip-Zz99Zz.mp4"));
        const QString running = f.filePath(QStringLiteral(".live-Qw12Er.mp4"));
        for (const QString &path : {partial, dvd, odd, notOurs, lookAlike, running})
            touch(path);
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/inner")));
        touch(folder + QStringLiteral("/inner/piece.mp4"));

        // pid 999999 is gone (nobody holds its lock); 4242 runs.
        writeJournal(QDir(journals).filePath(QStringLiteral("999999.list")),
                     {partial, dvd, folder, odd, notOurs, f.filePath(QStringLiteral(".gone-Aa11Bb.mp4"))});
        touch(QDir(journals).filePath(QStringLiteral("999999.lock")));
        writeJournal(QDir(journals).filePath(QStringLiteral("4242.list")), {running});
        const int held = ::open(QFile::encodeName(QDir(journals).filePath(QStringLiteral("4242.lock"))).constData(),
                                O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(held >= 0);
        QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);

        QStringList removed = WorkingFiles::removeLeftovers();
        ::close(held);
        removed.sort();
        QStringList expected{partial, dvd, folder, odd};
        expected.sort();
        QCOMPARE(removed, expected);
        for (const QString &path : std::as_const(expected))
            QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
        for (const QString &path : {notOurs, lookAlike, running})
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));
        QVERIFY(!QFileInfo::exists(QDir(journals).filePath(QStringLiteral("999999.list"))));
        QVERIFY(QFileInfo::exists(QDir(journals).filePath(QStringLiteral("4242.list"))));

        // Its lock let go: the next start takes that one too.
        QCOMPARE(WorkingFiles::removeLeftovers(), QStringList{running});
    }

    // Two real instances: while the other runs its working file stays; once
    // it has been killed, the next clean-up removes it.
    void killedInstance()
    {
        const QString journals = m_dir.filePath(QStringLiteral("journal-killed"));
        QVERIFY(QDir().mkpath(journals));
        WorkingFiles::setFolder(journals);
        const QString path = m_dir.filePath(QStringLiteral(".out-Kk12Ll.mp4"));

        QProcess other;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(ChildJournal), journals);
        env.insert(QString::fromLatin1(ChildFile), path);
        other.setProcessEnvironment(env);
        other.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(other.waitForStarted(60000));
        // Recorded before it is made.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path), 60000);

        QCOMPARE(WorkingFiles::removeLeftovers(), QStringList());
        QVERIFY(QFileInfo::exists(path));

        ::kill(pid_t(other.processId()), SIGKILL);
        QVERIFY(other.waitForFinished(60000));
        QCOMPARE(WorkingFiles::removeLeftovers(), QStringList{path});
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(QDir(journals).entryList(QDir::Files).isEmpty());
    }

    // This instance's own journal follows its entries and is never taken
    // for a leftover while it runs.
    void ownJournal()
    {
        const QString journals = m_dir.filePath(QStringLiteral("journal-own"));
        QVERIFY(QDir().mkpath(journals));
        WorkingFiles::setFolder(journals);
        const QString own = QDir(journals).filePath(QString::number(QCoreApplication::applicationPid())
                                                    + QStringLiteral(".list"));
        const QString path = m_dir.filePath(QStringLiteral(".mine-Mm12Nn.mp4"));
        touch(path);
        {
            WorkingFiles::Entry entry(path);
            QVERIFY(QFile(own).exists());
            QCOMPARE(WorkingFiles::removeLeftovers(), QStringList());
            QVERIFY(QFileInfo::exists(path));
        }
        QVERIFY(!QFile(own).exists());
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(ChildJournal))
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    tst_WorkingFiles test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_WorkingFiles.moc"
