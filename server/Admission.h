#pragma once
// How many connections one listening port holds, in all and from each address. Every port of
// the service admits connections through one of these, so one address cannot take a port's
// whole share whatever the port speaks.

#include "server/ServerConfig.h"

#include <QString>

#include <map>

class CAdmission {
public:
    explicit CAdmission(const tagServerLimits& limits) : m_limits(limits) {}

    // Counts a new connection from the address, or refuses it when the port or the address
    // holds its share already.
    bool Admit(const QString& address);
    // A connection Admit counted has gone.
    void Release(const QString& address);
    int Count() const { return m_count; }

private:
    const tagServerLimits& m_limits;
    std::map<QString, int> m_perAddress;
    int m_count = 0;
};
