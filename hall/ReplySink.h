#pragma once
// Where the replies of the hall server go. A reply either has an owner that waits for it (a
// request dialog) or it goes to the hall window's reply handler. The hall window registers
// itself while it exists; replies that arrive when there is none are dropped.

class CKParam;

// Someone waiting for the reply of one exchange (the request dialog).
class IRequestOwner {
public:
    virtual ~IRequestOwner() = default;
    // The reply, or an empty packet when the connection closed before any reply came.
    virtual void OnReply(CKParam& reply) = 0;
};

// The hall window's reply handler.
class IHallReplySink {
public:
    virtual ~IHallReplySink() = default;
    virtual void OnHallReply(CKParam& reply) = 0;

    // The registered hall window, or nullptr.
    static IHallReplySink* Get();
    static void Set(IHallReplySink* sink);
    // Hands a reply to the hall window when there is one.
    static void Deliver(CKParam& reply);
};
