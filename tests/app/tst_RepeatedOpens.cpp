// Opening project after project in one run of the program keeps the memory
// in use: each open drops what the project before it held (player,
// pictures, commands, handles).
#include "ModalAnswerer.h"
#include "ProjectFiles.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/Application.h"
#include "app/MainController.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <malloc.h>
#include <unistd.h>

using namespace TW;
using test::ModalAnswerer;
using test::TestMedia;

namespace {

// Resident memory of this process in bytes. With trim, the allocator gives
// back what it holds free first, so that only memory still in use counts;
// without, it is the figure the system shows the user.
qint64 residentBytes(bool trim = true)
{
    if (trim)
        ::malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

} // namespace

class tst_RepeatedOpens : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    // First: it measures from the first open of the run.
    void playbackBetweenOpensGivesTheMemoryBack();
    void repeatedOpensKeepTheMemory();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    bool makeFiles();

    QStringList m_files;

    MainController *m_controller = nullptr;
    std::unique_ptr<ModalAnswerer> m_answers;
    QTemporaryDir m_dir;
};

void tst_RepeatedOpens::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_controller = Application::instance()->getMainController();
    m_controller->exec();
    m_answers = std::make_unique<ModalAnswerer>();
}

void tst_RepeatedOpens::cleanupTestCase()
{
    m_answers.reset();
}

// Two clips and a project of each, opened in turn.
bool tst_RepeatedOpens::makeFiles()
{
    if (!m_files.isEmpty())
        return true;
    QDir().mkpath(path("a"));
    QDir().mkpath(path("b"));
    const QString firstClip = TestMedia::make(TestMedia::VideoStereo, path("a"), 2.0);
    const QString secondClip = TestMedia::make(TestMedia::VideoStereo, path("b"), 1.0);
    if (firstClip.isEmpty() || secondClip.isEmpty() || !test::openQuietly(m_controller, firstClip))
        return false;
    const QString first = test::writeFile(path("first.twp"), test::projectText(m_controller));
    if (!test::openQuietly(m_controller, secondClip))
        return false;
    const QString second = test::writeFile(path("second.twp"), test::projectText(m_controller));
    if (first.isEmpty() || second.isEmpty())
        return false;
    m_files = QStringList{first, firstClip, second, secondClip};
    return true;
}

// After a dozen opens to warm up (caches, fonts, the players' first start),
// a hundred more stay within 10 MiB of the first of them.
void tst_RepeatedOpens::repeatedOpensKeepTheMemory()
{
    QVERIFY(makeFiles());
    const QStringList &files = m_files;

    auto openSome = [&](int count) {
        for (int i = 0; i < count; ++i) {
            if (!test::openQuietly(m_controller, files.at(i % files.size())))
                return false;
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        return true;
    };
    QVERIFY(openSome(12));
    const qint64 before = residentBytes();
    QVERIFY(before > 0);
    QVERIFY(openSome(100));
    const qint64 after = residentBytes();
    // Printed directly: an open may switch the program's logging off.
    std::fprintf(stderr, "Resident memory: %.1f MiB after the warm-up, %.1f MiB after 100 more opens\n",
                 before / 1048576.0, after / 1048576.0);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // A sanitizer keeps freed memory in quarantine; the path is still run.
    QVERIFY2(after - before < 10 * 1024 * 1024, qPrintable(QString("%1 MiB more").arg((after - before) / 1048576.0)));
#endif
}

// As the user does it: each project plays a little before the next is
// opened. The players decode on threads of their own; what they leave free
// must go back to the system, not stay with the allocator: after an open
// the allocator holds little free (it held 5-15 MiB), and sixty opens stay
// within 10 MiB of the first open's resident memory as the system reports
// it.
void tst_RepeatedOpens::playbackBetweenOpensGivesTheMemoryBack()
{
    QVERIFY(makeFiles());
    // Plays the open project for a while (how far it gets does not matter),
    // then opens the next file; the figures are taken just after an open.
    auto playAndOpen = [&](int count) {
        for (int i = 1; i <= count; ++i) {
            m_controller->onPlayVideo();
            QTest::qWait(250);
            m_controller->onPauseVideo();
            if (!test::openQuietly(m_controller, m_files.at(i % m_files.size())))
                return false;
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        return true;
    };
    QVERIFY(test::openQuietly(m_controller, m_files.constFirst()));
    const qint64 first = residentBytes(false);
    QVERIFY(first > 0);
    QVERIFY(playAndOpen(60));
    const qint64 last = residentBytes(false);
    // What the allocator still held free once the open was done.
    const qint64 heldFree = last - residentBytes(true);
    std::fprintf(stderr,
                 "Resident memory with playback: %.1f MiB after the first open, %.1f MiB after 60 more "
                 "(%.1f MiB of it held free)\n",
                 first / 1048576.0, last / 1048576.0, heldFree / 1048576.0);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // A sanitizer keeps freed memory in quarantine; the path is still run.
    QVERIFY2(last - first < 10 * 1024 * 1024, qPrintable(QString("%1 MiB more").arg((last - first) / 1048576.0)));
    QVERIFY2(heldFree < 3 * 1024 * 1024, qPrintable(QString("%1 MiB held free").arg(heldFree / 1048576.0)));
#endif
}

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_RepeatedOpens tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_RepeatedOpens.moc"
