#pragma once
// Fixed-capacity FIFO of data batches between a page's data slot and its
// chart refresh timer. When the chart falls behind, new batches are dropped
// rather than queued without bound. One slot always stays free, so a queue of
// N slots holds N - 1 batches.

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>
#include <QVector>

#include <atomic>

template <typename T>
class RingBuffer
{
public:
    explicit RingBuffer(int capacity)
        : m_capacity(capacity < 2 ? 2 : capacity), m_slots(m_capacity)
    {
        if (capacity < 2)
            qWarning() << "RingBuffer: capacity" << capacity << "too small, using 2";
    }

    RingBuffer(const RingBuffer&) = delete;
    RingBuffer& operator=(const RingBuffer&) = delete;

    // Drops the item silently when the queue is full.
    void push(const T& item)
    {
        QMutexLocker lock(&m_mutex);
        const int tail = m_tail.load(std::memory_order_relaxed);
        const int next = (tail + 1) % m_capacity;
        if (next == m_head.load(std::memory_order_relaxed))
            return;
        m_slots[tail] = item;
        m_tail.store(next, std::memory_order_relaxed);
    }

    // Oldest item, or a default T when empty. The slot is reset so that a
    // drained queue holds no data.
    T pop()
    {
        QMutexLocker lock(&m_mutex);
        const int head = m_head.load(std::memory_order_relaxed);
        if (head == m_tail.load(std::memory_order_relaxed))
            return T();
        T item = m_slots[head];
        m_slots[head] = T();
        m_head.store((head + 1) % m_capacity, std::memory_order_relaxed);
        return item;
    }

    // Forgets the queued items; their slots are overwritten by later pushes.
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_head.store(m_tail.load(std::memory_order_relaxed), std::memory_order_relaxed);
    }

    // Lock-free hint for the refresh timers; pop() copes with an empty queue.
    bool isEmpty() const
    {
        return m_head.load(std::memory_order_relaxed) == m_tail.load(std::memory_order_relaxed);
    }

    int capacity() const { return m_capacity; }
    int headIndex() const { return m_head.load(std::memory_order_relaxed); }
    int tailIndex() const { return m_tail.load(std::memory_order_relaxed); }

private:
    const int m_capacity;
    std::atomic<int> m_head{0};
    std::atomic<int> m_tail{0};
    QVector<T> m_slots;
    mutable QMutex m_mutex;
};
