// Linked into every test only in the ThreadSanitizer build (-DPELORIN_TSAN=ON).
//
// Qt's own libraries are not instrumented, so ThreadSanitizer cannot see the order
// that Qt's cross-thread machinery guarantees: a queued call runs after it was
// posted, a blocking queued call returns after the slot ran, QThread::wait() returns
// after the thread's last action, QSemaphore hands over what was written before
// release(). Without these edges every hand-over through a queued signal looks like
// a race. This file tells the sanitizer about exactly these edges and nothing else:
//
//  - posting: calls of our code into Qt that post events (signal emission, queued
//    invocation, deleteLater, postEvent) are wrapped at link time (-Wl,--wrap); every
//    block allocated inside them, the event among them, is marked as released.
//  - delivery: a callback Qt runs before delivering any event acquires the event.
//  - invokeMethod and single-shot timers: the slot object is wrapped so that the call
//    acquires what the caller released, and a blocking caller acquires what the slot
//    did.
//  - threads: what a thread did before quit() happens before the quitting thread
//    finishes (its deferred deletes included); a thread started by our code releases
//    at its very end, after Qt's own clean-up, and QThread::wait() acquires that once
//    it returned true.
//  - QSemaphore and QRecursiveMutex (QMutex tells the sanitizer itself): release()
//    and unlock() release, a successful acquire or lock acquires.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHash>
#include <QMetaObject>
#include <QMutex>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <sanitizer/tsan_interface.h>

#include <chrono>
#include <mutex>
#include <thread>

// From the sanitizers' allocator interface (GCC ships no header for it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void *, size_t), void (*freeHook)(const volatile void *));

namespace {

void releaseAt(const volatile void *address) { __tsan_release(const_cast<void *>(address)); }
void acquireAt(const volatile void *address) { __tsan_acquire(const_cast<void *>(address)); }

// Depth of wrapped posting calls on this thread.
thread_local int postingDepth = 0;

struct PostingScope {
    PostingScope() { ++postingDepth; }
    ~PostingScope() { --postingDepth; }
    PostingScope(const PostingScope &) = delete;
    PostingScope &operator=(const PostingScope &) = delete;
};

void onAllocation(const volatile void *block, size_t)
{
    if (postingDepth > 0)
        releaseAt(block);
}

void onFree(const volatile void *) {} // the sanitizer installs the hooks only in pairs

bool beforeDelivery(void **data)
{
    acquireAt(data[1]); // the event
    return false;       // Qt delivers it as usual
}

// A slot object that forwards to the real one and carries the order both ways.
class OrderedSlot final : public QtPrivate::QSlotObjectBase
{
public:
    explicit OrderedSlot(QtPrivate::QSlotObjectBase *inner) : QSlotObjectBase(&impl), inner(inner) {}

private:
    static void impl(int which, QSlotObjectBase *base, QObject *receiver, void **args, bool *ret)
    {
        auto *self = static_cast<OrderedSlot *>(base);
        switch (which) {
        case Destroy:
            acquireAt(self); // Qt drops its references unseen; see invokeMethodImpl
            self->inner->destroyIfLastRef();
            delete self;
            break;
        case Call:
            acquireAt(self);
            self->inner->call(receiver, args);
            releaseAt(self);
            break;
        case Compare:
            *ret = self->inner->compare(args);
            break;
        }
    }

    QtPrivate::QSlotObjectBase *const inner;
};

// Threads started by our code, until a wait() has seen them end.
struct ThreadEnds {
    std::mutex mutex;
    QHash<const QThread *, bool> ended;
};

ThreadEnds &threadEnds()
{
    static ThreadEnds *ends = new ThreadEnds; // never destroyed: threads may end late
    return *ends;
}

// Lives in a started thread; destroyed when the thread exits, after QThread's clean-up.
struct ThreadEndMark {
    const QThread *thread = nullptr;
    ~ThreadEndMark()
    {
        if (!thread)
            return;
        releaseAt(thread);
        std::lock_guard lock(threadEnds().mutex);
        threadEnds().ended[thread] = true;
    }
};

void markThreadStart()
{
    static thread_local ThreadEndMark mark;
    mark.thread = QThread::currentThread();
    std::lock_guard lock(threadEnds().mutex);
    threadEnds().ended[mark.thread] = false;
}

void awaitThreadEnd(const QThread *thread)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        {
            std::lock_guard lock(threadEnds().mutex);
            const auto it = threadEnds().ended.find(thread);
            if (it == threadEnds().ended.end())
                return; // not started by our code, or already seen
            if (it.value()) {
                threadEnds().ended.erase(it);
                break;
            }
        }
        if (std::chrono::steady_clock::now() > limit)
            return;
        std::this_thread::yield();
    }
    acquireAt(thread);
}

[[maybe_unused]] const bool installed = [] {
    __sanitizer_install_malloc_and_free_hooks(onAllocation, onFree);
    QInternal::registerCallback(QInternal::EventNotifyCallback, beforeDelivery);
    return true;
}();

} // namespace

// A member function pointer taken in our code (connect(..., &QObject::deleteLater))
// now points at the wrapper; the C++ ABI marks virtual members with the lowest bit,
// so the wrappers must sit at even addresses like every member function.
#define WRAPPER __attribute__((aligned(16)))

extern "C" {

// void QMetaObject::activate(QObject *, const QMetaObject *, int, void **)
void __real__ZN11QMetaObject8activateEP7QObjectPKS_iPPv(QObject *, const QMetaObject *, int, void **);
WRAPPER void __wrap__ZN11QMetaObject8activateEP7QObjectPKS_iPPv(QObject *sender, const QMetaObject *meta,
                                                        int index, void **args)
{
    PostingScope posting;
    __real__ZN11QMetaObject8activateEP7QObjectPKS_iPPv(sender, meta, index, args);
}

// bool QMetaObject::invokeMethodImpl(QObject *, QtPrivate::QSlotObjectBase *, Qt::ConnectionType, void *)
bool __real__ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv(
    QObject *, QtPrivate::QSlotObjectBase *, Qt::ConnectionType, void *);
WRAPPER bool __wrap__ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv(
    QObject *object, QtPrivate::QSlotObjectBase *slot, Qt::ConnectionType type, void *ret)
{
    auto *ordered = new OrderedSlot(slot);
    ordered->ref(); // kept alive to acquire what a blocking call's slot did
    releaseAt(ordered);
    const bool invoked =
        __real__ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv(
            object, ordered, type, ret);
    acquireAt(ordered);
    releaseAt(ordered); // whichever side drops the last reference deletes it
    ordered->destroyIfLastRef();
    return invoked;
}

// bool QMetaObject::invokeMethod(QObject *, const char *, Qt::ConnectionType, QGenericReturnArgument, QGenericArgument x 10)
bool __real__ZN11QMetaObject12invokeMethodEP7QObjectPKcN2Qt14ConnectionTypeE22QGenericReturnArgument16QGenericArgumentS7_S7_S7_S7_S7_S7_S7_S7_S7_(
    QObject *, const char *, Qt::ConnectionType, QGenericReturnArgument, QGenericArgument,
    QGenericArgument, QGenericArgument, QGenericArgument, QGenericArgument, QGenericArgument,
    QGenericArgument, QGenericArgument, QGenericArgument, QGenericArgument);
WRAPPER bool __wrap__ZN11QMetaObject12invokeMethodEP7QObjectPKcN2Qt14ConnectionTypeE22QGenericReturnArgument16QGenericArgumentS7_S7_S7_S7_S7_S7_S7_S7_S7_(
    QObject *object, const char *member, Qt::ConnectionType type, QGenericReturnArgument ret,
    QGenericArgument a0, QGenericArgument a1, QGenericArgument a2, QGenericArgument a3,
    QGenericArgument a4, QGenericArgument a5, QGenericArgument a6, QGenericArgument a7,
    QGenericArgument a8, QGenericArgument a9)
{
    PostingScope posting;
    return __real__ZN11QMetaObject12invokeMethodEP7QObjectPKcN2Qt14ConnectionTypeE22QGenericReturnArgument16QGenericArgumentS7_S7_S7_S7_S7_S7_S7_S7_S7_(
        object, member, type, ret, a0, a1, a2, a3, a4, a5, a6, a7, a8, a9);
}

// void QTimer::singleShotImpl(int, Qt::TimerType, const QObject *, QtPrivate::QSlotObjectBase *)
void __real__ZN6QTimer14singleShotImplEiN2Qt9TimerTypeEPK7QObjectPN9QtPrivate15QSlotObjectBaseE(
    int, Qt::TimerType, const QObject *, QtPrivate::QSlotObjectBase *);
WRAPPER void __wrap__ZN6QTimer14singleShotImplEiN2Qt9TimerTypeEPK7QObjectPN9QtPrivate15QSlotObjectBaseE(
    int msec, Qt::TimerType timerType, const QObject *receiver, QtPrivate::QSlotObjectBase *slot)
{
    auto *ordered = new OrderedSlot(slot);
    releaseAt(ordered);
    __real__ZN6QTimer14singleShotImplEiN2Qt9TimerTypeEPK7QObjectPN9QtPrivate15QSlotObjectBaseE(
        msec, timerType, receiver, ordered);
}

// void QCoreApplication::postEvent(QObject *, QEvent *, int)
void __real__ZN16QCoreApplication9postEventEP7QObjectP6QEventi(QObject *, QEvent *, int);
WRAPPER void __wrap__ZN16QCoreApplication9postEventEP7QObjectP6QEventi(QObject *receiver, QEvent *event,
                                                               int priority)
{
    releaseAt(event);
    __real__ZN16QCoreApplication9postEventEP7QObjectP6QEventi(receiver, event, priority);
}

// void QObject::deleteLater()
void __real__ZN7QObject11deleteLaterEv(QObject *);
WRAPPER void __wrap__ZN7QObject11deleteLaterEv(QObject *object)
{
    PostingScope posting;
    __real__ZN7QObject11deleteLaterEv(object);
}

// void QThread::start(QThread::Priority)
void __real__ZN7QThread5startENS_8PriorityE(QThread *, QThread::Priority);
WRAPPER void __wrap__ZN7QThread5startENS_8PriorityE(QThread *thread, QThread::Priority priority)
{
    // Lambdas without captures: Qt frees a connection's slot object on whichever
    // thread drops it last, unseen, so these must not read their own storage.
    const auto once = Qt::ConnectionType(Qt::DirectConnection | Qt::SingleShotConnection);
    QObject::connect(thread, &QThread::started, thread, [] { markThreadStart(); }, once);
    QObject::connect(thread, &QThread::finished, thread,
                     [] { acquireAt(QThread::currentThread()); }, once);
    __real__ZN7QThread5startENS_8PriorityE(thread, priority);
}

// void QThread::quit()
void __real__ZN7QThread4quitEv(QThread *);
WRAPPER void __wrap__ZN7QThread4quitEv(QThread *thread)
{
    releaseAt(thread);
    __real__ZN7QThread4quitEv(thread);
}

// bool QThread::wait(QDeadlineTimer)
bool __real__ZN7QThread4waitE14QDeadlineTimer(QThread *, QDeadlineTimer);
WRAPPER bool __wrap__ZN7QThread4waitE14QDeadlineTimer(QThread *thread, QDeadlineTimer deadline)
{
    const bool ended = __real__ZN7QThread4waitE14QDeadlineTimer(thread, deadline);
    if (ended)
        awaitThreadEnd(thread);
    return ended;
}

// void QSemaphore::release(int)
void __real__ZN10QSemaphore7releaseEi(QSemaphore *, int);
WRAPPER void __wrap__ZN10QSemaphore7releaseEi(QSemaphore *semaphore, int n)
{
    releaseAt(semaphore);
    __real__ZN10QSemaphore7releaseEi(semaphore, n);
}

// void QSemaphore::acquire(int)
void __real__ZN10QSemaphore7acquireEi(QSemaphore *, int);
WRAPPER void __wrap__ZN10QSemaphore7acquireEi(QSemaphore *semaphore, int n)
{
    __real__ZN10QSemaphore7acquireEi(semaphore, n);
    acquireAt(semaphore);
}

// bool QSemaphore::tryAcquire(int, int)
bool __real__ZN10QSemaphore10tryAcquireEii(QSemaphore *, int, int);
WRAPPER bool __wrap__ZN10QSemaphore10tryAcquireEii(QSemaphore *semaphore, int n, int timeout)
{
    const bool acquired = __real__ZN10QSemaphore10tryAcquireEii(semaphore, n, timeout);
    if (acquired)
        acquireAt(semaphore);
    return acquired;
}

// bool QRecursiveMutex::tryLock(int)
bool __real__ZN15QRecursiveMutex7tryLockEi(QRecursiveMutex *, int);
WRAPPER bool __wrap__ZN15QRecursiveMutex7tryLockEi(QRecursiveMutex *mutex, int timeout)
{
    const bool locked = __real__ZN15QRecursiveMutex7tryLockEi(mutex, timeout);
    if (locked)
        acquireAt(mutex);
    return locked;
}

// void QRecursiveMutex::unlock()
void __real__ZN15QRecursiveMutex6unlockEv(QRecursiveMutex *);
WRAPPER void __wrap__ZN15QRecursiveMutex6unlockEv(QRecursiveMutex *mutex)
{
    releaseAt(mutex);
    __real__ZN15QRecursiveMutex6unlockEv(mutex);
}

} // extern "C"
