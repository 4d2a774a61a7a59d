#pragma once
// A value that can only be reached with its lock held. The capture thread reads the
// microphone state and sends on the second room connection, and the timed-notice worker edits
// the notice list, while the GUI thread changes them; binding the lock to the data means no
// caller can forget it.

#include <chrono>
#include <condition_variable>
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

    // The value for the life of the guard, lock held. A worker that sleeps until the value
    // changes waits through the guard, which gives the lock up while it sleeps.
    class CGuard {
    public:
        T& operator*() { return *m_value; }
        T* operator->() { return m_value; }

        template <class Pred>
        void Wait(std::condition_variable& cv, Pred pred) {
            cv.wait(m_lock, [&] { return pred(*m_value); });
        }
        template <class Rep, class Period>
        void WaitFor(std::condition_variable& cv, std::chrono::duration<Rep, Period> time) {
            cv.wait_for(m_lock, time);
        }

    private:
        friend class CLocked;
        CGuard(std::mutex& mutex, T& value) : m_lock(mutex), m_value(&value) {}
        std::unique_lock<std::mutex> m_lock;
        T* m_value;
    };
    CGuard Lock() { return CGuard(m_mutex, m_value); }

private:
    mutable std::mutex m_mutex;
    T m_value{};
};
