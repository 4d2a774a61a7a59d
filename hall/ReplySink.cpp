#include "hall/ReplySink.h"

#include <atomic>

namespace {
std::atomic<IHallReplySink*> g_hall{nullptr};
}

IHallReplySink* IHallReplySink::Get() {
    return g_hall.load(std::memory_order_acquire);
}

void IHallReplySink::Set(IHallReplySink* sink) {
    g_hall.store(sink, std::memory_order_release);
}

void IHallReplySink::Deliver(CKParam& reply) {
    if (IHallReplySink* hall = Get()) {
        hall->OnHallReply(reply);
    }
}
