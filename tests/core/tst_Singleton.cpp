// The singleton template: one object for concurrent first callers, and no
// caller returns before the constructor has finished.
#include "core/Singleton.h"

#include <QAtomicInt>
#include <QThread>
#include <QVector>
#include <QtTest>
#include <atomic>
#include <thread>
#include <type_traits>

namespace {

std::atomic<int> g_constructed{0};
std::atomic<bool> g_ctorRunning{false};
std::atomic<bool> g_sawHalfBuilt{false};

class Slow
{
public:
    Slow()
    {
        g_ctorRunning = true;
        ++g_constructed;
        // Give the other callers time to arrive while this one builds.
        QThread::msleep(50);
        ready = true;
        g_ctorRunning = false;
    }
    virtual ~Slow() = default;
    bool ready = false;
};

class Fast
{
public:
    Fast() { ++count; }
    virtual ~Fast() = default;
    static std::atomic<int> count;
};
std::atomic<int> Fast::count{0};

} // namespace

class SingletonTest : public QObject
{
    Q_OBJECT

private slots:
    void concurrentFirstCallers()
    {
        constexpr int Threads = 8;
        QVector<Slow *> seen(Threads, nullptr);
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int i = 0; i < Threads; ++i) {
            threads.emplace_back([&, i] {
                while (!go)
                    std::this_thread::yield();
                Slow *s = TW::Singleton<Slow>::instance();
                if (!s->ready)
                    g_sawHalfBuilt = true;
                seen[i] = s;
            });
        }
        go = true;
        for (auto &t : threads)
            t.join();
        QCOMPARE(g_constructed.load(), 1);
        QVERIFY(!g_sawHalfBuilt);
        for (Slow *s : seen)
            QCOMPARE(s, seen.first());
        QCOMPARE(TW::Singleton<Slow>::instance(), seen.first());
    }

    void manyRoundsOfTwoThreads()
    {
        // Two threads race on a fresh type; repeated with distinct types so
        // the race is on creation each time.
        auto race = [](auto tag) {
            using T = std::remove_pointer_t<decltype(tag)>;
            T *a = nullptr, *b = nullptr;
            std::atomic<bool> go{false};
            std::thread ta([&] { while (!go) {} a = TW::Singleton<T>::instance(); });
            std::thread tb([&] { while (!go) {} b = TW::Singleton<T>::instance(); });
            go = true;
            ta.join();
            tb.join();
            return a && a == b;
        };
        struct A : Fast {};
        struct B : Fast {};
        struct C : Fast {};
        struct D : Fast {};
        QVERIFY(race(static_cast<A *>(nullptr)));
        QVERIFY(race(static_cast<B *>(nullptr)));
        QVERIFY(race(static_cast<C *>(nullptr)));
        QVERIFY(race(static_cast<D *>(nullptr)));
        QCOMPARE(Fast::count.load(), 4);
    }
};

QTEST_GUILESS_MAIN(SingletonTest)
#include "tst_Singleton.moc"
