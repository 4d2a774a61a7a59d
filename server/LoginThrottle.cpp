#include "server/LoginThrottle.h"

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcLogin, "tavo.serverd.login")

namespace {
constexpr int64_t kForgiveMs = 60000;
constexpr int64_t kFirstDelayMs = 1000;
constexpr int64_t kLongestDelayMs = 30000;
}  // namespace

double CLoginThrottle::Forgiven(const tagKey& k, int64_t nowMs) {
    const double forgiven = static_cast<double>(std::max<int64_t>(0, nowMs - k.at)) / kForgiveMs;
    return std::max(0.0, k.failures - forgiven);
}

int64_t CLoginThrottle::Delay(double failures) const {
    const auto past = static_cast<int64_t>(std::ceil(failures)) - m_free;
    if (past <= 0) {
        return 0;
    }
    // 1 s, 2 s, 4 s ... the shift stops before it could overflow.
    const int64_t delay = past > 16 ? kLongestDelayMs : kFirstDelayMs << (past - 1);
    return std::min(delay, kLongestDelayMs);
}

std::optional<int64_t> CLoginThrottle::Book(const std::vector<QString>& keys, int64_t nowMs,
                                            int64_t maxWaitMs) {
    struct tagPlan {
        double failures;
        int64_t turn;
    };
    std::vector<tagPlan> plans;
    int64_t when = nowMs;
    for (const QString& key : keys) {
        auto it = m_keys.find(key);
        const tagKey k = it == m_keys.end() ? tagKey{0, nowMs, 0} : it->second;
        const double failures = Forgiven(k, nowMs) + 1;
        const int64_t delay = Delay(failures);
        const int64_t turn = delay > 0 ? std::max(nowMs, k.nextTurn) + delay : nowMs;
        plans.push_back({failures, turn});
        when = std::max(when, turn);
    }
    if (when - nowMs > maxWaitMs) {
        return std::nullopt;
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        tagKey& k = m_keys[keys[i]];
        k.failures = plans[i].failures;
        k.at = nowMs;
        k.nextTurn = std::max(k.nextTurn, plans[i].turn);
    }
    return when;
}

void CLoginThrottle::Succeeded(const QString& key, bool clear) {
    auto it = m_keys.find(key);
    if (it == m_keys.end()) {
        return;
    }
    if (clear) {
        m_keys.erase(it);
        return;
    }
    it->second.failures = std::max(0.0, it->second.failures - 1);
}

bool CLoginThrottle::Waits(const QString& key, int64_t nowMs) const {
    auto it = m_keys.find(key);
    return it != m_keys.end() &&
           (it->second.nextTurn > nowMs || Delay(Forgiven(it->second, nowMs) + 1) > 0);
}

double CLoginThrottle::Failures(const QString& key, int64_t nowMs) const {
    auto it = m_keys.find(key);
    return it == m_keys.end() ? 0 : Forgiven(it->second, nowMs);
}

void CLoginThrottle::Expire(int64_t nowMs) {
    for (auto it = m_keys.begin(); it != m_keys.end();) {
        if (Forgiven(it->second, nowMs) <= 0 && it->second.nextTurn <= nowMs) {
            it = m_keys.erase(it);
        } else {
            ++it;
        }
    }
}
