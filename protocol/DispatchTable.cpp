#include "protocol/DispatchTable.h"

void CDispatchTable::On(short code, FHandler handler) {
    tagEntry& e = m_entries[code];
    e.route = ERoute::Handler;
    e.handlers.push_back(std::move(handler));
}

void CDispatchTable::OnReply(short replyCode, FHandler generic) {
    tagEntry& e = m_entries[replyCode];
    e.route = ERoute::GenericReply;
    // The generic reply always runs first.
    e.handlers.insert(e.handlers.begin(), std::move(generic));
}

void CDispatchTable::AddReplyHandling(short replyCode, FHandler handler) {
    tagEntry& e = m_entries[replyCode];
    if (e.route == ERoute::None) {
        e.route = ERoute::Handler;
    }
    e.handlers.push_back(std::move(handler));
}

void CDispatchTable::Elsewhere(short code) {
    tagEntry& e = m_entries[code];
    if (e.route == ERoute::None) {
        e.route = ERoute::Elsewhere;
    }
}

void CDispatchTable::Sends(short code) {
    tagEntry& e = m_entries[code];
    if (e.route == ERoute::None) {
        e.route = ERoute::Request;
    }
}

bool CDispatchTable::Dispatch(CKParam& packet) const {
    const auto it = m_entries.find(packet.Command());
    if (it == m_entries.end() || it->second.handlers.empty()) {
        return false;
    }
    // Handlers are registered once, when their owner is built; leaving the room or the hall
    // from inside a handler does not touch the table.
    for (const auto& h : it->second.handlers) {
        h(packet);
    }
    return true;
}

CDispatchTable::ERoute CDispatchTable::Route(short code) const {
    const auto it = m_entries.find(code);
    return it == m_entries.end() ? ERoute::None : it->second.route;
}
