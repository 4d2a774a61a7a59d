#pragma once
// How many connections one listening port holds, in all and from each address. Every port of
// the service admits connections through one of these, so one address cannot take a port's
// whole share whatever the port speaks.

#include "platform/AsyncSocket.h"
#include "server/ServerConfig.h"

#include <QString>

#include <map>

class CAdmission {
public:
    explicit CAdmission(const tagServerLimits& limits) : m_limits(limits) {}

    // Takes every connection waiting on the listening socket (a burst of clients should not
    // wait one notification each): make() builds the socket object that takes one, adopt()
    // keeps it, with its address, when it is within the share. One beyond the share is closed
    // at once: its client sees the connection end rather than hang.
    template <class FMake, class FAdopt>
    void AcceptAll(CAsyncSocket& listening, FMake make, FAdopt adopt) {
        for (;;) {
            auto connection = make();
            QString address;
            const EAccept taken = Accept(listening, *connection, address);
            if (taken == EAccept::NoneWaiting) {
                return;
            }
            if (taken == EAccept::Admitted) {
                adopt(std::move(connection), address);
            }
        }
    }

    // A connection Accept counted has gone.
    void Release(const QString& address);
    int Count() const { return m_count; }

private:
    enum class EAccept { NoneWaiting, Refused, Admitted };
    EAccept Accept(CAsyncSocket& listening, CAsyncSocket& connection, QString& address);
    // Counts a new connection from the address, or refuses it when the port or the address
    // holds its share already.
    bool Admit(const QString& address);

    const tagServerLimits& m_limits;
    std::map<QString, int> m_perAddress;
    int m_count = 0;
};
