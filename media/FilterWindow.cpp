#include "media/FilterWindow.h"

#include <array>
#include <atomic>
#include <map>
#include <mutex>

namespace {

struct tagTable {
    std::recursive_mutex mutex;
    std::map<int32_t, CFilterWindow*> windows;
    int32_t next = 0x1000;
    // Moves on whenever a window comes or goes: a lookup remembered at one generation holds as
    // long as the generation has not moved.
    std::atomic<uint64_t> generation{0};
};

tagTable& Table() {
    static tagTable table;
    return table;
}

}  // namespace

CFilterWindow::CFilterWindow() {
    tagTable& table = Table();
    std::lock_guard lock(table.mutex);
    m_handle = table.next++;
    table.windows[m_handle] = this;
    table.generation.fetch_add(1, std::memory_order_release);
}

CFilterWindow::~CFilterWindow() {
    tagTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.windows.erase(m_handle);
    table.generation.fetch_add(1, std::memory_order_release);
}

bool CFilterWindow::SendCopyData(int32_t handle, unsigned tag, const QByteArray& bytes) {
    tagTable& table = Table();
    // A sender hands message after message to the same few windows (a recording's two source
    // windows, a display's): the windows it found last are remembered while no window comes or
    // goes, which spares every message the table's lock.
    struct tagFound {
        uint64_t generation = 0;
        int32_t handle = 0;
        CFilterWindow* window = nullptr;
    };
    thread_local std::array<tagFound, 4> remembered{};
    thread_local size_t replace = 0;
    const uint64_t generation = table.generation.load(std::memory_order_acquire);
    CFilterWindow* window = nullptr;
    for (const tagFound& found : remembered) {
        if (found.window && found.handle == handle && found.generation == generation) {
            window = found.window;
            break;
        }
    }
    if (!window) {
        std::lock_guard lock(table.mutex);
        auto found = table.windows.find(handle);
        if (found == table.windows.end()) {
            return false;
        }
        window = found->second;
        remembered[replace++ % remembered.size()] = {
            table.generation.load(std::memory_order_relaxed), handle, window};
    }
    // Senders and source windows all live on the GUI thread, so the handler runs at once and
    // the sender never waits out its time-out.
    window->OnCopyData(tag, bytes);
    return true;
}

bool CFilterWindow::PostCopyDataTo(int32_t handle, unsigned tag, QByteArray bytes) {
    tagTable& table = Table();
    std::lock_guard lock(table.mutex);
    auto found = table.windows.find(handle);
    return found != table.windows.end() && found->second->PostCopyData(tag, std::move(bytes));
}
