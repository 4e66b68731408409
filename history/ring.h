#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// A first-in-first-out buffer of at most limit() items. It grows in steps of 1/32 of its
// limit rather than by doubling, so the memory it holds stays within a step of what it needs,
// and once full it never moves an item again.
template <typename T>
class Ring {
public:
    explicit Ring(int limit) : m_limit(limit), m_step(limit / 32 > 0 ? limit / 32 : 1) {}

    int size() const { return m_size; }
    int limit() const { return m_limit; }
    bool empty() const { return m_size == 0; }
    bool full() const { return m_size == m_limit; }

    // Item 0 is the oldest.
    const T &operator[](int i) const { return m_items[slot(i)]; }
    T &operator[](int i) { return m_items[slot(i)]; }
    const T &front() const { return (*this)[0]; }
    const T &back() const { return (*this)[m_size - 1]; }
    T &back() { return (*this)[m_size - 1]; }

    // Adds item as the newest. The caller makes room first: push() on a full ring is refused.
    bool push(const T &item) {
        if (full()) return false;
        if (m_size == static_cast<int>(m_items.size())) grow();
        m_items[slot(m_size)] = item;
        ++m_size;
        return true;
    }
    void popFront() {
        m_first = (m_first + 1) % static_cast<int>(m_items.size());
        --m_size;
    }

    // What its storage takes, counted from its capacity.
    std::size_t bytesHeld() const { return m_items.capacity() * sizeof(T); }

private:
    int slot(int i) const { return (m_first + i) % static_cast<int>(m_items.size()); }
    void grow() {
        std::vector<T> items;
        items.reserve(std::min<std::size_t>(m_items.size() + m_step, m_limit));
        for (int i = 0; i < m_size; ++i) items.push_back((*this)[i]);
        items.resize(items.capacity());
        m_items = std::move(items);
        m_first = 0;
    }

    std::vector<T> m_items;
    int m_first = 0;
    int m_size = 0;
    int m_limit;
    int m_step;
};
