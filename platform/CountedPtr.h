#pragma once

#include <atomic>
#include <utility>

// The program's shared pointer: an object pointer and a separately
// allocated count. The count is atomic because these pointers cross
// threads; the object is deleted through its (virtual) destructor when the
// last holder lets go.
template <typename T>
class CountedPtr
{
public:
    CountedPtr() = default;
    explicit CountedPtr(T *object)
        : m_object(object), m_count(object ? new std::atomic<int>(1) : nullptr)
    {
    }
    CountedPtr(const CountedPtr &other) : m_object(other.m_object), m_count(other.m_count) { acquire(); }
    CountedPtr(CountedPtr &&other) noexcept
        : m_object(std::exchange(other.m_object, nullptr)), m_count(std::exchange(other.m_count, nullptr))
    {
    }
    ~CountedPtr() { release(); }

    CountedPtr &operator=(const CountedPtr &other)
    {
        if (this != &other) {
            CountedPtr copy(other);
            swap(copy);
        }
        return *this;
    }
    CountedPtr &operator=(CountedPtr &&other) noexcept
    {
        CountedPtr moved(std::move(other));
        swap(moved);
        return *this;
    }

    void swap(CountedPtr &other) noexcept
    {
        std::swap(m_object, other.m_object);
        std::swap(m_count, other.m_count);
    }

    T *get() const { return m_object; }
    T *operator->() const { return m_object; }
    T &operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    bool isNull() const { return m_object == nullptr; }
    int useCount() const { return m_count ? m_count->load() : 0; }

    friend bool operator==(const CountedPtr &a, const CountedPtr &b) { return a.m_object == b.m_object; }
    friend bool operator!=(const CountedPtr &a, const CountedPtr &b) { return a.m_object != b.m_object; }

private:
    void acquire()
    {
        if (m_count)
            m_count->fetch_add(1, std::memory_order_relaxed);
    }
    void release()
    {
        if (m_count && m_count->fetch_sub(1, std::memory_order_acq_rel) == 1) {
            delete m_object;
            delete m_count;
        }
        m_object = nullptr;
        m_count = nullptr;
    }

    T *m_object = nullptr;
    std::atomic<int> *m_count = nullptr;
};
