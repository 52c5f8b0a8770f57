// A fixed-size byte queue between exactly one producer thread (push) and one consumer thread
// (peek/consume). Both sides are wait-free: neither ever takes a lock or waits for the other.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>

namespace dd {

class RingBuffer {
  public:
    // The capacity is rounded up to a power of two so positions wrap with a mask.
    explicit RingBuffer(std::size_t minimumCapacity)
        : m_capacity(roundUp(minimumCapacity)), m_mask(m_capacity - 1),
          m_bytes(std::make_unique<std::uint8_t[]>(m_capacity)) {}

    std::size_t capacity() const { return m_capacity; }

    // Producer. All or nothing: a block that does not fit is refused whole, so what the
    // consumer sees is always made of whole blocks (whole audio frames).
    bool push(const std::uint8_t* data, std::size_t size) {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        const std::size_t tail = m_tail.load(std::memory_order_acquire);
        if (size > m_capacity - (head - tail)) {
            return false;
        }
        const std::size_t at = head & m_mask;
        const std::size_t first = size < m_capacity - at ? size : m_capacity - at;
        std::memcpy(m_bytes.get() + at, data, first);
        std::memcpy(m_bytes.get(), data + first, size - first);
        m_head.store(head + size, std::memory_order_release);
        return true;
    }

    // Producer: the bytes waiting to be consumed. The consumer may take some at any moment, so
    // this is an upper bound.
    std::size_t queued() const {
        return m_head.load(std::memory_order_relaxed) - m_tail.load(std::memory_order_acquire);
    }

    // Consumer: the oldest bytes not yet consumed that lie contiguously in memory; empty when
    // there are none. After a wrap the rest comes with the next peek.
    std::span<const std::uint8_t> peek() const {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        const std::size_t head = m_head.load(std::memory_order_acquire);
        const std::size_t at = tail & m_mask;
        const std::size_t available = head - tail;
        const std::size_t contiguous = m_capacity - at;
        return {m_bytes.get() + at, available < contiguous ? available : contiguous};
    }

    // Consumer: releases the first size bytes of the last peek to the producer.
    void consume(std::size_t size) {
        m_tail.store(m_tail.load(std::memory_order_relaxed) + size, std::memory_order_release);
    }

  private:
    static std::size_t roundUp(std::size_t n) {
        std::size_t capacity = 1;
        while (capacity < n) {
            capacity <<= 1;
        }
        return capacity;
    }

    const std::size_t m_capacity;
    const std::size_t m_mask;
    std::unique_ptr<std::uint8_t[]> m_bytes;
    // Free-running positions (they wrap with size_t; their difference is the fill level), each
    // on its own cache line so producer and consumer do not contend.
    alignas(64) std::atomic<std::size_t> m_head{0};
    alignas(64) std::atomic<std::size_t> m_tail{0};
};

} // namespace dd
