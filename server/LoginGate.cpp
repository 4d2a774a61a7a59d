#include "server/LoginGate.h"

#include "platform/Clock.h"

namespace {

constexpr unsigned TIMER_TURNS = 1;
constexpr unsigned WM_CHECKED = 0x0401;
constexpr unsigned kTurnsPollMs = 100;
// An attempt whose turn lies further ahead is refused unchecked: the client gives up waiting
// for its answer after 40 seconds anyway.
constexpr int64_t kLongestWaitMs = 30000;
// Attempts waiting or being checked at once; a flood beyond it is refused unchecked.
constexpr size_t kMostPending = 256;

int64_t NowMs() {
    return CClock::Get().UptimeMs();
}

}  // namespace

CLoginGate::CLoginGate(CStore& store, CLoginThrottle& throttle, int passwordCost, Verdict verdict)
    : m_store(store),
      m_throttle(throttle),
      m_passwordCost(passwordCost),
      m_verdict(std::move(verdict)) {
    // One check at a time: the other core stays with the service's thread.
    m_pool.setMaxThreadCount(1);
    CreateMessageWindow(QStringLiteral("login gate"));
}

CLoginGate::~CLoginGate() {
    m_pool.clear();
    m_pool.waitForDone();
    DestroyMessageWindow();
}

CLoginGate::EAdmit CLoginGate::Submit(IServerPeer& peer, tagLoginAttempt attempt) {
    if (m_pending.size() >= kMostPending) {
        qCWarning(lcLogin, "login of '%s' from %s refused unchecked: %zu logins under way",
                  qUtf8Printable(attempt.user), qUtf8Printable(attempt.address), m_pending.size());
        return EAdmit::Busy;
    }
    std::vector<QString> keys{QStringLiteral("login@") + attempt.address};
    if (attempt.account) {
        keys.push_back(QStringLiteral("account@") + attempt.account->name.toLower());
    }
    const int64_t now = NowMs();
    const std::optional<int64_t> turn = m_throttle.Book(keys, now, kLongestWaitMs);
    if (!turn) {
        qCWarning(lcLogin, "login of '%s' from %s refused unchecked: too many failures",
                  qUtf8Printable(attempt.user), qUtf8Printable(attempt.address));
        return EAdmit::TooManyFailures;
    }
    if (*turn > now) {
        qCWarning(lcLogin, "login of '%s' from %s waits %lld ms for its turn",
                  qUtf8Printable(attempt.user), qUtf8Printable(attempt.address),
                  static_cast<long long>(*turn - now));
    }
    const uint64_t ticket = m_nextTicket++;
    tagPending& pending =
        m_pending.emplace(ticket, tagPending{&peer, std::move(attempt), keys, *turn}).first->second;
    if (*turn <= now) {
        Start(ticket, pending);
    } else if (!HasTimer(TIMER_TURNS)) {
        SetTimer(TIMER_TURNS, kTurnsPollMs);
    }
    return EAdmit::Queued;
}

void CLoginGate::Forget(const IServerPeer& peer) {
    for (auto& [ticket, pending] : m_pending) {
        if (pending.peer == &peer) {
            pending.peer = nullptr;
        }
    }
}

void CLoginGate::StartDue() {
    const int64_t now = NowMs();
    bool waiting = false;
    for (auto& [ticket, pending] : m_pending) {
        if (pending.started) {
            continue;
        }
        if (pending.turn <= now) {
            Start(ticket, pending);
        } else {
            waiting = true;
        }
    }
    if (!waiting) {
        KillTimer(TIMER_TURNS);
    }
}

void CLoginGate::Start(uint64_t ticket, tagPending& pending) {
    pending.started = true;
    if (!pending.attempt.account) {
        // Nothing to check against: the verdict comes home the same way as any other.
        Post({ticket, EPasswordMatch::Wrong, QString()});
        return;
    }
    const QString kept = pending.attempt.account->digest;
    const QString password = pending.attempt.password;
    const int cost = m_passwordCost;
    m_pool.start([this, ticket, kept, password, cost] {
        tagChecked checked{ticket, MatchPassword(kept, password, cost), QString()};
        if (checked.match == EPasswordMatch::RightButWeak) {
            checked.hash = HashPassword(password, cost);
        }
        Post(checked);
    });
}

void CLoginGate::Post(const tagChecked& checked) {
    {
        std::lock_guard lock(m_doneMutex);
        m_done.push_back(checked);
    }
    PostMessage(WM_CHECKED);
}

void CLoginGate::TakeVerdicts() {
    std::vector<tagChecked> done;
    {
        std::lock_guard lock(m_doneMutex);
        done.swap(m_done);
    }
    for (const tagChecked& checked : done) {
        Checked(checked);
    }
}

void CLoginGate::Checked(const tagChecked& checked) {
    auto it = m_pending.find(checked.ticket);
    if (it == m_pending.end()) {
        return;
    }
    const tagPending pending = std::move(it->second);
    m_pending.erase(it);
    const tagLoginAttempt& attempt = pending.attempt;
    const bool right = checked.match != EPasswordMatch::Wrong;
    if (right) {
        // The account proved itself; the address only has this attempt taken back.
        m_throttle.Succeeded(pending.keys.front(), false);
        if (pending.keys.size() > 1) {
            m_throttle.Succeeded(pending.keys.back(), true);
        }
        if (!checked.hash.isEmpty() &&
            m_store.ReplacePasswordHash(attempt.account->number, attempt.account->digest,
                                        checked.hash)) {
            qCInfo(lcLogin, "the password of '%s' is kept anew, salted and hashed",
                   qUtf8Printable(attempt.account->name));
        }
    } else {
        const int64_t now = NowMs();
        const QString account =
            attempt.account
                ? QString::number(m_throttle.Failures(pending.keys.back(), now), 'f', 1) +
                      QStringLiteral(" of the account")
                : QStringLiteral("no such account");
        qCWarning(lcLogin, "login of '%s' from %s failed (failures: %.1f of the address, %s)",
                  qUtf8Printable(attempt.user), qUtf8Printable(attempt.address),
                  m_throttle.Failures(pending.keys.front(), now), qUtf8Printable(account));
    }
    if (pending.peer && pending.peer->IsOpen()) {
        m_verdict(*pending.peer, attempt, right);
    }
}

void CLoginGate::OnTimer(unsigned id) {
    if (id == TIMER_TURNS) {
        StartDue();
    }
}

intptr_t CLoginGate::OnMessage(unsigned msg, uintptr_t, intptr_t) {
    if (msg == WM_CHECKED) {
        TakeVerdicts();
    }
    return 0;
}
