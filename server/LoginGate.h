#pragma once
// The door every password passes through. An attempt first waits its turn with the throttle
// (failures per account and per address); then its password is checked on a worker thread,
// since a check costs scrypt's tenth of a second and the service's one thread carries every
// room's voice. A right password kept the old way is hashed anew there as well and written
// back when the verdict comes home. Failures, waits and refusals are logged.

#include "platform/MessageWindow.h"
#include "server/LoginThrottle.h"
#include "server/ServerPeer.h"
#include "server/Store.h"

#include <QString>
#include <QThreadPool>

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

struct tagLoginAttempt {
    QString user;                       // as typed
    std::optional<tagAccount> account;  // none: no such account, the attempt fails
    QString password;
    QString address;  // where the attempt came from
    QString machine;  // identity field 106
};

class CLoginGate : private CMessageWindow {
public:
    // Hears every verdict whose connection is still there, on the service's thread.
    using Verdict =
        std::function<void(IServerPeer& peer, const tagLoginAttempt& attempt, bool right)>;

    CLoginGate(CStore& store, CLoginThrottle& throttle, int passwordCost, Verdict verdict);
    ~CLoginGate() override;

    enum class EAdmit {
        Queued,           // the verdict follows
        TooManyFailures,  // refused unchecked: its turn lies too far ahead
        Busy,             // refused unchecked: too many attempts are under way
    };
    EAdmit Submit(IServerPeer& peer, tagLoginAttempt attempt);
    // The connection is gone: its attempts still count, but nobody hears their verdicts.
    void Forget(const IServerPeer& peer);

private:
    struct tagPending {
        IServerPeer* peer;
        tagLoginAttempt attempt;
        std::vector<QString> keys;  // address first, then the account when there is one
        int64_t turn;
        bool started = false;
    };
    struct tagChecked {
        uint64_t ticket;
        EPasswordMatch match;
        QString hash;  // the new way to keep a right password, when it wants one
    };

    // Turns that fall due, and verdicts the worker posts home.
    void OnTimer(unsigned id) override;
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;
    void StartDue();
    void Start(uint64_t ticket, tagPending& pending);
    void Checked(const tagChecked& checked);
    void TakeVerdicts();
    void Post(const tagChecked& checked);

    CStore& m_store;
    CLoginThrottle& m_throttle;
    int m_passwordCost;
    Verdict m_verdict;
    std::map<uint64_t, tagPending> m_pending;
    uint64_t m_nextTicket = 1;
    std::mutex m_doneMutex;  // guards m_done against the worker
    std::vector<tagChecked> m_done;
    // Last, so that it is gone, its work finished, before anything its work touches.
    QThreadPool m_pool;
};
