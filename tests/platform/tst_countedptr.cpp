#include "CountedPtr.h"
#include "TestEnv.h"

#include <QThread>
#include <QtTest/QTest>

#include <atomic>
#include <vector>

namespace {

std::atomic<int> g_alive { 0 };
std::atomic<int> g_destroyed { 0 };

struct Base
{
    Base() { ++g_alive; }
    virtual ~Base()
    {
        --g_alive;
        ++g_destroyed;
    }
    int value = 7;
};

struct Derived : Base
{
    ~Derived() override { ++derivedDestroyed; }
    static inline std::atomic<int> derivedDestroyed { 0 };
};

} // namespace

class TestCountedPtr : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void countsAndReleases();
    void deletesThroughVirtualDestructor();
    void copiesAcrossThreads();
    void lastReleaseInAnotherThread();
};

void TestCountedPtr::init()
{
    g_alive = 0;
    g_destroyed = 0;
    Derived::derivedDestroyed = 0;
}

void TestCountedPtr::countsAndReleases()
{
    CountedPtr<Base> empty;
    QVERIFY(empty.isNull());
    QVERIFY(!empty);
    QCOMPARE(empty.useCount(), 0);
    {
        CountedPtr<Base> a(new Base);
        QCOMPARE(a.useCount(), 1);
        CountedPtr<Base> b = a;
        QCOMPARE(a.useCount(), 2);
        QVERIFY(a == b);
        CountedPtr<Base> c(std::move(b));
        QVERIFY(b.isNull());
        QCOMPARE(c.useCount(), 2);
        c = c; // self-assignment keeps it
        QCOMPARE(c.useCount(), 2);
        QCOMPARE(c->value, 7);
        b = empty;
        a = empty;
        QCOMPARE(c.useCount(), 1);
        QCOMPARE(g_alive.load(), 1);
        CountedPtr<Base> other(new Base);
        c = other; // releases the first object
        QCOMPARE(g_destroyed.load(), 1);
        QCOMPARE(other.useCount(), 2);
    }
    QCOMPARE(g_alive.load(), 0);
    QCOMPARE(g_destroyed.load(), 2);
}

void TestCountedPtr::deletesThroughVirtualDestructor()
{
    {
        CountedPtr<Base> p(new Derived);
        CountedPtr<Base> q = p;
    }
    QCOMPARE(Derived::derivedDestroyed.load(), 1);
    QCOMPARE(g_destroyed.load(), 1);
}

void TestCountedPtr::copiesAcrossThreads()
{
    CountedPtr<Base> shared(new Base);
    std::vector<QThread *> threads;
    for (int t = 0; t < 8; ++t) {
        threads.push_back(QThread::create([shared]() {
            for (int i = 0; i < 100000; ++i) {
                CountedPtr<Base> copy = shared;
                CountedPtr<Base> moved = std::move(copy);
                CountedPtr<Base> assigned;
                assigned = moved;
            }
        }));
    }
    for (QThread *thread : threads)
        thread->start();
    for (QThread *thread : threads) {
        QVERIFY(thread->wait(60000));
        delete thread;
    }
    // Every thread's lambda copy is gone; a lost update would show here.
    QCOMPARE(shared.useCount(), 1);
    QCOMPARE(g_destroyed.load(), 0);
    shared = CountedPtr<Base>();
    QCOMPARE(g_destroyed.load(), 1);
}

void TestCountedPtr::lastReleaseInAnotherThread()
{
    for (int round = 0; round < 200; ++round) {
        CountedPtr<Base> p(new Base);
        std::vector<QThread *> threads;
        for (int t = 0; t < 4; ++t)
            threads.push_back(QThread::create([copy = p]() mutable { copy = CountedPtr<Base>(); }));
        p = CountedPtr<Base>();
        for (QThread *thread : threads)
            thread->start();
        for (QThread *thread : threads) {
            QVERIFY(thread->wait(60000));
            delete thread;
        }
    }
    QCOMPARE(g_destroyed.load(), 200);
    QCOMPARE(g_alive.load(), 0);
}

VORNEX_TEST_GUILESS_MAIN(TestCountedPtr)
#include "tst_countedptr.moc"
