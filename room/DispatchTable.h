#pragma once
// The room's one dispatch table: command code (key 10) to the handler of the feature that owns
// it. Features register what they receive, the replies that go to the generic reply, the codes
// another path consumes (the waiting dialog, the entry) and the requests they send, so a test
// can find any code of a built feature that nobody accounts for.

#include "protocol/KParam.h"

#include <functional>
#include <unordered_map>
#include <vector>

class CDispatchTable {
public:
    using FHandler = std::function<void(CKParam&)>;

    enum class ERoute {
        None,          // nobody: the packet is ignored
        Handler,       // a feature's handler
        GenericReply,  // the generic reply of the request discipline (then the feature's own)
        Elsewhere,     // consumed before dispatch: the waiting dialog or the entry
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
