#pragma once
// One dispatch table: command code (key 10) to the handlers that take it. The room and the hall
// each keep one. Whoever owns a command registers what it receives, the replies that go to a
// generic reply first, the codes another path consumes (a waiting dialog, the entry) and the
// requests it sends, so a test can find any code of a built feature that nobody accounts for.

#include "protocol/KParam.h"

#include <functional>
#include <unordered_map>
#include <vector>

class CDispatchTable {
public:
    using FHandler = std::function<void(CKParam&)>;

    enum class ERoute {
        None,          // nobody: the packet is ignored
        Handler,       // the handler of the feature (or the hall window) that owns it
        GenericReply,  // the generic reply of the request discipline (then the feature's own)
        Elsewhere,     // consumed before dispatch: a waiting dialog, the room's entry
        Request,       // a request the client sends; never received
    };

    void On(short code, FHandler handler);
    // A reply of the reply table: the generic reply runs first, then every handling added.
    void OnReply(short replyCode, FHandler generic);
    void AddReplyHandling(short replyCode, FHandler handler);
    void Elsewhere(short code);
    void Sends(short code);

    // Calls the handlers of the packet's code; false when there are none.
    bool Dispatch(CKParam& packet) const;
    ERoute Route(short code) const;
    void Clear() { m_entries.clear(); }

private:
    struct tagEntry {
        ERoute route = ERoute::None;
        std::vector<FHandler> handlers;
    };
    std::unordered_map<short, tagEntry> m_entries;
};
