#pragma once
// Failed logins, counted per key (an account, an address), and the wait they earn. A key may
// have `free` failures at once; one is forgiven every minute. Past that every attempt on the
// key waits its turn: the first a second, each further one twice as long as the one before,
// at most half a minute, and the turns queue, so attempts sent at once are checked one after
// another. An attempt counts as failed from the moment it is booked, so a burst is counted
// as it arrives, not after its checks; a success takes its booking back.

#include <QLoggingCategory>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// Where failed logins, their waits and their refusals are written.
Q_DECLARE_LOGGING_CATEGORY(lcLogin)

class CLoginThrottle {
public:
    explicit CLoginThrottle(int freeFailures) : m_free(freeFailures) {}

    // Books an attempt on every key and returns the uptime (ms) from which it may be checked,
    // or nothing, without booking, when that lies more than maxWaitMs ahead.
    std::optional<int64_t> Book(const std::vector<QString>& keys, int64_t nowMs, int64_t maxWaitMs);
    // An attempt booked on the key proved right: `clear` forgets the key's failures (the
    // account proved itself); otherwise only this attempt's booking is taken back.
    void Succeeded(const QString& key, bool clear);
    // Whether an attempt on the key would wait now.
    bool Waits(const QString& key, int64_t nowMs) const;
    // The failures the key has now, forgiveness counted.
    double Failures(const QString& key, int64_t nowMs) const;
    // Forgets the keys whose failures are all forgiven.
    void Expire(int64_t nowMs);

private:
    struct tagKey {
        double failures = 0;
        int64_t at = 0;        // when failures was last brought up to date
        int64_t nextTurn = 0;  // the last turn handed out
    };
    static double Forgiven(const tagKey& k, int64_t nowMs);
    // The wait the attempt that brings the key to `failures` earns, 0 within the free ones.
    int64_t Delay(double failures) const;

    int m_free;
    std::map<QString, tagKey> m_keys;
};
