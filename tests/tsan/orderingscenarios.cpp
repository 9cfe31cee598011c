// Scenarios for tst_tsanordering, one per run: each hands a value from one thread to
// another in one way. Under ThreadSanitizer with qtordering.cpp linked, only the
// hand-overs that Qt does not order may be reported.
//   tsan_ordering_scenarios NAME

#include <QCoreApplication>
#include <QRecursiveMutex>
#include <QThread>

#include <cstdio>
#include <functional>
#include <map>

namespace {

struct Shared {
    int value = 0;
};

class Sender final : public QObject
{
    Q_OBJECT
public:
    // Writes before it signals, and with `writeAfter` once more after it.
    void run(Shared *shared, bool writeAfter)
    {
        shared->value = 1;
        Q_EMIT handedOver(shared);
        if (writeAfter)
            shared->value = 2;
    }
Q_SIGNALS:
    void handedOver(Shared *shared);
};

// A queued signal carries the value from a worker thread to the main thread.
int queuedSignal(bool writeAfter)
{
    Shared shared;
    QThread worker;
    Sender sender;
    sender.moveToThread(&worker);
    int seen = 0;
    QObject::connect(&sender, &Sender::handedOver, qApp, [&](Shared *handed) {
        seen = handed->value;
        QCoreApplication::quit();
    });
    worker.start();
    QMetaObject::invokeMethod(&sender, [&] { sender.run(&shared, writeAfter); });
    QCoreApplication::exec();
    worker.quit();
    worker.wait();
    return seen > 0 ? 0 : 1;
}

// A blocking queued call returns once the slot has written.
int blockingCall()
{
    Shared shared;
    QThread worker;
    QObject context;
    context.moveToThread(&worker);
    worker.start();
    QMetaObject::invokeMethod(&context, [&] { shared.value = 3; }, Qt::BlockingQueuedConnection);
    const int seen = shared.value;
    worker.quit();
    worker.wait();
    return seen == 3 ? 0 : 1;
}

// QThread::wait() returns after everything the thread did.
int threadEnd()
{
    Shared shared;
    QThread *worker = QThread::create([&] { shared.value = 4; });
    worker->start();
    worker->wait();
    const int seen = shared.value;
    delete worker;
    return seen == 4 ? 0 : 1;
}

// Both threads count under one recursive mutex, the second time without it.
int recursiveMutex(bool locked)
{
    Shared shared;
    QRecursiveMutex mutex;
    auto count = [&] {
        for (int i = 0; i < 1000; ++i) {
            if (locked)
                mutex.lock();
            ++shared.value;
            if (locked)
                mutex.unlock();
        }
    };
    QThread *worker = QThread::create(count);
    worker->start();
    count();
    worker->wait();
    delete worker;
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::map<QString, std::function<int()>> scenarios{
        {QStringLiteral("queued signal"), [] { return queuedSignal(false); }},
        {QStringLiteral("write after the signal"), [] { return queuedSignal(true); }},
        {QStringLiteral("blocking call"), blockingCall},
        {QStringLiteral("thread end"), threadEnd},
        {QStringLiteral("recursive mutex"), [] { return recursiveMutex(true); }},
        {QStringLiteral("no mutex"), [] { return recursiveMutex(false); }},
    };
    const auto scenario = scenarios.find(app.arguments().value(1));
    if (scenario == scenarios.end()) {
        std::fprintf(stderr, "usage: tsan_ordering_scenarios NAME\n");
        return 2;
    }
    return scenario->second();
}

#include "orderingscenarios.moc"
