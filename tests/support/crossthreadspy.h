#pragma once

#include <QList>
#include <QObject>
#include <QVariant>

// Records the emissions of a signal like QSignalSpy, for a sender that emits on
// another thread. QSignalSpy appends on the emitting thread while the test reads the
// list on its own, a data race; this spy appends through a queued call on the thread
// that created it, so the test sees an emission once its event loop has run
// (QTRY_*, QTest::qWaitFor), in the order the sender emitted.
class CrossThreadSpy final : public QObject, public QList<QList<QVariant>>
{
public:
    template <typename Sender, typename Class, typename... Args>
    CrossThreadSpy(const Sender *sender, void (Class::*signal)(Args...))
    {
        connect(
            sender, signal, this,
            [this](Args... args) { append(QList<QVariant>{QVariant::fromValue(args)...}); },
            Qt::QueuedConnection);
    }
    Q_DISABLE_COPY_MOVE(CrossThreadSpy)
};
