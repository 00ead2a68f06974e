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

// Resident memory of this process in bytes, after the allocator gave back
// what it holds free, so that only memory still in use counts.
qint64 residentBytes()
{
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
    void repeatedOpensKeepTheMemory();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }

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

// Two clips and their projects, opened in turn: after a dozen opens to warm
// up (caches, fonts, the players' first start), a hundred more stay within
// 10 MiB of the first of them.
void tst_RepeatedOpens::repeatedOpensKeepTheMemory()
{
    QDir().mkpath(path("a"));
    QDir().mkpath(path("b"));
    const QString firstClip = TestMedia::make(TestMedia::VideoStereo, path("a"), 2.0);
    const QString secondClip = TestMedia::make(TestMedia::VideoStereo, path("b"), 1.0);
    QVERIFY(!firstClip.isEmpty() && !secondClip.isEmpty());
    QVERIFY(test::openQuietly(m_controller, firstClip));
    const QString first = test::writeFile(path("first.twp"), test::projectText(m_controller));
    QVERIFY(test::openQuietly(m_controller, secondClip));
    const QString second = test::writeFile(path("second.twp"), test::projectText(m_controller));
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    const QStringList files{first, firstClip, second, secondClip};

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

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_RepeatedOpens tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_RepeatedOpens.moc"
