#pragma once
// The process-wide services (the clock, the dialog host, the prompt service, the application
// state) each live in one slot. A program installs every service it uses before it uses it;
// a slot asked while empty is a fault in the program's wiring, so it stops the process and
// names the service rather than answering with a stand-in nobody chose.

#include <atomic>

// Never returns: prints which service was missing and aborts.
[[noreturn]] void ServiceMissing(const char* name);

template <class T>
class CServiceSlot {
public:
    explicit constexpr CServiceSlot(const char* name) : m_name(name) {}
    CServiceSlot(const CServiceSlot&) = delete;
    CServiceSlot& operator=(const CServiceSlot&) = delete;

    T& Get() const {
        T* service = m_service.load(std::memory_order_acquire);
        if (!service) [[unlikely]] {
            ServiceMissing(m_name);
        }
        return *service;
    }
    bool IsInstalled() const { return m_service.load(std::memory_order_acquire) != nullptr; }
    // Does not take ownership; the service must outlive its stay in the slot. Returns what was
    // installed before (nullptr when nothing was).
    T* Install(T* service) { return m_service.exchange(service, std::memory_order_acq_rel); }
    const char* Name() const { return m_name; }

private:
    const char* m_name;
    std::atomic<T*> m_service{nullptr};
};

// Installs a service in T::Slot() for the life of a scope and puts back what was there
// before, so a test's manual clock gives way to the program's clock again.
template <class T>
class CScopedService {
public:
    explicit CScopedService(T& service) : m_previous(T::Slot().Install(&service)) {}
    ~CScopedService() { T::Slot().Install(m_previous); }
    CScopedService(const CScopedService&) = delete;
    CScopedService& operator=(const CScopedService&) = delete;

private:
    T* m_previous;
};
