#pragma once

#include <QAtomicInt>
#include <QThread>

namespace TW {

// Process-wide service objects that exist once and are reached from any
// thread. instance() creates the object on first use and hands out the same
// pointer ever after; the object is destroyed when the process exits, after
// which instance() returns a null pointer.
//
// Creation is guarded by a three-state atomic flag (0 none, 1 being created,
// 2 ready) instead of a mutex, so that after the first call instance() costs
// one atomic exchange and one load: frame conversions call it on the media
// back end's threads for every frame.
//
// Requirements on T: a public default constructor and a virtual destructor.
template <class T>
class Singleton
{
public:
    static T *instance()
    {
        // A full-barrier read of the flag: an atomic read-modify-write that
        // leaves the value alone (a separate load and exchange could write
        // back a stale state over a concurrent change).
        const int state = flag.fetchAndAddOrdered(0);
        if (state == Ready)
            return tptr.get();
        if (state == None && flag.testAndSetOrdered(None, Creating)) {
            T *created = new T();
            tptr.reset(created);
            flag.fetchAndStoreOrdered(Ready);
            return created;
        }
        // Another thread is building the object: wait until it is ready.
        do {
            QThread::yieldCurrentThread();
        } while (!flag.testAndSetOrdered(Ready, Ready));
        return tptr.get();
    }

    Singleton() = delete;

private:
    enum State { None = 0, Creating = 1, Ready = 2 };

    // Owns the one object. Constant-initialised (constexpr constructor), so
    // it is in place before any code runs and destroyed after every object
    // that was dynamically initialised.
    class Holder
    {
    public:
        constexpr Holder() = default;
        Holder(const Holder &) = delete;
        Holder &operator=(const Holder &) = delete;
        ~Holder()
        {
            // Nobody may build a second object once the holder is gone,
            // even if the first was never made.
            flag.testAndSetOrdered(None, Ready);
            // The pointer goes null before the object dies, so a late
            // caller (a message logged from a destructor) sees no object
            // rather than a half-destroyed one.
            T *p = m_ptr.fetchAndStoreOrdered(nullptr);
            delete p;
        }
        T *get() const { return m_ptr.loadAcquire(); }
        void reset(T *p)
        {
            T *old = m_ptr.fetchAndStoreOrdered(p);
            if (old != p)
                delete old;
        }

    private:
        QAtomicPointer<T> m_ptr;
    };

    static QAtomicInt flag;
    static Holder tptr;
};

template <class T>
QAtomicInt Singleton<T>::flag;

template <class T>
typename Singleton<T>::Holder Singleton<T>::tptr;

} // namespace TW
