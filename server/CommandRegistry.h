#pragma once
// How every side of the service takes requests: each feature registers the commands it owns,
// next to their handlers, with the gate a connection must have passed to be heard; the side
// hands each packet to Dispatch. A handler answers through its request, which reads the reply
// code from the command table, so no handler names its reply. The registry says which codes it
// takes, so a test can find a request of a running feature that nothing takes.

#include "protocol/KParam.h"
#include "protocol/Refusal.h"
#include "server/ServerPeer.h"

#include <functional>
#include <map>
#include <utility>

// A request as every handler sees it.
struct tagRequest {
    IServerPeer& peer;
    const CKParam& packet;
    short code;

    // The table's answer to the request with result 0, for a handler that adds its fields.
    CKParam Reply() const;
    // The table's answer with result -1 and the refusal code, for a refusal that says more.
    CKParam Refusal(int refusal) const;
    // Sends the plain answer; nothing when the table gives the request none.
    void Answer() const;
    // Sends the answer with result -1 and the refusal code; nothing when the table gives the
    // request none.
    void Refuse(int refusal) const;
};

// The gate of a side whose every request anyone may send.
enum class EOpen { Anyone };

// TRequest derives from tagRequest; TGate is what a side checks before a handler runs.
template <typename TRequest, typename TGate>
class CCommandRegistry {
public:
    using Handler = std::function<void(TRequest&)>;

    void On(short code, TGate gate, Handler handler) {
        m_routes[code] = tagRoute{gate, std::move(handler)};
    }
    template <typename TOwner>
    void On(short code, TGate gate, TOwner* owner, void (TOwner::*handler)(TRequest&)) {
        On(code, gate, [owner, handler](TRequest& r) { (owner->*handler)(r); });
    }
    // A request this service does not offer: refused with "操作被禁止" where it has an answer,
    // so the client's pending request ends at once instead of at its timer.
    void NotOffered(short code, TGate gate) {
        On(code, gate, [](TRequest& r) { r.Refuse(REFUSE_FORBIDDEN); });
    }

    // Runs the handler of the request's code when admit(gate) lets it through; admit refuses
    // and strikes as its side wants. A code without a handler is a protocol fault, counted
    // against the connection; false then.
    template <typename TAdmit>
    bool Dispatch(TRequest& r, TAdmit&& admit) const {
        auto it = m_routes.find(r.code);
        if (it == m_routes.end()) {
            r.peer.Strike();
            return false;
        }
        if (admit(it->second.gate)) {
            it->second.handler(r);
        }
        return true;
    }

    // Whether the code has a handler or an explicit refusal.
    bool Handles(short code) const { return m_routes.count(code) != 0; }

private:
    struct tagRoute {
        TGate gate;
        Handler handler;
    };
    std::map<short, tagRoute> m_routes;
};
