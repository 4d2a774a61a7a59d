#include "media/FilterWindow.h"

#include <map>
#include <mutex>

namespace {

struct tagTable {
    std::recursive_mutex mutex;
    std::map<int32_t, CFilterWindow*> windows;
    int32_t next = 0x1000;
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
}

CFilterWindow::~CFilterWindow() {
    tagTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.windows.erase(m_handle);
}

bool CFilterWindow::SendCopyData(int32_t handle, unsigned tag, const QByteArray& bytes) {
    tagTable& table = Table();
    CFilterWindow* window = nullptr;
    {
        std::lock_guard lock(table.mutex);
        auto found = table.windows.find(handle);
        if (found == table.windows.end()) {
            return false;
        }
        window = found->second;
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
