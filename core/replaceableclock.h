#pragma once
// The wall clock of a worker (UTC seconds since the epoch), which a test may
// replace from its own thread while the worker's thread reads it.

#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>

#include <functional>
#include <utility>

class ReplaceableClock
{
public:
    using Clock = std::function<qint64()>;

    void set(Clock c)
    {
        QMutexLocker locker(&mutex);
        clock = std::move(c);
    }

    // The clock runs outside the lock.
    qint64 now() const
    {
        Clock c;
        {
            QMutexLocker locker(&mutex);
            c = clock;
        }
        return c();
    }

private:
    mutable QMutex mutex;
    Clock clock = [] { return QDateTime::currentSecsSinceEpoch(); };
};
