#pragma once
// A value that can only be reached with its lock held. The capture thread reads the
// microphone state and the timed-notice worker edits the notice list while the GUI thread
// changes them; binding the lock to the data means no caller can forget it.

#include <mutex>
#include <utility>

template <class T>
class CLocked {
public:
    CLocked() = default;
    explicit CLocked(T value) : m_value(std::move(value)) {}
    CLocked(const CLocked&) = delete;
    CLocked& operator=(const CLocked&) = delete;

    // Runs f with the value while holding the lock and returns what f returns.
    template <class F>
    auto With(F&& f) {
        std::lock_guard lock(m_mutex);
        return std::forward<F>(f)(m_value);
    }
    template <class F>
    auto With(F&& f) const {
        std::lock_guard lock(m_mutex);
        return std::forward<F>(f)(m_value);
    }
    // A copy taken under the lock.
    T Snapshot() const {
        std::lock_guard lock(m_mutex);
        return m_value;
    }

private:
    mutable std::mutex m_mutex;
    T m_value{};
};
